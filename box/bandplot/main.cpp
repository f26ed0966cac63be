// vantrel-bandplot: tunes the box's front end every 1 MHz over the whole band
// on both polarisations, as a sweep would, and draws the AGC and SNR
// readings as a PNG. A quick look at a band file before a sweep is run on it.
// With --spectrum it draws a run's recorded readings (vantrel-box --spectrum)
// instead, so that a hunt's spectrum can be looked at later.
// Usage: vantrel-bandplot BAND.json OUT.png [SYMBOL_RATE_KS]
//        vantrel-bandplot --spectrum SPECTRUM.csv OUT.png
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "box/base/fileio.h"
#include "box/base/loop.h"
#include "box/base/tr.h"
#include "box/dvb/boot.h"
#include "box/dvb/state.h"
#include "box/export/spectrum_columns.h"
#include "box/export/spectrum_csv.h"
#include "box/gui/boot.h"
#include "box/gui/png.h"
#include "host/dvb.h"
#include "host/frontend.h"
#include "host/gpixmap.h"
#include "host/grc.h"

namespace {

constexpr int kStartMHz = 10700, kEndMHz = 12750;
constexpr int kLeft = 84, kRight = 20, kTop = 36, kPanelH = 220, kGap = 64, kBottom = 30;
enum Colour { black, grid, text, agcColour, snrColour, frame, count };

using Sample = box::SpectrumColumn;  // strength: the AGC

// The picture's frequency axis: perMHz columns a MHz from startMHz on.
struct Axis {
  int startMHz = kStartMHz, endMHz = kEndMHz, perMHz = 1;
  int columns() const { return (endMHz - startMHz) * perMHz + 1; }
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
    s.present = true;
    s.strength = eFrontend::frontend->SignalStrength();
    s.snr = eFrontend::frontend->SNR();
    s.locked = result == 0;
    out.push_back(s);
  }
  return out;
}

int rowOf(int value, int top) {
  return top + kPanelH - 1 - int(int64_t(value) * (kPanelH - 1) / 65535);
}

void panel(gPainter& p, int top, const Axis& axis, const std::vector<Sample>& samples, const char* title) {
  const int width = int(samples.size());
  p.setForegroundColor(gColor(frame));
  p.rectangle(eRect(kLeft - 1, top - 1, width + 2, kPanelH + 2));
  const int gridMHz = axis.endMHz - axis.startMHz > 400 ? 100 : 10;
  for (int f = (axis.startMHz + gridMHz - 1) / gridMHz * gridMHz; f <= axis.endMHz; f += gridMHz) {
    int x = kLeft + (f - axis.startMHz) * axis.perMHz;
    p.fill(eRect(x, top, 1, kPanelH), gColor(grid));
    if ((f - axis.startMHz) % (2 * gridMHz) == 0) {
      p.setForegroundColor(gColor(text));
      p.renderText(eRect(x - 40, top + kPanelH + 4, 80, 20), std::to_string(f), gPainter::RT_HALIGN_CENTER);
    }
  }
  for (int v = 0; v <= 65535; v += 16384) p.fill(eRect(kLeft, rowOf(v, top), width, 1), gColor(grid));
  p.setForegroundColor(gColor(text));
  p.renderText(eRect(kLeft, top - 28, 1200, 24), title);
  p.renderText(eRect(2, top, kLeft - 8, 22), "65535", gPainter::RT_HALIGN_RIGHT);
  p.renderText(eRect(2, top + kPanelH - 22, kLeft - 8, 22), "0", gPainter::RT_HALIGN_RIGHT);
  // A sweep's steps (a few MHz apart) are joined; wider stretches without a
  // reading stay a gap, and a lone reading is a dot.
  const int maxGap = 10 * axis.perMHz;
  int reached = -1;  // the column the last line ended at
  for (int i = 0; i < width; ++i) {
    const Sample& a = samples[i];
    if (!a.present) continue;
    int j = i + 1;
    while (j < width && j - i <= maxGap && !samples[j].present) ++j;
    const bool joined = j < width && j - i <= maxGap;
    if (!joined && reached == i) continue;
    if (joined) reached = j;
    const Sample& b = joined ? samples[j] : a;
    const int x = kLeft + i, x2 = kLeft + (joined ? j : i);
    if (a.strength >= 0 && b.strength >= 0) {
      p.setForegroundColor(gColor(agcColour));
      p.line(ePoint(x, rowOf(a.strength, top)), ePoint(x2, rowOf(b.strength, top)));
    }
    if (a.snr >= 0 && b.snr >= 0) {
      p.setForegroundColor(gColor(snrColour));
      p.line(ePoint(x, rowOf(a.snr, top)), ePoint(x2, rowOf(b.snr, top)));
    }
  }
}

// The two panels, horizontal above vertical, as a PNG.
bool draw(const Axis& axis, const std::vector<Sample>& h, const std::vector<Sample>& v,
          const std::string& name, const std::string& subtitle, const char* path, std::string* error) {
  const int width = axis.columns();
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
    std::string title =
        box::trf("%s  horizontal  (%s; green AGC, yellow SNR)", name.c_str(), subtitle.c_str());
    panel(p, kTop, axis, h, title.c_str());
    title = box::trf("%s  vertical", name.c_str());
    panel(p, kTop + kPanelH + kGap, axis, v, title.c_str());
  }
  image.unlock();
  return box::writePalettePng(image, path, error);
}

// A recorded spectrum: its frequencies give the axis (whole 10 MHz, at
// least the picture a band gets, at most 4000 columns).
int plotSpectrum(const char* csv, const char* out) {
  std::string text, error;
  std::vector<box::SpectrumRow> rows;
  if (!box::readWholeFile(csv, &text, &error, size_t(1) << 30) ||
      !box::parseSpectrumCsv(text, box::printable(csv, 200), &rows, &error)) {
    std::fprintf(stderr, "vantrel-bandplot: %s\n", error.c_str());
    return 2;
  }
  Axis axis;
  if (!rows.empty()) {
    int lo = rows[0].freqKHz, hi = lo;
    for (const box::SpectrumRow& r : rows) lo = std::min(lo, r.freqKHz), hi = std::max(hi, r.freqKHz);
    axis.startMHz = lo / 10000 * 10;
    axis.endMHz = std::max((hi + 9999) / 10000 * 10, axis.startMHz + 10);
    axis.perMHz = std::clamp(2000 / (axis.endMHz - axis.startMHz), 1, 200);
    if (axis.columns() > 4000) axis.endMHz = axis.startMHz + 3999;  // perMHz is 1 there
  }
  box::GuiOptions gui;
  if (!box::bootGui(gui, &error)) {
    std::fprintf(stderr, "vantrel-bandplot: %s\n", error.c_str());
    return 2;
  }
  const auto h = box::spectrumColumns(rows, 0, axis.startMHz, axis.columns(), axis.perMHz);
  const auto v = box::spectrumColumns(rows, 1, axis.startMHz, axis.columns(), axis.perMHz);
  const std::string count = box::trf("%zu readings", rows.size());
  const bool ok = draw(axis, h, v, box::printable(csv, 80), count, out, &error);
  if (ok)
    std::printf("%s: %s\n", out, count.c_str());
  else
    std::fprintf(stderr, "vantrel-bandplot: %s\n", error.c_str());
  box::shutdownGui();
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  // The environment's language, as the box's.
  box::chooseLanguage("");
  if (argc == 4 && std::string(argv[1]) == "--spectrum") return plotSpectrum(argv[2], argv[3]);
  const char* usage = box::tr(
      "Usage: vantrel-bandplot BAND.json OUT.png [SYMBOL_RATE_KS]\n"
      "  or:  vantrel-bandplot --spectrum SPECTRUM.csv OUT.png");
  const std::string only = argc == 2 ? argv[1] : "";
  if (only == "--help" || only == "-h" || only == "--version") {
    if (only == "--version")
      std::printf("vantrel-bandplot %s\n", VANTREL_VERSION);
    else
      std::printf("%s\n%s", usage,
                  box::tr("Draws what the simulated front end reads over a band: AGC and SNR, tuned every\n"
                          "1 MHz on both polarisations at the symbol rate (default 27500 ksym/s), as a PNG.\n"
                          "\n"
                          "  --spectrum FILE  draw instead the readings that vantrel-box --spectrum wrote\n"
                          "  --help           show this text\n"
                          "  --version        show the version\n"));
    return std::fflush(stdout) != 0 || std::ferror(stdout) ? 5 : 0;
  }
  if (argc < 3 || argc > 4 || argv[1][0] == '-') {
    std::fprintf(stderr, "%s\n", usage);
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
  const Axis axis;
  const int width = axis.columns();
  bool ok = draw(axis, h, v, box::dvb::band()->name, box::trf("%d ksym/s", srKs), argv[2], &error);
  if (!ok) std::fprintf(stderr, "vantrel-bandplot: %s\n", error.c_str());
  int locks = 0;
  for (const Sample& s : h) locks += s.locked;
  for (const Sample& s : v) locks += s.locked;
  if (ok) std::printf("%s\n", box::trf("%s: %d tunes, %d locked", argv[2], 2 * width, locks).c_str());
  box::shutdownDvb();
  box::shutdownGui();
  return ok ? 0 : 1;
}
