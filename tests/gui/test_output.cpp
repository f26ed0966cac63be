// What the toolkit writes: the trace and pictures report every failed write
// and leave no half file behind; JSON text never throws on texts that are
// not UTF-8.
#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "box/gui/fileio.h"
#include "box/gui/png.h"
#include "box/gui/trace.h"
#include "gui/gui_fixture.h"
#include "host/elabel.h"
#include "host/ewindow.h"
#include "test_dir.h"

namespace fs = std::filesystem;
using vantrel_test::filesIn;

namespace {

ssize_t diskFull(int, const void*, size_t) {
  errno = ENOSPC;
  return -1;
}

// Restores write(2) however the test ends.
struct FailingWrites {
  FailingWrites() { box::setWriteFunction(&diskFull); }
  ~FailingWrites() { box::setWriteFunction(nullptr); }
};

class Output : public GuiTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(GuiTest::SetUp());
    dir = vantrel_test::testDir();
  }
  void TearDown() override {
    box::Trace::close();
    GuiTest::TearDown();
  }
  fs::path dir;
};

TEST_F(Output, TextsThatAreNotUtf8AreReplacedInDumpsAndTraceLines) {
  const std::string bad = "caf\xE9 \xFF\xFE ok";
  eWindow window(1);
  window.setText(bad);
  (new eLabel(&window))->setText(bad);
  window.show();
  const std::string path = (dir / "trace.jsonl").string();
  ASSERT_TRUE(box::Trace::open(path));
  box::Trace::event("log", {{"level", "debug"}, {"text", bad}});
  ASSERT_TRUE(box::Trace::close());

  const std::string replaced = "caf\xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD ok";
  nlohmann::json dump = nlohmann::json::parse(box::jsonText(box::Screen::instance().dumpWidgets(), 2));
  EXPECT_EQ(dump["windows"][0]["text"], replaced);
  EXPECT_EQ(dump["windows"][0]["children"][0]["text"], replaced);
  std::ifstream in(path);
  std::string line;
  ASSERT_TRUE(std::getline(in, line));
  EXPECT_EQ(nlohmann::json::parse(line)["text"], replaced);
}

TEST_F(Output, AFailedTraceWriteIsReportedAtCloseAndStopsTheFile) {
  // Every line fails on a full device, at the latest when it is flushed.
  ASSERT_TRUE(box::Trace::open("/dev/full"));
  box::Trace::event("key", {{"name", "ok"}});
  box::Trace::event("key", {{"name", "red"}});
  std::string error;
  EXPECT_FALSE(box::Trace::close(&error));
  EXPECT_EQ(error.rfind("/dev/full: write: ", 0), 0u) << error;
  // Observers still hear every event.
  EXPECT_EQ(events("key").size(), 2u);

  // A trace that cannot be made says which file.
  EXPECT_FALSE(box::Trace::open(dir.string(), &error));
  EXPECT_EQ(error.rfind(dir.string() + ": ", 0), 0u) << error;
  // Closing what was never opened is fine.
  EXPECT_TRUE(box::Trace::close(&error));
}

TEST_F(Output, APictureThatCannotBeWrittenLeavesNoFileBehind) {
  const fs::path png = dir / "shot.png";
  std::string error;
  {
    FailingWrites full;
    EXPECT_FALSE(box::Screen::instance().writePng(png.string(), &error));
  }
  EXPECT_NE(error.find(png.string() + ": write: "), std::string::npos) << error;
  std::ofstream(dir / "file") << "x";
  EXPECT_FALSE(box::Screen::instance().writePng((dir / "file/shot.png").string(), &error));
  EXPECT_NE(error.find("file"), std::string::npos) << error;
  EXPECT_EQ(filesIn(dir), std::vector<std::string>{"file"}) << "no picture, no empty file, no temporary file";

  // The same call with the disk back writes the picture whole.
  ASSERT_TRUE(box::Screen::instance().writePng(png.string(), &error)) << error;
  EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"file", "shot.png"}));
  EXPECT_GT(fs::file_size(png), 100u);
}

}  // namespace
