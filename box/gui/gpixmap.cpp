// Pixmaps and images: the raw pixel operations every painter builds on.
#include "host/gpixmap.h"

#include <cstring>

#include "box/base/tr.h"
#include "host/eerror.h"

gPixmap::gPixmap() = default;
gPixmap::~gPixmap() = default;

gPixmap& gPixmap::lock() {
  ++locked;
  return *this;
}

void gPixmap::unlock() {
  if (locked > 0) --locked;
}

void gPixmap::fill(const eRect& area, const gColor& color) {
  if (!data) return;
  eRect r = area.intersect(eRect(0, 0, x, y));
  if (r.isEmpty()) return;
  for (int row = r.top(); row < r.bottom(); ++row)
    std::memset(data + row * stride + r.left(), color.color & 0xff, r.width());
}

namespace {

// Cohen-Sutherland outcode against [0, w) x [0, h).
int outcode(double px, double py, int w, int h) {
  int c = 0;
  if (px < 0)
    c |= 1;
  else if (px > w - 1)
    c |= 2;
  if (py < 0)
    c |= 4;
  else if (py > h - 1)
    c |= 8;
  return c;
}

// Cuts the segment down to the pixmap so that far-away end points cost no
// more than near ones; false when nothing of it is inside.
bool clipSegment(long& x0, long& y0, long& x1, long& y1, int w, int h) {
  double ax = x0, ay = y0, bx = x1, by = y1;
  int ca = outcode(ax, ay, w, h), cb = outcode(bx, by, w, h);
  for (int guard = 0; guard < 8; ++guard) {
    if (!(ca | cb)) break;
    if (ca & cb) return false;
    int c = ca ? ca : cb;
    double nx, ny;
    if (c & 1) {
      ny = ay + (by - ay) * (0 - ax) / (bx - ax);
      nx = 0;
    } else if (c & 2) {
      ny = ay + (by - ay) * (w - 1 - ax) / (bx - ax);
      nx = w - 1;
    } else if (c & 4) {
      nx = ax + (bx - ax) * (0 - ay) / (by - ay);
      ny = 0;
    } else {
      nx = ax + (bx - ax) * (h - 1 - ay) / (by - ay);
      ny = h - 1;
    }
    if (c == ca) {
      ax = nx;
      ay = ny;
      ca = outcode(ax, ay, w, h);
    } else {
      bx = nx;
      by = ny;
      cb = outcode(bx, by, w, h);
    }
  }
  if (ca | cb) return false;
  x0 = static_cast<long>(ax + 0.5);
  y0 = static_cast<long>(ay + 0.5);
  x1 = static_cast<long>(bx + 0.5);
  y1 = static_cast<long>(by + 0.5);
  return true;
}

}  // namespace

void gPixmap::line(ePoint start, ePoint end, const gColor& color) {
  if (!data || x <= 0 || y <= 0) return;
  long x0 = start.x, y0 = start.y, x1 = end.x, y1 = end.y;
  if (!clipSegment(x0, y0, x1, y1, x, y)) return;
  long dx = x1 > x0 ? x1 - x0 : x0 - x1, sx = x0 < x1 ? 1 : -1;
  long dy = y1 > y0 ? y0 - y1 : y1 - y0, sy = y0 < y1 ? 1 : -1;
  long err = dx + dy;
  uint8_t c = color.color & 0xff;
  for (;;) {
    // The rounding of the clipped end points keeps them inside; the check
    // stays as a guard so that no pixel outside is ever touched.
    if (x0 >= 0 && x0 < x && y0 >= 0 && y0 < y) data[y0 * stride + x0] = c;
    if (x0 == x1 && y0 == y1) break;
    long e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x0 += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y0 += sy;
    }
  }
}

uint8_t gPixmap::pixel(int px, int py) const {
  if (!data || px < 0 || py < 0 || px >= x || py >= y) return 0;
  return data[py * stride + px * bypp];
}

gImage::gImage(eSize size, int bpp_) {
  if (bpp_ != 8 || size.w <= 0 || size.h <= 0) {
    if (bpp_ != 8) eWarning(box::tr("gImage: %d bits per pixel not supported, image left empty"), bpp_);
    bpp = 8;
    return;
  }
  x = size.w;
  y = size.h;
  stride = x;
  storage.assign(static_cast<size_t>(x) * y, 0);
  data = storage.data();
}

gImage::~gImage() = default;
