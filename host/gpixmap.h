#pragma once
// Colours, pixmaps and images. The box's screen is 8 bits per pixel with a
// palette, so a gColor is a palette index; gRGB is a palette entry.
#include <cstdint>
#include <vector>

#include "erect.h"

#pragma GCC visibility push(default)

struct gRGB {
  uint8_t r = 0, g = 0, b = 0, a = 0;  // a: 0 opaque, 255 transparent
  constexpr gRGB() = default;
  constexpr gRGB(uint8_t r_, uint8_t g_, uint8_t b_, uint8_t a_ = 0) : r(r_), g(g_), b(b_), a(a_) {}
  constexpr bool operator==(const gRGB& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
};

struct gColor {
  int color = 0;  // palette index
  constexpr gColor() = default;
  constexpr gColor(int index) : color(index) {}
  constexpr operator int() const { return color; }
};

struct gPalette {
  std::vector<gRGB> data;  // up to 256 entries
};

// A block of pixels. Pixel (x, y) is data[y * stride + x * bypp].
class gPixmap {
 public:
  gPixmap();
  virtual ~gPixmap();
  gPixmap(const gPixmap&) = delete;
  gPixmap& operator=(const gPixmap&) = delete;

  // Marks the pixels as in use by a painter; returns the pixmap itself.
  gPixmap& lock();
  void unlock();
  bool isLocked() const { return locked > 0; }

  // Both clip to the pixmap: nothing outside it is ever written.
  void fill(const eRect& area, const gColor& color);
  void line(ePoint start, ePoint end, const gColor& color);

  uint8_t pixel(int x, int y) const;  // 0 outside the pixmap
  eSize getSize() const { return {x, y}; }

  int x = 0, y = 0;         // size in pixels
  int bpp = 8, bypp = 1;    // bits and bytes per pixel
  int stride = 0;           // bytes per row
  uint8_t* data = nullptr;  // not owned by gPixmap itself
  gPalette clut;

 protected:
  int locked = 0;
};

// A pixmap that owns its pixels. Only 8 bits per pixel is supported.
class gImage : public gPixmap {
 public:
  gImage(eSize size, int bpp);
  ~gImage() override;

 private:
  std::vector<uint8_t> storage;
};

#pragma GCC visibility pop
