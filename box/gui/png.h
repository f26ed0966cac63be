#pragma once
// Palette PNGs of 8-bit pixmaps, written atomically.
#include <string>

#include "host/gpixmap.h"

namespace box {

// The pixmap with its palette (clut) as PNG file contents; false when the
// pixmap is empty or libpng fails.
bool encodePalettePng(const gPixmap& pixmap, std::string* png);

// Writes the encoded picture through writeFileAtomic (no sync: a picture is
// not worth waiting for the disk), so that a failed write leaves neither a
// half picture nor an empty file. False with a message naming the file.
bool writePalettePng(const gPixmap& pixmap, const std::string& path, std::string* error);

}  // namespace box
