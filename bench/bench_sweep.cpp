// The sweep's speed and endurance: the main job (the default sweep of the
// demo band, every lock searched and scanned, screenshots included) through
// vantrel-box, which should stay under 1 s of wall time; and a sweep of
// 100 000 steps in one window, whose resident size should stay flat.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/bench_support.h"
#include "box/base/trace.h"
#include "box/dvb/boot.h"
#include "box/gui/boot.h"
#include "box/gui/screen.h"
#include "host/decoder.h"
#include "host/rc.h"
#include "sweep/scan4transp.h"

namespace {

using bench::Clock;

void BM_DemoSweepThroughTheBox(benchmark::State& state) {
  bench::timeScriptedRun(state, "demo", 1000);
}
BENCHMARK(BM_DemoSweepThroughTheBox)->Unit(benchmark::kMillisecond)->Iterations(5);

long residentKiB() {
  long pages = 0, resident = 0;
  FILE* f = std::fopen("/proc/self/statm", "r");
  if (!f) return -1;
  if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = -1;
  std::fclose(f);
  return resident < 0 ? -1 : resident * (sysconf(_SC_PAGESIZE) / 1024);
}

struct Endurance {
  long tunes = 0;
  long rssAtStart = -1, rssAtEnd = -1;
  static constexpr long kSteps = 100000;

  static void observe(const nlohmann::json& line, void* self) {
    auto* e = static_cast<Endurance*>(self);
    if (line.value("ev", "") != "tune") return;
    ++e->tunes;
    if (e->tunes == 1000) e->rssAtStart = residentKiB();
    if (e->tunes == kSteps) {
      e->rssAtEnd = residentKiB();
      box::Screen::instance().keyPress(rc::red);  // leaves after this reading
    }
  }
};

void BM_HundredThousandSteps(benchmark::State& state) {
  if (!bench::bootGui(state)) return;
  std::string error;
  box::DvbOptions dvb;
  dvb.serviceList = "";
  if (!box::bootDvb(dvb, &error)) {
    state.SkipWithError(error.c_str());
    box::shutdownGui();
    return;
  }
  Endurance e;
  double wallMs = 0;
  for (auto _ : state) {
    box::Trace::addObserver(&Endurance::observe, &e);
    auto t0 = Clock::now();
    // A step of 0 stays on one quiet frequency: one step after another for
    // as long as the sweep is left running.
    auto* sweep = new scan4transp("10690", "12750", "00000", "27500", 0);
    sweep->show();
    sweep->exec();
    sweep->hide();
    delete sweep;
    wallMs += std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    box::Trace::removeObserver(&Endurance::observe, &e);
  }
  state.counters["steps"] = double(e.tunes);
  state.counters["wall_ms"] = wallMs;
  state.counters["rss_start_kib"] = double(e.rssAtStart);
  state.counters["rss_end_kib"] = double(e.rssAtEnd);
  state.counters["rss_ratio"] = e.rssAtStart > 0 ? double(e.rssAtEnd) / double(e.rssAtStart) : 0;
  box::shutdownDvb();
  box::shutdownGui();
}
BENCHMARK(BM_HundredThousandSteps)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
