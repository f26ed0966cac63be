// The four channel files, read back by the tools that read them: each must
// give back the transponders and services of the band files they came from.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "box/export/channels.h"
#include "box/export/export.h"
#include "export_support.h"

namespace {

using namespace export_test;

// East: both polarisations, a DVB-S2 carrier, a frequency between two MHz,
// names with ':' ';' ',' and letters outside ASCII.
const char* kEast = R"({"name": "East", "orbital_position": 192, "carriers": [
  {"frequency_mhz": 11766, "polarisation": "H", "symbol_rate_ks": 27500, "cn_db": 12, "system": "DVB-S",
   "fec": 3, "tsid": 1001, "onid": 1, "services": [
     {"name": "Canale: Uno; Due, Tre", "provider": "Prov: A; B, C", "sid": 101},
     {"name": "Ünïcødé Καλημέρα", "provider": "Ραδιόφωνο", "type": "radio", "sid": 102}]},
  {"frequency_mhz": 12188, "polarisation": "V", "symbol_rate_ks": 29900, "cn_db": 12, "system": "DVB-S2",
   "fec": 2, "tsid": 1002, "onid": 1, "services": [
     {"name": "HD Feed", "provider": "", "scrambled": true, "sid": 201}]},
  {"frequency_mhz": 10743.5, "polarisation": "V", "symbol_rate_ks": 22000, "cn_db": 12, "system": "DVB-S",
   "fec": 5, "tsid": 1003, "onid": 2, "services": [{"name": "Half", "provider": "P", "sid": 301}]}]})";

// West: an automatic FEC, a DVB-S2 carrier whose modulation the tuner did
// not say (the dvbv5 tools read that as QAM/AUTO), and a transponder kept
// without services (the band's default FEC, 3/4).
const char* kWest = R"({"name": "West", "orbital_position": -300, "carriers": [
  {"frequency_mhz": 11900, "polarisation": "V", "symbol_rate_ks": 27500, "cn_db": 12, "system": "DVB-S",
   "fec": 0, "tsid": 7, "onid": 9, "services": [{"name": "West Feed", "provider": "W", "sid": 7}]},
  {"frequency_mhz": 12000, "polarisation": "H", "symbol_rate_ks": 30000, "cn_db": 12, "system": "DVB-S2",
   "fec": 9, "tsid": 8, "onid": 9, "services": [{"name": "S2 Unknown", "provider": "W", "sid": 8}]},
  {"frequency_mhz": 11000, "polarisation": "H", "symbol_rate_ks": 45000, "cn_db": 12, "system": "DVB-S",
   "services": []}]})";

#ifdef VANTREL_HAVE_DVBV5
std::string tuning(const Dvbv5Entry& e) {
  auto v = [&](const char* key) {
    auto it = e.values.find(key);
    return it == e.values.end() ? std::string("-") : it->second;
  };
  return v("DELIVERY_SYSTEM") + " " + v("FREQUENCY") + " " + v("POLARIZATION") + " " + v("SYMBOL_RATE") +
         " " + v("INNER_FEC") + " " + v("MODULATION") + " " + v("ROLLOFF");
}
#endif

class Formats : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = vantrel_test::testDir();
    box::forgetDeliverySystems();
    bands.push_back(parsedBand(kEast, "east.json"));
    bands.push_back(parsedBand(kWest, "west.json"));
    ASSERT_FALSE(HasFailure());
    for (const box::Band& b : bands) keepBand(list, b, mods);
    channels = box::channelList(list);
  }
  void TearDown() override { box::forgetDeliverySystems(); }

  fs::path write(box::ExportFormat format, const std::string& name) {
    box::ExportTarget t{format, (dir / name).string()};
    std::string error;
    EXPECT_TRUE(box::writeExport(channels, t, &error)) << error;
    return t.file;
  }

  fs::path dir;
  std::vector<box::Band> bands;
  const std::map<int, std::string> mods{{12188, "8PSK"}};
  eTransponderList list;
  box::ChannelList channels;
  // Every service of the bands, "name|sid|onid|tsid|tuning", as the dvbv5
  // tools print it: by orbital position, frequency, polarisation; then
  // service id.
  const std::vector<std::string> expectedServices{
      "West Feed|7|9|7|DVBS 11900000 VERTICAL 27500000 AUTO QPSK 35",
      "S2 Unknown|8|9|8|DVBS2 12000000 HORIZONTAL 30000000 9/10 QAM/AUTO AUTO",
      "Half|301|2|1003|DVBS 10743500 VERTICAL 22000000 7/8 QPSK 35",
      "Canale: Uno; Due, Tre|101|1|1001|DVBS 11766000 HORIZONTAL 27500000 3/4 QPSK 35",
      "Ünïcødé Καλημέρα|102|1|1001|DVBS 11766000 HORIZONTAL 27500000 3/4 QPSK 35",
      "HD Feed|201|1|1002|DVBS2 12188000 VERTICAL 29900000 2/3 PSK/8 AUTO",
  };
};

#ifdef VANTREL_HAVE_DVBV5
TEST_F(Formats, Dvbv5FilesComeBackThroughTheDvbv5ToolsWithEveryServiceAndItsTuning) {
  const fs::path file = write(box::ExportFormat::dvbv5, "channels.conf");
  std::vector<std::string> got;
  for (const Dvbv5Entry& e : convert(file, "DVBV5", dir / "back.conf")) {
    got.push_back(e.name + "|" + e.values.at("SERVICE_ID") + "|" + e.values.at("NETWORK_ID") + "|" +
                  e.values.at("TRANSPORT_ID") + "|" + tuning(e));
    // The box knows no PIDs: none is written, none invented.
    EXPECT_EQ(e.values.count("VIDEO_PID") + e.values.count("AUDIO_PID"), 0u) << e.name;
  }
  EXPECT_EQ(got, expectedServices);
}

TEST_F(Formats, ScanFilesListEveryKeptTransponderOnceAndComeBackThroughTheDvbv5Tools) {
  const fs::path file = write(box::ExportFormat::scan, "initial");
  EXPECT_EQ(linesOf(readText(file)).at(0), "S 11000000 H 45000000 3/4");
  std::vector<std::string> got;
  for (const Dvbv5Entry& e : convert(file, "CHANNEL", dir / "back.conf")) got.push_back(tuning(e));
  // The channel format carries no roll-off for DVB-S, nor a modulation.
  EXPECT_EQ(got, (std::vector<std::string>{
                     "DVBS 11000000 HORIZONTAL 45000000 3/4 - -",
                     "DVBS 11900000 VERTICAL 27500000 AUTO - -",
                     "DVBS2 12000000 HORIZONTAL 30000000 9/10 QAM/AUTO AUTO",
                     "DVBS 10743500 VERTICAL 22000000 7/8 - -",
                     "DVBS 11766000 HORIZONTAL 27500000 3/4 - -",
                     "DVBS2 12188000 VERTICAL 29900000 2/3 PSK/8 AUTO",
                 }));
}
#endif

// VDR reads "Name;Provider" with '|' for ':' and no escape for ',' and ';'
// (written as '.'); dvb-format-convert cannot read VDR files at all (it only
// writes them).
TEST_F(Formats, VdrLinesCarryEveryFieldWithTheNamesEscapedAsVdrReadsThem) {
  const std::vector<std::string> lines = linesOf(readText(write(box::ExportFormat::vdr, "channels.conf")));
  EXPECT_EQ(lines,
            (std::vector<std::string>{
                "West Feed;W:11900:VC999M2O35S0:S30W:27500:0:0:0:0:7:9:7:0",
                "S2 Unknown;W:12000:HC910M999S1:S30W:30000:0:0:0:0:8:9:8:0",
                "Half;P:10744:VC78M2O35S0:S19.2E:22000:0:0:0:0:301:2:1003:0",
                "Canale| Uno. Due. Tre;Prov| A. B. C:11766:HC34M2O35S0:S19.2E:27500:0:0:0:0:101:1:1001:0",
                "Ünïcødé Καλημέρα;Ραδιόφωνο:11766:HC34M2O35S0:S19.2E:27500:0:0:0:0:102:1:1001:0",
                "HD Feed:12188:VC23M5S1:S19.2E:29900:0:0:0:0:201:1:1002:0",
            }));
}

// Zap lines as szap and mplayer-like players read them: name, MHz,
// polarisation, satellite number, ksymbols/s, VPID, APID, SID.
TEST_F(Formats, ZapLinesAreWhatZapReadersExpectAndTheDvbv5ToolsAcceptThem) {
  const fs::path file = write(box::ExportFormat::zap, "channels.conf");
  EXPECT_EQ(linesOf(readText(file)), (std::vector<std::string>{
                                         "West Feed:11900:v:0:27500:0:0:7",
                                         "S2 Unknown:12000:h:0:30000:0:0:8",
                                         "Half:10744:v:0:22000:0:0:301",
                                         "Canale| Uno; Due, Tre:11766:h:0:27500:0:0:101",
                                         "Ünïcødé Καλημέρα:11766:h:0:27500:0:0:102",
                                         "HD Feed:12188:v:0:29900:0:0:201",
                                     }));
#ifdef VANTREL_HAVE_DVBV5
  // libdvbv5 reads zap's DVB-S lines without the satellite number, so only
  // the names and the frequencies come through it; it still takes the file.
  std::vector<std::string> names;
  for (const Dvbv5Entry& e : convert(file, "ZAP", dir / "back.conf"))
    names.push_back(e.name + " " + e.values.at("FREQUENCY"));
  EXPECT_EQ(names, (std::vector<std::string>{"West Feed 11900", "S2 Unknown 12000", "Half 10744",
                                             "Canale| Uno; Due, Tre 11766", "Ünïcødé Καλημέρα 11766",
                                             "HD Feed 12188"}));
#endif
}

TEST_F(Formats, AnEmptyListWritesEmptyFilesTheToolsAccept) {
  eTransponderList empty;
  channels = box::channelList(empty);
  for (auto [format, name, tool] :
       {std::tuple{box::ExportFormat::vdr, "vdr", ""}, std::tuple{box::ExportFormat::zap, "zap", "ZAP"},
        std::tuple{box::ExportFormat::dvbv5, "dvbv5", "DVBV5"},
        std::tuple{box::ExportFormat::scan, "scan", "CHANNEL"}}) {
    if (!box::formatAvailable(format)) continue;
    // The folder is made on the way.
    const fs::path file = write(format, std::string(name) + "/out");
    EXPECT_EQ(readText(file), "") << name;
    if (*tool) {
      EXPECT_TRUE(convert(file, tool, dir / name / "back").empty()) << name;
    }
    EXPECT_EQ(vantrel_test::filesIn(dir / name).size(), *tool ? 2u : 1u)
        << name << ": no temporary file left";
  }
}

TEST_F(Formats, AFileThatCannotBeWrittenLeavesTheOldOneAndNamesItself) {
  fs::create_directories(dir / "old");
  std::ofstream(dir / "old/keep.conf") << "old\n";
  std::ofstream(dir / "plain") << "a file, not a folder\n";
  for (box::ExportFormat format :
       {box::ExportFormat::vdr, box::ExportFormat::zap, box::ExportFormat::dvbv5, box::ExportFormat::scan}) {
    if (!box::formatAvailable(format)) continue;
    std::string error;
    box::ExportTarget t{format, (dir / "plain/x.conf").string()};
    EXPECT_FALSE(box::writeExport(channels, t, &error)) << box::formatName(format);
    EXPECT_NE(error.find(t.file), std::string::npos) << error;
    // Over a folder: refused by the rename, the folder and its file kept.
    t.file = (dir / "old").string();
    EXPECT_FALSE(box::writeExport(channels, t, &error)) << box::formatName(format);
    EXPECT_EQ(readText(dir / "old/keep.conf"), "old\n");
    EXPECT_EQ(vantrel_test::filesIn(dir), (std::vector<std::string>{"old", "plain"})) << "no temporary file";
  }
}

#ifdef VANTREL_HAVE_DVBV5
// The disk full for the box's own writes, or for libdvbv5's (a file size
// limit cuts its text short, as a disk that fills while it writes): either
// way the export fails, saying so, and the old file stays whole.
TEST_F(Formats, OnAFullDiskTheLibraryFormatsFailAndLeaveTheOldFileWhole) {
  struct Case {
    box::ExportFormat format;
    bool libraryCut;
    std::string why;  // "" any reason
  } cases[] = {{box::ExportFormat::dvbv5, false, ""},
               {box::ExportFormat::scan, false, ""},
               {box::ExportFormat::dvbv5, true, "libdvbv5 could not write the dvbv5 file"},
               {box::ExportFormat::scan, true, "libdvbv5 could not write the scan file"}};
  const std::string file = (dir / "keep.conf").string();
  rlimit saved{}, cut{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  cut = saved;
  cut.rlim_cur = 64;
  auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
  for (const Case& c : cases) {
    std::ofstream(file) << "old\n";
    if (c.libraryCut)
      setrlimit(RLIMIT_FSIZE, &cut);
    else
      box::setWriteFunction(&box_run::diskFull);
    std::string error;
    const bool ok = box::writeExport(channels, {c.format, file}, &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    box::setWriteFunction(nullptr);
    EXPECT_FALSE(ok) << box::formatName(c.format);
    EXPECT_EQ(error.substr(0, c.why.empty() ? file.size() : std::string::npos),
              file + (c.why.empty() ? "" : ": " + c.why));
    EXPECT_EQ(readText(file), "old\n");
    EXPECT_EQ(vantrel_test::filesIn(dir), (std::vector<std::string>{"keep.conf"}));
  }
  std::signal(SIGXFSZ, oldSignal);
}
#endif

// Names that some reader of a format would drop, take for a comment, or
// read with its fields shifted: every format keeps every service, named.
TEST(ExportNames, AwkwardNamesKeepTheirServiceInEveryFormat) {
  struct Case {
    std::string name, vdr, zap, dvbv5;  // as written (dvbv5: as the dvbv5 tools read it back)
  } cases[] = {
      {"", "SID 1", "SID 1", "SID 1"},
      {"   ", "SID 2", "SID 2", "SID 2"},
      {"\t\n", "SID 3", "SID 3", "SID 3"},
      {"#Feed", "#Feed", "_#Feed", "#Feed"},
      {"  #Feed", "  #Feed", "_  #Feed", "#Feed"},
      {"a:b", "a|b", "a|b", "a:b"},
      {":", "|", "|", ":"},
      {"[x]", "[x]", "[x]", "[x)"},
      {"Feed #2", "Feed #2", "Feed #2", "Feed #2"},
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
#ifdef VANTREL_HAVE_DVBV5
  const fs::path dir = vantrel_test::testDir();
  std::string error;
  ASSERT_TRUE(box::writeExport(c, {box::ExportFormat::dvbv5, (dir / "dvbv5.conf").string()}, &error))
      << error;
  ASSERT_TRUE(box::writeExport(c, {box::ExportFormat::zap, (dir / "zap.conf").string()}, &error)) << error;
  std::vector<std::string> expected, dvbv5, fromZap;
  for (const Case& k : cases) expected.push_back(k.dvbv5 + "|" + std::to_string(expected.size() + 1));
  for (const Dvbv5Entry& e : convert(dir / "dvbv5.conf", "DVBV5", dir / "back.conf"))
    dvbv5.push_back(e.name + "|" + e.values.at("SERVICE_ID"));
  EXPECT_EQ(dvbv5, expected);
  // libdvbv5 reads zap names without their leading spaces.
  expected.clear();
  for (const Case& k : cases) expected.push_back(k.zap.substr(k.zap.find_first_not_of(' ')));
  for (const Dvbv5Entry& e : convert(dir / "zap.conf", "ZAP", dir / "back.conf")) fromZap.push_back(e.name);
  EXPECT_EQ(fromZap, expected);
#endif
}

TEST(ExportTargets, FormatAndFileAreParsedAndFaultsNamed) {
  struct Case {
    std::string value, result;
  } cases[] = {
      {"vdr:out/channels.conf", "vdr out/channels.conf"},
      {"zap:a:b", "zap a:b"},
      {"dvbv5:x", box::formatAvailable(box::ExportFormat::dvbv5)
                      ? "dvbv5 x"
                      : "dvbv5: not available in this build (it needs libdvbv5)"},
      {"scan:/tmp/s", box::formatAvailable(box::ExportFormat::scan)
                          ? "scan /tmp/s"
                          : "scan: not available in this build (it needs libdvbv5)"},
      {"m3u:x", "unknown format 'm3u' (vdr, dvbv5, zap or scan, as FORMAT:FILE)"},
      {"VDR:x", "unknown format 'VDR' (vdr, dvbv5, zap or scan, as FORMAT:FILE)"},
      {"vdr", "vdr: no file name (FORMAT:FILE)"},
      {"vdr:", "vdr: no file name (FORMAT:FILE)"},
      {":x", "unknown format '' (vdr, dvbv5, zap or scan, as FORMAT:FILE)"},
  };
  for (const Case& c : cases) {
    box::ExportTarget t;
    std::string error;
    const bool ok = box::parseExportTarget(c.value, &t, &error);
    EXPECT_EQ(ok ? std::string(box::formatName(t.format)) + " " + t.file : error, c.result) << c.value;
  }
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
  service(130, 11767, 3, "no transponder");
  const box::ChannelList c = box::channelList(list);
  std::vector<std::string> got;
  for (const box::ExportService& s : c.services) {
    const box::ExportTransponder& t = c.transponders[s.transponder];
    got.push_back(s.name + " " + std::to_string(t.orbital) + " " + std::to_string(t.pol));
  }
  EXPECT_EQ(got, (std::vector<std::string>{"either polarisation 130 0", "at 19.2E\n] 192 0"}));
  EXPECT_EQ(c.unplaced, 1u);
  EXPECT_EQ(c.ambiguous, 2u);
  // A line break in a kept name cannot end a line of a channel file.
  EXPECT_EQ(box::vdrText(c),
            "either polarisation:11766:HC34M2O35S0:S13E:27500:0:0:0:0:2:0:0:0\n"
            "at 19.2E ]:11766:HC34M2O35S0:S19.2E:27500:0:0:0:0:1:0:0:0\n");
  EXPECT_EQ(box::zapText(c), "either polarisation:11766:h:0:27500:0:0:2\nat 19.2E ]:11766:h:0:27500:0:0:1\n");
#ifdef VANTREL_HAVE_DVBV5
  const fs::path dir = vantrel_test::testDir();
  std::string error;
  ASSERT_TRUE(box::writeExport(c, {box::ExportFormat::dvbv5, (dir / "c.conf").string()}, &error)) << error;
  std::vector<std::string> names;
  for (const Dvbv5Entry& e : convert(dir / "c.conf", "DVBV5", dir / "back.conf")) names.push_back(e.name);
  EXPECT_EQ(names, (std::vector<std::string>{"either polarisation", "at 19.2E )"}));
#endif
}

}  // namespace
