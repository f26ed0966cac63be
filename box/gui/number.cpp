// eNumber: a row of numeric entries edited with the digit keys. Typing
// fills the active entry and moves on; the last entry, or ok, completes.
#include "host/enumber.h"

#include <algorithm>

#include "box/gui/deco.h"
#include "box/gui/fonts.h"
#include "host/eskin.h"
#include "host/grc.h"
#include "host/rc.h"

eNumber::eNumber(eWidget* parent, int len_, int min_, int max_, int maxdigits_, int* init, int isactive,
                 eWidget* descr_, int grabfocus, const char* deco_)
    : eWidget(parent, grabfocus),
      len(std::max(len_, 1)),
      min(min_),
      max(std::max(max_, min_)),
      maxdigits(std::max(maxdigits_, 1)),
      number(len, min_),
      active(0),
      descr(descr_) {
  (void)isactive;
  setDeco(deco_);
  if (init)
    for (int i = 0; i < len; ++i) number[i] = std::clamp(init[i], min, max);
}

eNumber::~eNumber() = default;

int eNumber::getNumber(int entry) const {
  return entry >= 0 && entry < len ? number[entry] : 0;
}

void eNumber::setNumber(int entry, int value) {
  if (entry < 0 || entry >= len) return;
  number[entry] = std::clamp(value, min, max);
  invalidate();
}

int eNumber::keyDown(int key) {
  if (key >= rc::k0 && key <= rc::k9) {
    int typed = key - rc::k0;
    int value = digit == 0 ? typed : number[active] * 10 + typed;
    number[active] = std::clamp(value, min, max);
    numberChanged.emit(number.data());
    invalidate();
    if (++digit < maxdigits) return 1;
    digit = 0;
    if (active + 1 < len) {
      ++active;
      return 1;
    }
    active = 0;
    selected.emit(number.data());
    return 1;
  }
  switch (key) {
    case rc::left:
      digit = 0;
      if (active > 0) --active;
      invalidate();
      return 1;
    case rc::right:
      digit = 0;
      if (active + 1 < len) ++active;
      invalidate();
      return 1;
    case rc::ok:
      digit = 0;
      selected.emit(number.data());
      return 1;
    default:
      return 0;
  }
}

void eNumber::gotFocus() {
  active = 0;
  digit = 0;
  invalidate();
}

void eNumber::lostFocus() {
  digit = 0;
  invalidate();
}

void eNumber::redrawWidget(gPainter* target, const eRect& area) {
  (void)area;
  bool focused = hasFocus();
  eRect inner = box::drawDeco(target, this, deco, focused);
  eSkin* skin = eSkin::getActive();
  box::FontEngine& fe = box::FontEngine::instance();
  int cell = fe.textWidth(font, std::string(maxdigits, '0')) + 4;
  int x = inner.left() + std::max(0, (inner.width() - cell * len) / 2);
  for (int i = 0; i < len; ++i) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*d", maxdigits, number[i]);
    eRect r(x + i * cell, inner.top() + 2, cell, inner.height() - 4);
    gColor bg = backgroundColor;
    if (focused && i == active && skin) {
      bg = skin->queryScheme("eNumber.active");
      target->fill(r, bg);
    }
    target->setFont(font);
    target->setForegroundColor(foregroundColor);
    target->setBackgroundColor(bg);
    target->renderText(r, buf, gPainter::RT_HALIGN_CENTER | gPainter::RT_VALIGN_CENTER);
  }
}
