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
  if (auto p = b.playing) out << p->freqMHz << "/" << p->pol << "/" << p->srKs << "/" << p->service;
  out << " " << b.frontend.lockMs << "/" << b.frontend.timeoutMs << "/" << b.frontend.cancelEvery << " "
      << b.noise.seed << "/" << b.noise.snrJitter << "/" << b.serviceGapMs << "\n";
  for (const box::BandCarrier& c : b.carriers) {
    out << c.freqMHz << "/" << c.pol << "/" << c.srKs << "/" << c.cnDb << "/" << c.dvbs2 << "/" << c.tsid
        << "/" << c.fec << ":";
    for (const box::BandService& s : c.services)
      out << " " << s.name << "/" << s.provider << "/" << s.type << "/" << s.sid << "/" << s.scrambled;
    out << "\n";
  }
  return out.str();
}

}  // namespace

TEST(BandFile, AGoodFileGivesItsValuesAndTheDefaults) {
  const std::string good =
      "Good 192 playing:11000/1/22000/Uno 120/600/3 42/0/150\n"
      "11000.5/1/22000/9/0/1/3: Uno/P1/1/1/0 Due//2/2/1\n12000/0/27500/11/1/7/5:\n";
  EXPECT_EQ(describe(kGood, "good.json"), good);
  // A byte order mark is passed over; the name defaults to the file's.
  EXPECT_EQ(describe("\xEF\xBB\xBF" + goodWith("\"name\": \"Good\",", ""), "dir/Good.json"), good);
  EXPECT_EQ(describe(R"({"orbital_position": 0, "playing": null, "carriers": []})", "dir/sky.json"),
            "sky 0 playing: 250/600/0 1/400/300\n");
}

TEST(BandFile, EachFaultIsNamedWithFileLineAndPath) {
  const std::string carrier =
      R"({"frequency_mhz": 11000, "polarisation": "H", "symbol_rate_ks": 27500, "cn_db": 9, "system": "DVB-S", "services": []})";
  std::string carriers = "{\"orbital_position\": 130,\n\"carriers\": [", services = "[";
  for (int i = 0; i < 10001; ++i) carriers += (i ? "," : "") + carrier;
  for (int i = 0; i < 65536; ++i) services += std::string(i ? "," : "") + R"({"name": "a", "provider": ""})";
  const std::string open = "{\"name\": \"" + std::string(60000, 'a');
  // A piece of kGood replaced ("" replaces all of it), and the message after "bands/x.json: line ".
  struct Case {
    std::string from, to, message;
  };
  const Case cases[] = {
      {R"("polarisation": "H")", R"("polarisation": "X")",
       R"(11: carriers[1].polarisation: must be "H" or "V")"},
      {R"("cn_db": 9,)", R"("cn_db": 9, "colour": 1,)", "9: carriers[0].colour: unknown key"},
      {R"("orbital_position": 192,)", "", "1: orbital_position: missing"},
      {"27500", R"("27500")", "11: carriers[1].symbol_rate_ks: must be a whole number"},
      {"27500", "27500.5", "11: carriers[1].symbol_rate_ks: must be a whole number"},
      {"12000", "9000", "11: carriers[1].frequency_mhz: must be between 10000 and 13000"},
      {R"("DVB-S2")", R"("DVB-T")", R"(11: carriers[1].system: must be "DVB-S" or "DVB-S2")"},
      {R"(, "provider": "P1")", "", "10: carriers[0].services[0].provider: missing"},
      {"radio", "tele", R"(10: carriers[0].services[1].type: must be "tv", "radio" or "data")"},
      {"true", "1", "10: carriers[0].services[1].scrambled: must be true or false"},
      {"120", "0", "5: frontend.lock_ms: must be between 1 and 60000"},
      {"42", "-1", "6: noise.seed: must be a whole number of 0 or more"},
      {"[]", "{}", "12: carriers[1].services: must be an array"},
      {R"("provider": "",)", R"("provider": "", "sid": 1,)",
       "10: carriers[0].services[1].sid: service id 1 used twice on this carrier"},
      {R"("name": "Uno", )", R"("name": "", )", "10: carriers[0].services[0].name: must not be empty"},
      {"120", R"(120, "lock_ms": 130)", "5: frontend.lock_ms: given twice"},
      {R"({"frequency_mhz": 11000, "polarisation": "V", "symbol_rate_ks": 22000, "service": "Uno"})", "5",
       "4: playing: must be an object"},
      {"", "[1, 2]", "1: top level: must be an object"},
      {R"("cn_db": 9,)", R"("cn_db": 1e400,)", "9, column 87: number out of range: 1e400"},
      {R"("cn_db": 9,)", R"("cn_db": 9, "\u001b[2J": 1,)", R"(9: carriers[0].\x1B[2J: unknown key)"},
      {R"("cn_db": 9,)", R"("cn_db": 9, "on_air": [[0, 5], [5, 5]],)",
       "9: carriers[0].on_air[1][1]: must be after the window's start"},
      {R"("cn_db": 9,)", R"("cn_db": 9, "on_air": [[0, 1.5]],)",
       "9: carriers[0].on_air[0][1]: must be a whole number"},
      {R"("cn_db": 9,)", R"("cn_db": 9, "on_air": [7],)",
       "9: carriers[0].on_air[0]: must be a pair [FROM_MS, TO_MS]"},
      {"", carriers + "]}", "2: carriers: more than 10000 carriers"},
      {"[]", services + "]", "12: carriers[1].services: more than 65535 services"},
      {R"("lock_ms": 120)", R"("capture_min_mhz": 6, "capture_max_mhz": 2)",
       "5: frontend.capture_max_mhz: must not be below capture_min_mhz"},
      {"", "{\n  \"orbital_position\": 130,\n  \"carriers\": [,]\n}",
       "3, column 16: syntax error: unexpected ','; expected '[', '{', or a literal"},
      {"", "", "1, column 1: syntax error: unexpected end of input; expected '[', '{', or a literal"},
      {"", std::string(100, '[') + std::string(100, ']'), "1, column 33: nested more than 32 levels deep"},
      // What the parser read last is quoted short and escaped, however long it is.
      {"", open,
       "1, column " + std::to_string(open.size() + 1) +
           ": syntax error: invalid string: missing closing quote; last read: '\"" + std::string(39, 'a') +
           "...'"},
      {"", "{\n \"name\": \"x\xC0\x1B\"}",
       "2, column 12: syntax error: invalid string: ill-formed UTF-8 byte; last read: '\"x\\xC0'"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(parseError(c.from.empty() ? c.to : goodWith(c.from, c.to)), "bands/x.json: line " + c.message);
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
  for (const char* name : {"demo", "demo-30w", "sparse", "empty", "onair"})
    EXPECT_TRUE(box::loadBand(std::string(VANTREL_SOURCE_DIR "/data/bands/") + name + ".json", &band, &error))
        << error;
}
