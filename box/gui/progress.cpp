// eProgress: a bar filled to a percentage.
#include "host/eprogress.h"

#include <algorithm>
#include <cstdint>

#include "box/base/parse.h"
#include "box/base/trace.h"
#include "host/eskin.h"
#include "host/grc.h"

eProgress::eProgress(eWidget* parent, int takefocus_) : eWidget(parent, takefocus_) {}

eProgress::~eProgress() = default;

void eProgress::setPerc(int percent) {
  box::Trace::event("setPerc", {{"widget", name}, {"perc", percent}});
  if (percent == perc) return;
  perc = percent;
  invalidate();
}

void eProgress::redrawWidget(gPainter* target, const eRect& area) {
  (void)area;
  eSkin* skin = eSkin::getActive();
  eSize s = getClientSize();
  int filled = int(int64_t(s.w) * std::clamp(perc, 0, 100) / 100);
  target->fill(eRect(0, 0, filled, s.h), skin ? skin->queryScheme("eProgress.left") : foregroundColor);
  target->fill(eRect(filled, 0, s.w - filled, s.h),
               skin ? skin->queryScheme("eProgress.right") : backgroundColor);
}

int eProgress::setProperty(const eString& prop, const eString& value) {
  if (prop == "perc") {
    int64_t percent = 0;
    if (!box::parseInteger(value, 0, 100, &percent)) return -1;
    setPerc(int(percent));
    return 0;
  }
  return eWidget::setProperty(prop, value);
}
