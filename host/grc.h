#pragma once
// The painter: draws into a target pixmap through a stack of clip rectangles.
// Coordinates are relative to the painter's origin (a widget's client area).
#include <vector>

#include "estring.h"
#include "gfont.h"
#include "gpixmap.h"

#pragma GCC visibility push(default)

class gPainter {
 public:
  // Paints into target with (0, 0) at origin; nothing is drawn outside clip
  // (target coordinates).
  gPainter(gPixmap& target, ePoint origin, const eRect& clip);
  ~gPainter();
  gPainter(const gPainter&) = delete;
  gPainter& operator=(const gPainter&) = delete;

  enum { RT_HALIGN_LEFT = 0, RT_HALIGN_RIGHT = 1, RT_HALIGN_CENTER = 2, RT_VALIGN_CENTER = 4, RT_WRAP = 8 };
  enum { BF_ALPHATEST = 1 };

  // Narrows drawing to r (painter coordinates) until the matching clippop.
  void clip(const eRect& r);
  void clippop();
  void setFont(const gFont& font);
  void setForegroundColor(const gColor& color);
  void setBackgroundColor(const gColor& color);
  // Anti-aliased text in the foreground colour over the background colour.
  void renderText(const eRect& area, const std::string& text, int flags = 0);
  void fill(const eRect& area);  // in the background colour
  void fill(const eRect& area, const gColor& color);
  void line(ePoint start, ePoint end);  // in the foreground colour
  void rectangle(const eRect& area);    // outline, in the foreground colour
  // Copies a locked pixmap with its (0, 0) at pos, limited to clipTo
  // (painter coordinates) and to the current clip.
  void blit(gPixmap& pixmap, ePoint pos, const eRect& clipTo = eRect(), int flags = 0);

  ePoint getOrigin() const { return origin; }
  const eRect& currentClip() const { return clips.back(); }  // target coordinates

 private:
  gPixmap& target;
  ePoint origin;
  std::vector<eRect> clips;
  gFont font;
  gColor foreground, background;
};

#pragma GCC visibility pop
