// Band files: what a good file gives, and for each kind of fault the message
// that names the file, the line and the path.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "box/dvb/band.h"

namespace {

const char* kGood = R"({
  "name": "Good",
  "orbital_position": 192,
  "playing": {"frequency_mhz": 11000, "polarisation": "V", "symbol_rate_ks": 22000, "service": "Uno"},
  "frontend": {"lock_ms": 120, "cancel_every": 3},
  "noise": {"seed": 42, "snr_jitter": 0},
  "scan": {"service_gap_ms": 150},
  "carriers": [
    {"frequency_mhz": 11000.5, "polarisation": "V", "symbol_rate_ks": 22000, "cn_db": 9, "system": "DVB-S",
     "services": [{"name": "Uno", "provider": "P1"}, {"name": "Due", "provider": "", "type": "radio", "scrambled": true}]},
    {"frequency_mhz": 12000, "polarisation": "H", "symbol_rate_ks": 27500, "cn_db": 11, "system": "DVB-S2",
     "tsid": 7, "fec": 5, "services": []}
  ]
})";

std::string parseError(const std::string& text) {
  box::Band band;
  std::string error;
  EXPECT_FALSE(box::parseBand(text, "bands/x.json", &band, &error)) << "accepted: " << text;
  return error;
}

// kGood with one piece replaced.
std::string goodWith(const std::string& from, const std::string& to) {
  std::string s = kGood;
  size_t at = s.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) s.replace(at, from.size(), to);
  return s;
}

}  // namespace

TEST(BandFile, GoodFileGivesItsValuesAndTheDefaults) {
  box::Band band;
  std::string error;
  ASSERT_TRUE(box::parseBand(kGood, "good.json", &band, &error)) << error;
  EXPECT_EQ(band.name, "Good");
  EXPECT_EQ(band.orbitalPosition, 192);
  ASSERT_TRUE(band.playing.has_value());
  EXPECT_EQ(band.playing->pol, 1);
  EXPECT_EQ(band.playing->service, "Uno");
  EXPECT_EQ(band.frontend.lockMs, 120);
  EXPECT_EQ(band.frontend.timeoutMs, 600);  // default kept
  EXPECT_EQ(band.frontend.cancelEvery, 3);
  EXPECT_EQ(band.noise.seed, 42u);
  EXPECT_EQ(band.noise.snrJitter, 0);
  EXPECT_EQ(band.serviceGapMs, 150);
  ASSERT_EQ(band.carriers.size(), 2u);
  const box::BandCarrier& a = band.carriers[0];
  EXPECT_DOUBLE_EQ(a.freqMHz, 11000.5);
  EXPECT_EQ(a.pol, 1);
  EXPECT_FALSE(a.dvbs2);
  EXPECT_EQ(a.tsid, 1);  // position + 1 unless given
  ASSERT_EQ(a.services.size(), 2u);
  EXPECT_EQ(a.services[0].sid, 1);
  EXPECT_EQ(a.services[1].sid, 2);
  EXPECT_EQ(a.services[1].type, 2);
  EXPECT_TRUE(a.services[1].scrambled);
  EXPECT_TRUE(band.carriers[1].dvbs2);
  EXPECT_EQ(band.carriers[1].tsid, 7);
  EXPECT_EQ(band.carriers[1].fec, 5);
}

TEST(BandFile, NameDefaultsToTheFileAndPlayingMayBeNull) {
  box::Band band;
  std::string error;
  ASSERT_TRUE(box::parseBand(R"({"orbital_position": 0, "playing": null, "carriers": []})", "dir/sky.json",
                             &band, &error))
      << error;
  EXPECT_EQ(band.name, "sky");
  EXPECT_FALSE(band.playing.has_value());
}

TEST(BandFile, EachFaultIsNamedWithFileLineAndPath) {
  struct Case {
    std::string text, message;
  };
  const Case cases[] = {
      {goodWith("\"polarisation\": \"H\"", "\"polarisation\": \"X\""),
       "bands/x.json: line 11: carriers[1].polarisation: must be \"H\" or \"V\""},
      {goodWith("\"cn_db\": 9,", "\"cn_db\": 9, \"colour\": 1,"),
       "bands/x.json: line 9: carriers[0].colour: unknown key"},
      {goodWith("\"orbital_position\": 192,", ""), "bands/x.json: line 1: orbital_position: missing"},
      {goodWith("\"symbol_rate_ks\": 27500", "\"symbol_rate_ks\": \"27500\""),
       "bands/x.json: line 11: carriers[1].symbol_rate_ks: must be a whole number"},
      {goodWith("\"symbol_rate_ks\": 27500", "\"symbol_rate_ks\": 27500.5"),
       "bands/x.json: line 11: carriers[1].symbol_rate_ks: must be a whole number"},
      {goodWith("\"frequency_mhz\": 12000", "\"frequency_mhz\": 9000"),
       "bands/x.json: line 11: carriers[1].frequency_mhz: must be between 10000 and 13000"},
      {goodWith("\"system\": \"DVB-S2\"", "\"system\": \"DVB-T\""),
       "bands/x.json: line 11: carriers[1].system: must be \"DVB-S\" or \"DVB-S2\""},
      {goodWith("{\"name\": \"Uno\", \"provider\": \"P1\"}", "{\"name\": \"Uno\"}"),
       "bands/x.json: line 10: carriers[0].services[0].provider: missing"},
      {goodWith("\"type\": \"radio\"", "\"type\": \"tele\""),
       "bands/x.json: line 10: carriers[0].services[1].type: must be \"tv\", \"radio\" or \"data\""},
      {goodWith("\"scrambled\": true", "\"scrambled\": 1"),
       "bands/x.json: line 10: carriers[0].services[1].scrambled: must be true or false"},
      {goodWith("\"lock_ms\": 120", "\"lock_ms\": 0"),
       "bands/x.json: line 5: frontend.lock_ms: must be between 1 and 60000"},
      {goodWith("\"seed\": 42", "\"seed\": -1"),
       "bands/x.json: line 6: noise.seed: must be a whole number of 0 or more"},
      {goodWith("\"services\": []", "\"services\": {}"),
       "bands/x.json: line 12: carriers[1].services: must be an array"},
      {goodWith("\"name\": \"Due\", \"provider\": \"\"", "\"name\": \"Due\", \"provider\": \"\", \"sid\": 1"),
       "bands/x.json: line 10: carriers[0].services[1].sid: service id 1 used twice on this carrier"},
      {goodWith("\"name\": \"Uno\", \"provider\"", "\"name\": \"\", \"provider\""),
       "bands/x.json: line 10: carriers[0].services[0].name: must not be empty"},
      {goodWith("\"lock_ms\": 120", "\"lock_ms\": 120, \"lock_ms\": 130"),
       "bands/x.json: line 5: frontend.lock_ms: given twice"},
      {goodWith(
           R"("playing": {"frequency_mhz": 11000, "polarisation": "V", "symbol_rate_ks": 22000, "service": "Uno"})",
           R"("playing": 5)"),
       "bands/x.json: line 4: playing: must be an object"},
      {"[1, 2]", "bands/x.json: line 1: top level: must be an object"},
      {goodWith("\"cn_db\": 9,", "\"cn_db\": 1e400,"),
       "bands/x.json: line 9, column 87: number out of range: 1e400"},
      {goodWith("\"cn_db\": 9,", "\"cn_db\": 9, \"\\u001b[2J\": 1,"),
       "bands/x.json: line 9: carriers[0].\\x1B[2J: unknown key"},
  };
  for (const Case& c : cases) EXPECT_EQ(parseError(c.text), c.message);
}

TEST(BandFile, SyntaxErrorsGiveLineAndColumn) {
  std::string error = parseError("{\n  \"orbital_position\": 130,\n  \"carriers\": [,]\n}");
  EXPECT_EQ(error.rfind("bands/x.json: line 3, column 16: syntax error: ", 0), 0u) << error;
  error = parseError("");
  EXPECT_EQ(error.rfind("bands/x.json: line 1, column 1: syntax error", 0), 0u) << error;
  error = parseError(std::string(100, '[') + std::string(100, ']'));
  EXPECT_EQ(error, "bands/x.json: line 1, column 33: nested more than 32 levels deep");
  // What the parser read last is quoted short and escaped, however long it is.
  const std::string open = "{\"name\": \"" + std::string(60000, 'a');
  EXPECT_EQ(parseError(open), "bands/x.json: line 1, column " + std::to_string(open.size() + 1) +
                                  ": syntax error: invalid string: missing closing quote; last read: '\"" +
                                  std::string(39, 'a') + "...'");
  EXPECT_EQ(
      parseError("{\n \"name\": \"x\xC0\x1B\"}"),
      "bands/x.json: line 2, column 12: syntax error: invalid string: ill-formed UTF-8 byte; last read: "
      "'\"x\\xC0'");
}

TEST(BandFile, AByteOrderMarkIsPassedOverAndColumnsCountFromAfterIt) {
  box::Band band;
  std::string error;
  ASSERT_TRUE(box::parseBand(std::string("\xEF\xBB\xBF") + kGood, "bom.json", &band, &error)) << error;
  EXPECT_EQ(band.carriers.size(), 2u);
  EXPECT_EQ(parseError("\xEF\xBB\xBF{\"orbital_position\": 1e999}"),
            "bands/x.json: line 1, column 22: number out of range: 1e999");
  EXPECT_EQ(parseError("\xEF\xBB\xBF{\"orbital_position\": 130, \"carriers\": 5}"),
            "bands/x.json: line 1: carriers: must be an array");
}

TEST(BandFile, CountsAreBounded) {
  const std::string carrier =
      R"({"frequency_mhz": 11000, "polarisation": "H", "symbol_rate_ks": 27500, "cn_db": 9, "system": "DVB-S", "services": []})";
  std::string text = "{\"orbital_position\": 130,\n\"carriers\": [";
  for (int i = 0; i < 10001; ++i) text += (i ? "," : "") + carrier;
  EXPECT_EQ(parseError(text + "]}"), "bands/x.json: line 2: carriers: more than 10000 carriers");
  text = R"({"orbital_position": 130, "carriers": [{"frequency_mhz": 11000, "polarisation": "H", )"
         R"("symbol_rate_ks": 27500, "cn_db": 9, "system": "DVB-S", "services": [)";
  for (int i = 0; i < 65536; ++i) text += std::string(i ? "," : "") + R"({"name": "a", "provider": ""})";
  EXPECT_EQ(parseError(text + "]}]}"),
            "bands/x.json: line 1: carriers[0].services: more than 65535 services");
}

TEST(BandFile, MinAboveMaxCaptureIsRefused) {
  EXPECT_EQ(parseError(goodWith("\"lock_ms\": 120", "\"capture_min_mhz\": 6, \"capture_max_mhz\": 2")),
            "bands/x.json: line 5: frontend.capture_max_mhz: must not be below capture_min_mhz");
}

TEST(BandFile, ReadFailuresNameTheFile) {
  box::Band band;
  std::string error;
  EXPECT_FALSE(box::loadBand("/nonexistent/dir/band.json", &band, &error));
  EXPECT_EQ(error, std::string("/nonexistent/dir/band.json: ") + std::strerror(ENOENT));
  box::setBandReader([](const std::string& path, std::string*, std::string* e) {
    *e = path + ": Input/output error";
    return false;
  });
  EXPECT_FALSE(box::loadBand("bands/demo.json", &band, &error));
  box::setBandReader(nullptr);
  EXPECT_EQ(error, "bands/demo.json: Input/output error");
  // A device that never ends is read only up to the bound.
  EXPECT_FALSE(box::loadBand("/dev/zero", &band, &error));
  EXPECT_EQ(error, "/dev/zero: larger than 16 MiB, the most the box reads");
  EXPECT_FALSE(box::loadBand(VANTREL_SOURCE_DIR "/data/bands", &band, &error));
  EXPECT_EQ(error, VANTREL_SOURCE_DIR "/data/bands: is a folder, not a file");
}

TEST(BandFile, ShippedBandsLoadAndDemoCoversTheBand) {
  for (const char* name : {"demo", "sparse", "empty"}) {
    box::Band band;
    std::string error;
    EXPECT_TRUE(box::loadBand(std::string(VANTREL_SOURCE_DIR "/data/bands/") + name + ".json", &band, &error))
        << error;
  }
  box::Band demo;
  std::string error;
  ASSERT_TRUE(box::loadBand(VANTREL_SOURCE_DIR "/data/bands/demo.json", &demo, &error)) << error;
  ASSERT_GE(demo.carriers.size(), 30u);
  ASSERT_TRUE(demo.playing.has_value());
  int perPol[2] = {0, 0}, narrow = 0, s2 = 0;
  double lo = 1e9, hi = 0;
  for (const auto& c : demo.carriers) {
    ++perPol[c.pol];
    narrow += c.srKs < 10000;
    s2 += c.dvbs2;
    lo = std::min(lo, c.freqMHz);
    hi = std::max(hi, c.freqMHz);
    EXPECT_GE(c.services.size(), 1u);
    EXPECT_LE(c.services.size(), 12u);
  }
  EXPECT_GT(perPol[0], 5);
  EXPECT_GT(perPol[1], 5);
  EXPECT_GE(narrow, 4);
  EXPECT_GE(s2, 2);
  EXPECT_LT(lo, 10800);
  EXPECT_GT(hi, 12600);
}
