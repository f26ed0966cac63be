// The run's output that cannot be written: every failure is told on standard
// error, no half file is left, and the run ends with 5 unless a timed-out
// wait-text (3) or --max-time (4) already said more.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
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
using ::testing::HasSubstr;
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

ssize_t diskFull(int, const void*, size_t) {
  errno = ENOSPC;
  return -1;
}

// The box run in this process, so that its writes can be made to fail.
class LostInProcess : public BoxRun {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(BoxRun::SetUp());
    // A run in this process would otherwise bind the machine's catalogue for
    // every test that follows; the texts as written keep them all alike.
    box::chooseLanguage("C");
    // The root is set up beforehand: only the run's own writes fail.
    fs::create_directories(dir / "root/var/tuxbox/plugins");
    fs::copy_file(VANTREL_SOURCE_DIR "/data/skins/vantrel.esml",
                  dir / "root/var/tuxbox/plugins/vantrel.esml");
  }
  void TearDown() override { box::setWriteFunction(nullptr); }
  // Runs the script through a feed scan, which finds services to keep.
  int runWithFullDisk(int64_t maxTimeMs, std::string* err) {
    box::Options o;
    o.haveKeys = true;
    o.keys =
        "key green; wait-text \"Servizi trovati:\" 600000; wait 1000; shot feedscan; key ok; wait 500; key "
        "red; "
        "wait 3000; key red";
    o.shots = (dir / "shots").string();
    o.root = (dir / "root").string();
    o.maxTimeMs = maxTimeMs;
    box::setWriteFunction(&diskFull);
    ::testing::internal::CaptureStderr();
    int code = box::run(o, "vantrel-box");
    *err = ::testing::internal::GetCapturedStderr();
    box::setWriteFunction(nullptr);
    return code;
  }
};

TEST_F(LostInProcess, AServiceListThatCannotBeKeptEndsWith5UnlessMaxTimeCameFirst) {
  const std::string list = (dir / "root/var/tuxbox/config/vantrel-box/services.json").string();
  std::string err;
  EXPECT_EQ(runWithFullDisk(-1, &err), 5) << err;
  EXPECT_THAT(
      err, HasSubstr("vantrel-box: script line 1: " + (dir / "shots/feedscan.png").string() + ": write: "));
  EXPECT_THAT(
      err, HasSubstr("vantrel-box: script line 1: " + (dir / "shots/feedscan.json").string() + ": write: "));
  EXPECT_THAT(err, HasSubstr("vantrel-box: the service list could not be kept: " + list + ": write: "));
  EXPECT_TRUE(filesIn(dir / "shots").empty()) << "no empty pictures, no temporary files";
  EXPECT_FALSE(fs::exists(list));

  // --max-time passes after the services were found: 4 stays, the loss is told.
  EXPECT_EQ(runWithFullDisk(31000, &err), 4) << err;
  // In the language the box was brought up in.
  char late[200];
  std::snprintf(late, sizeof late, box::tr("the plug-in was still running after %lld ms"), 31000LL);
  EXPECT_THAT(err, HasSubstr(std::string("vantrel-box: --max-time: ") + late));
  EXPECT_THAT(err, HasSubstr("vantrel-box: the service list could not be kept: " + list + ": write: "));
}

}  // namespace
