// What the toolkit writes: the trace and pictures report every failed write
// and leave no half file behind; devices, FIFOs and links are written
// through, not replaced; JSON text never throws on texts that are not UTF-8.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "box/base/fileio.h"
#include "box/base/trace.h"
#include "box/gui/png.h"
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

std::string slurp(const fs::path& file) {
  std::ostringstream text;
  text << std::ifstream(file).rdbuf();
  return text.str();
}

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
  // The two ways the box writes a named file: whole, and as a trace of
  // lines. Each gives the text it wrote.
  using Writer = std::function<bool(const std::string& path, std::string* text, std::string* error)>;
  std::vector<Writer> writers() {
    return {
        [](const std::string& path, std::string* text, std::string* error) {
          *text = "new\n";
          return box::writeFileAtomic(path, *text, error);
        },
        [this](const std::string& path, std::string* text, std::string* error) {
          std::error_code ec;
          const bool file = fs::is_regular_file(path, ec);
          // A descriptor of the box's own is written into at once.
          const bool direct = fs::read_symlink(path, ec).string().rfind("/dev/fd/", 0) == 0;
          const std::string old = file ? slurp(path) : "";
          if (!box::Trace::open(path, error)) return false;
          box::Trace::event("key", {{"name", "ok"}});
          *text = box::jsonText(trace.back()) + "\n";
          // Until it is whole, the trace leaves the old file as it was.
          EXPECT_TRUE(direct || (fs::is_regular_file(path, ec) == file && (file ? slurp(path) : "") == old))
              << path;
          return box::Trace::close(error);
        }};
  }
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
  // Every line fails on a full disk (a broken box must never replace the
  // machine's /dev/full here).
  const std::string path = (dir / "trace.jsonl").string();
  ASSERT_TRUE(box::Trace::open(path));
  std::string error;
  {
    FailingWrites full;
    box::Trace::event("key", {{"name", "ok"}});
    box::Trace::event("key", {{"name", "red"}});
    EXPECT_FALSE(box::Trace::close(&error));
  }
  EXPECT_EQ(error.rfind(path + ": write: ", 0), 0u) << error;
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

// Every entry under d, sorted: a link's text, a file's mode and content,
// the kind of anything else.
std::string describe(const fs::path& d) {
  std::vector<std::string> entries;
  for (const auto& e : fs::recursive_directory_iterator(d)) {
    std::string line = e.path().lexically_relative(d).string();
    char mode[8];
    std::snprintf(mode, sizeof mode, " %o ", unsigned(e.symlink_status().permissions()));
    switch (e.symlink_status().type()) {
      case fs::file_type::symlink:
        line += " -> " + fs::read_symlink(e.path()).string();
        break;
      case fs::file_type::regular:
        line += mode + slurp(e.path());
        break;
      case fs::file_type::directory:
        line += "/";
        break;
      default:
        line += " " + std::to_string(int(e.symlink_status().type()));
    }
    entries.push_back(line);
  }
  std::sort(entries.begin(), entries.end());
  std::string all;
  for (const std::string& e : entries) all += (all.empty() ? "" : "; ") + e;
  return all;
}

TEST_F(Output, EveryKindOfTargetIsWrittenThroughAndAFailureKeepsTheOldFile) {
  const mode_t mask = ::umask(022);
  pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ::waitpid(dead, nullptr, 0);
  int fd = -1;  // held open by the case
  auto old = [](const fs::path& file, int mode) {
    std::ofstream(file) << "old";
    fs::permissions(file, fs::perms(mode));
    return true;
  };
  auto node = [&](const fs::path& file, mode_t mode, dev_t dev) {
    return ::mknod(file.c_str(), mode | 0644, dev) == 0 &&
           (fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK)) >= 0;
  };
  // The kinds of file_type: fifo 6, character 5, socket 7.
  const struct {
    const char* name;
    std::function<bool(const fs::path& d)> make;  // false: cannot be made here
    std::string after;                            // describe(), TEXT for the text written
    const char* error;                            // "" for none; %s the path
  } cases[] = {
      {"new", [](const fs::path&) { return true; }, "out 644 TEXT", ""},
      {"file 0600", [&](const fs::path& d) { return old(d / "out", 0600); }, "out 600 TEXT", ""},
      {"link",
       [&](const fs::path& d) { return fs::create_symlink("real", d / "out"), old(d / "real", 0640); },
       "out -> real; real 640 TEXT", ""},
      {"dangling chain of links",
       [](const fs::path& d) {
         return fs::create_symlink("l2", d / "out"), fs::create_symlink("sub/x", d / "l2"), true;
       },
       "l2 -> sub/x; out -> l2; sub/; sub/x 644 TEXT", ""},
      {"descriptor of the box",
       [&](const fs::path& d) {
         fs::create_symlink("/dev/fd/99", d / "out");
         return old(d / "real", 0600) &&
                (fd = ::dup2(::open((d / "real").c_str(), O_WRONLY | O_APPEND), 99)) == 99;
       },
       "out -> /dev/fd/99; real 600 oldTEXT", ""},
      {"FIFO with a reader", [&](const fs::path& d) { return node(d / "out", S_IFIFO, 0); },
       "out 6; read TEXT", ""},
      {"FIFO without a reader", [](const fs::path& d) { return ::mkfifo((d / "out").c_str(), 0644) == 0; },
       "out 6", "%s: nobody reads from this FIFO"},
      {"char device", [&](const fs::path& d) { return node(d / "out", S_IFCHR, makedev(1, 3)); }, "out 5",
       ""},
      {"socket",
       [&](const fs::path& d) {
         // Bound from its folder: the whole path is longer than a socket's name.
         sockaddr_un addr{AF_UNIX, "out"};
         const fs::path here = fs::current_path();
         fs::current_path(d);
         fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
         const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
         fs::current_path(here);
         return bound;
       },
       "out 7", "%s: is a socket, which cannot be written into"},
      {"temporary files of a dead and a live writer",
       [&](const fs::path& d) {
         std::ofstream(d / ("out.tmp-" + std::to_string(dead) + "-abc123")) << "cut";
         return old(d / "out.tmp-1-abc123", 0644);
       },
       "out 644 TEXT; out.tmp-1-abc123 644 old", ""},
      {"full disk", [&](const fs::path& d) { return box::setWriteFunction(&diskFull), old(d / "out", 0600); },
       "out 600 old", "%s: write: %s"},
  };
  const std::vector<Writer> ways = writers();
  for (size_t w = 0; w < ways.size(); ++w)
    for (const auto& c : cases) {
      const fs::path d = dir / (std::string(c.name) + " #" + std::to_string(w));
      fs::create_directories(d);
      fd = -1;
      std::string text, error, after = c.after;
      const bool made = c.make(d);
      EXPECT_TRUE(made || std::string(c.name) == "char device") << d;  // only a node needs root
      if (made) {
        const bool ok = ways[w]((d / "out").string(), &text, &error);
        box::setWriteFunction(nullptr);
        EXPECT_EQ(ok, !*c.error) << d << ": " << error;
        EXPECT_EQ(error, *c.error ? box::trf(c.error, (d / "out").c_str(), std::strerror(ENOSPC)) : "") << d;
        std::string got = describe(d);
        char buf[4096];
        struct stat st {};
        if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISFIFO(st.st_mode))
          got += "; read " + std::string(buf, size_t(std::max<ssize_t>(::read(fd, buf, sizeof buf), 0)));
        if (size_t at = after.find("TEXT"); at != std::string::npos) after.replace(at, 4, text);
        EXPECT_EQ(got, after) << d;
      }
      if (fd >= 0) ::close(fd);
    }
  ::umask(mask);
}

TEST_F(Output, ANameTooLongForTheTemporaryFileIsRefusedBeforeAnythingIsWritten) {
  fs::create_symlink(std::string(240, 'l'), dir / "link");
  std::string deep = dir.string();
  while (deep.size() < 4080) deep += "/" + std::string(200, 'd');
  const char* name = "%s: the file name is too long: at most %ld bytes fit in this folder";
  const struct {
    std::string path;
    const char* error;  // nullptr when it fits
    long most;
  } cases[] = {
      {(dir / std::string(236, 'n')).string(), nullptr, 0},
      {(dir / std::string(237, 'n')).string(), name, 236},
      {(dir / std::string(255, 'n')).string(), name, 236},
      // The temporary file goes beside the file the link leads to.
      {(dir / "link").string(), name, 236},
      {deep, "%s: the path is too long: at most %ld bytes fit", 4076},
  };
  const std::vector<Writer> ways = writers();
  for (const auto& c : cases) {
    const std::string expected =
        c.error ? box::trf(c.error, box::printable(c.path, 200).c_str(), c.most) : "";
    std::string error, text;
    EXPECT_EQ(box::outputNameFits(c.path, &error), !c.error) << c.path;
    EXPECT_EQ(error, expected);
    // The writers refuse it the same way, before they write anything.
    for (const Writer& write : ways) {
      error.clear();
      EXPECT_EQ(write(c.path, &text, &error), !c.error) << c.path;
      EXPECT_EQ(error, expected);
    }
  }
  EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"link", std::string(236, 'n')}));
}

}  // namespace
