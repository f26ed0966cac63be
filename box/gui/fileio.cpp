#include "box/gui/fileio.h"
#include "box/gui/tr.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
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

bool makeParents(const std::string& path, std::string* error) {
  const std::filesystem::path dir = std::filesystem::path(path).parent_path();
  if (dir.empty()) return true;
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) return fail(error, dir.string() + ": " + ec.message());
  return true;
}

std::string sizeText(size_t bytes) {
  if (bytes >= (1u << 20) && bytes % (1u << 20) == 0) return trf("%zu MiB", bytes >> 20);
  if (bytes >= 1024 && bytes % 1024 == 0) return trf("%zu KiB", bytes >> 10);
  return trf("%zu bytes", bytes);
}

}  // namespace

bool readWholeFile(const std::string& path, std::string* content, std::string* error, size_t maxBytes) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return fail(error, path + ": " + std::strerror(errno));
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    return fail(error, trf("%s: is a folder, not a file", path.c_str()));
  }
  std::string data;
  std::vector<char> buf(65536);
  for (;;) {
    ssize_t n = ::read(fd, buf.data(), buf.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int err = errno;
      ::close(fd);
      return fail(error, path + ": " + std::strerror(err));
    }
    if (n == 0) break;
    if (data.size() + size_t(n) > maxBytes) {
      ::close(fd);
      return fail(
          error, trf("%s: larger than %s, the most the box reads", path.c_str(), sizeText(maxBytes).c_str()));
    }
    data.append(buf.data(), size_t(n));
  }
  ::close(fd);
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

bool writeFileAtomic(const std::string& path, std::string_view content, std::string* error, bool sync) {
  if (!makeParents(path, error)) return false;
  // mkstemp creates the file with O_EXCL: a link planted at the name is never
  // followed, and two writers never share a temporary file.
  std::string tmp = path + ".XXXXXX";
  int fd = ::mkstemp(tmp.data());
  if (fd < 0) return fail(error, path + ": " + std::strerror(errno));
  auto failed = [&](const char* what, int err) {
    if (fd >= 0) ::close(fd);
    ::unlink(tmp.c_str());
    return fail(error, path + ": " + what + ": " + std::strerror(err));
  };
  // mkstemp makes the file 0600; the kept files are as readable as any other.
  mode_t mask = ::umask(0);
  ::umask(mask);
  if (::fchmod(fd, 0666 & ~mask) != 0) return failed("chmod", errno);
  if (!writeAll(fd, content)) return failed("write", errno);
  if (sync && ::fsync(fd) != 0) return failed("fsync", errno);
  int closed = ::close(fd);
  fd = -1;
  if (closed != 0) return failed("close", errno);
  if (::rename(tmp.c_str(), path.c_str()) != 0) return failed("rename", errno);
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
