// vantrel-bandplot: tunes the box's front end every 1 MHz over the whole band
// on both polarisations, as a sweep would, and draws the AGC and SNR
// readings as a PNG. A quick look at a band file before a sweep is run on it.
// Usage: vantrel-bandplot BAND.json OUT.png [SYMBOL_RATE_KS]
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "box/dvb/boot.h"
#include "box/dvb/state.h"
#include "box/gui/boot.h"
#include "box/gui/fileio.h"
#include "box/gui/loop.h"
#include "box/gui/png.h"
#include "host/dvb.h"
#include "host/frontend.h"
#include "host/gpixmap.h"
#include "host/grc.h"

namespace {

constexpr int kStartMHz = 10700, kEndMHz = 12750;
constexpr int kLeft = 84, kRight = 20, kTop = 36, kPanelH = 220, kGap = 64, kBottom = 30;
enum Colour { black, grid, text, agcColour, snrColour, frame, count };

struct Sample {
  int agc = 0, snr = 0;
  bool locked = false;
};

// One tune per MHz; the answer is waited for on the box clock.
std::vector<Sample> sweep(int pol, int srKs) {
  std::vector<Sample> out;
  eTransponder tp(*eDVB::instance->getTransponders());
  for (int f = kStartMHz; f <= kEndMHz; ++f) {
    tp.setSatellite(f * 1000, srKs * 1000, pol, 0, 130, 0);
    int result = 1;
    sigc::connection c = eFrontend::frontend->tunedIn.connect([&](eTransponder*, int err) { result = err; });
    tp.tune();
    box::runUntil([&] { return result != 1; }, 60000);
    c.disconnect();
    Sample s;
    s.agc = eFrontend::frontend->SignalStrength();
    s.snr = eFrontend::frontend->SNR();
    s.locked = result == 0;
    out.push_back(s);
  }
  return out;
}

int rowOf(int value, int top) {
  return top + kPanelH - 1 - int(int64_t(value) * (kPanelH - 1) / 65535);
}

void panel(gPainter& p, int top, const std::vector<Sample>& samples, const std::string& title) {
  const int width = int(samples.size());
  p.setForegroundColor(gColor(frame));
  p.rectangle(eRect(kLeft - 1, top - 1, width + 2, kPanelH + 2));
  for (int f = kStartMHz; f <= kEndMHz; f += 100) {
    int x = kLeft + f - kStartMHz;
    p.fill(eRect(x, top, 1, kPanelH), gColor(grid));
    if ((f - kStartMHz) % 200 == 0) {
      p.setForegroundColor(gColor(text));
      p.renderText(eRect(x - 40, top + kPanelH + 4, 80, 20), std::to_string(f), gPainter::RT_HALIGN_CENTER);
    }
  }
  for (int v = 0; v <= 65535; v += 16384) p.fill(eRect(kLeft, rowOf(v, top), width, 1), gColor(grid));
  p.setForegroundColor(gColor(text));
  p.renderText(eRect(kLeft, top - 28, 1200, 24), title);
  p.renderText(eRect(2, top, kLeft - 8, 22), "65535", gPainter::RT_HALIGN_RIGHT);
  p.renderText(eRect(2, top + kPanelH - 22, kLeft - 8, 22), "0", gPainter::RT_HALIGN_RIGHT);
  for (int i = 0; i + 1 < width; ++i) {
    int x = kLeft + i;
    p.setForegroundColor(gColor(agcColour));
    p.line(ePoint(x, rowOf(samples[i].agc, top)), ePoint(x + 1, rowOf(samples[i + 1].agc, top)));
    p.setForegroundColor(gColor(snrColour));
    p.line(ePoint(x, rowOf(samples[i].snr, top)), ePoint(x + 1, rowOf(samples[i + 1].snr, top)));
  }
}

}  // namespace

int main(int argc, char** argv) {
  // The environment's language, as the box's.
  box::chooseLanguage("");
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "%s\n", box::tr("usage: vantrel-bandplot BAND.json OUT.png [SYMBOL_RATE_KS]"));
    return 2;
  }
  int srKs = 27500;
  if (argc == 4) {
    char* end = nullptr;
    long v = std::strtol(argv[3], &end, 10);
    if (!end || *end || v < 1000 || v > 45000) {
      std::fprintf(stderr, "vantrel-bandplot: %s\n",
                   box::trf("symbol rate %s: must be a whole number of ksymbols/s, 1000..45000",
                            box::printable(argv[3]).c_str())
                       .c_str());
      return 2;
    }
    srKs = int(v);
  }
  box::GuiOptions gui;
  std::string error;
  if (!box::bootGui(gui, &error)) {
    std::fprintf(stderr, "vantrel-bandplot: %s\n", error.c_str());
    return 2;
  }
  box::DvbOptions dvb;
  dvb.bandFile = argv[1];
  dvb.serviceList.clear();  // a picture keeps nothing
  if (!box::bootDvb(dvb, &error)) {
    std::fprintf(stderr, "vantrel-bandplot: %s\n", error.c_str());
    box::shutdownGui();
    return 2;
  }
  std::vector<Sample> h = sweep(0, srKs), v = sweep(1, srKs);
  const int width = kEndMHz - kStartMHz + 1;
  gImage image(eSize(kLeft + width + kRight, kTop + 2 * kPanelH + kGap + kBottom), 8);
  image.clut.data.resize(256);
  image.clut.data[black] = gRGB(12, 14, 24);
  image.clut.data[grid] = gRGB(48, 52, 70);
  image.clut.data[text] = gRGB(230, 230, 230);
  image.clut.data[agcColour] = gRGB(80, 220, 90);
  image.clut.data[snrColour] = gRGB(250, 220, 60);
  image.clut.data[frame] = gRGB(130, 130, 150);
  // Shades between the background and the text colour, for anti-aliased text.
  for (int i = 0; i < 16; ++i) {
    int k = i * 255 / 15;
    image.clut.data[count + i] = gRGB(uint8_t(12 + (230 - 12) * k / 255), uint8_t(14 + (230 - 14) * k / 255),
                                      uint8_t(24 + (230 - 24) * k / 255));
  }
  image.fill(eRect(0, 0, image.x, image.y), gColor(black));
  {
    gPainter p(image.lock(), ePoint(0, 0), eRect(0, 0, image.x, image.y));
    p.setBackgroundColor(gColor(black));
    std::string name = box::dvb::band()->name;
    panel(p, kTop, h, box::trf("%s  horizontal  (%d ksym/s; green AGC, yellow SNR)", name.c_str(), srKs));
    panel(p, kTop + kPanelH + kGap, v, box::trf("%s  vertical", name.c_str()));
  }
  image.unlock();
  bool ok = box::writePalettePng(image, argv[2], &error);
  if (!ok) std::fprintf(stderr, "vantrel-bandplot: %s\n", error.c_str());
  int locks = 0;
  for (const Sample& s : h) locks += s.locked;
  for (const Sample& s : v) locks += s.locked;
  if (ok) std::printf("%s\n", box::trf("%s: %d tunes, %d locked", argv[2], 2 * width, locks).c_str());
  box::shutdownDvb();
  box::shutdownGui();
  return ok ? 0 : 1;
}
