// The cost of the box's drawing: a full-screen redraw with the parameter
// dialog open, against a plain copy of the whole framebuffer; and a scripted
// run of the dialog through vantrel-box (start, type, "Avvia", "Annulla"),
// which should stay under 0.2 s of wall time.
#include <benchmark/benchmark.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "box/gui/boot.h"
#include "box/gui/screen.h"
#include "entry/evantrel.h"

namespace {

using bench::Clock;

void BM_FullScreenRedrawAgainstCopy(benchmark::State& state) {
  if (!bench::bootGui(state)) return;
  {
    eVantrel dialog;
    dialog.show();
    box::Screen& screen = box::Screen::instance();
    gPixmap& fb = screen.framebuffer();
    std::vector<uint8_t> copy(size_t(fb.stride) * fb.y);
    const eRect whole(0, 0, box::Screen::width, box::Screen::height);
    double redrawNs = 0, copyNs = 0;
    for (auto _ : state) {
      auto t0 = Clock::now();
      screen.invalidate(whole);
      screen.redrawDirty();
      auto t1 = Clock::now();
      std::memcpy(copy.data(), fb.data, copy.size());
      benchmark::ClobberMemory();
      auto t2 = Clock::now();
      redrawNs += std::chrono::duration<double, std::nano>(t1 - t0).count();
      copyNs += std::chrono::duration<double, std::nano>(t2 - t1).count();
    }
    state.counters["redraw_us"] = redrawNs / 1000 / double(state.iterations());
    state.counters["copy_us"] = copyNs / 1000 / double(state.iterations());
    state.counters["ratio"] = copyNs > 0 ? redrawNs / copyNs : 0;
  }
  box::shutdownGui();
}
BENCHMARK(BM_FullScreenRedrawAgainstCopy)->Unit(benchmark::kMicrosecond);

void BM_ScriptedDialogRun(benchmark::State& state) {
  bench::timeScriptedRun(state, "dialog", 200);
}
BENCHMARK(BM_ScriptedDialogRun)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

BENCHMARK_MAIN();
