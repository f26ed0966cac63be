// gPainter: clipped drawing into a pixmap, with anti-aliased text that
// blends to the nearest palette colour.
#include "host/grc.h"

#include "box/gui/fonts.h"
#include "host/eerror.h"

namespace {

box::NearestColor& nearest(const gPalette& palette) {
  static box::NearestColor table;
  table.update(palette);
  return table;
}

// A laid-out line of text: the byte range and its width in pixels.
struct TextLine {
  std::string text;
  int width = 0;
};

// Breaks text at newlines, and with wrap at spaces so that lines fit width.
std::vector<TextLine> layoutLines(const gFont& font, const std::string& text, int width, bool wrap) {
  box::FontEngine& fe = box::FontEngine::instance();
  std::vector<TextLine> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t nl = text.find('\n', start);
    std::string para = text.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
    if (!wrap) {
      lines.push_back({para, fe.textWidth(font, para)});
    } else {
      std::string cur;
      size_t p = 0;
      while (p <= para.size()) {
        size_t sp = para.find(' ', p);
        std::string word = para.substr(p, sp == std::string::npos ? std::string::npos : sp - p);
        std::string candidate = cur.empty() ? word : cur + " " + word;
        if (!cur.empty() && fe.textWidth(font, candidate) > width) {
          lines.push_back({cur, fe.textWidth(font, cur)});
          cur = word;
        } else {
          cur = candidate;
        }
        if (sp == std::string::npos) break;
        p = sp + 1;
      }
      lines.push_back({cur, fe.textWidth(font, cur)});
    }
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
  return lines;
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
    if (!warned) eWarning("gPainter::blit: pixmap is not locked, nothing drawn");
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
  box::FontEngine& fe = box::FontEngine::instance();
  box::FontMetrics m = fe.metrics(font);
  std::vector<TextLine> lines = layoutLines(font, text, box.width(), flags & RT_WRAP);
  int lineH = m.lineHeight > 0 ? m.lineHeight : font.pointSize;
  int y = box.top();
  if (flags & RT_VALIGN_CENTER) y += (box.height() - lineH * static_cast<int>(lines.size())) / 2;

  const gPalette& pal = target.clut;
  bool blend = pal.data.size() > static_cast<size_t>(std::max<int>(foreground, background));
  box::NearestColor* table = blend ? &nearest(pal) : nullptr;
  gRGB fg = blend ? pal.data[foreground] : gRGB(), bg = blend ? pal.data[background] : gRGB();

  for (const TextLine& ln : lines) {
    int x = box.left();
    if (flags & RT_HALIGN_CENTER)
      x += (box.width() - ln.width) / 2;
    else if (flags & RT_HALIGN_RIGHT)
      x += box.width() - ln.width;
    int base = y + m.ascender;
    for (size_t i = 0; i < ln.text.size();) {
      const box::Glyph* g = fe.glyph(font, box::nextCodepoint(ln.text, i));
      if (!g) continue;
      for (int gy = 0; gy < g->height; ++gy) {
        int py = base - g->top + gy;
        if (py < c.top() || py >= c.bottom()) continue;
        for (int gx = 0; gx < g->width; ++gx) {
          int px = x + g->left + gx;
          int a = g->coverage[gy * g->width + gx];
          if (a == 0 || px < c.left() || px >= c.right()) continue;
          uint8_t& d = target.data[py * target.stride + px];
          if (!table) {
            // No palette to blend in: hard edges at half coverage.
            if (a >= 128) d = static_cast<uint8_t>(foreground.color);
            continue;
          }
          int r = (fg.r * a + bg.r * (255 - a)) / 255, gg = (fg.g * a + bg.g * (255 - a)) / 255,
              b = (fg.b * a + bg.b * (255 - a)) / 255;
          d = a == 255 ? static_cast<uint8_t>(foreground.color) : table->find(r, gg, b);
        }
      }
      x += g->advance;
    }
    y += lineH;
  }
}
