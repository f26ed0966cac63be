// eSlider: a value between min and max, moved with left/right while focused.
#include "host/eslider.h"

#include <algorithm>

#include "host/eskin.h"
#include "host/grc.h"
#include "host/rc.h"

eSlider::eSlider(eWidget* parent, eWidget* descr_, int min_, int max_)
    : eWidget(parent, 1), descr(descr_), min(min_), max(std::max(min_, max_)), value(min_) {}

eSlider::~eSlider() = default;

void eSlider::setMin(int m) {
  min = m;
  if (max < min) max = min;
  setValue(value);
}

void eSlider::setMax(int m) {
  max = std::max(m, min);
  setValue(value);
  invalidate();
}

void eSlider::setValue(int v) {
  v = std::clamp(v, min, max);
  if (v == value) return;
  value = v;
  invalidate();
  changed.emit(value);
}

int eSlider::keyDown(int key) {
  if (key == rc::left && value > min) {
    setValue(value - step);
    return 1;
  }
  if (key == rc::right && value < max) {
    setValue(value + step);
    return 1;
  }
  return 0;
}

void eSlider::gotFocus() {
  invalidate();
}
void eSlider::lostFocus() {
  invalidate();
}

void eSlider::redrawWidget(gPainter* target, const eRect& area) {
  (void)area;
  eSkin* skin = eSkin::getActive();
  eSize s = getClientSize();
  gColor bar = skin ? skin->queryScheme("eSlider.bar") : foregroundColor;
  gColor knob =
      skin ? skin->queryScheme(hasFocus() ? "global.selected.background" : "eSlider.knob") : foregroundColor;
  target->fill(eRect(0, s.h / 2 - 2, s.w, 4), bar);
  int knobW = std::max(8, s.w / 20);
  int range = max - min;
  int x = range > 0 ? int(int64_t(value - min) * (s.w - knobW) / range) : 0;
  target->fill(eRect(x, 0, knobW, s.h), knob);
}
