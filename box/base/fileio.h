#pragma once
// Reading and writing whole files, the one way every part of the box does it:
// reads are bounded (a device or a runaway file never fills memory), writes
// into files go through a temporary file created exclusively beside the
// target and a rename, so a failed or interrupted write leaves the old file
// whole and never follows a link planted where the temporary file goes.
#include <sys/types.h>
#include <unistd.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace box {

// Limits on what the box reads. Generous for real use, small enough that a
// mistaken /dev/zero is refused at once.
constexpr size_t kMaxScriptBytes = 1u << 20;         // key scripts
constexpr size_t kMaxBandBytes = 16u << 20;          // band files
constexpr size_t kMaxServiceListBytes = 256u << 20;  // the kept service list
constexpr size_t kMaxSkinBytes = 4u << 20;           // skin files

// Reads a regular file (or anything that ends within maxBytes) into *content.
// False with *error "PATH: why" for a missing file, a folder, a read error or
// a file longer than maxBytes.
bool readWholeFile(const std::string& path, std::string* content, std::string* error,
                   size_t maxBytes = kMaxBandBytes);

// A file the box writes, opened the way every named output is:
// - a device, a FIFO, or a name of one of the box's own descriptors
//   (/dev/stdout, /dev/fd/N) is written into as it is: nothing replaces it;
// - anything else is written to a temporary file NAME.tmp-PID-XXXXXX created
//   exclusively beside the file the name leads to (links followed through
//   the whole chain, so a link stays a link), and commit() renames it into
//   place: until then the old file is whole. A file it replaces keeps its
//   permission bits; a new one gets 0666 less the umask. Temporary files left
//   by writers that died are removed first; a live writer's never are.
// A socket, a FIFO nobody reads and a name the file system cannot take are
// refused by open(). Errors read "PATH: why".
class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile() { discard(); }

  bool open(const std::string& path, std::string* error);
  // All of data, through the write seam; false with errno set.
  bool write(std::string_view data);
  // Puts the file in place (with sync its data reach the disk first) and
  // closes it. On failure the temporary file is removed.
  bool commit(bool sync, std::string* error);
  // Closes without putting anything in place.
  void discard();
  bool isOpen() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
  std::string path_;    // as named
  std::string target_;  // the file replaced; empty when written in place
  std::string tmp_;
};

// Writes content to path through OutputFile; creates the folders on the way.
// On failure the old file is untouched, no temporary file is left and
// *error says what failed.
bool writeFileAtomic(const std::string& path, std::string_view content, std::string* error, bool sync = true);

// Whether OutputFile can write path: the name of the file it leads to plus
// the temporary suffix must fit the folder's name limit, the whole path the
// system's. False with "PATH: why". Checked before a run, so that a name
// that cannot be written never costs the run. *replaced is set to the file
// that the temporary file replaces, empty when path is written in place.
bool outputNameFits(const std::string& path, std::string* error, std::string* replaced = nullptr);

// Writes all of content to an open file through the same write(2) seam, going
// on after short writes and EINTR. False with errno set when it fails.
bool writeAll(int fd, std::string_view content);

// A file descriptor, closed when the object goes.
class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    reset(other.release());
    return *this;
  }
  ~UniqueFd() { reset(); }

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  int release() { return std::exchange(fd_, -1); }
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  // Closes it now, for close(2)'s own result (0, or -1 with errno set).
  int close() {
    const int fd = release();
    return fd < 0 ? 0 : ::close(fd);
  }

 private:
  int fd_;
};

// The write(2) that OutputFile and writeAll use; tests put in one that fails.
using WriteFn = ssize_t (*)(int fd, const void* data, size_t size);
void setWriteFunction(WriteFn fn);  // nullptr: write(2)

// Length of the valid UTF-8 sequence that starts at s[i] (1 for ASCII), or 0
// when the bytes there are not one: overlong, a surrogate, past U+10FFFF or cut.
size_t utf8Length(std::string_view s, size_t i);

// Text from a file or a user, made safe to show in one short message: bytes
// that are not printable ASCII or valid UTF-8 are shown as \xNN, control
// characters as \n, \t, \r or \xNN, and anything past maxChars as "...".
std::string printable(std::string_view text, size_t maxChars = 60);

}  // namespace box
