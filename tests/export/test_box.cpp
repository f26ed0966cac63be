// --export and --spectrum in the box: the main job, run after run the same,
// its finds in every format checked against the box's own summary and the
// band they came from; a later run exporting what the kept list holds.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "box/dvb/band.h"
#include "box/export/export.h"
#include "box/export/spectrum_csv.h"
#include "runner/box_run.h"

namespace {

using namespace box_run;
namespace fs = std::filesystem;

// A found service as the box's summary and the files name it, on the
// transponder as kept, in whole MHz rounded alike.
using Found = std::tuple<char, int, int, std::string, bool>;  // H/V, MHz, ksym/s, name, scrambled

// "  11766 MHz H 27500 ksym/s DVB-S: 3 services" then "    Name (Provider): TV, free, SID 1".
std::set<Found> summaryServices(const std::string& out) {
  std::set<Found> found;
  const std::regex tp(R"(  (\d+) MHz ([HV]) (\d+) ksym/s DVB-S: \d+ services?( \(new\))?)"),
      sv(R"(    (.*?) \([^()]*\): \w+, (free|scrambled), SID \d+( \(new\)| \(was: .*\))?)");
  Found at{};
  for (const std::string& line : linesOf(out)) {
    std::smatch m;
    if (std::regex_match(line, m, tp))
      at = {m[2].str()[0], std::stoi(m[1]), std::stoi(m[3]), "", false};
    else if (std::regex_match(line, m, sv))
      found.insert({std::get<0>(at), std::get<1>(at), std::get<2>(at), m[1], m[2] == "scrambled"});
  }
  return found;
}

// Its --shots and --trace give way to those of a run that has its own.
using BoxExports = BoxRun;

// The main job, twice, each on a fresh root: every output the same byte for
// byte, its finds as the summary and the band have them (the writers of each
// format are checked whole on their own).
TEST_F(BoxExports, TheMainJobIsTheSameRunAfterRunAndItsFindsComeOutInEveryFormat) {
  std::string out;
  for (const std::string ab : {"a", "b"}) {
    const std::string d = "DIR/" + ab + "/";
    Result r =
        box("@" VANTREL_SOURCE_DIR "/data/scripts/demo.keys",
            "--root " + d + "root --shots " + d + "shots --trace " + d + "trace.jsonl --export vdr:" + d +
                "vdr.conf --export zap:" + d + "zap.conf --spectrum " + d + "spectrum.csv" +
                (box::formatAvailable(box::ExportFormat::dvbv5)  // the formats libdvbv5 writes
                     ? " --export dvbv5:" + d + "dvbv5.conf --export scan:" + d + "scan.txt"
                     : ""));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, out.empty() ? r.out : out);
    out = r.out;
  }
  for (const auto& e : fs::recursive_directory_iterator(dir / "a"))
    EXPECT_TRUE(!e.is_regular_file() ||
                readText(e) == readText(dir / "b" / e.path().lexically_relative(dir / "a")))
        << e.path();
  dir /= "a";
  const std::set<Found> summary = summaryServices(out);
  ASSERT_EQ(summary.size(), 92u) << out;
  // Every VDR line is a service of the summary (its MHz, scrambled or not), with the band's ids.
  box::Band band;
  std::string error;
  ASSERT_TRUE(
      box::parseBand(readText(VANTREL_SOURCE_DIR "/data/bands/demo.json"), "demo.json", &band, &error));
  std::set<std::string> inBand;
  std::map<std::string, int> mhzOf;
  for (const box::BandCarrier& c : band.carriers)
    for (const box::BandService& s : c.services) {
      const int mhz = int(std::lround(c.freqMHz));
      mhzOf.emplace(s.name, mhz);  // a name on two carriers: the first
      inBand.insert(s.name + ":" + std::to_string(mhz) + ":" + (c.pol ? "V:S13E:" : "H:S13E:") +
                    std::to_string(c.srKs) + ":" + std::to_string(s.sid) + ":" + std::to_string(c.onid) +
                    ":" + std::to_string(c.tsid));
    }
  std::set<Found> vdr;
  for (const std::string& line : linesOf(readText(dir / "vdr.conf"))) {
    const std::vector<std::string> f = fields(line, ':');
    ASSERT_EQ(f.size(), 13u) << line;
    const std::string name = f[0].substr(0, f[0].find(';'));
    vdr.insert({f[2][0], std::stoi(f[1]), std::stoi(f[4]), name, f[8] != "0"});
    EXPECT_TRUE(inBand.count(name + ":" + f[1] + ":" + f[2][0] + ":" + f[3] + ":" + f[4] + ":" + f[9] + ":" +
                             f[10] + ":" + f[11]))
        << line;
  }
  EXPECT_EQ(vdr, summary);

  // The spectrum: every row at a tuning the trace shows, a row per step of
  // the sweep at least, and the locks where the finds are.
  std::vector<box::SpectrumRow> rows;
  ASSERT_TRUE(box::parseSpectrumCsv(readText(dir / "spectrum.csv"), "spectrum.csv", &rows, &error)) << error;
  std::set<std::tuple<int, int, int>> tuned;
  for (const auto& j : trace())
    if (j["ev"] == "tune") tuned.insert({j["freq"].get<int>(), j["sr"].get<int>(), j["pol"].get<int>()});
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
    const int mhz = mhzOf[std::get<3>(f)];
    auto near = lockedMHz.lower_bound(mhz - 6);
    EXPECT_TRUE(near != lockedMHz.end() && *near <= mhz + 6) << mhz;
  }
  // Drawn as a picture: 1 column a MHz from 10700 to 12750 between the margins.
  Result plot = shell(VANTREL_EMULATOR VANTREL_BINARY_DIR "/vantrel-bandplot --spectrum " +
                      inDir("DIR/spectrum.csv DIR/spectrum.png"));
  ASSERT_EQ(plot.status, 0) << plot.out;
  EXPECT_EQ(readText(dir / "spectrum.png").substr(0, 20),
            std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\x08\x6b", 20))
      << "2155 = 84 + 2051 + 20 columns wide";
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
  Result r = box("key red", "--root DIR/root --export vdr:DIR/out/vdr.conf");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(
      linesOf(readText(dir / "out/vdr.conf")),
      (std::vector<std::string>{"Ost| Süd. Nord. West;P:11493:HC23M5S1:S30W:22000:0:0:0:0:28106:1:1101:0",
                                "Radio:12604:VC56M2O35S0:S19.2E:22000:0:0:0:0:7:1:1093:0"}));
}

}  // namespace

// A feed that comes on the air late (data/bands/onair.json): absent from a
// sweep at once, new in a run a night later that waits two minutes first,
// when the morning feed is gone; the hunt log says when each was seen.
TEST_F(BoxExports, AFeedOnTheAirLaterIsNewInTheRunThatSeesItAndTheHuntLogSaysWhen) {
  const std::string sweep =
      "key green; wait-text \"Scansione terminata\" 3000000; key ok; wait 500; key red; wait 500; key red";
  const std::string args = " --band " VANTREL_SOURCE_DIR "/data/bands/onair.json --root DIR/root";
  Result first = box(sweep, args);
  std::string later = boxCommand();
  later.replace(later.find("2026-12-08T21:04:05Z"), 20, "2026-12-09T08:00:00Z");
  Result second =
      shell(later + " --keys " + quote("wait 120000; " + sweep) + inDir(args + " --export csv:DIR/log.csv"));
  ASSERT_EQ(first.status + second.status, 0) << first.out << second.out;
  EXPECT_EQ(first.out + second.out,
            "Transponders scanned: 2\n"
            "  10850 MHz H 27500 ksym/s DVB-S: 2 services (new)\n"
            "    Canale Fisso (Rete Stabile): TV, free, SID 1001 (new)\n"
            "    Radio Fissa (Rete Stabile): radio, free, SID 1002 (new)\n"
            "  11240 MHz H 27500 ksym/s DVB-S: 1 service (new)\n"
            "    Feed Mattina (OB Van 7): TV, free, SID 2001 (new)\n"
            "Found: 2 transponders, 3 services (2 TV, 1 radio, 0 scrambled).\n"
            "New: 2 transponders, 3 services; 0 renamed; 0 seen before.\n"
            "Transponders scanned: 2\n"
            "  10850 MHz H 27500 ksym/s DVB-S: 2 services\n"
            "    Canale Fisso (Rete Stabile): TV, free, SID 1001\n"
            "    Radio Fissa (Rete Stabile): radio, free, SID 1002\n"
            "  11800 MHz H 27500 ksym/s DVB-S: 2 services (new)\n"
            "    Feed \"Gol\", Diretta (OB Van 3): TV, free, SID 3001 (new)\n"
            "    Feed Tribuna (OB Van 3): TV, free, SID 3002 (new)\n"
            "Found: 2 transponders, 4 services (3 TV, 1 radio, 0 scrambled).\n"
            "New: 1 transponder, 2 services; 0 renamed; 2 seen before.\n");
  const std::string tp = "13.0E,%,H,27500,DVB-S,QPSK,3/4,318,";
  auto row = [&](const char* mhz, const std::string& rest) {
    std::string r = tp;
    return r.replace(r.find('%'), 1, mhz) + rest + "\r";
  };
  EXPECT_EQ(
      linesOf(readText(dir / "log.csv")),
      (std::vector<std::string>{
          "position,frequency_mhz,polarisation,symbol_rate_ks,system,modulation,fec,onid,tsid,sid,name,"
          "provider,type,scrambled,first_seen,last_seen,times_seen\r",
          row("10850", "201,1001,Canale Fisso,Rete Stabile,tv,0,2026-12-08T21:05:13Z,2026-12-09T08:03:08Z,2"),
          row("10850",
              "201,1002,Radio Fissa,Rete Stabile,radio,0,2026-12-08T21:05:13Z,2026-12-09T08:03:08Z,2"),
          row("11240", "202,2001,Feed Mattina,OB Van 7,tv,0,2026-12-08T21:06:46Z,2026-12-08T21:06:46Z,1"),
          row("11800",
              "203,3001,\"Feed \"\"Gol\"\", Diretta\",OB Van 3,tv,0,2026-12-09T08:06:51Z,"
              "2026-12-09T08:06:51Z,1"),
          row("11800", "203,3002,Feed Tribuna,OB Van 3,tv,0,2026-12-09T08:06:52Z,2026-12-09T08:06:52Z,1")}));
}
