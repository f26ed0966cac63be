// gPainter: clipped drawing into a pixmap, with anti-aliased text that
// blends to the nearest palette colour.
#include "host/grc.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "box/base/tr.h"
#include "box/gui/fonts.h"
#include "host/eerror.h"

namespace {

box::NearestColor& nearest(const gPalette& palette) {
  static box::NearestColor table;
  table.update(palette);
  return table;
}

// Breaks text at newlines, and with wrap at spaces so that lines fit width.
// A line's own width comes with its rendering.
std::vector<std::string> layoutLines(const gFont& font, const std::string& text, int width, bool wrap) {
  box::FontEngine& fe = box::FontEngine::instance();
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t nl = text.find('\n', start);
    std::string para = text.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
    if (!wrap) {
      lines.push_back(para);
    } else {
      std::string cur;
      size_t p = 0;
      while (p <= para.size()) {
        size_t sp = para.find(' ', p);
        std::string word = para.substr(p, sp == std::string::npos ? std::string::npos : sp - p);
        std::string candidate = cur.empty() ? word : cur + " " + word;
        if (!cur.empty() && fe.textWidth(font, candidate) > width) {
          lines.push_back(cur);
          cur = word;
        } else {
          cur = candidate;
        }
        if (sp == std::string::npos) break;
        p = sp + 1;
      }
      lines.push_back(cur);
    }
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
  return lines;
}

// One line of text rendered once in a font and a pair of colours: palette
// indices and a mask of the pixels that glyphs cover, placed relative to the
// line's top left. Screens redraw the same labels over and over, so lines are
// kept until the palette changes or too many have piled up.
struct TextSprite {
  int dx = 0, dy = 0, w = 0, h = 0;
  int advance = 0;                    // the pen's travel: the line's width for alignment
  std::vector<uint8_t> pixels, mask;  // mask: 0xff where a glyph covers
};

TextSprite renderSprite(const gPalette& pal, const gFont& font, gColor foreground, gColor background,
                        const std::string& text) {
  box::FontEngine& fe = box::FontEngine::instance();
  box::FontMetrics m = fe.metrics(font);
  struct Placed {
    const box::Glyph* g;
    int x, y;
  };
  std::vector<Placed> placed;
  int pen = 0, left = 0, top = 0, right = 0, bottom = 0;
  for (size_t i = 0; i < text.size();) {
    const box::Glyph* g = fe.glyph(font, box::nextCodepoint(text, i));
    if (!g) continue;
    Placed p{g, pen + g->left, m.ascender - g->top};
    if (g->width > 0 && g->height > 0) {
      if (placed.empty() || p.x < left) left = p.x;
      if (placed.empty() || p.y < top) top = p.y;
      right = std::max(right, p.x + g->width);
      bottom = std::max(bottom, p.y + g->height);
      placed.push_back(p);
    }
    pen += g->advance;
  }
  TextSprite s;
  s.advance = pen;
  if (placed.empty()) return s;
  s.dx = left;
  s.dy = top;
  s.w = right - left;
  s.h = bottom - top;
  s.pixels.assign(size_t(s.w) * s.h, 0);
  s.mask.assign(size_t(s.w) * s.h, 0);
  bool blend = pal.data.size() > static_cast<size_t>(std::max<int>(foreground, background));
  // Coverage to palette index, worked out once for the pair of colours.
  uint8_t ramp[256];
  if (blend) {
    box::NearestColor& table = nearest(pal);
    const gRGB fg = pal.data[foreground], bg = pal.data[background];
    for (int a = 0; a < 256; ++a)
      ramp[a] = a == 255
                    ? static_cast<uint8_t>(foreground.color)
                    : table.find((fg.r * a + bg.r * (255 - a)) / 255, (fg.g * a + bg.g * (255 - a)) / 255,
                                 (fg.b * a + bg.b * (255 - a)) / 255);
  }
  for (const Placed& p : placed)
    for (int gy = 0; gy < p.g->height; ++gy)
      for (int gx = 0; gx < p.g->width; ++gx) {
        int a = p.g->coverage[gy * p.g->width + gx];
        // No palette to blend in: hard edges at half coverage.
        if (a == 0 || (!blend && a < 128)) continue;
        size_t at = size_t(p.y - top + gy) * s.w + (p.x - left + gx);
        s.pixels[at] = blend ? ramp[a] : static_cast<uint8_t>(foreground.color);
        s.mask[at] = 0xff;
      }
  return s;
}

// d = mask ? pixels : d, eight bytes at a time.
void maskedCopy(uint8_t* d, const uint8_t* pix, const uint8_t* mask, int n) {
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t dv, pv, mv;
    std::memcpy(&dv, d + i, 8);
    std::memcpy(&pv, pix + i, 8);
    std::memcpy(&mv, mask + i, 8);
    dv = (pv & mv) | (dv & ~mv);
    std::memcpy(d + i, &dv, 8);
  }
  for (; i < n; ++i) d[i] = mask[i] ? pix[i] : d[i];
}

const TextSprite& spriteFor(const gPalette& pal, const gFont& font, gColor foreground, gColor background,
                            const std::string& text) {
  static std::vector<gRGB> palette;
  static std::unordered_map<std::string, TextSprite> sprites;
  // gRGB is four plain bytes, so the palettes compare as memory.
  static_assert(sizeof(gRGB) == 4, "gRGB has no padding");
  const bool samePalette =
      pal.data.size() == palette.size() &&
      (palette.empty() || std::memcmp(pal.data.data(), palette.data(), palette.size() * sizeof(gRGB)) == 0);
  if (!samePalette || sprites.size() > 2048) {
    sprites.clear();
    palette = pal.data;
  }
  static std::string key;
  key.assign(font.family);
  const int numbers[3] = {font.pointSize, foreground.color, background.color};
  key.append(reinterpret_cast<const char*>(numbers), sizeof numbers);
  key.append(text);
  auto it = sprites.find(key);
  if (it == sprites.end())
    it = sprites.emplace(key, renderSprite(pal, font, foreground, background, text)).first;
  return it->second;
}

// One line of text with its top at y, aligned in box and clipped to c.
void drawLine(gPixmap& target, const gFont& font, gColor foreground, gColor background,
              const std::string& text, const eRect& box, const eRect& c, int y, int flags) {
  const TextSprite& sprite = spriteFor(target.clut, font, foreground, background, text);
  int x = box.left();
  if (flags & gPainter::RT_HALIGN_CENTER)
    x += (box.width() - sprite.advance) / 2;
  else if (flags & gPainter::RT_HALIGN_RIGHT)
    x += box.width() - sprite.advance;
  // Only covered pixels are written: text lies over whatever is below it.
  eRect dst = eRect(x + sprite.dx, y + sprite.dy, sprite.w, sprite.h).intersect(c);
  for (int py = dst.top(); py < dst.bottom(); ++py) {
    const int sy = py - (y + sprite.dy), sx = dst.left() - (x + sprite.dx);
    const uint8_t* pix = sprite.pixels.data() + sy * sprite.w + sx;
    const uint8_t* mask = sprite.mask.data() + sy * sprite.w + sx;
    uint8_t* d = target.data + py * target.stride + dst.left();
    maskedCopy(d, pix, mask, dst.width());
  }
}

}  // namespace

gPainter::gPainter(gPixmap& target_, ePoint origin_, const eRect& clip_) : target(target_), origin(origin_) {
  clips.push_back(clip_.intersect(eRect(0, 0, target.x, target.y)));
}

gPainter::~gPainter() = default;

void gPainter::clip(const eRect& r) {
  clips.push_back(r.translated(origin).intersect(clips.back()));
}

void gPainter::clippop() {
  if (clips.size() > 1) clips.pop_back();
}

void gPainter::setFont(const gFont& f) {
  font = f;
}
void gPainter::setForegroundColor(const gColor& c) {
  foreground = c;
}
void gPainter::setBackgroundColor(const gColor& c) {
  background = c;
}

void gPainter::fill(const eRect& area) {
  fill(area, background);
}

void gPainter::fill(const eRect& area, const gColor& color) {
  target.fill(area.translated(origin).intersect(clips.back()), color);
}

void gPainter::line(ePoint start, ePoint end) {
  const eRect& c = clips.back();
  if (c.isEmpty()) return;
  // Draw through a view of the target that is exactly the clip rectangle, so
  // that the pixmap's own clipping keeps the line inside the clip.
  gPixmap view;
  view.x = c.width();
  view.y = c.height();
  view.stride = target.stride;
  view.data = target.data ? target.data + c.top() * target.stride + c.left() : nullptr;
  ePoint shift = origin - c.topLeft();
  view.line(start + shift, end + shift, foreground);
}

void gPainter::rectangle(const eRect& area) {
  if (area.isEmpty()) return;
  int l = area.left(), t = area.top(), r = area.right() - 1, b = area.bottom() - 1;
  line({l, t}, {r, t});
  line({l, b}, {r, b});
  line({l, t}, {l, b});
  line({r, t}, {r, b});
}

void gPainter::blit(gPixmap& pixmap, ePoint pos, const eRect& clipTo, int flags) {
  if (!pixmap.isLocked()) {
    static bool warned = false;
    if (!warned) eWarning("%s", box::tr("gPainter::blit: pixmap is not locked, nothing drawn"));
    warned = true;
    return;
  }
  if (!pixmap.data || !target.data) return;
  eRect dst = eRect(pos + origin, pixmap.getSize()).intersect(clips.back());
  if (!clipTo.isNull()) dst = dst.intersect(clipTo.translated(origin));
  if (dst.isEmpty()) return;
  ePoint src = dst.topLeft() - (pos + origin);
  for (int row = 0; row < dst.height(); ++row) {
    const uint8_t* s = pixmap.data + (src.y + row) * pixmap.stride + src.x;
    uint8_t* d = target.data + (dst.top() + row) * target.stride + dst.left();
    if (!(flags & BF_ALPHATEST)) {
      std::memcpy(d, s, size_t(dst.width()));
      continue;
    }
    for (int col = 0; col < dst.width(); ++col) {
      // With alpha test, palette entry 0 (transparent) leaves the target as is.
      if ((flags & BF_ALPHATEST) && s[col] == 0) continue;
      d[col] = s[col];
    }
  }
}

void gPainter::renderText(const eRect& area, const std::string& text, int flags) {
  if (!target.data || text.empty()) return;
  eRect box = area.translated(origin);
  eRect c = box.intersect(clips.back());
  if (c.isEmpty()) return;
  box::FontMetrics m = box::FontEngine::instance().metrics(font);
  const int lineH = m.lineHeight > 0 ? m.lineHeight : font.pointSize;
  // Most texts are one line: they go straight out, without a layout.
  if (!(flags & RT_WRAP) && text.find('\n') == std::string::npos) {
    int y = box.top();
    if (flags & RT_VALIGN_CENTER) y += (box.height() - lineH) / 2;
    drawLine(target, font, foreground, background, text, box, c, y, flags);
    return;
  }
  std::vector<std::string> lines = layoutLines(font, text, box.width(), flags & RT_WRAP);
  int y = box.top();
  if (flags & RT_VALIGN_CENTER) y += (box.height() - lineH * static_cast<int>(lines.size())) / 2;
  for (const std::string& line : lines) {
    drawLine(target, font, foreground, background, line, box, c, y, flags);
    y += lineH;
  }
}
