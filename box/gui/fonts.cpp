// FreeType glyph rendering and caching for the painter.
#include "box/gui/fonts.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <map>
#include <memory>
#include <set>
#include <unordered_map>

#include "box/base/tr.h"
#include "host/eerror.h"

namespace box {

namespace {
const char* const kFontDir = "/usr/share/fonts/truetype/dejavu/";
}

struct FontEngine::Impl {
  FT_Library library = nullptr;
  // One face per (file, size): sizes are set once, glyphs cached with it.
  struct Face {
    FT_Face face = nullptr;
    FontMetrics metrics;
    std::unordered_map<uint32_t, std::unique_ptr<Glyph>> glyphs;
  };
  std::map<std::pair<std::string, int>, std::unique_ptr<Face>> faces;
  std::set<std::string> warned;

  // Text goes out a label at a time in the same few fonts; the last answer is
  // kept until a skin changes what the font names mean.
  struct {
    bool valid = false;
    std::string family;
    int size = 0;
    Face* face = nullptr;
  } last;

  Face* face(const gFont& font) {
    if (last.valid && last.size == font.pointSize && last.family == font.family) return last.face;
    Face* f = findFace(font);
    last.valid = true;
    last.family = font.family;
    last.size = font.pointSize;
    last.face = f;
    return f;
  }

  Face* findFace(const gFont& font) {
    std::string file = fontFileFor(font.family);
    int size = font.pointSize > 0 ? font.pointSize : 1;
    auto key = std::make_pair(file, size);
    auto it = faces.find(key);
    if (it != faces.end()) return it->second.get();
    auto f = std::make_unique<Face>();
    if (!library || FT_New_Face(library, file.c_str(), 0, &f->face) != 0) {
      if (warned.insert(file).second)
        eWarning(box::tr("font: cannot load %s for \"%s\""), file.c_str(), font.family.c_str());
      faces[key] = nullptr;
      return nullptr;
    }
    FT_Set_Pixel_Sizes(f->face, 0, size);
    const FT_Size_Metrics& m = f->face->size->metrics;
    f->metrics.ascender = static_cast<int>((m.ascender + 63) >> 6);
    f->metrics.descender = static_cast<int>((-m.descender + 63) >> 6);
    f->metrics.lineHeight = static_cast<int>((m.height + 63) >> 6);
    Face* raw = f.get();
    faces[key] = std::move(f);
    return raw;
  }

  void drop() {
    last.valid = false;
    for (auto& kv : faces)
      if (kv.second) FT_Done_Face(kv.second->face);
    faces.clear();
  }
};

FontEngine::FontEngine() : impl(new Impl) {
  if (FT_Init_FreeType(&impl->library) != 0) {
    impl->library = nullptr;
    eWarning("%s", box::tr("font: FreeType did not start; text will not be drawn"));
  }
}

FontEngine::~FontEngine() {
  impl->drop();
  if (impl->library) FT_Done_FreeType(impl->library);
  delete impl;
}

FontEngine& FontEngine::instance() {
  static FontEngine engine;
  return engine;
}

void FontEngine::clear() {
  impl->drop();
}

void FontEngine::namesChanged() {
  impl->last.valid = false;
}

const Glyph* FontEngine::glyph(const gFont& font, uint32_t codepoint) {
  Impl::Face* f = impl->face(font);
  if (!f) return nullptr;
  auto it = f->glyphs.find(codepoint);
  if (it != f->glyphs.end()) return it->second.get();
  auto g = std::make_unique<Glyph>();
  FT_UInt index = FT_Get_Char_Index(f->face, codepoint);
  if (FT_Load_Glyph(f->face, index, FT_LOAD_DEFAULT) == 0 &&
      FT_Render_Glyph(f->face->glyph, FT_RENDER_MODE_NORMAL) == 0) {
    FT_GlyphSlot slot = f->face->glyph;
    const FT_Bitmap& bm = slot->bitmap;
    g->left = slot->bitmap_left;
    g->top = slot->bitmap_top;
    g->width = static_cast<int>(bm.width);
    g->height = static_cast<int>(bm.rows);
    g->advance = static_cast<int>((slot->advance.x + 32) >> 6);
    g->coverage.resize(static_cast<size_t>(g->width) * g->height);
    for (int row = 0; row < g->height; ++row)
      for (int col = 0; col < g->width; ++col)
        g->coverage[row * g->width + col] = bm.buffer[row * bm.pitch + col];
  }
  Glyph* raw = g.get();
  f->glyphs[codepoint] = std::move(g);
  return raw;
}

FontMetrics FontEngine::metrics(const gFont& font) {
  Impl::Face* f = impl->face(font);
  if (!f) return {font.pointSize, 0, font.pointSize};
  return f->metrics;
}

int FontEngine::textWidth(const gFont& font, const std::string& utf8) {
  int w = 0;
  for (size_t i = 0; i < utf8.size();) {
    const Glyph* g = glyph(font, nextCodepoint(utf8, i));
    if (g) w += g->advance;
  }
  return w;
}

uint32_t nextCodepoint(const std::string& s, size_t& i) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char c = byte(i++);
  if (c < 0x80) return c;
  int extra = c >= 0xf0 && c < 0xf8 ? 3 : c >= 0xe0 ? 2 : c >= 0xc0 ? 1 : -1;
  if (extra < 0) return 0xfffd;
  uint32_t cp = c & (0x3f >> extra);
  for (int k = 0; k < extra; ++k) {
    if (i >= s.size() || (byte(i) & 0xc0) != 0x80) return 0xfffd;
    cp = (cp << 6) | (byte(i++) & 0x3f);
  }
  return cp;
}

void NearestColor::update(const gPalette& pal) {
  if (!table.empty() && pal.data == palette) return;
  palette = pal.data;
  table.assign(32768, 0);
  for (int i = 0; i < 32768; ++i) {
    int r = ((i >> 10) & 31) * 255 / 31, g = ((i >> 5) & 31) * 255 / 31, b = (i & 31) * 255 / 31;
    long best = -1;
    for (size_t k = 0; k < palette.size(); ++k) {
      const gRGB& p = palette[k];
      if (p.a == 255) continue;  // transparent entries never stand in for text
      long d = (p.r - r) * (p.r - r) * 3 + (p.g - g) * (p.g - g) * 4 + (p.b - b) * (p.b - b) * 2;
      if (best < 0 || d < best) {
        best = d;
        table[i] = static_cast<uint8_t>(k);
      }
    }
  }
}

std::string fontDirectory() {
  return kFontDir;
}

}  // namespace box
