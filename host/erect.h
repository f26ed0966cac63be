#pragma once
// Points, sizes and rectangles in pixels. A rectangle's right() and bottom()
// are exclusive: eRect(0, 0, 10, 10) covers columns 0..9.
//
// Sums and differences saturate at the ends of int instead of wrapping: a
// widget placed far off screen by a skin or a caller then stays far off
// screen (and is clipped away) rather than wrapping round onto it.
#include <algorithm>
#include <climits>

#pragma GCC visibility push(default)

namespace eGeometry {
constexpr int clamped(long long v) {
  return v < INT_MIN ? INT_MIN : v > INT_MAX ? INT_MAX : static_cast<int>(v);
}
constexpr int add(int a, int b) {
  return clamped(static_cast<long long>(a) + b);
}
constexpr int sub(int a, int b) {
  return clamped(static_cast<long long>(a) - b);
}
}  // namespace eGeometry

struct ePoint {
  int x = 0, y = 0;
  constexpr ePoint() = default;
  constexpr ePoint(int x_, int y_) : x(x_), y(y_) {}
  constexpr ePoint operator+(const ePoint& o) const {
    return {eGeometry::add(x, o.x), eGeometry::add(y, o.y)};
  }
  constexpr ePoint operator-(const ePoint& o) const {
    return {eGeometry::sub(x, o.x), eGeometry::sub(y, o.y)};
  }
  constexpr bool operator==(const ePoint& o) const { return x == o.x && y == o.y; }
  constexpr bool operator!=(const ePoint& o) const { return !(*this == o); }
};

struct eSize {
  int w = 0, h = 0;
  constexpr eSize() = default;
  constexpr eSize(int w_, int h_) : w(w_), h(h_) {}
  constexpr int width() const { return w; }
  constexpr int height() const { return h; }
  constexpr bool operator==(const eSize& o) const { return w == o.w && h == o.h; }
  constexpr bool operator!=(const eSize& o) const { return !(*this == o); }
};

class eRect {
 public:
  constexpr eRect() = default;
  constexpr eRect(int left, int top, int width, int height)
      : x1(left), y1(top), x2(eGeometry::add(left, width)), y2(eGeometry::add(top, height)) {}
  constexpr eRect(ePoint topLeft, eSize size)
      : x1(topLeft.x),
        y1(topLeft.y),
        x2(eGeometry::add(topLeft.x, size.w)),
        y2(eGeometry::add(topLeft.y, size.h)) {}

  constexpr int left() const { return x1; }
  constexpr int top() const { return y1; }
  constexpr int right() const { return x2; }   // exclusive
  constexpr int bottom() const { return y2; }  // exclusive
  constexpr int width() const { return eGeometry::sub(x2, x1); }
  constexpr int height() const { return eGeometry::sub(y2, y1); }
  constexpr ePoint topLeft() const { return {x1, y1}; }
  constexpr eSize size() const { return {width(), height()}; }
  // The all-zero rectangle, which invalidate() reads as "the whole widget".
  constexpr bool isNull() const { return x1 == 0 && y1 == 0 && x2 == 0 && y2 == 0; }
  constexpr bool isEmpty() const { return x2 <= x1 || y2 <= y1; }
  constexpr bool contains(ePoint p) const { return p.x >= x1 && p.x < x2 && p.y >= y1 && p.y < y2; }
  // Each edge moves by d, so that a rectangle is never turned inside out.
  constexpr eRect translated(ePoint d) const {
    eRect r;
    r.x1 = eGeometry::add(x1, d.x);
    r.y1 = eGeometry::add(y1, d.y);
    r.x2 = eGeometry::add(x2, d.x);
    r.y2 = eGeometry::add(y2, d.y);
    return r;
  }
  eRect intersect(const eRect& o) const {
    eRect r;
    r.x1 = std::max(x1, o.x1);
    r.y1 = std::max(y1, o.y1);
    r.x2 = std::min(x2, o.x2);
    r.y2 = std::min(y2, o.y2);
    if (r.isEmpty()) return eRect(r.x1, r.y1, 0, 0);
    return r;
  }
  eRect unite(const eRect& o) const {
    if (isEmpty()) return o;
    if (o.isEmpty()) return *this;
    eRect r;
    r.x1 = std::min(x1, o.x1);
    r.y1 = std::min(y1, o.y1);
    r.x2 = std::max(x2, o.x2);
    r.y2 = std::max(y2, o.y2);
    return r;
  }
  constexpr bool operator==(const eRect& o) const {
    return x1 == o.x1 && y1 == o.y1 && x2 == o.x2 && y2 == o.y2;
  }
  constexpr bool operator!=(const eRect& o) const { return !(*this == o); }

 private:
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

#pragma GCC visibility pop
