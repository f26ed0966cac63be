// --export and --spectrum in the box: the main job, run after run the same,
// its finds in every format checked against the box's own summary and the
// band they came from; a later run exporting what the kept list holds.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cmath>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "box/export/spectrum_csv.h"
#include "export_support.h"

namespace {

using namespace export_test;

// A found service as the box's summary and the files name it. The summary
// shows the frequency a scan tuned, the files the carrier's own: those are
// checked against the band.
using Found = std::tuple<char, int, std::string>;  // H/V, ksym/s, name

// "  11766 MHz H 27500 ksym/s: 3 services" then "    Name (Provider)".
std::set<Found> summaryServices(const std::string& out) {
  std::set<Found> found;
  const std::regex tp(R"(  \d+ MHz ([HV]) (\d+) ksym/s: \d+ services?)"), sv(R"(    (.*) \(.*\))");
  Found at{};
  for (const std::string& line : linesOf(out)) {
    std::smatch m;
    if (std::regex_match(line, m, tp))
      at = {m[1].str()[0], std::stoi(m[2]), ""};
    else if (std::regex_match(line, m, sv))
      found.insert({std::get<0>(at), std::get<1>(at), m[1]});
  }
  return found;
}

// The band's carrier that carries a service of that name.
const box::BandCarrier* carrierOf(const box::Band& band, const std::string& name) {
  for (const box::BandCarrier& c : band.carriers)
    for (const box::BandService& s : c.services)
      if (s.name == name) return &c;
  return nullptr;
}

class BoxExports : public ::testing::Test {
 protected:
  void SetUp() override { dir = vantrel_test::testDir(); }
  Result box(const std::string& keys, const std::string& more, const std::string& root = "root") {
    return shell(box_run::boxCommand() + " --keys " + quote(keys) + " --root " + at(root) + " " + more);
  }
  std::string at(const std::string& name) const { return quote((dir / name).string()); }
  // The formats libdvbv5 writes, where the build has it.
  std::string libraryExports(const std::string& dvbv5 = "dvbv5.conf",
                             const std::string& scan = "scan.txt") const {
#ifdef VANTREL_HAVE_DVBV5
    return " --export dvbv5:" + at(dvbv5) + " --export scan:" + at(scan);
#else
    (void)dvbv5, (void)scan;
    return "";
#endif
  }
  fs::path dir;
};

// The main job, twice, each on a fresh root: every output the same byte for
// byte, its finds in every format as the summary and the band have them.
TEST_F(BoxExports, TheMainJobIsTheSameRunAfterRunAndItsFindsComeOutInEveryFormat) {
  std::vector<std::string> files = {"trace.jsonl", "vdr.conf", "zap.conf", "spectrum.csv"};
#ifdef VANTREL_HAVE_DVBV5
  files.insert(files.end(), {"dvbv5.conf", "scan.txt"});
#endif
  std::string out;
  for (const std::string run : {"a/", "b/"}) {
    Result r = box("@" VANTREL_SOURCE_DIR "/data/scripts/demo.keys",
                   "--shots " + at(run + "shots") + " --trace " + at(run + "trace.jsonl") +
                       " --export vdr:" + at(run + "vdr.conf") + " --export zap:" + at(run + "zap.conf") +
                       libraryExports(run + "dvbv5.conf", run + "scan.txt") + " --spectrum " +
                       at(run + "spectrum.csv"),
                   run + "root");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, out.empty() ? r.out : out);
    out = r.out;
  }
  for (const std::string& f : files) EXPECT_TRUE(readText(dir / "a" / f) == readText(dir / "b" / f)) << f;
  dir /= "a";
  const std::set<Found> summary = summaryServices(out);
  ASSERT_EQ(summary.size(), 92u) << out;
  // Every VDR line is a service of the summary, with the band's ids.
  const box::Band band = parsedBand(readText(VANTREL_SOURCE_DIR "/data/bands/demo.json"), "demo.json");
  std::set<Found> vdr;
  for (const std::string& line : linesOf(readText(dir / "vdr.conf"))) {
    const std::vector<std::string> f = fields(line, ':');
    ASSERT_EQ(f.size(), 13u) << line;
    const std::string name = f[0].substr(0, f[0].find(';'));
    vdr.insert({f[2][0], std::stoi(f[4]), name});
    EXPECT_EQ(f[3], "S13E") << line;
    int matches = 0;
    for (const box::BandCarrier& c : band.carriers)
      for (const box::BandService& s : c.services)
        matches += s.name == name && std::to_string(s.sid) == f[9] && std::to_string(c.onid) == f[10] &&
                   std::to_string(c.tsid) == f[11] && std::lround(c.freqMHz) == std::stoi(f[1]) &&
                   (c.pol ? 'V' : 'H') == f[2][0] && std::to_string(c.srKs) == f[4];
    EXPECT_EQ(matches, 1) << line;
  }
  EXPECT_EQ(vdr, summary);
  EXPECT_EQ(linesOf(readText(dir / "zap.conf")).size(), 92u);

#ifdef VANTREL_HAVE_DVBV5
  std::set<Found> dvbv5;
  std::set<std::string> transponders, scanned;
  auto tuning = [](const Dvbv5Entry& e) {
    return e.values.at("FREQUENCY") + " " + e.values.at("POLARIZATION") + " " + e.values.at("SYMBOL_RATE");
  };
  for (const Dvbv5Entry& e : convert(dir / "dvbv5.conf", "DVBV5", dir / "back.conf")) {
    dvbv5.insert({e.values.at("POLARIZATION")[0], std::stoi(e.values.at("SYMBOL_RATE")) / 1000, e.name});
    transponders.insert(tuning(e));
  }
  EXPECT_EQ(dvbv5, summary);
  for (const Dvbv5Entry& e : convert(dir / "scan.txt", "CHANNEL", dir / "back-scan.conf"))
    scanned.insert(tuning(e));
  EXPECT_EQ(scanned, transponders);
#endif

  // The spectrum: every row at a tuning the trace shows, a row per step of
  // the sweep at least, and the locks where the finds are.
  std::vector<box::SpectrumRow> rows;
  std::string error;
  ASSERT_TRUE(box::parseSpectrumCsv(readText(dir / "spectrum.csv"), "spectrum.csv", &rows, &error)) << error;
  std::set<std::tuple<int, int, int>> tuned;
  for (const std::string& line : linesOf(readText(dir / "trace.jsonl"))) {
    const auto j = nlohmann::json::parse(line);
    if (j["ev"] == "tune") tuned.insert({j["freq"].get<int>(), j["sr"].get<int>(), j["pol"].get<int>()});
  }
  // The sweep reads both at each of its steps (3 MHz apart, from 10700 to
  // 12750 and more around the finds); the peak search only the SNR.
  size_t steps = 0;
  std::set<int> lockedMHz;
  for (const box::SpectrumRow& row : rows) {
    EXPECT_TRUE(tuned.count({row.freqKHz, row.srSym, row.pol})) << row.freqKHz;
    EXPECT_TRUE(row.snr >= 0) << row.freqKHz;
    steps += row.strength >= 0;
    if (row.locked) lockedMHz.insert(row.freqKHz / 1000);
  }
  EXPECT_GE(steps, size_t((12750 - 10700) / 3));
  for (const Found& f : summary) {
    const int mhz = int(std::lround(carrierOf(band, std::get<2>(f))->freqMHz));
    auto near = lockedMHz.lower_bound(mhz - 6);
    EXPECT_TRUE(near != lockedMHz.end() && *near <= mhz + 6) << mhz;
  }
  // Drawn as a picture: 1 column a MHz from 10700 to 12750 between the margins.
  Result plot = shell(VANTREL_EMULATOR VANTREL_BINARY_DIR "/vantrel-bandplot --spectrum " +
                      at("spectrum.csv") + " " + at("spectrum.png"));
  ASSERT_EQ(plot.status, 0) << plot.out;
  const std::string png = readText(dir / "spectrum.png");
  ASSERT_GT(png.size(), 24u);
  EXPECT_EQ(png.substr(1, 3), "PNG");
  const auto u = [&](size_t i) { return (unsigned char)png[i]; };
  EXPECT_EQ(u(16) << 24 | u(17) << 16 | u(18) << 8 | u(19), 84 + 2051 + 20);
}

TEST_F(BoxExports, ALaterRunExportsWhatTheKeptListHoldsWithItsDeliverySystems) {
  // A list a real tuner kept: a DVB-S2 8PSK transponder at 30W and one
  // DVB-S at 19.2E.
  fs::create_directories(dir / "root/var/tuxbox/config/vantrel-box");
  std::ofstream(dir / "root/var/tuxbox/config/vantrel-box/services.json")
      << R"({"version": 1, "transponders": [
{"frequency_khz": 11493000, "symbol_rate": 22000000, "polarisation": 0, "fec": 2, "orbital_position": -300, "inversion": 0, "system": "DVB-S2", "modulation": "8PSK"},
{"frequency_khz": 12604000, "symbol_rate": 22000000, "polarisation": 1, "fec": 4, "orbital_position": 192, "inversion": 0, "system": "DVB-S", "modulation": "QPSK"}],
"services": [
{"data": [1, 28106, 1101, 1, -300, 11493, 0, 0], "flags": 0, "name": "Ost: Süd; Nord, West", "provider": "P", "service_type": 1, "scrambled": false},
{"data": [2, 7, 1093, 1, 192, 12604, 0, 0], "flags": 0, "name": "Radio", "provider": "", "service_type": 2, "scrambled": false}]})";
  Result r = box("key red", "--export vdr:" + at("out/vdr.conf") + libraryExports("out/dvbv5.conf"));
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(
      linesOf(readText(dir / "out/vdr.conf")),
      (std::vector<std::string>{"Ost| Süd. Nord. West;P:11493:HC23M5S1:S30W:22000:0:0:0:0:28106:1:1101:0",
                                "Radio:12604:VC56M2O35S0:S19.2E:22000:0:0:0:0:7:1:1093:0"}));
#ifdef VANTREL_HAVE_DVBV5
  std::vector<std::string> got;
  for (const Dvbv5Entry& e : convert(dir / "out/dvbv5.conf", "DVBV5", dir / "back.conf"))
    got.push_back(e.name + " " + e.values.at("DELIVERY_SYSTEM") + " " + e.values.at("MODULATION") + " " +
                  e.values.at("INNER_FEC") + " " + e.values.at("SERVICE_ID"));
  EXPECT_EQ(
      got, (std::vector<std::string>{"Ost: Süd; Nord, West DVBS2 PSK/8 2/3 28106", "Radio DVBS QPSK 5/6 7"}));
#endif
}

}  // namespace
