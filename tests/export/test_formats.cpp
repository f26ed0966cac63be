// The four channel files, whole and read back by the tools that read them:
// the dvbv5 tools take dvbv5, scan and zap files (VDR's they cannot read).
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "box/base/clock.h"
#include "box/base/fileio.h"
#include "box/dvb/delivery.h"
#include "box/export/channels.h"
#include "box/export/export.h"
#include "runner/box_run.h"

namespace {

using namespace box_run;
using namespace vantrel_test;
namespace fs = std::filesystem;
using box::ExportFormat;

// Both polarisations, west and east, DVB-S2 with a modulation the tuner said
// and one it did not (the dvbv5 tools read that as QAM/AUTO), an automatic
// FEC, a frequency between two MHz, a transponder kept without services,
// names with ':' ';' ',' and letters outside ASCII.
box::ChannelList someChannels() {
  box::ChannelList c;
  c.transponders = {
      {11000000, 45000000, 0, 3, -300, false, "QPSK"}, {11900000, 27500000, 1, 0, -300, false, "QPSK"},
      {12000000, 30000000, 0, 9, -300, true, ""},      {10743500, 22000000, 1, 5, 192, false, "QPSK"},
      {11766000, 27500000, 0, 3, 192, false, "QPSK"},  {12188000, 29900000, 1, 2, 192, true, "8PSK"}};
  c.services = {{1, "West Feed", "W", 7, 7, 9},
                {2, "S2 Unknown", "W", 8, 8, 9},
                {3, "#Half [x]\n]", "P", 301, 1003, 2},
                {4, "Canale: Uno; Due, Tre", "Prov: A; B, C", 101, 1001, 1},
                {4, "Ünïcødé Καλημέρα", "Ραδιόφωνο", 102, 1001, 1, 2},
                {5, "HD Feed", "Say \"Hi\"\r", 201, 1002, 1, 1, true}};
  EXPECT_TRUE(box::parseUtc("2026-12-08T21:04:05Z", &c.services[0].seen.last));
  c.services[0].seen = {c.services[0].seen.last - 86400, c.services[0].seen.last, 2};
  c.transponders[0].seen = {c.services[0].seen.last, c.services[0].seen.last, 1};
  return c;
}

// An entry as the dvbv5 tools read it back: name|sid|onid|tsid, tuning.
std::string readBack(const Dvbv5Entry& e) {
  auto v = [&](const char* key) { return e.values.count(key) ? e.values.at(key) : "-"; };
  return e.name + "|" + v("SERVICE_ID") + "|" + v("NETWORK_ID") + "|" + v("TRANSPORT_ID") + " " +
         v("DELIVERY_SYSTEM") + " " + v("FREQUENCY") + " " + v("POLARIZATION") + " " + v("SYMBOL_RATE") +
         " " + v("INNER_FEC") + " " + v("MODULATION") + " " + v("ROLLOFF") +
         (e.values.count("VIDEO_PID") ? " PIDs" : "");
}

TEST(Formats, EachIsWrittenWholeAndReadBackByTheTools) {
  struct Case {
    ExportFormat format;
    std::vector<std::string> lines;  // of the file; none: not compared
    const char* tool;                // dvb-format-convert's name for it; "": none reads it
    std::vector<std::string> back;
  } cases[] = {
      // VDR reads "Name;Provider" with '|' for ':' and no escape for ',' and
      // ';' (written as '.').
      {ExportFormat::vdr,
       {"West Feed;W:11900:VC999M2O35S0:S30W:27500:0:0:0:0:7:9:7:0",
        "S2 Unknown;W:12000:HC910M999S1:S30W:30000:0:0:0:0:8:9:8:0",
        "#Half [x] ];P:10744:VC78M2O35S0:S19.2E:22000:0:0:0:0:301:2:1003:0",
        "Canale| Uno. Due. Tre;Prov| A. B. C:11766:HC34M2O35S0:S19.2E:27500:0:0:0:0:101:1:1001:0",
        "Ünïcødé Καλημέρα;Ραδιόφωνο:11766:HC34M2O35S0:S19.2E:27500:0:0:0:0:102:1:1001:0",
        "HD Feed;Say \"Hi\" :12188:VC23M5S1:S19.2E:29900:0:0:0:FFFF:201:1:1002:0"},
       "",
       {}},
      // As szap and mplayer-like players read them: name, MHz, polarisation,
      // satellite number, ksymbols/s, VPID, APID, SID. libdvbv5 reads DVB-S
      // lines without the satellite number: only names and frequencies
      // come through it.
      {ExportFormat::zap,
       {"West Feed:11900:v:0:27500:0:0:7", "S2 Unknown:12000:h:0:30000:0:0:8",
        "_#Half [x] ]:10744:v:0:22000:0:0:301", "Canale| Uno; Due, Tre:11766:h:0:27500:0:0:101",
        "Ünïcødé Καλημέρα:11766:h:0:27500:0:0:102", "HD Feed:12188:v:0:29900:0:0:201"},
       "ZAP",
       {"West Feed|-|-|- DVBS 11900 OFF 0 AUTO - - PIDs", "S2 Unknown|-|-|- DVBS 12000 OFF 0 AUTO - - PIDs",
        "_#Half [x] ]|-|-|- DVBS 10744 OFF 0 AUTO - - PIDs",
        "Canale| Uno; Due, Tre|-|-|- DVBS 11766 OFF 0 AUTO - - PIDs",
        "Ünïcødé Καλημέρα|-|-|- DVBS 11766 OFF 0 AUTO - - PIDs",
        "HD Feed|-|-|- DVBS 12188 OFF 0 AUTO - - PIDs"}},
      // The box knows no PIDs: none is written, none invented.
      {ExportFormat::dvbv5,
       {},
       "DVBV5",
       {"West Feed|7|9|7 DVBS 11900000 VERTICAL 27500000 AUTO QPSK 35",
        "S2 Unknown|8|9|8 DVBS2 12000000 HORIZONTAL 30000000 9/10 QAM/AUTO AUTO",
        "#Half [x) )|301|2|1003 DVBS 10743500 VERTICAL 22000000 7/8 QPSK 35",
        "Canale: Uno; Due, Tre|101|1|1001 DVBS 11766000 HORIZONTAL 27500000 3/4 QPSK 35",
        "Ünïcødé Καλημέρα|102|1|1001 DVBS 11766000 HORIZONTAL 27500000 3/4 QPSK 35",
        "HD Feed|201|1|1002 DVBS2 12188000 VERTICAL 29900000 2/3 PSK/8 AUTO"}},
      // Every kept transponder once; the channel format carries no roll-off
      // for DVB-S, nor a modulation.
      {ExportFormat::scan,
       {},
       "CHANNEL",
       {"CHANNEL|-|-|- DVBS 11000000 HORIZONTAL 45000000 3/4 - -",
        "CHANNEL|-|-|- DVBS 11900000 VERTICAL 27500000 AUTO - -",
        "CHANNEL|-|-|- DVBS2 12000000 HORIZONTAL 30000000 9/10 QAM/AUTO AUTO",
        "CHANNEL|-|-|- DVBS 10743500 VERTICAL 22000000 7/8 - -",
        "CHANNEL|-|-|- DVBS 11766000 HORIZONTAL 27500000 3/4 - -",
        "CHANNEL|-|-|- DVBS2 12188000 VERTICAL 29900000 2/3 PSK/8 AUTO"}},
      // RFC 4180: CR LF ends a row; a field with a comma, a quote, a CR or an
      // LF is quoted and its quotes doubled; a transponder without services
      // is a row of its own. Python's csv module reads it back below.
      {ExportFormat::csv,
       {"position,frequency_mhz,polarisation,symbol_rate_ks,system,modulation,fec,onid,tsid,sid,name,"
        "provider,"
        "type,scrambled,first_seen,last_seen,times_seen\r",
        "30.0W,11000,H,45000,DVB-S,QPSK,3/4,,,,,,,,2026-12-08T21:04:05Z,2026-12-08T21:04:05Z,1\r",
        "30.0W,11900,V,27500,DVB-S,QPSK,,9,7,7,West "
        "Feed,W,tv,0,2026-12-07T21:04:05Z,2026-12-08T21:04:05Z,2\r",
        "30.0W,12000,H,30000,DVB-S2,,9/10,9,8,8,S2 Unknown,W,tv,0,,,\r",
        "19.2E,10743.5,V,22000,DVB-S,QPSK,7/8,2,1003,301,\"#Half [x]", "]\",P,tv,0,,,\r",
        "19.2E,11766,H,27500,DVB-S,QPSK,3/4,1,1001,101,\"Canale: Uno; Due, Tre\",\"Prov: A; B, C\",tv,0,,,\r",
        "19.2E,11766,H,27500,DVB-S,QPSK,3/4,1,1001,102,Ünïcødé Καλημέρα,Ραδιόφωνο,radio,0,,,\r",
        "19.2E,12188,V,29900,DVB-S2,8PSK,2/3,1,1002,201,HD Feed,\"Say \"\"Hi\"\"\r\",tv,1,,,\r"},
       "",
       {}},
  };
  const fs::path dir = testDir();
  const box::ChannelList channels = someChannels();
  for (const Case& c : cases) {
    if (!box::formatAvailable(c.format)) continue;
    const std::string name = box::formatName(c.format);
    std::string error;
    ASSERT_TRUE(box::writeExport(channels, {c.format, (dir / name).string()}, &error)) << error;
    EXPECT_EQ(c.lines.empty() ? c.lines : linesOf(readText(dir / name)), c.lines);
    if (!*c.tool) continue;
    std::vector<std::string> back;
    for (const Dvbv5Entry& e : convert(dir / name, c.tool, dir / (name + ".back")))
      back.push_back(readBack(e));
    EXPECT_EQ(back, c.back) << name;
  }
  if (shell("command -v python3").status != 0) GTEST_SKIP() << "python3 is not here to read the CSV back";
  const Result py = shell(
      "python3 -c 'import csv, json, sys; print(json.dumps([r[10:12] for r in csv.reader(open(sys.argv[1], "
      "newline=\"\", encoding=\"utf-8\")) if len(r) == 17], ensure_ascii=False))' " +
      quote((dir / "csv").string()));
  auto names =
      nlohmann::json::array({nlohmann::json::array({"name", "provider"}), nlohmann::json::array({"", ""})});
  for (const box::ExportService& s : channels.services)
    names.push_back(nlohmann::json::array({s.name, s.provider}));
  EXPECT_EQ(nlohmann::json::parse(py.out, nullptr, false), names) << py.out;
}

// Each format on an empty list, into a folder that is a file, over a folder,
// and on a full disk, for the box's own writes or libdvbv5's (a file size
// limit cuts its text short, as a disk that fills while it writes): a failure
// names the file and leaves the old one whole, and no temporary file.
TEST(Formats, AnEmptyListAndFilesThatCannotBeWritten) {
  const fs::path dir = testDir();
  const box::ChannelList channels = someChannels(), none;
  fs::create_directories(dir / "old");
  std::ofstream(dir / "old/keep.conf") << "old\n";
  std::ofstream(dir / "plain") << "a file, not a folder\n";
  rlimit saved{}, cut{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  cut = saved;
  cut.rlim_cur = 64;
  auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
  const std::string file = (dir / "keep.conf").string();
  for (const auto& [format, tool] :
       {std::pair{ExportFormat::vdr, ""}, std::pair{ExportFormat::zap, "ZAP"},
        std::pair{ExportFormat::dvbv5, "DVBV5"}, std::pair{ExportFormat::scan, "CHANNEL"}}) {
    if (!box::formatAvailable(format)) continue;
    const std::string name = box::formatName(format);
    std::string error;
    // The folder is made on the way.
    EXPECT_TRUE(box::writeExport(none, {format, (dir / name / "out").string()}, &error)) << error;
    EXPECT_EQ(readText(dir / name / "out"), "") << name;
    EXPECT_TRUE(!*tool || convert(dir / name / "out", tool, dir / name / "back").empty()) << name;
    EXPECT_EQ(filesIn(dir / name).size(), *tool ? 2u : 1u) << name << ": no temporary file left";
    EXPECT_FALSE(box::writeExport(channels, {format, (dir / "plain/x.conf").string()}, &error)) << name;
    EXPECT_EQ(error.rfind((dir / "plain/x.conf").string(), 0), 0u) << error;
    EXPECT_FALSE(box::writeExport(channels, {format, (dir / "old").string()}, &error)) << name;
    EXPECT_EQ(readText(dir / "old/keep.conf"), "old\n");
    for (bool libraryCut : {false, true}) {
      std::ofstream(file) << "old\n";
      if (libraryCut)
        setrlimit(RLIMIT_FSIZE, &cut);
      else
        box::setWriteFunction(&diskFull);
      const bool ok = box::writeExport(channels, {format, file}, &error);
      setrlimit(RLIMIT_FSIZE, &saved);
      box::setWriteFunction(nullptr);
      EXPECT_FALSE(ok) << name;
      const bool library = format == ExportFormat::dvbv5 || format == ExportFormat::scan;
      EXPECT_EQ(error, file + ": " +
                           (!libraryCut ? "write: No space left on device"
                            : library   ? "libdvbv5 could not write the " + name + " file"
                                        : "write: File too large"));
      EXPECT_EQ(readText(file), "old\n") << name;
    }
    fs::remove_all(dir / name);
    EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"keep.conf", "old", "plain"})) << name;
  }
  std::signal(SIGXFSZ, oldSignal);
}

// Names that some reader of a format would drop, take for a comment, or
// read with its fields shifted: every format keeps every service, named (the
// dvbv5 tools read one back in the table above).
TEST(ExportNames, AwkwardNamesKeepTheirServiceInEveryFormat) {
  struct Case {
    std::string name, vdr, zap;
  } cases[] = {
      {"", "SID 1", "SID 1"},
      {"\t\n", "SID 2", "SID 2"},
      {"#Feed", "#Feed", "_#Feed"},
      {"  #Feed", "  #Feed", "_  #Feed"},
      {"a:b", "a|b", "a|b"},
      {"Feed #2", "Feed #2", "Feed #2"},
      // A line break in a name cannot end a line of a channel file.
      {"at 19.2E\n]", "at 19.2E ]", "at 19.2E ]"},
  };
  box::ChannelList c;
  c.transponders.push_back({11766000, 27500000, 0, 3, 130, false, "QPSK"});
  std::string vdr, zap;
  for (const Case& k : cases) {
    box::ExportService s;
    s.name = k.name;
    s.sid = int(c.services.size()) + 1;
    c.services.push_back(s);
    vdr += k.vdr + ":11766:HC34M2O35S0:S13E:27500:0:0:0:0:" + std::to_string(s.sid) + ":0:0:0\n";
    zap += k.zap + ":11766:h:0:27500:0:0:" + std::to_string(s.sid) + "\n";
  }
  EXPECT_EQ(box::vdrText(c), vdr);
  EXPECT_EQ(box::zapText(c), zap);
}

TEST(ChannelPlacement, ServicesFindTheirTransponderByOrbitalPositionAndMegahertz) {
  box::forgetDeliverySystems();
  eTransponderList list;
  eTransponder tp(list);
  tp.setSatellite(11766000, 27500000, 0, 3, 130, 0);
  list.addTransponder(tp);
  tp.setSatellite(11766000, 22000000, 1, 3, 130, 0);  // the same MHz, vertical
  list.addTransponder(tp);
  tp.setSatellite(11766000, 27500000, 0, 3, 192, 0);  // the same, at 19.2E
  list.addTransponder(tp);
  tp.setSatellite(11765600, 27500000, 1, 3, 192, 0);  // the same MHz, further off
  list.addTransponder(tp);
  auto service = [&](int orbital, int mhz, int sid, const char* name) {
    eServiceReferenceDVB ref;
    ref.data[1] = sid;
    ref.data[4] = orbital;
    ref.data[5] = mhz;
    eServiceDVB record;
    record.service_name = name;
    list.addService(ref, record);
  };
  service(192, 11766, 1, "at 19.2E\n]");
  service(130, 11766, 2, "either polarisation");
  service(130, 11770, 3, "no transponder");  // past 27500 / 8 kHz from 11766
  service(192, 11769, 4, "within 27500 / 8 kHz");
  const box::ChannelList c = box::channelList(list);
  std::vector<std::string> got;
  for (const box::ExportService& s : c.services) {
    const box::ExportTransponder& t = c.transponders[s.transponder];
    got.push_back(s.name + " " + std::to_string(t.orbital) + " " + std::to_string(t.pol));
  }
  EXPECT_EQ(got, (std::vector<std::string>{"either polarisation 130 0", "at 19.2E\n] 192 0",
                                           "within 27500 / 8 kHz 192 0"}));
  EXPECT_EQ(c.unplaced, 1u);
  EXPECT_EQ(c.ambiguous, 3u);
}

}  // namespace
