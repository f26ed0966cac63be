#include "box/gui/deco.h"

#include "host/eskin.h"

namespace box {

eRect drawDeco(gPainter* target, const eWidget* w, const std::string& deco, bool focused) {
  eRect all(ePoint(0, 0), w->getClientSize());
  eSkin* skin = eSkin::getActive();
  if (!skin || deco.empty()) return all;
  eSkin::Deco d = skin->queryDeco(deco);
  if (!d.valid) return all;
  if (d.borderWidth > 0) {
    gColor c = focused ? d.focusBorder : d.border;
    int b = d.borderWidth;
    target->fill(eRect(0, 0, all.width(), b), c);
    target->fill(eRect(0, eGeometry::sub(all.height(), b), all.width(), b), c);
    target->fill(eRect(0, 0, b, all.height()), c);
    target->fill(eRect(eGeometry::sub(all.width(), b), 0, b, all.height()), c);
  }
  int pad = d.borderWidth + 2;
  return eRect(pad, 0, eGeometry::sub(all.width(), 2 * pad), all.height());
}

}  // namespace box
