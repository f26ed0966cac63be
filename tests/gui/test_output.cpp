// How the box writes files (pictures among them) and the trace: every failed
// write reported, no half file left behind, devices, FIFOs and links written
// through instead of replaced. (The window test compares every screenshot
// with the window pixel for pixel.)
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "box/base/fileio.h"
#include "box/base/trace.h"
#include "gui/gui_fixture.h"
#include "test_dir.h"

namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path& file) {
  std::ostringstream text;
  text << std::ifstream(file).rdbuf();
  return text.str();
}

// Every entry under d, sorted: a link's text, a file's mode and content,
// the kind of anything else (file_type: fifo 6, character 5, socket 7).
std::string describe(const fs::path& d) {
  std::set<std::string> entries;  // sorted
  for (const auto& e : fs::recursive_directory_iterator(d)) {
    std::string line = e.path().lexically_relative(d).string();
    const fs::file_status st = e.symlink_status();
    char mode[8];
    std::snprintf(mode, sizeof mode, " %o ", unsigned(st.permissions()));
    if (st.type() == fs::file_type::symlink)
      line += " -> " + fs::read_symlink(e.path()).string();
    else if (st.type() == fs::file_type::regular)
      line += mode + slurp(e.path());
    else
      line += st.type() == fs::file_type::directory ? "/" : " " + std::to_string(int(st.type()));
    entries.insert(line);
  }
  std::string all;
  for (const std::string& e : entries) all += (all.empty() ? "" : "; ") + e;
  return all;
}

class Output : public GuiTest {};

TEST_F(Output, EveryKindOfTargetIsWrittenThroughAndAFailureKeepsTheOldFile) {
  const fs::path dir = vantrel_test::testDir();
  // The two ways the box writes a named file: whole (0), and as a trace of
  // lines (1). Each gives the text it wrote.
  auto write = [&](int way, const std::string& path, std::string* text, std::string* error) {
    if (way == 0) return box::writeFileAtomic(path, *text = "new\n", error);
    std::error_code ec;
    const bool file = fs::is_regular_file(path, ec);
    // A descriptor of the box's own is written into at once.
    const bool direct = fs::read_symlink(path, ec).string().rfind("/dev/fd/", 0) == 0;
    const std::string old = file ? slurp(path) : "";
    if (!box::Trace::open(path, error)) return false;
    const size_t heard = trace.size();
    box::Trace::event("key", {{"name", "caf\xE9"}});  // not UTF-8: replaced
    EXPECT_EQ(trace.size(), heard + 1) << "observers hear every event, written or not";
    *text = "{\"ev\":\"key\",\"name\":\"caf\xEF\xBF\xBD\",\"t\":0}\n";
    // Until it is whole, the trace leaves the old file as it was.
    EXPECT_TRUE(direct || (fs::is_regular_file(path, ec) == file && (file ? slurp(path) : "") == old))
        << path;
    return box::Trace::close(error);
  };
  const mode_t mask = ::umask(022);
  pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ::waitpid(dead, nullptr, 0);
  int fd = -1;  // held open by the case
  auto old = [](const fs::path& f, int mode) {
    return std::ofstream(f) << "old", fs::permissions(f, fs::perms(mode)), true;
  };
  auto node = [](const fs::path& f, mode_t m, dev_t dev) { return ::mknod(f.c_str(), m | 0644, dev) == 0; };
  const auto none = [](const fs::path&) { return true; };
  std::string deep = "d";
  while ((dir / deep).string().size() < 4080) deep += "/" + std::string(200, 'd');
  const char* tooLong = "%s: the file name is too long: at most %ld bytes fit in this folder";
  const struct {
    const char* name;
    std::function<bool(const fs::path& d)> make;
    std::string after;  // describe(), TEXT for the text written, "read" what a FIFO's reader got
    std::string error;  // "" for none; a message of the catalogue, %s the path, %ld most
    bool early;         // refused before anything is written, by outputNameFits too
    long most = 0;
    std::string out = "out";
  } cases[] = {
      {"new", none, "out 644 TEXT", "", false},
      {"file 0600", [&](const fs::path& d) { return old(d / "out", 0600); }, "out 600 TEXT", "", false},
      {"link",
       [&](const fs::path& d) { return fs::create_symlink("real", d / "out"), old(d / "real", 0640); },
       "out -> real; real 640 TEXT", "", false},
      {"dangling chain of links",
       [](const fs::path& d) {
         return fs::create_symlink("l2", d / "out"), fs::create_symlink("sub/x", d / "l2"), true;
       },
       "l2 -> sub/x; out -> l2; sub/; sub/x 644 TEXT", "", false},
      {"descriptor of the box",
       [&](const fs::path& d) {
         fs::create_symlink("/dev/fd/99", d / "out");
         return old(d / "real", 0600) &&
                (fd = ::dup2(::open((d / "real").c_str(), O_WRONLY | O_APPEND), 99)) == 99;
       },
       "out -> /dev/fd/99; real 600 oldTEXT", "", false},
      {"FIFO with a reader",
       [&](const fs::path& d) {
         return node(d / "out", S_IFIFO, 0) && (fd = ::open((d / "out").c_str(), O_RDONLY | O_NONBLOCK)) >= 0;
       },
       "out 6; read TEXT", "", false},
      {"FIFO without a reader", [&](const fs::path& d) { return node(d / "out", S_IFIFO, 0); }, "out 6",
       "%s: nobody reads from this FIFO", false},
      // /dev/null's numbers, in the test's folder.
      {"char device", [&](const fs::path& d) { return node(d / "out", S_IFCHR, makedev(1, 3)); }, "out 5", "",
       false},
      {"socket", [&](const fs::path& d) { return node(d / "out", S_IFSOCK, 0); }, "out 7",
       "%s: is a socket, which cannot be written into", true},
      {"temporary files of a dead and a live writer",
       [&](const fs::path& d) {
         std::ofstream(d / ("out.tmp-" + std::to_string(dead) + "-abc123")) << "cut";
         return old(d / "out.tmp-1-abc123", 0644);
       },
       "out 644 TEXT; out.tmp-1-abc123 644 old", "", false},
      // Through the write seam: a broken box must never replace the machine's /dev/full.
      {"full disk",
       [&](const fs::path& d) {
         box::setWriteFunction([](int, const void*, size_t) -> ssize_t { return errno = ENOSPC, -1; });
         return old(d / "out", 0600);
       },
       "out 600 old", "%s: write: " + std::string(std::strerror(ENOSPC)), false},
      // The temporary file's name must fit beside the file.
      {"name that fits", none, std::string(236, 'n') + " 644 TEXT", "", false, 0, std::string(236, 'n')},
      {"name too long", none, "", tooLong, true, 236, std::string(237, 'n')},
      {"link to a name too long",
       [](const fs::path& d) { return fs::create_symlink(std::string(240, 'l'), d / "out"), true; },
       "out -> " + std::string(240, 'l'), tooLong, true, 236},
      {"path too long", none, "", "%s: the path is too long: at most %ld bytes fit", true, 4076, deep},
  };
  for (int w = 0; w < 2; ++w)
    for (const auto& c : cases) {
      const fs::path d = dir / (std::string(c.name) + " #" + std::to_string(w));
      const std::string path = (d / c.out).string();
      fs::create_directories(d);
      fd = -1;
      std::string text, error, early, after = c.after;
      const std::string want =
          c.error.empty() ? "" : box::trf(c.error.c_str(), box::printable(path, 200).c_str(), c.most);
      ASSERT_TRUE(c.make(d)) << d;
      EXPECT_EQ(box::outputNameFits(path, &early), !c.early) << d;
      EXPECT_EQ(early, c.early ? want : "");
      const bool ok = write(w, path, &text, &error);
      box::setWriteFunction(nullptr);
      EXPECT_EQ(ok, want.empty()) << d << ": " << error;
      EXPECT_EQ(error, want) << d;
      std::string got = describe(d);
      char buf[4096];
      struct stat st {};
      if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISFIFO(st.st_mode))
        got += "; read " + std::string(buf, size_t(std::max<ssize_t>(::read(fd, buf, sizeof buf), 0)));
      if (size_t at = after.find("TEXT"); at != std::string::npos) after.replace(at, 4, text);
      EXPECT_EQ(got, after) << d;
      if (fd >= 0) ::close(fd);
    }
  ::umask(mask);
}

}  // namespace
