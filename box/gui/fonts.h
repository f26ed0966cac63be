#pragma once
// The box's font engine: FreeType faces by skin font name, with a glyph
// cache per face and size, and the colour table that anti-aliased text
// uses to land on the nearest palette entry.
#include <cstdint>
#include <string>
#include <vector>

#include "host/gfont.h"
#include "host/gpixmap.h"

namespace box {

// One rendered glyph: coverage 0..255, placed relative to the pen on the
// base line.
struct Glyph {
  int left = 0, top = 0;  // offset of the bitmap from the pen (top: above the base line)
  int width = 0, height = 0;
  int advance = 0;  // pixels
  std::vector<uint8_t> coverage;
};

// Metrics of a font at a size, in pixels.
struct FontMetrics {
  int ascender = 0, descender = 0, lineHeight = 0;
};

class FontEngine {
 public:
  static FontEngine& instance();
  // nullptr when the font cannot be loaded (a warning is logged once).
  const Glyph* glyph(const gFont& font, uint32_t codepoint);
  FontMetrics metrics(const gFont& font);
  int textWidth(const gFont& font, const std::string& utf8);
  void clear();         // drops every face and cached glyph
  void namesChanged();  // a skin has (re)defined font names

 private:
  FontEngine();
  ~FontEngine();
  struct Impl;
  Impl* impl;
};

// Decodes one UTF-8 code point at s[i] and advances i; invalid bytes give U+FFFD.
uint32_t nextCodepoint(const std::string& s, size_t& i);

// The font file for a skin font name, from the active skin; DejaVuSans when
// the name is unknown.
std::string fontFileFor(const std::string& family);

// Maps RGB to the nearest opaque palette entry through a 32768-entry table
// built once per palette.
class NearestColor {
 public:
  void update(const gPalette& palette);
  uint8_t find(int r, int g, int b) const { return table[((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3)]; }

 private:
  std::vector<gRGB> palette;
  std::vector<uint8_t> table;
};

}  // namespace box
