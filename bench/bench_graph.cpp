// One full redraw of the sweep window's graph (image blit plus scale labels)
// against a plain copy of the same visible pixels; the redraw should stay
// within 3x the copy.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <string>

#include "bench/bench_support.h"
#include "box/gui/boot.h"
#include "box/gui/screen.h"
#include "graph/egrafico.h"
#include "host/eskin.h"
#include "host/ewindow.h"
#include "host/grc.h"

namespace {

using bench::Clock;

void BM_GraphRedrawAgainstCopy(benchmark::State& state) {
  if (!bench::bootGui(state)) return;
  {
    eWindow window(1);
    window.move(ePoint(100, 10));
    window.resize(eSize(520, 376));
    auto* graph = new eGrafico(&window);
    graph->move(ePoint(10, 140));
    graph->resize(eSize(window.getClientSize().w - 20, 120));
    graph->setBitmapBkColor(eSkin::getActive()->queryScheme("eWindow.titleBar"));
    graph->setRange(10700, 12970, 100);
    for (int x = 0; x < 2270; ++x) graph->line(x, 40 + x % 30, x + 1, 40 + (x + 1) % 30, 3, 1);

    gPixmap& fb = box::Screen::instance().framebuffer();
    const ePoint origin = graph->getAbsoluteClientPosition();
    const eRect area(ePoint(0, 0), graph->getClientSize());
    const eRect clip(origin, graph->getClientSize());
    const gImage& img = *graph->image();
    const int w = area.width(), h = area.height();
    double redrawNs = 0, copyNs = 0, blitNs = 0;
    for (auto _ : state) {
      auto t0 = Clock::now();
      {
        gPainter painter(fb, origin, clip);
        graph->redrawWidget(&painter, area);
      }
      auto t1 = Clock::now();
      // The same visible pixels, copied row by row with no scale.
      for (int y = 0; y < h && y < img.y; ++y)
        std::memcpy(fb.data + (origin.y + y) * fb.stride + origin.x, img.data + y * img.stride, size_t(w));
      auto t2 = Clock::now();
      {
        // The image alone, to tell the blit's share from the labels'.
        gPainter painter(fb, origin, clip);
        painter.blit(const_cast<gImage&>(img).lock(), ePoint(0, 22), area);
        const_cast<gImage&>(img).unlock();
      }
      auto t3 = Clock::now();
      blitNs += std::chrono::duration<double, std::nano>(t3 - t2).count();
      benchmark::ClobberMemory();
      redrawNs += std::chrono::duration<double, std::nano>(t1 - t0).count();
      copyNs += std::chrono::duration<double, std::nano>(t2 - t1).count();
    }
    state.counters["redraw_ns"] = redrawNs / double(state.iterations());
    state.counters["copy_ns"] = copyNs / double(state.iterations());
    state.counters["blit_ns"] = blitNs / double(state.iterations());
    state.counters["ratio"] = copyNs > 0 ? redrawNs / copyNs : 0;
    state.counters["target_ratio"] = 3;
  }
  box::shutdownGui();
}
BENCHMARK(BM_GraphRedrawAgainstCopy);

}  // namespace

BENCHMARK_MAIN();
