// vantrel-box's command line and key scripts, and the box run end to end as a
// user runs it: exit codes, shots with their widget dumps, the trace, and the
// plug-in's exported symbols.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "box/runner/options.h"
#include "box/runner/script.h"
#include "host/rc.h"
#include "runner/box_run.h"

namespace fs = std::filesystem;
using box_run::BoxRun;
using box_run::quote;
using box_run::Result;
using box_run::shell;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

bool parse(std::vector<const char*> args, box::Options* o, std::string* error) {
  args.insert(args.begin(), "vantrel-box");
  return box::parseOptions(int(args.size()), args.data(), o, error);
}

TEST(Options, ReadsEveryOption) {
  box::Options o;
  std::string error;
  ASSERT_TRUE(parse({"--plugin", "p.so", "--band", "b.json", "--keys", "key red", "--shots", "s", "--trace",
                     "t", "--root", "r", "--realtime", "--max-time", "1500"},
                    &o, &error))
      << error;
  EXPECT_EQ(o.plugin, "p.so");
  EXPECT_EQ(o.band, "b.json");
  EXPECT_TRUE(o.haveKeys);
  EXPECT_EQ(o.keys, "key red");
  EXPECT_EQ(o.shots, "s");
  EXPECT_EQ(o.trace, "t");
  EXPECT_EQ(o.root, "r");
  EXPECT_TRUE(o.realtime);
  EXPECT_EQ(o.maxTimeMs, 1500);
}

TEST(Options, BadArgumentsNameTheArgument) {
  struct Case {
    std::vector<const char*> args;
    const char* message;
  } cases[] = {
      {{"--bogus"}, "--bogus: unknown option (see --help)"},
      {{"--b\x01gus"}, "--b\\x01gus: unknown option (see --help)"},
      {{"--band"}, "--band: a value is missing"},
      {{"--trace", ""}, "--trace: the value is empty"},
      {{"--max-time", "soon"}, "--max-time: expects milliseconds from 1 to 1000000000000, not 'soon'"},
      {{"--max-time", "-5"}, "--max-time: expects milliseconds from 1 to 1000000000000, not '-5'"},
      {{"--max-time", "0"}, "--max-time: expects milliseconds from 1 to 1000000000000, not '0'"},
      {{"--max-time", "1000000000001"},
       "--max-time: expects milliseconds from 1 to 1000000000000, not '1000000000001'"},
      {{"--max-time", "9223372036854775808"},
       "--max-time: expects milliseconds from 1 to 1000000000000, not '9223372036854775808'"},
      {{"--max-time", " 5"}, "--max-time: expects milliseconds from 1 to 1000000000000, not ' 5'"},
      {{"--keys", "@"}, "--keys: no file name after '@'"},
      {{"--keys", "@/"}, "--keys: /: is a folder, not a file"},
      {{"--keys", "@/dev/zero"}, "--keys: /dev/zero: larger than 1 MiB, the most the box reads"},
      {{"--keys"}, "--keys: a value is missing"},
  };
  for (const Case& c : cases) {
    box::Options o;
    std::string error;
    EXPECT_FALSE(parse(c.args, &o, &error)) << c.args[0];
    EXPECT_EQ(error, c.message);
  }
  // Times past an int are kept whole.
  box::Options o;
  std::string error;
  ASSERT_TRUE(parse({"--max-time", "2147483648", "--keys", ""}, &o, &error)) << error;
  EXPECT_EQ(o.maxTimeMs, 2147483648);
  EXPECT_TRUE(o.haveKeys);
}

TEST(Script, StepsSplitOnLinesAndSemicolonsAndSkipComments) {
  std::vector<box::Step> steps;
  std::string error;
  ASSERT_TRUE(box::parseScript(
      "# a comment\nwait 500; shot first\n\nwait-text \"Fine; # here\" 800\nkey red # leave", &steps, &error))
      << error;
  ASSERT_EQ(steps.size(), 4u);
  EXPECT_EQ(steps[0].kind, box::Step::Wait);
  EXPECT_EQ(steps[0].ms, 500);
  EXPECT_EQ(steps[1].kind, box::Step::Shot);
  EXPECT_EQ(steps[1].text, "first");
  EXPECT_EQ(steps[2].kind, box::Step::WaitText);
  EXPECT_EQ(steps[2].text, "Fine; # here");
  EXPECT_EQ(steps[2].ms, 800);
  EXPECT_EQ(steps[2].line, 4);
  EXPECT_EQ(steps[3].kind, box::Step::Key);
  EXPECT_EQ(steps[3].key, rc::red);
}

TEST(Script, BadStepsNameTheirLineAndShowTheirTextEscaped) {
  struct Case {
    std::string script;
    const char* message;
  } cases[] = {
      {"wait 5\nkey purple", "script line 2: unknown key 'purple'"},
      {"key \x01\xFF", "script line 1: unknown key '\\x01\\xFF'"},
      {"key " + std::string(200, 'z'),
       "script line 1: unknown key 'zzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzz...'"},
      {"wait soon", "script line 1: wait expects milliseconds from 0 to 1000000000000, not 'soon'"},
      {"wait -1", "script line 1: wait expects milliseconds from 0 to 1000000000000, not '-1'"},
      {"wait 1000000000001",
       "script line 1: wait expects milliseconds from 0 to 1000000000000, not '1000000000001'"},
      {"wait-text \"x\" 9223372036854775807",
       "script line 1: wait-text: the limit must be milliseconds from 0 to 1000000000000, not "
       "'9223372036854775807'"},
      {"wait-text Fine", "script line 1: wait-text expects a \"quoted text\""},
      {"wait-text \"Fine", "script line 1: wait-text: the closing quote is missing"},
      {"jump 3", "script line 1: unknown step 'jump'"},
      {std::string("wait 5\nkey ok\nkey red\0 and more\n", 32),
       "script line 3: a NUL byte (\\x00) in the script"},
      {"\xEF\xBB\xBF\xEF\xBB\xBFwait 5", "script line 1: unknown step '\xEF\xBB\xBFwait'"},
  };
  for (const Case& c : cases) {
    std::vector<box::Step> steps;
    std::string error;
    EXPECT_FALSE(box::parseScript(c.script, &steps, &error)) << c.script;
    EXPECT_EQ(error, c.message);
  }
}

TEST(Script, ShotNamesArePlainFileNames) {
  std::string longest(100, 'a'), tooLong(101, 'a');
  for (const std::string& good : {std::string("dialog"), std::string("sweep-half_2.v1"), longest})
    EXPECT_TRUE(box::isShotName(good)) << good;
  for (const std::string& bad :
       {std::string(""), std::string("a/b"), std::string("../up"), std::string(".hidden"), std::string("a b"),
        std::string("caf\xC3\xA9"), std::string("a\\b"), tooLong})
    EXPECT_FALSE(box::isShotName(bad)) << bad;
  std::vector<box::Step> steps;
  std::string error;
  EXPECT_FALSE(box::parseScript("wait 1\n\nshot a/b", &steps, &error));
  EXPECT_EQ(error,
            "script line 3: shot expects a plain name (letters, digits, '-', '_', '.'; not '.' first; at "
            "most 100), "
            "not 'a/b'");
}

TEST(Script, ALeadingByteOrderMarkIsSkippedAndLongTimesKeptWhole) {
  std::vector<box::Step> steps;
  std::string error;
  ASSERT_TRUE(box::parseScript("\xEF\xBB\xBFwait 3000000000\nwait-text \"x\" 1000000000000", &steps, &error))
      << error;
  ASSERT_EQ(steps.size(), 2u);
  EXPECT_EQ(steps[0].ms, 3000000000);
  EXPECT_EQ(steps[1].ms, 1000000000000);
}

// The focused widget's name anywhere in a widget dump.
std::string focusIn(const nlohmann::json& node) {
  if (node.value("focus", false)) return node.value("name", "");
  for (const char* key : {"windows", "children"})
    if (node.contains(key))
      for (const auto& child : node[key]) {
        std::string found = focusIn(child);
        if (!found.empty()) return found;
      }
  return "";
}

TEST_F(BoxRun, DialogShotWithFocusAndTraceThenRedLeaves) {
  Result r = box("wait 500; shot dialog; key red");
  ASSERT_EQ(r.status, 0) << r.out;
  ASSERT_TRUE(fs::exists(dir / "shots/dialog.png"));
  std::ifstream dump(dir / "shots/dialog.json");
  nlohmann::json widgets = nlohmann::json::parse(dump);
  EXPECT_EQ(focusIn(widgets), "freqStart");
  std::string dumpText = widgets.dump();
  for (const char* text : {"Vantrel by Tessmar v 0.1.0.beta", "Annulla", "Avvia", "orizzontale"})
    EXPECT_THAT(dumpText, HasSubstr(text));

  auto lines = trace();
  ASSERT_FALSE(lines.empty());
  bool keyRed = false;
  for (const auto& l : lines) {
    EXPECT_TRUE(l.contains("t") && l.contains("ev")) << l.dump();
    keyRed |= l["ev"] == "key" && l.value("name", "") == "red";
  }
  EXPECT_TRUE(keyRed);
  EXPECT_EQ(lines.back()["ev"], "exit");
  EXPECT_EQ(lines.back()["code"], 0);
}

TEST_F(BoxRun, ExitCodesForATimeOutAStillScreenAndMaxTime) {
  // The dialog alone runs no timer, the sweep (key green) runs them until the
  // end of the band at 550950 ms; a wait-text still looks every 20 ms from its
  // start, however far time jumps.
  const std::string still =
      "vantrel-box: script line 1: nothing left to happen: no timer is running and no key is due";
  struct Case {
    std::string script, more;
    int status;
    std::vector<std::string> messages;
    int64_t end;  // the trace's last t
  } cases[] = {
      {"wait-text \"never\" 1000000000000", "", 4, {still}, 0},
      {"wait-text \"never\" 1000000000000", "--max-time 1000000000000", 4, {still}, 0},
      {"key green; wait-text \"never\" 1000000000000", "", 4, {still}, 550950},
      {"key green; wait-text \"Scansione terminata\" 1000000000000; key ok; key red; key red",
       "",
       0,
       {},
       550960},
      {"key green; wait-text \"Nowhere to be seen\" 290",
       "",
       3,
       {"vantrel-box: script line 1: \"Nowhere to be seen\" was not shown within 290 ms"},
       300},
      {"wait 100000",
       "--max-time 2000",
       4,
       {"vantrel-box: --max-time: the plug-in was still running after 2000 ms"},
       2000},
  };
  for (const Case& c : cases) {
    Result r = box(c.script, c.more);
    EXPECT_EQ(r.status, c.status) << c.script << "\n" << r.out;
    EXPECT_EQ(box_run::boxMessages(r.out), c.messages) << c.script;
    auto lines = trace();
    ASSERT_FALSE(lines.empty()) << c.script;
    EXPECT_EQ(lines.back()["t"], c.end) << c.script;
  }
}

TEST_F(BoxRun, TheMainJobIsTheSameRunAfterRun) {
  // Each run on a fresh root holding only the installed plug-in, so that no
  // kept service list makes the second run differ.
  std::vector<std::string> traces;
  for (int run = 0; run < 2; ++run) {
    fs::remove_all(dir / "root");
    fs::create_directories(dir / "root/var/tuxbox");
    fs::copy(fs::path(VANTREL_BINARY_DIR) / "root/var/tuxbox/plugins", dir / "root/var/tuxbox/plugins",
             fs::copy_options::recursive);
    fs::remove(dir / "trace.jsonl");
    Result r =
        box("@" VANTREL_SOURCE_DIR "/data/scripts/demo.keys", "--root " + quote((dir / "root").string()));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_THAT(r.out, HasSubstr("Transponders scanned: 11"));
    std::ifstream in(dir / "trace.jsonl");
    traces.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  ASSERT_GT(traces[0].size(), 10000u);
  EXPECT_TRUE(traces[0] == traces[1]) << "the two traces differ";
  EXPECT_TRUE(fs::exists(dir / "root/var/tuxbox/config/vantrel-box/services.json"));
}

TEST_F(BoxRun, HelpListsTheOptions) {
  Result r = shell(box_run::boxCommand() + " --help");
  EXPECT_EQ(r.status, 0);
  for (const char* option : {"--plugin", "--band", "--keys", "--shots", "--trace", "--root", "--max-time"})
    EXPECT_THAT(r.out, HasSubstr(option));
  EXPECT_THAT(r.out, HasSubstr("5 the run's output"));
  // Help that cannot be written is not a success.
  Result full = shell("sh -c " + quote(VANTREL_EMULATOR VANTREL_BINARY_DIR "/vantrel-box --help >/dev/full"));
  EXPECT_EQ(full.status, 5) << full.out;
}

TEST(Plugin, ExportsOnlyPluginExec) {
  Result r = shell(VANTREL_NM " -D --defined-only " VANTREL_BINARY_DIR "/vantrel.so");
  ASSERT_EQ(r.status, 0) << r.out;
  std::vector<std::string> names;
  std::istringstream in(r.out);
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    std::string address, kind, name;
    fields >> address >> kind >> name;
    if (!name.empty()) names.push_back(name);
  }
  EXPECT_EQ(names, std::vector<std::string>{"plugin_exec"});
  // The host's symbols stay for the box to provide.
  Result undefined = shell(VANTREL_NM " -D --undefined-only " VANTREL_BINARY_DIR "/vantrel.so");
  EXPECT_THAT(undefined.out, HasSubstr("eWidget"));
  // It is copied onto a box: no run path of the build machine goes with it.
  Result dynamic = shell(VANTREL_READELF " -d " VANTREL_BINARY_DIR "/vantrel.so");
  ASSERT_EQ(dynamic.status, 0) << dynamic.out;
  EXPECT_THAT(dynamic.out, HasSubstr("(NEEDED)"));
  EXPECT_THAT(dynamic.out, Not(HasSubstr("RUNPATH")));
  EXPECT_THAT(dynamic.out, Not(HasSubstr("RPATH")));
}

}  // namespace
