// The kept service list at 200 000 services (over 10 000 transponders, made
// up here): what one save after a scan costs against the same save with a
// list of 1 000 (the ratio should stay near 1: a save writes what changed),
// what loading the list costs, what writing it whole costs (at the end of a
// run), and the main job through vantrel-box on a root holding such a list,
// with its peak resident size.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "box/dvb/store.h"
#include "host/dvb.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int kServicesPerTransponder = 20;

// A list of n services named like a real one's, kept whole at path. Its
// transponders lie 5 MHz apart on each polarisation, 800 to an orbital
// position: each one a transponder of its own, as a found one is matched.
bool makeList(eTransponderList& list, int n, int firstService, const std::string& path, std::string* error) {
  eTransponder tp(list);
  tp.satellite.valid = true;
  for (int i = 0; i < n; ++i) {
    const int k = firstService + i, t = k / kServicesPerTransponder;
    if (i == 0 || k % kServicesPerTransponder == 0) {
      tp.satellite.frequency = 10700000 + (t / 2 % 400) * 5000;
      tp.satellite.symbol_rate = 27500000;
      tp.satellite.polarisation = t % 2;
      tp.satellite.fec = 3;
      tp.satellite.orbital_position = -1800 + t / 800;
      list.addTransponder(tp);
    }
    eServiceReferenceDVB ref;
    ref.data[0] = 1;
    ref.data[1] = k % kServicesPerTransponder + 1;
    ref.data[2] = t + 1;
    ref.data[3] = 1;
    ref.data[4] = tp.satellite.orbital_position;
    ref.data[5] = tp.satellite.frequency / 1000;
    eServiceDVB record;
    record.service_name = "Servizio " + std::to_string(k);
    record.service_provider = "Fornitore " + std::to_string(t % 50);
    list.addService(ref, record);
  }
  return path.empty() || box::saveServiceList(path, list, error);
}

std::string folder(const std::string& name) {
  fs::path dir = fs::path(VANTREL_BINARY_DIR) / "bench-output" / name;
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir.string();
}

// The save after a scan that found one more transponder with its services.
double saveOneScan(eTransponderList& list, int* next, const std::string& path, std::string* error) {
  eTransponderList found;
  makeList(found, kServicesPerTransponder, *next, "", error);
  *next += kServicesPerTransponder;
  box::ServiceChanges changes;
  for (const eTransponder& tp : found.getKnownTransponders()) {
    list.addTransponder(tp);
    changes.transponders.push_back(tp.satellite);
  }
  for (const auto& [ref, record] : found.getServices()) {
    list.addService(ref, record);
    changes.services.insert(ref);
  }
  auto t0 = Clock::now();
  bool ok = box::saveServiceChanges(path, list, changes, error);
  double us = std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
  return ok ? us : -1;
}

void BM_SaveAt200000AgainstSaveAt1000(benchmark::State& state) {
  const std::string small = folder("store-1000") + "/services.json",
                    big = folder("store-200000") + "/services.json";
  eTransponderList smallList, bigList;
  std::string error;
  if (!makeList(smallList, 1000, 0, small, &error) || !makeList(bigList, 200000, 0, big, &error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  int nextSmall = 1000, nextBig = 200000;
  double smallUs = 0, bigUs = 0;
  for (auto _ : state) {
    double a = saveOneScan(smallList, &nextSmall, small, &error),
           b = saveOneScan(bigList, &nextBig, big, &error);
    if (a < 0 || b < 0) {
      state.SkipWithError(error.c_str());
      return;
    }
    smallUs += a;
    bigUs += b;
  }
  const double n = double(state.iterations());
  state.counters["save_1000_us"] = smallUs / n;
  state.counters["save_200000_us"] = bigUs / n;
  state.counters["ratio"] = bigUs / smallUs;
  state.counters["list_mib"] = double(fs::file_size(big)) / (1 << 20);
}
BENCHMARK(BM_SaveAt200000AgainstSaveAt1000)->Unit(benchmark::kMillisecond)->Iterations(50);

// A scan's transponder found again 1 MHz off, matched to the one kept among
// 10 000 (200 000 services) against among 50 (1 000): the ratio should stay
// near 1, as the match looks the frequency up instead of walking the list.
void BM_MatchAt10000AgainstAt50(benchmark::State& state) {
  eTransponderList small, big;
  std::string error;
  makeList(small, 1000, 0, "", &error);
  makeList(big, 200000, 0, "", &error);
  auto matchAll = [](eTransponderList& list, int rounds) {
    std::vector<eTransponder> found(list.getKnownTransponders().begin(), list.getKnownTransponders().end());
    auto t0 = Clock::now();
    for (int r = 0; r < rounds; ++r)
      for (eTransponder& tp : found) {
        tp.satellite.frequency += r % 2 ? -1000 : 1000;
        benchmark::DoNotOptimize(list.addTransponder(tp));
      }
    const double us = std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
    return list.getKnownTransponders().size() == found.size() ? us / double(rounds * found.size()) : -1;
  };
  double smallUs = 0, bigUs = 0;
  for (auto _ : state) {
    smallUs += matchAll(small, 200);
    bigUs += matchAll(big, 1);
  }
  if (smallUs < 0 || bigUs < 0) {
    state.SkipWithError("a transponder found again was kept twice");
    return;
  }
  const double n = double(state.iterations());
  state.counters["match_50_us"] = smallUs / n;
  state.counters["match_10000_us"] = bigUs / n;
  state.counters["ratio"] = bigUs / smallUs;
}
BENCHMARK(BM_MatchAt10000AgainstAt50)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_Load200000(benchmark::State& state) {
  const std::string path = folder("store-load") + "/services.json";
  std::string error;
  {
    eTransponderList list;
    if (!makeList(list, 200000, 0, path, &error)) {
      state.SkipWithError(error.c_str());
      return;
    }
  }
  for (auto _ : state) {
    box::KeptServices kept;
    if (!box::loadServiceList(path, &kept, &error)) {
      state.SkipWithError(error.c_str());
      return;
    }
    benchmark::DoNotOptimize(kept.services.data());
  }
}
BENCHMARK(BM_Load200000)->Unit(benchmark::kMillisecond)->Iterations(3);

// What the end of a run costs: the list merged with the disk and written
// whole; with the stamp (arg 1) of a list file this box read or wrote, as a
// box has, the file is not read again.
void BM_WriteWhole200000(benchmark::State& state) {
  const std::string path = folder("store-whole") + "/services.json";
  std::string error;
  eTransponderList list;
  box::KeptFileStamp stamp;
  if (!makeList(list, 200000, 0, "", &error) || !box::saveServiceList(path, list, &error, &stamp)) {
    state.SkipWithError(error.c_str());
    return;
  }
  for (auto _ : state) {
    box::KeptFileStamp used = state.range(0) ? stamp : box::KeptFileStamp();
    if (!box::saveServiceList(path, list, &error, &used)) {
      state.SkipWithError(error.c_str());
      return;
    }
    stamp = used;
  }
}
BENCHMARK(BM_WriteWhole200000)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

// The main job on a root that keeps 200 000 services: wall time and the
// box's peak resident size.
void BM_DemoWith200000Kept(benchmark::State& state) {
  const std::string root = folder("store-demo");
  const std::string list = root + "/var/tuxbox/config/vantrel-box/services.json";
  const std::string keys = std::string("@") + VANTREL_SOURCE_DIR + "/data/scripts/demo.keys";
  const std::string shots = root + "/shots";
  double wallMs = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::string error;
    fs::remove(list + ".journal");
    // The plug-in's skin, where an installation puts it.
    fs::create_directories(root + "/var/tuxbox/plugins");
    fs::copy_file(VANTREL_BINARY_DIR "/root/var/tuxbox/plugins/vantrel.esml",
                  root + "/var/tuxbox/plugins/vantrel.esml", fs::copy_options::overwrite_existing);
    eTransponderList kept;
    if (!makeList(kept, 200000, 0, list, &error)) {
      state.SkipWithError(error.c_str());
      return;
    }
    state.ResumeTiming();
    auto t0 = Clock::now();
    pid_t child = ::fork();
    if (child == 0) {
      if (!::freopen("/dev/null", "w", stdout) || !::freopen("/dev/null", "w", stderr)) ::_exit(127);
      ::execl(VANTREL_BINARY_DIR "/vantrel-box", "vantrel-box", "--keys", keys.c_str(), "--root",
              root.c_str(), "--shots", shots.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
      state.SkipWithError("vantrel-box failed on demo.keys with 200 000 services kept");
      return;
    }
    wallMs += std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
  }
  struct rusage usage {};
  ::getrusage(RUSAGE_CHILDREN, &usage);
  state.counters["wall_ms"] = wallMs / double(state.iterations());
  state.counters["peak_rss_mib"] = double(usage.ru_maxrss) / 1024;
}
BENCHMARK(BM_DemoWith200000Kept)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
