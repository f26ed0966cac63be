// The run's output that cannot be written: every failure is told on standard
// error, no half file is left, and the run ends with 5 unless a timed-out
// wait-text (3) or --max-time (4) already said more.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "box/base/fileio.h"
#include "box/gui/boot.h"
#include "box/runner/options.h"
#include "box/runner/run.h"
#include "runner/box_run.h"

namespace fs = std::filesystem;
using box_run::BoxRun;
using box_run::quote;
using box_run::Result;
using vantrel_test::filesIn;

namespace {

class LostOutput : public BoxRun {};

TEST_F(LostOutput, ATraceOnAFullDiskOrAShotOverAFolderEndsWith5) {
  struct Case {
    std::string script, more;
    int status;
    std::vector<std::string> messages;
  } cases[] = {
      {"key red",
       "--trace /dev/full",
       5,
       {"vantrel-box: --trace: /dev/full: write: No space left on device"}},
      // The timeout says more than the lost trace; both are told.
      {"key green; wait-text \"Nowhere\" 100",
       "--trace /dev/full",
       3,
       {"vantrel-box: script line 1: \"Nowhere\" was not shown within 100 ms",
        "vantrel-box: --trace: /dev/full: write: No space left on device"}},
      // NAME.json cannot replace a folder; NAME.png is still written.
      {"wait 10; shot dialog; key red",
       "",
       5,
       {"vantrel-box: script line 1: DIR/shots/dialog.json: rename: Is a directory"}},
  };
  for (const Case& c : cases) {
    fs::remove_all(dir / "shots");
    fs::create_directories(dir / "shots/dialog.json");
    Result r = box(c.script, c.more);
    EXPECT_EQ(r.status, c.status) << c.script << "\n" << r.out;
    EXPECT_EQ(box_run::boxMessages(shown(r.out)), c.messages) << c.script;
  }
  EXPECT_EQ(filesIn(dir / "shots"), (std::vector<std::string>{"dialog.json", "dialog.png"}))
      << "no temporary file is left";
  EXPECT_TRUE(fs::is_empty(dir / "shots/dialog.json"));
}

TEST_F(LostOutput, TheSummaryOnAFullStandardOutputEndsWith5) {
  Result r = box_run::shell("sh -c " + quote(box_run::boxCommand() + " --keys 'key red' --root " +
                                             quote((dir / "root").string()) + " >/dev/full"));
  EXPECT_EQ(r.status, 5) << r.out;
  EXPECT_EQ(box_run::boxMessages(r.out),
            std::vector<std::string>{"vantrel-box: standard output: No space left on device"});
}

// The box run in this process, so that its writes can be made to fail: each
// output lost is told, none is left half written.
TEST_F(LostOutput, OnAFullDiskEveryOutputIsToldAndTheRunEndsWith5UnlessMaxTimeCameFirst) {
  // A run in this process would otherwise bind the machine's catalogue for
  // every test that follows; the texts as written keep them all alike.
  box::chooseLanguage("C");
  // The root is set up beforehand: only the run's own writes fail.
  fs::create_directories(dir / "root/var/tuxbox/plugins");
  fs::copy_file(VANTREL_SOURCE_DIR "/data/skins/vantrel.esml", dir / "root/var/tuxbox/plugins/vantrel.esml");
  box::Options o;
  o.haveKeys = true;
  // Through a feed scan, which finds services to keep and export.
  o.keys =
      "key green; wait-text \"Servizi trovati:\" 600000; wait 1000; shot feedscan; key ok; wait 500; key "
      "red; "
      "wait 3000; key red";
  o.shots = (dir / "shots").string();
  o.root = (dir / "root").string();
  std::string error;
  for (const char* value : {"vdr:out/vdr.conf", "dvbv5:out/dvbv5.conf"}) {
    box::ExportTarget t;
    if (!box::parseExportTarget(value, &t, &error)) continue;  // a build without libdvbv5
    t.file = (dir / t.file).string();
    o.exports.push_back(t);
  }
  o.spectrum = (dir / "out/spectrum.csv").string();
  const std::string full = ": write: No space left on device";
  std::vector<std::string> lost;
  for (const box::ExportTarget& t : o.exports)
    lost.push_back(shown("vantrel-box: --export: " + t.file + full));
  lost.push_back("vantrel-box: --spectrum: DIR/out/spectrum.csv" + full);
  const std::string list = (dir / "root/var/tuxbox/config/vantrel-box/services.json").string();
  lost.push_back(
      "vantrel-box: the service list could not be kept: "
      "DIR/root/var/tuxbox/config/vantrel-box/services.json" +
      full);
  struct Case {
    int64_t maxTimeMs;
    int status;
    std::vector<std::string> first;  // the messages before those of the files at exit
  } cases[] = {
      {-1,
       5,
       {"vantrel-box: script line 1: DIR/shots/feedscan.png" + full,
        "vantrel-box: script line 1: DIR/shots/feedscan.json" + full}},
      // --max-time passes after the services were found: 4 stays, the loss is told.
      {31000, 4, {"vantrel-box: --max-time: the plug-in was still running after 31000 ms"}},
  };
  for (const Case& c : cases) {
    o.maxTimeMs = c.maxTimeMs;
    box::setWriteFunction(&box_run::diskFull);
    ::testing::internal::CaptureStderr();
    const int code = box::run(o);
    const std::string err = ::testing::internal::GetCapturedStderr();
    box::setWriteFunction(nullptr);
    EXPECT_EQ(code, c.status) << err;
    std::vector<std::string> messages = c.first;
    messages.insert(messages.end(), lost.begin(), lost.end());
    EXPECT_EQ(box_run::boxMessages(shown(err)), messages);
    EXPECT_TRUE(filesIn(dir / "shots").empty() && filesIn(dir / "out").empty())
        << "no empty pictures, nothing half written, no temporary files";
    EXPECT_FALSE(fs::exists(list));
  }
}

}  // namespace
