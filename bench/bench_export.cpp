// The exports of a large kept list: 200 000 services on 20 000 transponders
// (made up here, over 20 orbital positions), against 1 000 services on 100.
// Each step (placing the services, then each format's text) is timed at both
// sizes; ratio_per_service is the large list's time per service over the
// small one's, near 1 when the step is linear. The dvbv5 export's peak
// memory is measured in a child process, against the size of its text.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "box/export/channels.h"
#include "box/export/export.h"
#include "host/dvb.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int kServicesPerTransponder = 10, kTranspondersPerPosition = 1000;

void makeList(eTransponderList& list, int services) {
  eTransponder tp(list);
  tp.satellite.valid = true;
  for (int k = 0; k < services; ++k) {
    const int t = k / kServicesPerTransponder;
    const int orbital = 10 * (t / kTranspondersPerPosition) - 50;
    const int freqKHz = 10700000 + (t % kTranspondersPerPosition) * 1000;
    if (k % kServicesPerTransponder == 0) {
      tp.satellite.frequency = freqKHz;
      tp.satellite.symbol_rate = 27500000;
      tp.satellite.polarisation = t % 2;
      tp.satellite.fec = 3;
      tp.satellite.orbital_position = orbital;
      list.addTransponder(tp);
    }
    eServiceReferenceDVB ref;
    ref.data[0] = 1;
    ref.data[1] = k % kServicesPerTransponder + 1;
    ref.data[2] = t + 1;
    ref.data[3] = 1;
    ref.data[4] = orbital;
    ref.data[5] = freqKHz / 1000;
    eServiceDVB record;
    record.service_name = "Servizio " + std::to_string(k);
    record.service_provider = "Fornitore " + std::to_string(t % 50);
    list.addService(ref, record);
  }
}

enum Step { place, vdr, zap, dvbv5, scan };
const char* const kStepNames[] = {"channelList", "vdr", "zap", "dvbv5", "scan"};

// One step on list (channels made from it); false when an export fails.
bool runStep(Step step, const eTransponderList& list, const box::ChannelList& channels, size_t* bytes) {
  std::string text, error;
  switch (step) {
    case place:
      *bytes = box::channelList(list).services.size();
      return true;
    case vdr:
      text = box::vdrText(channels);
      break;
    case zap:
      text = box::zapText(channels);
      break;
    case dvbv5:
    case scan:
      if (!box::libraryFormatText(
              channels, step == dvbv5 ? box::ExportFormat::dvbv5 : box::ExportFormat::scan, &text, &error))
        return false;
      break;
  }
  *bytes = text.size();
  return true;
}

void BM_ExportAt200000AgainstAt1000(benchmark::State& state) {
  const Step step = Step(state.range(0));
  state.SetLabel(kStepNames[step]);
  if ((step == dvbv5 || step == scan) && !box::formatAvailable(box::ExportFormat::dvbv5)) {
    state.SkipWithError("no libdvbv5 in this build");
    return;
  }
  eTransponderList smallList, bigList;
  makeList(smallList, 1000);
  makeList(bigList, 200000);
  const box::ChannelList small = box::channelList(smallList), big = box::channelList(bigList);
  double smallMs = 0, bigMs = 0;
  size_t bytes = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    bool ok = runStep(step, smallList, small, &bytes);
    auto t1 = Clock::now();
    ok = ok && runStep(step, bigList, big, &bytes);
    auto t2 = Clock::now();
    if (!ok) {
      state.SkipWithError("the export failed");
      return;
    }
    smallMs += std::chrono::duration<double, std::milli>(t1 - t0).count();
    bigMs += std::chrono::duration<double, std::milli>(t2 - t1).count();
  }
  const double n = double(state.iterations());
  state.counters["at_1000_ms"] = smallMs / n;
  state.counters["at_200000_ms"] = bigMs / n;
  state.counters["ratio_per_service"] = (bigMs / 200000) / (smallMs / 1000);
  if (step != place) state.counters["text_mib"] = double(bytes) / (1 << 20);
}
BENCHMARK(BM_ExportAt200000AgainstAt1000)
    ->DenseRange(place, scan)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

// A /proc/self/status value in kB ("VmRSS", "VmHWM").
long statusKb(const char* key) {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind(key, 0) == 0 && line[std::string(key).size()] == ':')
      return std::stol(line.substr(line.find(':') + 1));
  return -1;
}

// The dvbv5 export of 200 000 services written to a file, as the box does
// at the end of a run: how far the peak resident size rises above where it
// was (the list itself made before). In a child, whose high-water mark is
// reset first, so that nothing this process did before counts.
void BM_Dvbv5ExportPeakMemoryAt200000(benchmark::State& state) {
  if (!box::formatAvailable(box::ExportFormat::dvbv5)) {
    state.SkipWithError("no libdvbv5 in this build");
    return;
  }
  eTransponderList list;
  makeList(list, 200000);
  const box::ChannelList channels = box::channelList(list);
  const fs::path dir = fs::path(VANTREL_BINARY_DIR) / "bench-output" / "export";
  fs::create_directories(dir);
  const box::ExportTarget target{box::ExportFormat::dvbv5, (dir / "channels.conf").string()};
  long riseKb = 0;
  for (auto _ : state) {
    int fds[2];
    if (::pipe(fds) != 0) {
      state.SkipWithError("pipe");
      return;
    }
    const pid_t child = ::fork();
    if (child == 0) {
      ::close(fds[0]);
      ::malloc_trim(0);
      std::ofstream("/proc/self/clear_refs") << "5";  // the high-water mark to the resident size
      const long before = statusKb("VmRSS");
      std::string error;
      long rise = box::writeExport(channels, target, &error) ? statusKb("VmHWM") - before : -1;
      ::_exit(::write(fds[1], &rise, sizeof rise) == sizeof rise ? 0 : 1);
    }
    ::close(fds[1]);
    long rise = -1;
    const bool got = ::read(fds[0], &rise, sizeof rise) == sizeof rise;
    ::close(fds[0]);
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !got || rise < 0) {
      state.SkipWithError("the dvbv5 export failed");
      return;
    }
    riseKb = std::max(riseKb, rise);
  }
  state.counters["peak_rise_mib"] = double(riseKb) / 1024;
  state.counters["text_mib"] = double(fs::file_size(target.file)) / (1 << 20);
}
BENCHMARK(BM_Dvbv5ExportPeakMemoryAt200000)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
