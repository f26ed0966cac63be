#pragma once
// What the benchmarks share: bringing the box's GUI up from the source tree,
// and timing a scripted vantrel-box run on the wall clock.
#include <benchmark/benchmark.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "box/gui/boot.h"

namespace bench {

using Clock = std::chrono::steady_clock;

// False (and the benchmark skipped) when the GUI cannot come up.
inline bool bootGui(benchmark::State& state) {
  box::GuiOptions options;
  options.dataDir = VANTREL_SOURCE_DIR "/data";
  options.root = VANTREL_BINARY_DIR "/root";
  std::string error;
  if (box::bootGui(options, &error)) return true;
  state.SkipWithError(error.c_str());
  return false;
}

// Runs vantrel-box with a key script from data/scripts, its shots going to
// bench-output/NAME, and reports the mean wall time against the target.
inline void timeScriptedRun(benchmark::State& state, const std::string& name, double targetMs) {
  const std::string command = std::string(VANTREL_BINARY_DIR "/vantrel-box --keys @") + VANTREL_SOURCE_DIR +
                              "/data/scripts/" + name + ".keys --shots " VANTREL_BINARY_DIR "/bench-output/" +
                              name + " >/dev/null 2>&1";
  double wallMs = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    int status = std::system(command.c_str());
    auto t1 = Clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError(("vantrel-box failed on " + name + ".keys").c_str());
      return;
    }
    wallMs += std::chrono::duration<double, std::milli>(t1 - t0).count();
  }
  state.counters["wall_ms"] = wallMs / double(state.iterations());
  state.counters["target_ms"] = targetMs;
}

}  // namespace bench
