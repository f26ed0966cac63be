// eButton: a label that is selected with ok while focused, or through the
// colour key bound to it; a coloured mark shows that key.
#include "host/ebutton.h"

#include "box/gui/deco.h"
#include "host/eskin.h"
#include "host/grc.h"
#include "host/rc.h"

eButton::eButton(eWidget* parent, eLabel* descr_, int takefocus_, const char* deco_)
    : eLabel(parent, gPainter::RT_HALIGN_CENTER | gPainter::RT_VALIGN_CENTER, takefocus_, deco_),
      descr(descr_) {}

eButton::~eButton() = default;

int eButton::keyDown(int key) {
  if (key != rc::ok) return 0;
  selected.emit();
  return 1;
}

void eButton::gotFocus() {
  invalidate();
}
void eButton::lostFocus() {
  invalidate();
}

void eButton::redrawWidget(gPainter* target, const eRect& area) {
  (void)area;
  bool focused = hasFocus();
  eSkin* skin = eSkin::getActive();
  gColor bg = backgroundColor;
  if (focused && skin) bg = skin->queryScheme("global.selected.background");
  eRect all(ePoint(0, 0), getClientSize());
  target->fill(all, bg);
  eRect inner = box::drawDeco(target, this, deco, focused);
  // The colour key's mark: a bar along the left edge in that colour.
  if (!shortcutPixmap.empty() && skin) {
    gColor mark = skin->queryColor("std_" + shortcutPixmap);
    target->fill(eRect(inner.left(), 4, 8, all.height() - 8), mark);
    inner = eRect(inner.left() + 10, inner.top(), inner.width() - 10, inner.height());
  }
  target->setFont(font);
  target->setForegroundColor(focused && skin ? skin->queryScheme("global.selected.foreground")
                                             : foregroundColor);
  target->setBackgroundColor(bg);
  target->clip(inner);
  target->renderText(inner, text, flags);
  target->clippop();
}
