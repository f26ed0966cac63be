// Draws a synthetic spectrum into a graph in a window and writes two
// screenshots: the start of the range and the graph scrolled along.
// Usage: vantrel-graphdemo FOLDER (the README's pictures are made with docs/).
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "box/base/tr.h"
#include "box/gui/boot.h"
#include "box/gui/screen.h"
#include "graph/egrafico.h"
#include "host/eskin.h"
#include "host/eslider.h"
#include "host/ewindow.h"

namespace {

// A noise floor with a few transponder humps, in image rows (0 at the top).
int spectrumRow(int column, int heightPx) {
  static const int centres[] = {60, 230, 410, 700, 980, 1250, 1600, 1890, 2150};
  double level = 0.1 + 0.03 * std::sin(column * 0.37) + 0.02 * std::sin(column * 1.9);
  for (int c : centres) {
    double d = (column - c) / 14.0;
    level += 0.7 * std::exp(-d * d);
  }
  int row = heightPx - 1 - int(level * (heightPx - 4));
  return row < 0 ? 0 : row;
}

bool shoot(const std::string& path) {
  box::Screen::instance().redrawDirty();
  std::string error;
  if (!box::Screen::instance().writePng(path, &error)) {
    std::fprintf(stderr, "vantrel-graphdemo: %s: %s\n", path.c_str(), error.c_str());
    return false;
  }
  std::printf("%s\n", path.c_str());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  box::chooseLanguage("");
  // No default folder: a run by mistake would overwrite the README's pictures.
  const char* usage = box::tr(
      "usage: vantrel-graphdemo FOLDER\n"
      "Draws a sample spectrum graph into FOLDER/graph-0.png and FOLDER/graph-scrolled.png.\n");
  const std::string arg = argc == 2 ? argv[1] : "";
  if (arg == "--help" || arg == "-h") {
    std::fputs(usage, stdout);
    return 0;
  }
  if (arg.empty() || arg[0] == '-') {
    std::fputs(usage, stderr);
    return 2;
  }
  const std::string& outDir = arg;
  std::error_code ec;
  std::filesystem::create_directories(outDir, ec);
  if (ec) {
    std::fprintf(stderr, "vantrel-graphdemo: cannot make %s: %s\n", outDir.c_str(), ec.message().c_str());
    return 1;
  }
  box::GuiOptions options;
  options.dataDir = VANTREL_SOURCE_DIR "/data";
  options.root = VANTREL_BINARY_DIR "/root";
  std::string error;
  if (!box::bootGui(options, &error)) {
    std::fprintf(stderr, "vantrel-graphdemo: %s\n", error.c_str());
    return 1;
  }
  bool ok = true;
  {
    eWindow window(1);
    window.move(ePoint(100, 10));
    window.resize(eSize(520, 376));
    window.setText("Spectrum graph");
    auto* graph = new eGrafico(&window);
    graph->move(ePoint(10, 140));
    graph->resize(eSize(window.getClientSize().w - 20, 120));
    eSkin* skin = eSkin::getActive();
    graph->setBitmapBkColor(skin->queryScheme("eWindow.titleBar"));
    graph->setRange(10700, 12970, 100);
    const gColor snr = skin->queryColor("std_yellow"), agc = skin->queryColor("std_green");
    for (int x = 0; x + 1 < 2270; ++x) {
      int a = spectrumRow(x, graph->hBmp), b = spectrumRow(x + 1, graph->hBmp);
      graph->line(x, a, x + 1, b, snr, 1);
      graph->line(x, a / 2 + graph->hBmp / 3, x + 1, b / 2 + graph->hBmp / 3, agc, 0);
    }
    window.show();
    ok &= shoot(outDir + "/graph-0.png");
    graph->getSlider()->setValue(900);
    ok &= shoot(outDir + "/graph-scrolled.png");
  }
  box::shutdownGui();
  return ok ? 0 : 1;
}
