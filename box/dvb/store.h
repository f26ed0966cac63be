#pragma once
// The service list the box keeps between runs: the transponders and services
// that scans found, as JSON, written atomically (a temporary file beside it,
// then a rename), so that a run killed while writing leaves the old list.
#include <sys/types.h>

#include <string>

class eTransponderList;

namespace box {

// Fills list from the file. A missing file is an empty list (true); a bad one
// is false with *error naming the file, the line and what is wrong.
bool loadServiceList(const std::string& path, eTransponderList* list, std::string* error);
bool saveServiceList(const std::string& path, const eTransponderList& list, std::string* error);

// Writes content to path through path + ".tmp" and a rename; creates the
// folders on the way. On failure the old file is untouched and no temporary
// file is left.
bool writeFileAtomic(const std::string& path, const std::string& content, std::string* error);
// The write(2) that writeFileAtomic uses; tests put in one that fails.
using WriteFn = ssize_t (*)(int fd, const void* data, size_t size);
void setWriteFunction(WriteFn fn);  // nullptr: write(2)

}  // namespace box
