#pragma once
// A top-level window: title bar and border from the skin, client area inside.
#include "ewidget.h"

#pragma GCC visibility push(default)

class eWindow : public eWidget {
 public:
  explicit eWindow(int takefocus = 0);
  ~eWindow() override;
  void recalcClientRect() override;
  int eventHandler(const eWidgetEvent& event) override;
  void redrawWidget(gPainter* target, const eRect& area) override;
  void eraseBackground(gPainter* target, const eRect& area) override;
  const char* typeName() const override { return "eWindow"; }

  // Outer-frame paint: title bar and border, in the window's own coordinates.
  void drawFrame(gPainter* target);
};

#pragma GCC visibility pop
