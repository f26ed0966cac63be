// Band files: what a good file gives, and for each kind of fault the message
// that names the file, the line and the path.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sstream>
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
  EXPECT_FALSE(box::parseBand(text, "bands/x.json", &band, &error)) << "accepted: " << text.substr(0, 200);
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

// What a band holds, in one line per part.
std::string describe(const std::string& text, const std::string& file) {
  box::Band b;
  std::string error;
  if (!box::parseBand(text, file, &b, &error)) return error;
  std::ostringstream out;
  out << b.name << " " << b.orbitalPosition << " playing:";
  if (b.playing)
    out << b.playing->freqMHz << "/" << b.playing->pol << "/" << b.playing->srKs << "/" << b.playing->service;
  out << " lock:" << b.frontend.lockMs << " timeout:" << b.frontend.timeoutMs
      << " cancel:" << b.frontend.cancelEvery << " seed:" << b.noise.seed
      << " snrJitter:" << b.noise.snrJitter << " gap:" << b.serviceGapMs << "\n";
  for (const box::BandCarrier& c : b.carriers) {
    out << c.freqMHz << "/" << c.pol << "/" << c.srKs << "/" << c.cnDb << (c.dvbs2 ? "/S2" : "/S")
        << " tsid:" << c.tsid << " fec:" << c.fec << ":";
    for (const box::BandService& s : c.services)
      out << " " << s.name << "/" << s.provider << "/" << s.type << "/" << s.sid
          << (s.scrambled ? "/scrambled" : "");
    out << "\n";
  }
  return out.str();
}

}  // namespace

TEST(BandFile, AGoodFileGivesItsValuesAndTheDefaults) {
  const std::string good =
      "Good 192 playing:11000/1/22000/Uno lock:120 timeout:600 cancel:3 seed:42 snrJitter:0 gap:150\n"
      "11000.5/1/22000/9/S tsid:1 fec:3: Uno/P1/1/1 Due//2/2/scrambled\n"
      "12000/0/27500/11/S2 tsid:7 fec:5:\n";
  EXPECT_EQ(describe(kGood, "good.json"), good);
  // A byte order mark is passed over; the name defaults to the file's.
  EXPECT_EQ(describe("\xEF\xBB\xBF" + goodWith("\"name\": \"Good\",", ""), "dir/Good.json"), good);
  EXPECT_EQ(describe(R"({"orbital_position": 0, "playing": null, "carriers": []})", "dir/sky.json"),
            "sky 0 playing: lock:250 timeout:600 cancel:0 seed:1 snrJitter:400 gap:300\n");
}

TEST(BandFile, EachFaultIsNamedWithFileLineAndPath) {
  const std::string carrier =
      R"({"frequency_mhz": 11000, "polarisation": "H", "symbol_rate_ks": 27500, "cn_db": 9, "system": "DVB-S", "services": []})";
  std::string carriers = "{\"orbital_position\": 130,\n\"carriers\": [";
  for (int i = 0; i < 10001; ++i) carriers += (i ? "," : "") + carrier;
  std::string services =
      R"({"orbital_position": 130, "carriers": [{"frequency_mhz": 11000, "polarisation": "H", )"
      R"("symbol_rate_ks": 27500, "cn_db": 9, "system": "DVB-S", "services": [)";
  for (int i = 0; i < 65536; ++i) services += std::string(i ? "," : "") + R"({"name": "a", "provider": ""})";
  const std::string open = "{\"name\": \"" + std::string(60000, 'a');
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
      {carriers + "]}", "bands/x.json: line 2: carriers: more than 10000 carriers"},
      {services + "]}]}", "bands/x.json: line 1: carriers[0].services: more than 65535 services"},
      {goodWith("\"lock_ms\": 120", "\"capture_min_mhz\": 6, \"capture_max_mhz\": 2"),
       "bands/x.json: line 5: frontend.capture_max_mhz: must not be below capture_min_mhz"},
      {"\xEF\xBB\xBF{\"orbital_position\": 1e999}",
       "bands/x.json: line 1, column 22: number out of range: 1e999"},
      {"\xEF\xBB\xBF{\"orbital_position\": 130, \"carriers\": 5}",
       "bands/x.json: line 1: carriers: must be an array"},
      {"{\n  \"orbital_position\": 130,\n  \"carriers\": [,]\n}",
       "bands/x.json: line 3, column 16: syntax error: unexpected ','; expected '[', '{', or a literal"},
      {"",
       "bands/x.json: line 1, column 1: syntax error: unexpected end of input; expected '[', '{', or a "
       "literal"},
      {std::string(100, '[') + std::string(100, ']'),
       "bands/x.json: line 1, column 33: nested more than 32 levels deep"},
      // What the parser read last is quoted short and escaped, however long it is.
      {open, "bands/x.json: line 1, column " + std::to_string(open.size() + 1) +
                 ": syntax error: invalid string: missing closing quote; last read: '\"" +
                 std::string(39, 'a') + "...'"},
      {"{\n \"name\": \"x\xC0\x1B\"}",
       "bands/x.json: line 2, column 12: syntax error: invalid string: ill-formed UTF-8 byte; last read: "
       "'\"x\\xC0'"},
  };
  for (const Case& c : cases) EXPECT_EQ(parseError(c.text), c.message);
}

TEST(BandFile, ReadFailuresNameTheFileAndTheShippedBandsLoad) {
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
  for (const char* name : {"demo", "sparse", "empty"})
    EXPECT_TRUE(box::loadBand(std::string(VANTREL_SOURCE_DIR "/data/bands/") + name + ".json", &band, &error))
        << error;
}
