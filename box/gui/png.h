#pragma once
// Palette PNGs of 8-bit pixmaps, written atomically.
#include <string>

#include "host/gpixmap.h"

namespace box {

// Writes pixmap with its palette (clut) to path through a temporary file and
// a rename, so that a failed write leaves no half picture. False with a
// message naming the file when it fails.
bool writePalettePng(const gPixmap& pixmap, const std::string& path, std::string* error);

}  // namespace box
