#pragma once
// Reading and writing whole files, the one way every part of the box does it:
// reads are bounded (a device or a runaway file never fills memory), writes go
// through a temporary file created exclusively beside the target and a rename,
// so a failed or interrupted write leaves the old file whole and never follows
// a link planted where the temporary file goes.
#include <sys/types.h>

#include <cstddef>
#include <string>
#include <string_view>

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

// Writes content to path through a temporary file created exclusively in the
// same folder and a rename; creates the folders on the way. With sync the data
// reach the disk before the rename. On failure the old file is untouched, no
// temporary file is left and *error says what failed.
bool writeFileAtomic(const std::string& path, std::string_view content, std::string* error, bool sync = true);

// Writes all of content to an open file through the same write(2) seam, going
// on after short writes and EINTR. False with errno set when it fails.
bool writeAll(int fd, std::string_view content);

// The write(2) that writeFileAtomic and writeAll use; tests put in one that fails.
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
