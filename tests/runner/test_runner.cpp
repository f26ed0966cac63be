// vantrel-box's command line, key scripts and terminal keys, and the box run
// end to end as a user runs it: exit codes, shots with their widget dumps, the
// trace, lost output, answers in each language, a fresh root, and the
// plug-in's exported symbols.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "box/base/fileio.h"
#include "box/base/paths.h"
#include "box/gui/boot.h"
#include "box/runner/hunt.h"
#include "box/runner/options.h"
#include "box/runner/run.h"
#include "box/runner/script.h"
#include "box/runner/terminal.h"
#include "host/rc.h"
#include "runner/box_run.h"

namespace fs = std::filesystem;
using namespace box_run;
using ::testing::HasSubstr;
using vantrel_test::filesIn;

namespace {

// Through a feed scan and out, with a shot of it.
const char* const kFeedScan =
    "key green; wait-text \"Servizi trovati:\" 600000; wait 1000; shot feedscan; key ok; wait 500; key red; "
    "wait 3000; key red";

// What parseOptions made of args: the options that differ from the defaults,
// or its message.
std::string parsed(std::vector<const char*> args) {
  args.insert(args.begin(), "vantrel-box");
  box::Options o;
  const box::Options d;
  std::string error;
  if (!box::parseOptions(int(args.size()), args.data(), &o, &error)) return error;
  std::ostringstream s;
  auto field = [&](const char* name, const auto& value, const auto& initial) {
    if (value != initial) s << name << "=" << value << " ";
  };
#define FIELD(f) field(#f, o.f, d.f)
  FIELD(plugin), FIELD(band), FIELD(keys), FIELD(keysFile), FIELD(haveKeys), FIELD(shots), FIELD(trace),
      FIELD(root), FIELD(realtime), FIELD(lang), FIELD(window), FIELD(maxTimeMs), FIELD(tuner.adapter),
      FIELD(tuner.lnb), FIELD(tuner.diseqc), FIELD(tuner.delsys), FIELD(tuner.lockTimeoutMs),
      FIELD(tuner.streamId), FIELD(spectrum), FIELD(hunt), FIELD(help), FIELD(version);
#undef FIELD
  for (const box::ExportTarget& t : o.exports)
    s << "export=" << box::formatName(t.format) << ":" << t.file << " ";
  for (const std::string& band : o.moreBands) s << "band=" << band << " ";
  if (o.usals)
    s << "usals=" << o.usals->latitude << "," << o.usals->longitude << " motor=" << o.motorSpeed << " ";
  return s.str();
}

TEST(Options, EachGoesWhereItBelongsAndBadOnesNameTheArgument) {
  const std::string ms = "--max-time: expects milliseconds from 1 to 1000000000000, not ";
  struct Case {
    std::vector<const char*> args;
    std::string result;
  } cases[] = {
      {{"--plugin", "p.so", "--band", "b.json", "--keys", "key red", "--shots", "s", "--trace", "t", "--root",
        "r", "--realtime", "--window", "--spectrum", "c.csv", "--lang", "de"},
       "plugin=p.so band=b.json keys=key red haveKeys=1 shots=s trace=t root=r realtime=1 lang=de window=1 "
       "spectrum=c.csv "},
      // Times past an int are kept whole.
      {{"--max-time", "2147483648", "--keys", "", "--export", "vdr:a", "--export", "zap:b:c"},
       "haveKeys=1 maxTimeMs=2147483648 export=vdr:a export=zap:b:c "},
      // A stream with a PLS gold code: the code from bit 8, gold mode at bit 26.
      {{"--adapter", "255", "--lnb", "EXTENDED", "--diseqc", "0", "--delsys", "dvbs2", "--lock-timeout", "50",
        "--stream-id", "5:8"},
       "tuner.adapter=255 tuner.lnb=EXTENDED tuner.diseqc=0 tuner.delsys=dvbs2 tuner.lockTimeoutMs=50 "
       "tuner.streamId=67110917 "},
      {{"--lock-timeout", "60000", "--adapter", "0", "--diseqc", "3", "--delsys", "auto", "--delsys", "dvbs",
        "--stream-id", "255"},
       "tuner.adapter=0 tuner.diseqc=3 tuner.delsys=dvbs tuner.lockTimeoutMs=60000 tuner.streamId=255 "},
      {{"-h", "--version"}, "help=1 version=1 "},
      {{"--band", "a", "--hunt", "h", "--band", "b", "--band", "c"}, "band=a hunt=h band=b band=c "},
      {{"--hunt", "h", "--keys", "key red"},
       "--hunt and --keys exclude each other: a hunt types its own keys"},
      {{"--hunt", "h", "--usals", "33.9S,18.4E", "--motor-speed", "2.5"},
       "hunt=h usals=-33.9,18.4 motor=2.5 "},
      {{"--usals", "45N,9E"}, "--usals needs --hunt: only a hunt's sweeps turn the dish"},
      {{"--hunt", "h", "--motor-speed", "2"}, "--motor-speed needs --usals"},
      {{"--usals", "45N"},
       "--usals: expects the site as LATITUDE,LONGITUDE, such as 45.46N,9.19E, not '45N'"},
      {{"--motor-speed", "0"}, "--motor-speed: expects degrees a second from 0.1 to 20, not '0'"},
      {{"--bogus"}, "--bogus: unknown option (see --help)"},
      {{"--b\x01gus"}, "--b\\x01gus: unknown option (see --help)"},
      {{"--band"}, "--band: a value is missing"},
      {{"--trace", ""}, "--trace: the value is empty"},
      {{"--lang", "de/x"}, "--lang: expects it, en, de or C (the texts as written), not 'de/x'"},
      {{"--lang", "fr"}, "--lang: expects it, en, de or C (the texts as written), not 'fr'"},
      {{"--max-time", "soon"}, ms + "'soon'"},
      {{"--max-time", "0"}, ms + "'0'"},
      {{"--max-time", " 5"}, ms + "' 5'"},
      {{"--max-time", "1000000000001"}, ms + "'1000000000001'"},
      {{"--max-time", "9223372036854775808"}, ms + "'9223372036854775808'"},
      {{"--keys", "@"}, "--keys: no file name after '@'"},
      {{"--keys", "@/"}, "--keys: /: is a folder, not a file"},
      {{"--keys", "@/dev/zero"}, "--keys: /dev/zero: larger than 1 MiB, the most the box reads"},
      {{"--export", "m3u:x"},
       "--export: unknown format 'm3u' (vdr, dvbv5, zap, scan or csv, as FORMAT:FILE)"},
      {{"--export", "VDR:x"},
       "--export: unknown format 'VDR' (vdr, dvbv5, zap, scan or csv, as FORMAT:FILE)"},
      {{"--export", "zap:"}, "--export: zap: no file name (FORMAT:FILE)"},
      {{"--export", "vdr"}, "--export: vdr: no file name (FORMAT:FILE)"},
      {{"--export", "dvbv5:x", "--export", "scan:/tmp/s"},
       box::formatAvailable(box::ExportFormat::dvbv5)
           ? "export=dvbv5:x export=scan:/tmp/s "
           : "--export: dvbv5: not available in this build (it needs libdvbv5)"},
      {{"--adapter", "256"}, "--adapter: expects a number from 0 to 255, not '256'"},
      {{"--diseqc", "-1"}, "--diseqc: expects a number from 0 to 3, not '-1'"},
      {{"--lock-timeout", "49"}, "--lock-timeout: expects a number from 50 to 60000, not '49'"},
      {{"--adapter", "1", "--delsys", "s2"}, "--delsys: expects dvbs, dvbs2 or auto, not 's2'"},
      {{"--lnb", "UNIVERSAL"},
       "--lnb, --diseqc, --delsys, --lock-timeout, --carrier-wait and --stream-id need --adapter"},
      {{"--lock-timeout", "1500", "--bogus"}, "--bogus: unknown option (see --help)"},
  };
  for (const Case& c : cases) EXPECT_EQ(parsed(c.args), c.result) << c.args[0];
}

// A plan as "rounds x every: start-end/step rate pols position diseqc; ...", or the message.
std::string plan(const std::string& text) {
  box::HuntPlan p;
  std::string error, out;
  if (!box::parseHunt(text, "p.json", &p, &error)) return error;
  out = std::to_string(p.rounds) + "x" + std::to_string(p.everyMinutes) + ":";
  for (const box::HuntSweep& w : p.sweeps) {
    out += " " + std::to_string(w.startMHz) + "-" + std::to_string(w.endMHz) + "/" +
           std::to_string(w.stepMHz) + " " + std::to_string(w.srKs) + " ";
    for (int pol : w.pols) out += pol ? "V" : "H";
    out += " " + (w.position ? std::to_string(*w.position) : "-") + " " + std::to_string(w.diseqc) + ";";
  }
  return out;
}

TEST(Hunt, PlansAreReadAsStrictlyAsBands) {
  const std::string sweep = R"("start": 10700, "end": 12750, "step": 3, "symbol_rate": 27500, )";
  auto one = [&](const std::string& more) { return R"({"sweeps": [{)" + sweep + more + "}]}"; };
  const std::string at = "p.json: line 1: sweeps[0].";
  struct Case {
    std::string text, result;
  } cases[] = {
      {R"({"rounds": 2, "every_minutes": 60, "sweeps": [{)" + sweep +
           R"("polarisation": "both", "position": "13.0E"},
        {"start": 1, "end": 1, "step": 99999, "symbol_rate": 45000, "polarisation": "V", "diseqc": 3}]})",
       "2x60: 10700-12750/3 27500 HV 130 -1; 1-1/99999 45000 V - 3;"},
      {R"({"rounds": 0, "every_minutes": 525600, "sweeps": [{)" + sweep +
           R"("polarisation": "H", "position": "180.0W", "diseqc": 0}]})",
       "0x525600: 10700-12750/3 27500 H -1800 0;"},
      {one(R"("polarisation": "V", "position": "0.5W")"), "1x0: 10700-12750/3 27500 V -5 -1;"},
      {"{\n\"sweeps\": [],\n \"round\": 1}", "p.json: line 3: round: unknown key"},
      {R"({"rounds": 1})", "p.json: line 1: sweeps: missing"},
      {R"({"sweeps": []})", "p.json: line 1: sweeps: must hold 1 to 1000 sweeps"},
      {R"({"sweeps": {}})", "p.json: line 1: sweeps: must be an array"},
      {R"({"sweeps": [})",
       "p.json: line 1, column 13: syntax error: unexpected '}'; expected '[', '{', or a literal"},
      {R"({"rounds": -1, "sweeps": []})", "p.json: line 1: rounds: must be between 0 and 1e+06"},
      {R"({"rounds": "2", "sweeps": []})", "p.json: line 1: rounds: must be a whole number"},
      {R"({"every_minutes": 1.5, "sweeps": []})", "p.json: line 1: every_minutes: must be a whole number"},
      {R"({"every_minutes": 525601, "sweeps": []})",
       "p.json: line 1: every_minutes: must be between 0 and 525600"},
      {one(R"("polarisation": "X")"), at + "polarisation: must be \"H\", \"V\" or \"both\""},
      {one(R"("polarisation": "H", "pos": "13.0E")"), at + "pos: unknown key"},
      {R"({"sweeps": [{"start": 0, "end": 1, "step": 1, "symbol_rate": 27500, "polarisation": "H"}]})",
       at + "start: must be between 1 and 99999"},
      {R"({"sweeps": [{"start": 2, "end": 1, "step": 1, "symbol_rate": 27500, "polarisation": "H"}]})",
       at + "end: must not be below start"},
      {R"({"sweeps": [{"start": 1, "end": 100000, "step": 1, "symbol_rate": 27500, "polarisation": "H"}]})",
       at + "end: must be between 1 and 99999"},
      {R"({"sweeps": [{"start": 1, "end": 1, "step": 0, "symbol_rate": 27500, "polarisation": "H"}]})",
       at + "step: must be between 1 and 99999"},
      {R"({"sweeps": [{"start": 1, "end": 1, "step": 1, "symbol_rate": 999, "polarisation": "H"}]})",
       at + "symbol_rate: must be between 1000 and 45000"},
      {R"({"sweeps": [{"start": 1, "end": 1, "step": 1, "symbol_rate": 27500}]})",
       at + "polarisation: missing"},
      {one(R"("polarisation": "H", "diseqc": 4)"), at + "diseqc: must be between 0 and 3"},
      {one(R"("polarisation": "H", "position": 130)"), at + "position: must be a string"},
  };
  for (const Case& c : cases) EXPECT_EQ(plan(c.text), c.result) << c.text;
  for (const char* position : {"13E", "13.0", "180.1E", "13.0N", "1300.0E", ".5E", "13.00E", "-3.0W"})
    EXPECT_EQ(plan(one(R"("polarisation": "H", "position": ")" + std::string(position) + "\"")),
              at + "position: must be an orbital position such as 13.0E or 30.0W")
        << position;
}

// A hunt as the box reports it: a line after each sweep, then the summary
// (services left out). Round starts lie every_minutes apart, so a feed that
// comes on air at 5 min is missed by round 1 and found new by round 2; a
// sweep turns the dish to its position, and one without stays there.
TEST_F(BoxRun, HuntsTypeEachSweepIntoTheDialogAndTellWhatItFound) {
  const std::string bands = VANTREL_SOURCE_DIR "/data/bands/";
  struct Case {
    std::string args, plan, result;
  } cases[] = {
      {"--band " + bands + "onair.json",
       R"({"rounds": 2, "every_minutes": 10, "sweeps": [
         {"start": 11750, "end": 11850, "step": 3, "symbol_rate": 27500, "polarisation": "H"}]})",
       "hunt: round 1/2, sweep 1/1 (13.0E 11750-11850 MHz H 27500): 0 transponders, 0 new, 0 min 53 s\n"
       "hunt: round 2/2, sweep 1/1 (13.0E 11750-11850 MHz H 27500): 1 transponder, 1 new, 0 min 56 s\n"
       "Transponders scanned: 1\n  11800 MHz H 27500 ksym/s DVB-S: 2 services (new)\n"
       "Found: 1 transponder, 2 services (2 TV, 0 radio, 0 scrambled).\n"
       "New: 1 transponder, 2 services; 0 renamed; 0 seen before.\n"},
      {"--band " + bands + "demo.json --band " + bands + "demo-30w.json",
       R"({"sweeps": [
         {"start": 10700, "end": 11000, "step": 3, "symbol_rate": 27500, "polarisation": "both"},
         {"start": 10950, "end": 11200, "step": 3, "symbol_rate": 27500, "polarisation": "V", "position": "30.0W"},
         {"start": 11500, "end": 11600, "step": 3, "symbol_rate": 27500, "polarisation": "H"}]})",
       "hunt: round 1/1, sweep 1/4 (13.0E 10700-11000 MHz H 27500): 3 transponders, 3 new, 1 min 50 s\n"
       "hunt: round 1/1, sweep 2/4 (13.0E 10700-11000 MHz V 27500): 0 transponders, 0 new, 1 min 40 s\n"
       "hunt: round 1/1, sweep 3/4 (30.0W 10950-11200 MHz V 27500): 2 transponders, 2 new, 1 min 33 s\n"
       "hunt: round 1/1, sweep 4/4 (30.0W 11500-11600 MHz H 27500): 1 transponder, 1 new, 0 min 55 s\n"
       "Transponders scanned: 6\n  13.0E 10719 MHz H 27500 ksym/s DVB-S: 3 services (new)\n"
       "  13.0E 10855 MHz H 27500 ksym/s DVB-S: 10 services (new)\n  13.0E 10991 MHz H 27500 ksym/s DVB-S: 4 "
       "services "
       "(new)\n"
       "  30.0W 10974 MHz V 27500 ksym/s DVB-S: 2 services (new)\n  30.0W 11135 MHz V 27500 ksym/s DVB-S: 1 "
       "service "
       "(new)\n"
       "  30.0W 11555 MHz H 27500 ksym/s DVB-S: 1 service (new)\n"
       "Found: 6 transponders, 21 services (19 TV, 2 radio, 4 scrambled).\n"
       "New: 6 transponders, 21 services; 0 renamed; 0 seen before.\n"},
      // A positioner turns at 2 degrees a second: 47.6 degrees and 2 s of
      // settling (25815 ms) lie between each goto and its sweep, in box time:
      // the second goto goes out at 25815 ms and the first sweep's 44.9 s.
      {"--band " + bands + "demo.json --band " + bands + "demo-30w.json --usals 45.46N,9.19E --motor-speed 2",
       R"({"sweeps": [
         {"start": 10950, "end": 11000, "step": 3, "symbol_rate": 27500, "polarisation": "V", "position": "30.0W"},
         {"start": 10700, "end": 10750, "step": 3, "symbol_rate": 27500, "polarisation": "H", "position": "13.0E"},
         {"start": 11500, "end": 11600, "step": 3, "symbol_rate": 27500, "polarisation": "H", "position": "30.0W"}]})",
       "hunt: turning the dish from 13.0E to 30.0W (47.6 degrees, 26 s)\n"
       "hunt: round 1/1, sweep 1/3 (30.0W 10950-11000 MHz V 27500): 1 transponder, 1 new, 0 min 44 s\n"
       "hunt: turning the dish from 30.0W to 13.0E (47.6 degrees, 26 s)\n"
       "hunt: round 1/1, sweep 2/3 (13.0E 10700-10750 MHz H 27500): 1 transponder, 1 new, 0 min 44 s\n"
       "hunt: turning the dish from 13.0E to 30.0W (47.6 degrees, 26 s)\n"
       "hunt: round 1/1, sweep 3/3 (30.0W 11500-11600 MHz H 27500): 1 transponder, 1 new, 0 min 55 s\n"
       "Transponders scanned: 3\n  30.0W 10974 MHz V 27500 ksym/s DVB-S: 2 services (new)\n"
       "  13.0E 10719 MHz H 27500 ksym/s DVB-S: 3 services (new)\n  30.0W 11555 MHz H 27500 ksym/s DVB-S: 1 "
       "service "
       "(new)\n"
       "Found: 3 transponders, 6 services (4 TV, 2 radio, 1 scrambled).\n"
       "New: 3 transponders, 6 services; 0 renamed; 0 seen before.\n"
       "0 diseqc E0 31 6E D2 B6\n70715 diseqc E0 31 6E E0 44\n140730 diseqc E0 31 6E D2 B6\n"},
  };
  for (const Case& c : cases) {
    std::ofstream(dir / "plan.json") << c.plan;
    fs::remove_all(dir / "root");
    Result r = shell(boxCommand() + " --root " + quote((dir / "root").string()) + " --hunt " +
                     quote((dir / "plan.json").string()) + " --trace " + quote((dir / "t.jsonl").string()) +
                     " " + c.args);
    EXPECT_EQ(r.status, 0) << r.out;
    std::string shownLines;
    for (const std::string& line : linesOf(r.out))
      if (line.rfind("    ", 0) != 0 && !line.empty()) shownLines += line + "\n";
    std::ifstream trace(dir / "t.jsonl");
    for (std::string line; std::getline(trace, line);)
      if (const auto j = nlohmann::json::parse(line); j["ev"] == "diseqc")
        shownLines +=
            std::to_string(j["t"].get<int64_t>()) + " diseqc " + j["bytes"].get<std::string>() + "\n";
    EXPECT_EQ(shownLines, c.result) << c.args;
  }
}

// Runs interrupted: a hunt without end once its first sweep is told, a
// sweep on the wall clock once it has started. The plug-in is left as exit keys
// would leave it; the summary, the exports, the spectrum and the kept list
// are written as at any end, and the status says which signal came.
TEST_F(BoxRun, AnInterruptedRunKeepsAndWritesWhatItFound) {
  std::ofstream(dir / "plan.json") << R"({"rounds": 0, "sweeps": [
    {"start": 10700, "end": 10750, "step": 3, "symbol_rate": 27500, "polarisation": "H"}]})";
  const std::string
      hunt = "--hunt DIR/plan.json",
      keys = "--band " VANTREL_SOURCE_DIR
             "/data/bands/empty.json --realtime --shots DIR/s --keys 'key green; shot going; wait 600000'";
  const std::string told = "grep -q '^hunt: round' DIR/err", second = "test -e DIR/s/going.json";
  struct Case {
    std::string args, ready, signal;
    int status;
    const char* found;  // what the kept list and the VDR file hold
    const char* summary;
  } cases[] = {// Each round scanned it again: one entry.
               {hunt, told, "INT", 130, "10719",
                "Transponders scanned: 1\n  10719 MHz H 27500 ksym/s DVB-S: 3 services (new)\n"},
               {hunt, told, "TERM", 143, "10719", "Transponders scanned: 1\n"},
               {keys, second, "HUP", 129, "", "No transponder was scanned.\n"}};
  for (const Case& c : cases) {
    fs::remove_all(dir / "root");
    fs::remove(dir / "spectrum.csv");
    const Result r = shell(inDir(
        boxCommand() + " --root DIR/root --export vdr:DIR/vdr.conf --spectrum DIR/spectrum.csv " + c.args +
        " 2>DIR/err & box=$!; for i in $(seq 600); do " + c.ready + " && break; sleep 0.05; done; kill -" +
        c.signal + " $box; wait $box; status=$?; cat DIR/err; exit $status"));
    EXPECT_EQ(r.status, c.status) << c.signal << r.out;
    EXPECT_THAT(r.out, HasSubstr("vantrel-box: SIG" + c.signal +
                                 ": leaving the plug-in, keeping what was found (again to end at once)\n"));
    EXPECT_THAT(r.out, HasSubstr(c.summary)) << c.signal;
    EXPECT_THAT(readText(dir / "spectrum.csv"), HasSubstr("frequency_mhz,polarisation")) << c.signal;
    EXPECT_THAT(readText(dir / "vdr.conf"), HasSubstr(c.found)) << c.signal;
    if (*c.found) {
      EXPECT_THAT(readText(dir / "root/var/tuxbox/config/vantrel-box/services.json"), HasSubstr(c.found));
    }
  }
}

// The steps, one a line: "line: kind value", or the script's message.
std::string steps(const std::string& script) {
  std::vector<box::Step> steps;
  std::string error;
  if (!box::parseScript(script, &steps, &error)) return error;
  std::string out;
  for (const box::Step& s : steps)
    out += std::to_string(s.line) + ": " +
           (s.kind == box::Step::Key    ? std::string("key ") + rc::keyName(s.key)
            : s.kind == box::Step::Wait ? "wait " + std::to_string(s.ms)
            : s.kind == box::Step::Shot ? "shot " + s.text
                                        : "wait-text " + s.text + " " + std::to_string(s.ms)) +
           "\n";
  return out;
}

TEST(Script, StepsAreReadByLineAndBadOnesNamedWithTheirTextEscaped) {
  const std::string range = "milliseconds from 0 to 1000000000000, not ";
  const std::string plain =
      "script line 1: shot expects a plain name (letters, digits, '-', '_', '.'; not '.' first; at most "
      "100), "
      "not ";
  struct Case {
    std::string script, result;
  } cases[] = {
      {"# a comment\nwait 500; shot first\n\nwait-text \"Fine; # here\" 800\nkey red # leave",
       "2: wait 500\n2: shot first\n4: wait-text Fine; # here 800\n5: key red\n"},
      // A leading byte order mark is skipped and long times kept whole.
      {"\xEF\xBB\xBFwait 3000000000\nwait-text \"x\" 1000000000000;wait-text \"y\"",
       "1: wait 3000000000\n2: wait-text x 1000000000000\n2: wait-text y 60000\n"},
      {"shot dialog; shot sweep-half_2.v1; shot " + std::string(100, 'a'),
       "1: shot dialog\n1: shot sweep-half_2.v1\n1: shot " + std::string(100, 'a') + "\n"},
      {"wait 5\nkey purple", "script line 2: unknown key 'purple'"},
      {"key \x01\xFF", "script line 1: unknown key '\\x01\\xFF'"},
      {"key " + std::string(200, 'z'),
       "script line 1: unknown key 'zzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzz...'"},
      {"wait soon", "script line 1: wait expects " + range + "'soon'"},
      {"wait -1", "script line 1: wait expects " + range + "'-1'"},
      {"wait 1000000000001", "script line 1: wait expects " + range + "'1000000000001'"},
      {"wait-text \"x\" 9223372036854775807",
       "script line 1: wait-text: the limit must be " + range + "'9223372036854775807'"},
      {"wait-text Fine", "script line 1: wait-text expects a \"quoted text\""},
      {"wait-text \"Fine", "script line 1: wait-text: the closing quote is missing"},
      {"jump 3", "script line 1: unknown step 'jump'"},
      {std::string("wait 5\nkey ok\nkey red\0 and more\n", 32),
       "script line 3: a NUL byte (\\x00) in the script"},
      {"\xEF\xBB\xBF\xEF\xBB\xBFwait 5", "script line 1: unknown step '\xEF\xBB\xBFwait'"},
      {"shot", plain + "''"},
      {"shot a/b", plain + "'a/b'"},
      {"shot .hidden", plain + "'.hidden'"},
      {"shot caf\xC3\xA9", plain + "'caf\xC3\xA9'"},
      {"shot a\\b", plain + "'a\\b'"},
      {"shot " + std::string(101, 'a'), plain + "'aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa...'"},
  };
  for (const Case& c : cases) EXPECT_EQ(steps(c.script), c.result) << c.script;
}

// The keys typed as the parser reads them: all in one read, or a byte a read
// 10 ms apart; '|' is a pause longer than an ESC waits for its sequence.
std::string pressed(const std::string& typed, bool byteByByte) {
  box::KeyParser parser;
  std::vector<int> keys;
  int64_t now = 0;
  std::istringstream parts(typed);
  for (std::string part; std::getline(parts, part, '|'); now += 1000) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(part.data());
    for (size_t i = 0; i < part.size(); i += byteByByte ? 1 : part.size(), now += 10)
      parser.take(bytes + i, byteByByte ? 1 : part.size(), now, &keys);
  }
  parser.expire(now + 1000, &keys);
  std::string names;
  for (int key : keys) names += std::string(names.empty() ? "" : " ") + rc::keyName(key);
  return names;
}

TEST(TerminalKeys, EveryKeyTypedCountsHoweverTheReadsCutIt) {
  std::string tenRight, tenRightNames;
  for (int i = 0; i < 10; ++i) tenRight += "\x1b[C", tenRightNames += i ? " right" : "right";
  const std::pair<std::string, std::string> cases[] = {
      {"12500", "1 2 5 0 0"},
      {tenRight, tenRightNames},
      {"79\r\nq\x7f\b x", "7 9 ok ok exit exit exit"},
      {"\x1b[A\x1b[B\x1b[C\x1b[D\x1bOA\x1b[1;5D", "up down right left up left"},
      {"\x1bOP\x1bOQ\x1bOR\x1bOS\x1b[11~\x1b[14~\x1b[[A\x1b[[Drgyb",
       "red green yellow blue red blue red blue red "
       "green yellow blue"},
      // Sequences of keys the remote lacks are swallowed whole.
      {"\x1b[15~\x1b[Z\x1b[P\x1bOx1", "1"},
      {"\x1b", "exit"},
      {"\x1b\x1b[A\x1bx2", "exit up exit 2"},
      {"\x1b[\r\x1bO", "ok"},
      {"\x1b|[C", "exit"},
      {"\x1b[|C1", "1"},
  };
  for (const auto& [typed, names] : cases) {
    EXPECT_EQ(pressed(typed, false), names) << box::printable(typed);
    EXPECT_EQ(pressed(typed, true), names) << box::printable(typed) << " a byte a read";
  }
}

TEST(TerminalKeys, StatusLineSaysWhereTheHuntIsAndNeverWraps) {
  const box::StatusFacts tuned{"Ricerca perché", 11778000, 1, 65535, 32767, 3, 12};
  const std::string rest = "11778 MHz V: SNR 100%, strength 49% | locked: 3, services: 12";
  struct Case {
    box::StatusFacts facts;
    size_t width;
    std::string text;
  } cases[] = {
      {{"", 0, 0, -1, -1, 0, 0}, 80, "nothing tuned yet | locked: 0, services: 0"},
      {{"a\x1b[2Jb", 10714000, 0, 0, -1, 0, 1},
       80,
       "a\\x1B[2Jb | 10714 MHz H: SNR 0%, strength - | locked: 0, services: 1"},
      // The title yields first, cut at a character, then goes.
      {tuned, 78, "Ricerca perché | " + rest},
      {tuned, 77, "Ricerca perch | " + rest},
      {tuned, 68, "Rice | " + rest},
      {tuned, 67, rest},
      {tuned, 20, "11778 MHz V: SNR 100"},
  };
  for (const Case& c : cases) EXPECT_EQ(box::statusText(c.facts, c.width), c.text) << c.width;
}

// The language an environment without --lang asks for.
TEST(Language, TheEnvironmentsAndTheCLocaleMeansAsWritten) {
  const std::pair<std::map<std::string, std::string>, std::string> cases[] = {
      {{}, "it"},
      {{{"LANG", "C"}}, "C"},
      {{{"LANG", "de_DE.UTF-8"}, {"LC_ALL", "C.UTF-8"}}, "C"},
      {{{"LANG", "de_DE.UTF-8"}, {"LC_MESSAGES", "POSIX"}}, "C"},
      {{{"LANG", "de_DE.UTF-8"}, {"LC_ALL", ""}}, "de_DE"},
      {{{"LANG", "C"}, {"LANGUAGE", "de"}}, "de"},
      {{{"LANG", "de_DE.UTF-8"}, {"VANTREL_LANG", "C"}}, "C"},
  };
  for (const auto& [env, lang] : cases) {
    auto get = [&env = env](const char* name) {
      auto it = env.find(name);
      return it == env.end() ? nullptr : it->second.c_str();
    };
    EXPECT_EQ(box::environmentLanguage(get), lang) << (env.empty() ? "" : env.begin()->second);
  }
}

// The focused widget's name anywhere in a widget dump.
std::string focusIn(const nlohmann::json& node) {
  if (node.value("focus", false)) return node.value("name", "");
  for (const char* key : {"windows", "children"})
    for (const auto& child : node.value(key, nlohmann::json::array()))
      if (std::string found = focusIn(child); !found.empty()) return found;
  return "";
}

TEST_F(BoxRun, DialogShotWithFocusAndTraceThenRedLeaves) {
  Result r = box("wait 500; shot dialog; key red");
  ASSERT_EQ(r.status, 0) << r.out;
  ASSERT_TRUE(fs::exists(dir / "shots/dialog.png"));
  nlohmann::json widgets = nlohmann::json::parse(readText(dir / "shots/dialog.json"));
  EXPECT_EQ(focusIn(widgets), "freqStart");
  for (const char* text : {"Vantrel by Tessmar v 0.1.0.beta", "Annulla", "Avvia", "orizzontale"})
    EXPECT_THAT(widgets.dump(), HasSubstr(text));
  EXPECT_EQ(readText(dir / "trace.jsonl"),
            R"({"action":"show","ev":"window","t":0,"title":"Vantrel by Tessmar v 0.1.0.beta"}
{"ev":"key","name":"red","t":500}
{"action":"close","ev":"window","t":500,"title":"Vantrel by Tessmar v 0.1.0.beta"}
{"action":"hide","ev":"window","t":500,"title":"Vantrel by Tessmar v 0.1.0.beta"}
{"code":0,"ev":"exit","t":500}
)");
}

// Exit codes: 3 a wait-text timed out, 4 --max-time or a still screen, 5
// output lost (each loss told, and a 3 or 4 kept, as it says more). Spans of
// box time past an int are waited whole.
TEST_F(BoxRun, ExitCodesForATimeOutAStillScreenMaxTimeAndLostOutput) {
  // The dialog alone runs no timer, the sweep (key green) runs them until the
  // end of the band at 550950 ms; a wait-text still looks every 20 ms from its
  // start, however far time jumps.
  const std::string still = "script line 1: nothing left to happen: no timer is running and no key is due\n";
  // A full disk: a node like /dev/full, in the test's own folder.
  const bool haveFull = ::mknod((dir / "full").c_str(), S_IFCHR | 0666, makedev(1, 7)) == 0;
  const std::string full = "--trace: DIR/full: write: No space left on device\n";
  const std::string ran = "--max-time: the plug-in was still running after ";
  // NAME.json cannot replace a folder; NAME.png is still written. Outputs
  // whose names only look alike are no one file.
  fs::create_directories(dir / "shots/dialog.json");
  fs::create_directories(dir / "sub/deeper");
  fs::create_symlink("sub/deeper", dir / "deep");
  struct Case {
    std::string script, more;
    int status;
    std::string messages;  // the box's, one a line, without "vantrel-box: "
    int64_t end;           // the trace's last t; -1: no trace
  } cases[] = {
      {"wait-text \"never\" 1000000000000", "", 4, still, 0},
      {"wait-text \"never\" 1000000000000", "--max-time 1000000000000", 4, still, 0},
      {"key green; wait-text \"never\" 1000000000000", "", 4, still, 550950},
      {"key green; wait-text \"Scansione terminata\" 600000; key ok; key red; key red", "", 0, "", 550960},
      {"key green; wait-text \"Nowhere\" 290", "", 3,
       "script line 1: \"Nowhere\" was not shown within 290 ms\n", 300},
      {"wait 100000", "--max-time 2000", 4, ran + "2000 ms\n", 2000},
      {"wait 3000000000; key red", "", 0, "", 3000000000},
      {"wait 2147483000; key red", "--max-time 2147483648", 0, "", 2147483000},
      {"wait 2147483649; key red", "--max-time 2147483648", 4, ran + "2147483648 ms\n", 2147483648},
      {"key red", "--export vdr:DIR/y.conf --export zap:DIR/deep/../y.conf", 0, "", 0},
      {"key red", "--trace DIR/full", 5, full, -1},
      {"key green; wait-text \"Nowhere\" 100", "--trace DIR/full", 3,
       "script line 1: \"Nowhere\" was not shown within 100 ms\n" + full, -1},
      {"wait 10; shot dialog; key red", "", 5,
       "script line 1: DIR/shots/dialog.json: rename: Is a directory\n", 10},
  };
  for (const Case& c : cases) {
    if (!haveFull && c.more.find("/full") != std::string::npos) continue;  // no right to make device nodes
    fs::remove(dir / "trace.jsonl");
    Result r = box(c.script, c.more);
    EXPECT_EQ(r.status, c.status) << c.script << "\n" << r.out;
    EXPECT_EQ(told(r.out), c.messages) << c.script;
    auto lines = trace();
    EXPECT_EQ(lines.empty() ? -1 : lines.back()["t"].get<int64_t>(), c.end) << c.script;
  }
  EXPECT_EQ(filesIn(dir / "shots"), (std::vector<std::string>{"dialog.json", "dialog.png"}))
      << "no temporary file is left";
  EXPECT_TRUE(fs::is_empty(dir / "shots/dialog.json"));
}

// The box's answers, whole, in the language asked for (--lang, then
// VANTREL_LANG, then the environment's, else Italian); what cannot be written
// on standard output is no success.
TEST_F(BoxRun, AnswersInTheChosenLanguage) {
  const std::string box = VANTREL_EMULATOR VANTREL_BINARY_DIR "/vantrel-box", c = "VANTREL_LANG=C " + box;
  const std::string root = " --root " + quote((dir / "root").string()), full = " >/dev/full";
  const std::string lost = "vantrel-box: standard output: No space left on device\n";
  const std::string purple = " --keys 'wait 5; key purple'";
  const std::string noLang = "env -u VANTREL_LANG -u LC_ALL -u LC_MESSAGES -u LANGUAGE -u LANG ";
  const std::string bin = "VANTREL_LANG=C " VANTREL_EMULATOR VANTREL_BINARY_DIR "/vantrel-";
  const std::string graphUsage =
      "usage: vantrel-graphdemo FOLDER\nDraws a sample spectrum graph into FOLDER/graph-0.png and "
      "FOLDER/graph-scrolled.png.\n";
  struct Case {
    std::string command;
    int status;
    std::string out;
  } cases[] = {
      {c + " --help", 0, box::usage()},
      {c + " --version", 0, "vantrel-box " VANTREL_VERSION "\n"},
      {c + " --keys 'key red'" + root, 0, "No transponder was scanned.\n"},
      {c + " --help" + full, 5, lost},
      {c + " --keys 'key red'" + root + full, 5, lost},
      {c + " --lang de --keys 'wait 100; key exit'" + root, 0, "Es wurde kein Transponder abgesucht.\n"},
      {c + " --lang de --help | head -1", 0, "Aufruf: vantrel-box [Optionen]\n"},
      {c + purple, 2, "vantrel-box: --keys: script line 1: unknown key 'purple'\n"},
      {noLang + "LANGUAGE=de LANG=C.UTF-8 " + box + purple, 2,
       "vantrel-box: --keys: Skriptzeile 1: unbekannte Taste 'purple'\n"},
      {noLang + box + purple, 2, "vantrel-box: --keys: riga 1 dello script: tasto sconosciuto 'purple'\n"},
      {noLang + "LANG=C " + box + purple, 2, "vantrel-box: --keys: script line 1: unknown key 'purple'\n"},
      {c + " --lang xx 2>&1", 2,
       "vantrel-box: --lang: expects it, en, de or C (the texts as written), not 'xx'\n"},
      {bin + "bandplot --help | head -1", 0, "Usage: vantrel-bandplot BAND.json OUT.png [SYMBOL_RATE_KS]\n"},
      {bin + "graphdemo --help", 0, graphUsage},
      {bin + "graphdemo 2>&1", 2, graphUsage},
      {"VANTREL_LANG=de " VANTREL_EMULATOR VANTREL_BINARY_DIR "/vantrel-bandplot " VANTREL_SOURCE_DIR
       "/data/bands/demo.json " +
           quote((dir / "band.png").string()) + " 12",
       2, "vantrel-bandplot: Symbolrate 12: muss eine ganze Zahl in ksymbol/s sein, 1000..45000\n"},
  };
  for (const Case& k : cases) {
    Result r = shell("sh -c " + quote(k.command));
    EXPECT_EQ(r.status, k.status) << k.command;
    EXPECT_EQ(r.out, k.out) << k.command;
  }
}

// The scan window's rectangle and its children's sizes and texts in a shot's dump.
std::string scanLayout(const nlohmann::json& dump) {
  for (const auto& w : dump["windows"]) {
    if (w["text"] != "Vantrel:") continue;
    std::string out = w["rect"].dump();
    for (const auto& c : w["children"])
      out += " " + c["name"].get<std::string>() + ":" + std::to_string(c["rect"]["w"].get<int>()) + "x" +
             std::to_string(c["rect"]["h"].get<int>()) +
             (c["text"] == "" ? "" : "'" + c["text"].get<std::string>() + "'");
    return out;
  }
  return "no scan window";
}

// A new --root is set up as an installation would be: the plug-in's skin file
// is put in place, so that a feed scan is laid out as on the default root; a
// skin file already there is the user's and is kept, even with texts that are
// not UTF-8 (the shot's dump shows them replaced).
TEST_F(BoxRun, AFreshRootGetsThePluginSkinAndOneThereIsKept) {
  const fs::path skin = dir / "root/var/tuxbox/plugins/vantrel.esml";
  std::string own = readText(VANTREL_SOURCE_DIR "/data/skins/vantrel.esml");
  const std::string children =
      " services_scanned:162x32'2' transponder_scanned:472x28'Transponder in scansione:' time_left:472x30 "
      "service_name:472x30'Musica Nord' service_provider:472x28'Uplink Srl' "
      "transponder_data:472x30'10719 Mhz / 27500 ksyms / Horizontal' scan_progress:472x22 "
      "state:300x32'Servizi trovati:";
  const std::string layouts[] = {
      "{\"h\":390,\"w\":500,\"x\":110,\"y\":93}" + children + "' Annulla:160x40'Annulla'",
      "{\"h\":380,\"w\":490,\"x\":20,\"y\":30}" + children + "\xEF\xBF\xBD' Annulla:160x40'Annulla'"};
  for (const std::string& layout : layouts) {
    Result r = box(kFeedScan, "--root DIR/root");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(readText(skin), own);
    EXPECT_EQ(scanLayout(nlohmann::json::parse(readText(dir / "shots/feedscan.json"))), layout);
    // The user's own skin: the scan window moved and made smaller, a text
    // with a byte that is not UTF-8.
    for (auto [from, to] :
         {std::pair<std::string, std::string>{"name=\"scan4feed\" position=\"110,93\" size=\"500,390\"",
                                              "name=\"scan4feed\" position=\"20,30\" size=\"490,380\""},
          {"text=\"Servizi trovati:\"", "text=\"Servizi trovati:\xFF\""}})
      if (own.find(from) != std::string::npos) own.replace(own.find(from), from.size(), to);
    std::ofstream(skin, std::ios::binary) << own;
  }
  EXPECT_TRUE(fs::exists(dir / "root/var/tuxbox/config/vantrel-box/services.json"))
      << "the services were kept";
}

// An installed box (share/vantrel beside its bin) finds everything under its
// prefix and keeps its finds in the user's data folder; any other is a build tree.
TEST(InstallPlaces, FollowTheExecutableAndTheEnvironment) {
  const std::string src = VANTREL_SOURCE_DIR "/data", loc = VANTREL_BINARY_DIR "/locale";
  struct Case {
    const char *exe, *xdg, *home, *data, *expected;
  } cases[] = {
      {"/b/x/vantrel-box", nullptr, "/h", nullptr, "0 DATA /b/x/vantrel.so LOCALE /b/x/root"},
      {"/b/x/vantrel-box", "/x", "/h", "/d", "0 /d /b/x/vantrel.so LOCALE /b/x/root"},
      {"/p/bin/vantrel-box", "/x", "/h", nullptr,
       "1 /p/share/vantrel /p/lib/vantrel/vantrel.so /p/share/locale /x/vantrel"},
      {"/p/bin/vantrel-box", "", "/h/", "/d",
       "1 /d /p/lib/vantrel/vantrel.so /p/share/locale /h/.local/share/vantrel"},
      {"/p/bin/vantrel-box", "rel", "/h", nullptr,
       "1 /p/share/vantrel /p/lib/vantrel/vantrel.so /p/share/locale /h/.local/share/vantrel"},
      {"/p/bin/vantrel-box", nullptr, nullptr, nullptr,
       "1 /p/share/vantrel /p/lib/vantrel/vantrel.so /p/share/locale "},
      {"/bin/vantrel-box", nullptr, "/h", nullptr,
       "1 /share/vantrel /lib/vantrel/vantrel.so /share/locale "
       "/h/.local/share/vantrel"},
  };
  for (const Case& c : cases) {
    auto env = [&](const char* name) {
      const std::string n = name;
      return n == "XDG_DATA_HOME" ? c.xdg : n == "HOME" ? c.home : n == "VANTREL_DATA" ? c.data : nullptr;
    };
    auto isDir = [](const std::string& d) { return d == "/p/share/vantrel" || d == "/share/vantrel"; };
    const box::InstallPlaces p = box::installPlaces(c.exe, env, isDir);
    std::string got =
        std::to_string(p.installed) + " " + p.data + " " + p.plugin + " " + p.locale + " " + p.root;
    for (auto [from, to] : {std::pair{src, "DATA"}, {loc, "LOCALE"}})
      if (got.find(from) != std::string::npos) got.replace(got.find(from), from.size(), to);
    EXPECT_EQ(got, c.expected) << c.exe << " " << (c.xdg ? c.xdg : "-") << " " << (c.home ? c.home : "-");
  }
}

TEST(Plugin, ExportsOnlyPluginExecAndCarriesNoRunPath) {
  const std::string so = VANTREL_BINARY_DIR "/vantrel.so";
  const std::pair<std::string, std::string> cases[] = {
      {VANTREL_NM " -D --defined-only " + so + " | awk '{print $3}'", "plugin_exec\n"},
      // The host's symbols stay for the box to provide.
      {VANTREL_NM " -D --undefined-only " + so + " | grep -c -m1 eWidget", "1\n"},
      // It is copied onto a box: no run path of the build machine goes with it.
      {VANTREL_READELF " -d " + so + " | grep -o -e NEEDED -e RPATH -e RUNPATH | sort -u", "NEEDED\n"}};
  for (const auto& [command, out] : cases) EXPECT_EQ(shell(command).out, out) << command;
}

// The box run in this process, so that its writes can be made to fail: each
// output lost is told, none is left half written.
TEST_F(BoxRun, OnAFullDiskEveryOutputIsToldAndTheRunEndsWith5UnlessMaxTimeCameFirst) {
  // A run in this process would otherwise bind the machine's catalogue for
  // every test that follows; the texts as written keep them all alike.
  box::chooseLanguage("C");
  // The root is set up beforehand: only the run's own writes fail.
  fs::create_directories(dir / "root/var/tuxbox/plugins");
  fs::copy_file(VANTREL_SOURCE_DIR "/data/skins/vantrel.esml", dir / "root/var/tuxbox/plugins/vantrel.esml");
  // Through a feed scan, which finds services to keep and export.
  const std::string full = ": write: No space left on device\n";
  std::vector<std::string> args = fields(inDir("vantrel-box --shots DIR/shots --root DIR/root --export "
                                               "vdr:DIR/out/vdr.conf --spectrum DIR/out/spectrum.csv"),
                                         ' ');
  args.insert(args.end(), {"--keys", kFeedScan});
  std::string lost = "--export: DIR/out/vdr.conf" + full;
  if (box::formatAvailable(box::ExportFormat::dvbv5)) {
    args.insert(args.end(), {"--export", inDir("dvbv5:DIR/out/dvbv5.conf")});
    lost += "--export: DIR/out/dvbv5.conf" + full;
  }
  const std::string list = "root/var/tuxbox/config/vantrel-box/services.json";
  lost +=
      "--spectrum: DIR/out/spectrum.csv" + full + "the service list could not be kept: DIR/" + list + full;
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  box::Options o;
  std::string error;
  ASSERT_TRUE(box::parseOptions(int(argv.size()), argv.data(), &o, &error)) << error;
  struct Case {
    int64_t maxTimeMs;
    int status;
    std::string first;  // the messages before those of the files at exit
  } cases[] = {
      {-1, 5,
       "script line 1: DIR/shots/feedscan.png" + full + "script line 1: DIR/shots/feedscan.json" + full},
      // --max-time passes after the services were found: 4 stays, the loss is told.
      {31000, 4, "--max-time: the plug-in was still running after 31000 ms\n"},
  };
  for (const Case& c : cases) {
    o.maxTimeMs = c.maxTimeMs;
    box::setWriteFunction(&diskFull);
    ::testing::internal::CaptureStderr();
    const int code = box::run(o);
    const std::string err = ::testing::internal::GetCapturedStderr();
    box::setWriteFunction(nullptr);
    EXPECT_EQ(code, c.status) << err;
    EXPECT_EQ(told(err), c.first + lost);
    EXPECT_TRUE(filesIn(dir / "shots").empty() && filesIn(dir / "out").empty())
        << "no empty pictures, nothing half written, no temporary files";
    EXPECT_FALSE(fs::exists(dir / list));
  }
}

}  // namespace
