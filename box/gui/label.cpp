// eLabel: text in the widget's font and colours. A single line that does not
// fit is drawn in a smaller size rather than cut off.
#include "host/elabel.h"

#include "box/gui/deco.h"
#include "box/gui/fonts.h"
#include "host/grc.h"

eLabel::eLabel(eWidget* parent, int flags_, int takefocus_, const char* deco_)
    : eWidget(parent, takefocus_), flags(flags_) {
  setDeco(deco_);
}

eLabel::~eLabel() = default;

void eLabel::setFlags(int f) {
  flags = f;
  invalidate();
}

int eLabel::eventHandler(const eWidgetEvent& e) {
  return eWidget::eventHandler(e);
}

void eLabel::redrawWidget(gPainter* target, const eRect& area) {
  (void)area;
  eRect inner = box::drawDeco(target, this, deco, false);
  if (text.empty()) return;
  gFont f = font;
  if (!(flags & gPainter::RT_WRAP) && text.find('\n') == std::string::npos) {
    box::FontEngine& fe = box::FontEngine::instance();
    int minSize = f.pointSize * 6 / 10;
    while (f.pointSize > minSize && fe.textWidth(f, text) > inner.width()) --f.pointSize;
  }
  target->setFont(f);
  target->setForegroundColor(foregroundColor);
  target->setBackgroundColor(backgroundColor);
  target->clip(inner);
  target->renderText(inner, text, flags);
  target->clippop();
}

int eLabel::setProperty(const eString& prop, const eString& value) {
  if (prop == "align") {
    int h = value == "center" ? gPainter::RT_HALIGN_CENTER : value == "right" ? gPainter::RT_HALIGN_RIGHT : 0;
    if (h == 0 && value != "left") return -1;
    setFlags((flags & ~3) | h);
    return 0;
  }
  if (prop == "valign") {
    setFlags(value == "center" ? (flags | gPainter::RT_VALIGN_CENTER)
                               : (flags & ~gPainter::RT_VALIGN_CENTER));
    return 0;
  }
  if (prop == "wrap") {
    setFlags(value == "on" || value == "1" ? (flags | gPainter::RT_WRAP) : (flags & ~gPainter::RT_WRAP));
    return 0;
  }
  return eWidget::setProperty(prop, value);
}
