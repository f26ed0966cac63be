#include "box/base/fileio.h"
#include "box/base/tr.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace box {
namespace {

WriteFn gWrite = nullptr;

bool fail(std::string* error, const std::string& what) {
  if (error) *error = what;
  return false;
}

// Makes the folders on the way to file; a failure names the output as given.
bool makeParents(const std::string& file, const std::string& given, std::string* error) {
  const std::filesystem::path dir = std::filesystem::path(file).parent_path();
  if (dir.empty()) return true;
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) return fail(error, given + ": " + ec.message());
  return true;
}

std::string sizeText(size_t bytes) {
  if (bytes >= (1u << 20) && bytes % (1u << 20) == 0) return trf("%zu MiB", bytes >> 20);
  if (bytes >= 1024 && bytes % 1024 == 0) return trf("%zu KiB", bytes >> 10);
  return trf("%zu bytes", bytes);
}

// ".tmp-", the writer's PID (pid_max is at most 2^22: 7 digits), "-XXXXXX".
constexpr size_t kTempSuffix = 19;

bool allDigits(std::string_view s) {
  if (s.empty() || s.size() > 9) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// Where a name leads once every link on the way is followed.
struct Resolved {
  std::string name;
  int ownFd = -1;     // a name of one of this process's descriptors
  bool proc = false;  // a link in /proc: the kernel's, not a path to follow
};

// A link in /proc is resolved by the kernel to an open file, which may be
// a pipe or a file deleted since; its text is no path. When it is one of
// ours (/dev/stdout, /dev/fd/1, /proc/self/fd/1) the box writes into that
// descriptor itself, at its offset, as a shell redirection expects.
bool inProc(const std::string& link, int* ownFd) {
  const std::filesystem::path p(link);
  const std::string parent = p.parent_path().empty() ? "." : p.parent_path().string();
  char* real = ::realpath(parent.c_str(), nullptr);
  if (!real) return false;
  const std::string dir = real;
  std::free(real);
  if (dir.rfind("/proc/", 0) != 0) return false;
  const std::string self = "/proc/" + std::to_string(::getpid());
  const bool ours = dir == self + "/fd" || (dir.rfind(self + "/task/", 0) == 0 && dir.size() > 3 &&
                                            dir.compare(dir.size() - 3, 3, "/fd") == 0);
  const std::string base = p.filename().string();
  if (ours && allDigits(base)) *ownFd = std::atoi(base.c_str());
  return true;
}

bool resolve(const std::string& path, Resolved* r, std::string* error) {
  std::string cur = path;
  for (int hops = 0;; ++hops) {
    struct stat st {};
    if (::lstat(cur.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    if (inProc(cur, &r->ownFd)) {
      r->proc = true;
      break;
    }
    if (hops == 40) return fail(error, path + ": " + std::strerror(ELOOP));
    char to[PATH_MAX];
    const ssize_t n = ::readlink(cur.c_str(), to, sizeof to);
    if (n <= 0 || size_t(n) == sizeof to) break;  // opening it will tell
    cur = (std::filesystem::path(cur).parent_path() / std::string(to, size_t(n))).string();
  }
  r->name = cur;
  return true;
}

// The name limit of the folder a file goes in, or of the nearest folder
// above it that exists yet.
long nameMax(const std::string& file) {
  std::filesystem::path dir = std::filesystem::path(file).parent_path();
  for (;;) {
    const long n = ::pathconf(dir.empty() ? "." : dir.c_str(), _PC_NAME_MAX);
    if (n > 0) return n;
    if (dir.empty() || dir == dir.parent_path()) return 255;
    dir = dir.parent_path();
  }
}

// Resolves path and tells whether it is written in place (*st then says
// what it is) or through a temporary file, whose name must fit.
bool classify(const std::string& path, Resolved* r, struct stat* st, bool* inPlace, std::string* error) {
  if (!resolve(path, r, error)) return false;
  const bool exists = ::stat(r->name.c_str(), st) == 0;
  if (!exists) *st = {};
  if (exists && S_ISSOCK(st->st_mode) && r->ownFd < 0)
    return fail(error, trf("%s: is a socket, which cannot be written into", printable(path, 200).c_str()));
  *inPlace = r->ownFd >= 0 || r->proc ||
             (exists && (S_ISCHR(st->st_mode) || S_ISBLK(st->st_mode) || S_ISFIFO(st->st_mode)));
  if (*inPlace) return true;
  const long max = nameMax(r->name);
  if (std::filesystem::path(r->name).filename().string().size() + kTempSuffix > size_t(max))
    return fail(error, trf("%s: the file name is too long: at most %ld bytes fit in this folder",
                           printable(path, 200).c_str(), max - long(kTempSuffix)));
  if (r->name.size() + kTempSuffix >= size_t(PATH_MAX))
    return fail(error, trf("%s: the path is too long: at most %ld bytes fit", printable(path, 200).c_str(),
                           long(PATH_MAX - 1 - kTempSuffix)));
  return true;
}

// Removes the temporary files of writers of file that died before their
// rename. A PID that still lives may be another box writing right now.
void removeStaleTemps(const std::string& file) {
  const std::filesystem::path p(file);
  const std::string prefix = p.filename().string() + ".tmp-";
  DIR* dir = ::opendir(p.parent_path().empty() ? "." : p.parent_path().c_str());
  if (!dir) return;
  while (const dirent* e = ::readdir(dir)) {
    std::string_view rest = e->d_name;
    if (rest.compare(0, prefix.size(), prefix) != 0) continue;
    rest.remove_prefix(prefix.size());
    const size_t dash = rest.find('-');
    if (dash == std::string_view::npos || rest.size() != dash + 7 || !allDigits(rest.substr(0, dash)))
      continue;
    const pid_t pid = std::atoi(std::string(rest.substr(0, dash)).c_str());
    if (pid > 0 && ::kill(pid, 0) == -1 && errno == ESRCH) ::unlinkat(::dirfd(dir), e->d_name, 0);
  }
  ::closedir(dir);
}

// A reader that goes away must show as a failed write (EPIPE), not end the
// box by SIGPIPE with all it has not written yet. The signal is blocked in
// this thread while it writes and one the write raised is taken back.
class NoSigpipe {
 public:
  NoSigpipe() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    wasPending_ = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
  }
  ~NoSigpipe() {
    const int err = errno;
    const timespec now{};
    if (!wasPending_)
      while (sigtimedwait(&pipe_, nullptr, &now) == SIGPIPE) {
      }
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    errno = err;
  }

 private:
  sigset_t pipe_, old_;
  bool wasPending_;
};

}  // namespace

bool readWholeFile(const std::string& path, std::string* content, std::string* error, size_t maxBytes) {
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return fail(error, path + ": " + std::strerror(errno));
  struct stat st {};
  if (::fstat(fd.get(), &st) == 0 && S_ISDIR(st.st_mode))
    return fail(error, trf("%s: is a folder, not a file", path.c_str()));
  std::string data;
  std::vector<char> buf(65536);
  for (;;) {
    ssize_t n = ::read(fd.get(), buf.data(), buf.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return fail(error, path + ": " + std::strerror(errno));
    if (n == 0) break;
    if (data.size() + size_t(n) > maxBytes)
      return fail(
          error, trf("%s: larger than %s, the most the box reads", path.c_str(), sizeText(maxBytes).c_str()));
    data.append(buf.data(), size_t(n));
  }
  *content = std::move(data);
  return true;
}

void setWriteFunction(WriteFn fn) {
  gWrite = fn;
}

bool writeAll(int fd, std::string_view content) {
  size_t done = 0;
  while (done < content.size()) {
    ssize_t n = (gWrite ? gWrite : ::write)(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    done += size_t(n);
  }
  return true;
}

bool OutputFile::open(const std::string& path, std::string* error) {
  discard();
  path_ = path;
  Resolved r;
  struct stat st {};
  bool inPlace = false;
  if (!classify(path, &r, &st, &inPlace, error)) return false;
  if (r.ownFd >= 0) {
    fd_ = ::fcntl(r.ownFd, F_DUPFD_CLOEXEC, 3);
    if (fd_ < 0) return fail(error, path + ": " + std::strerror(errno));
    return true;
  }
  if (inPlace) {
    // A FIFO nobody reads would block the open for ever.
    const bool fifo = S_ISFIFO(st.st_mode);
    fd_ = ::open(r.name.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | (fifo ? O_NONBLOCK : 0));
    if (fd_ < 0 && fifo && errno == ENXIO)
      return fail(error, trf("%s: nobody reads from this FIFO", printable(path, 200).c_str()));
    if (fd_ < 0) return fail(error, path + ": " + std::strerror(errno));
    const int flags = ::fcntl(fd_, F_GETFL);
    if (fifo && (flags < 0 || ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) != 0)) {
      const int err = errno;
      discard();
      return fail(error, path + ": " + std::strerror(err));
    }
    return true;
  }
  if (!makeParents(r.name, path, error)) return false;
  removeStaleTemps(r.name);
  // mkstemp creates the file with O_EXCL: a link planted at the name is never
  // followed, and two writers never share a temporary file.
  std::string tmp = r.name + ".tmp-" + std::to_string(::getpid()) + "-XXXXXX";
  fd_ = ::mkstemp(tmp.data());
  if (fd_ < 0) return fail(error, path + ": " + std::strerror(errno));
  tmp_ = tmp;
  target_ = r.name;
  // mkstemp makes the file 0600: a new file is as readable as any other, one
  // that is replaced keeps what its owner chose.
  mode_t mode = st.st_mode & 0777;
  if (!S_ISREG(st.st_mode)) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  if (::fchmod(fd_, mode) != 0) {
    const int err = errno;
    discard();
    return fail(error, path + ": chmod: " + std::strerror(err));
  }
  return true;
}

bool OutputFile::write(std::string_view data) {
  if (fd_ < 0) {
    errno = EBADF;
    return false;
  }
  if (!target_.empty()) return writeAll(fd_, data);
  NoSigpipe quiet;
  return writeAll(fd_, data);
}

bool OutputFile::commit(bool sync, std::string* error) {
  auto failed = [&](const char* what, int err) {
    discard();
    return fail(error, path_ + ": " + what + ": " + std::strerror(err));
  };
  if (fd_ < 0) return failed("close", EBADF);
  // Devices and pipes take no fsync; what was written there is gone anyway.
  if (sync && !target_.empty() && ::fsync(fd_) != 0) return failed("fsync", errno);
  const int closed = ::close(fd_);
  fd_ = -1;
  if (closed != 0) return failed("close", errno);
  if (!target_.empty() && ::rename(tmp_.c_str(), target_.c_str()) != 0) return failed("rename", errno);
  tmp_.clear();
  target_.clear();
  return true;
}

void OutputFile::discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!tmp_.empty()) ::unlink(tmp_.c_str());
  tmp_.clear();
  target_.clear();
}

bool writeFileAtomic(const std::string& path, std::string_view content, std::string* error, bool sync) {
  OutputFile out;
  if (!out.open(path, error)) return false;
  if (!out.write(content)) {
    const int err = errno;
    out.discard();
    return fail(error, path + ": write: " + std::strerror(err));
  }
  return out.commit(sync, error);
}

bool outputNameFits(const std::string& path, std::string* error, std::string* replaced) {
  Resolved r;
  struct stat st {};
  bool inPlace = false;
  if (!classify(path, &r, &st, &inPlace, error)) return false;
  if (replaced) *replaced = inPlace ? std::string() : r.name;
  return true;
}

size_t utf8Length(std::string_view s, size_t i) {
  unsigned char c = s[i];
  size_t n;
  unsigned min, cp;
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2, min = 0x80, cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3, min = 0x800, cp = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4, min = 0x10000, cp = c & 0x07;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    unsigned char d = s[i + k];
    if ((d & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (d & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

std::string printable(std::string_view text, size_t maxChars) {
  std::string out;
  size_t shown = 0;
  for (size_t i = 0; i < text.size(); ++shown) {
    if (shown == maxChars) {
      out += "...";
      break;
    }
    unsigned char c = text[i];
    if (c >= 0x20 && c < 0x7F) {
      out += char(c);
      ++i;
      continue;
    }
    if (c >= 0x80) {
      if (size_t n = utf8Length(text, i)) {
        out.append(text.substr(i, n));
        i += n;
        continue;
      }
    }
    char esc[8];
    if (c == '\n')
      std::snprintf(esc, sizeof esc, "\\n");
    else if (c == '\t')
      std::snprintf(esc, sizeof esc, "\\t");
    else if (c == '\r')
      std::snprintf(esc, sizeof esc, "\\r");
    else
      std::snprintf(esc, sizeof esc, "\\x%02X", c);
    out += esc;
    ++i;
  }
  return out;
}

}  // namespace box
