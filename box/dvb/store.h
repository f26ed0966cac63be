#pragma once
// The service list the box keeps between runs: the transponders and services
// that scans found, as JSON, written atomically (a temporary file beside it,
// then a rename), so that a run killed while writing leaves the old list.
#include <string>

#include "box/gui/fileio.h"

class eTransponderList;

namespace box {

// Fills list from the file. A missing file is an empty list (true); a bad one
// is false with *error naming the file, the line and what is wrong.
bool loadServiceList(const std::string& path, eTransponderList* list, std::string* error);
bool saveServiceList(const std::string& path, const eTransponderList& list, std::string* error);

}  // namespace box
