// eWindow: a top-level widget with a title bar and a border from the skin.
#include "host/ewindow.h"

#include <algorithm>
#include <cstdint>

#include "host/eskin.h"
#include "host/grc.h"

namespace {

int skinValue(const char* name, int fallback) {
  eSkin* skin = eSkin::getActive();
  return skin ? skin->queryValue(name, fallback) : fallback;
}

gColor scheme(const char* name) {
  eSkin* skin = eSkin::getActive();
  return skin ? skin->queryScheme(name) : gColor(0);
}

}  // namespace

eWindow::eWindow(int takefocus_) : eWidget(nullptr, takefocus_) {
  backgroundColor = scheme("eWindow.background");
  foregroundColor = scheme("global.normal.foreground");
  recalcClientRect();
}

eWindow::~eWindow() = default;

void eWindow::recalcClientRect() {
  int border = skinValue("eWindow.borderWidth", 4);
  int title = skinValue("eWindow.titleBarHeight", 34);
  // In 64 bits: a size or skin value at either end of int must not wrap.
  int64_t w = int64_t(size.w) - 2 * int64_t(border), h = int64_t(size.h) - title - border;
  clientrect = eRect(border, title, eGeometry::clamped(std::max<int64_t>(w, 0)),
                     eGeometry::clamped(std::max<int64_t>(h, 0)));
}

int eWindow::eventHandler(const eWidgetEvent& e) {
  if (e.type == eWidgetEvent::changedText) invalidate();
  return eWidget::eventHandler(e);
}

void eWindow::redrawWidget(gPainter*, const eRect&) {}

void eWindow::eraseBackground(gPainter* target, const eRect& area) {
  target->fill(area, backgroundColor);
}

void eWindow::drawFrame(gPainter* target) {
  int border = skinValue("eWindow.borderWidth", 4);
  int title = skinValue("eWindow.titleBarHeight", 34);
  eRect outer(ePoint(0, 0), size);
  target->fill(outer, scheme("eWindow.border"));
  eRect bar(border, border, eGeometry::sub(size.w, 2 * border), title - border);
  target->fill(bar, scheme("eWindow.titleBar"));
  eSkin* skin = eSkin::getActive();
  target->setFont(skin ? skin->queryFont("eWindow.title") : font);
  target->setForegroundColor(scheme("eWindow.titleBarFont"));
  target->setBackgroundColor(scheme("eWindow.titleBar"));
  target->clip(bar);
  target->renderText(eRect(bar.left() + 8, bar.top(), eGeometry::sub(bar.width(), 16), bar.height()), text,
                     gPainter::RT_VALIGN_CENTER);
  target->clippop();
}
