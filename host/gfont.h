#pragma once
// A font by family and point size. Widgets use the point size as a length in
// pixels too (one line of text is about that high).
#include "estring.h"

#pragma GCC visibility push(default)

struct gFont {
  eString family = "Regular";
  int pointSize = 20;
  gFont() = default;
  gFont(const eString& family_, int pointSize_) : family(family_), pointSize(pointSize_) {}
  bool operator==(const gFont& o) const { return family == o.family && pointSize == o.pointSize; }
};

#pragma GCC visibility pop
