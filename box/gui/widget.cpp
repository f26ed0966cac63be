// eWidget: the widget tree, geometry, focus, visibility, modal runs and
// redraw requests. Top-level widgets register with the screen when shown.
#include "host/ewidget.h"

#include <algorithm>
#include <string_view>

#include "box/base/loop.h"
#include "box/base/mainloop_impl.h"
#include "box/base/parse.h"
#include "box/base/trace.h"
#include "box/gui/screen.h"
#include "host/eskin.h"
#include "host/grc.h"

namespace {

gColor schemeColor(const char* name, gColor fallback) {
  eSkin* skin = eSkin::getActive();
  return skin ? skin->queryScheme(name) : fallback;
}

void traceWindow(const eWidget* w, const char* action) {
  if (!w->getParent()) box::Trace::event("window", {{"action", action}, {"title", w->getText()}});
}

}  // namespace

eWidget::eWidget(eWidget* parent_, int takefocus_) : parent(parent_), takefocus(takefocus_) {
  if (parent) {
    font = parent->font;
    foregroundColor = parent->foregroundColor;
    backgroundColor = parent->backgroundColor;
    parent->childlist.push_back(this);
    shown = true;  // a child is visible whenever its parent is
    if (takefocus) getTLW()->focusList.push_back(this);
  } else {
    if (eSkin* skin = eSkin::getActive()) font = skin->queryFont("global.normal");
    foregroundColor = schemeColor("global.normal.foreground", 0);
    backgroundColor = schemeColor("global.normal.background", 0);
  }
}

eWidget::~eWidget() {
  if (executing) close(-1);
  if (!parent && shown) {
    box::Screen::instance().invalidate(eRect(position, size));
    box::Screen::instance().windowHidden(this);
  }
  while (!childlist.empty()) delete childlist.front();
  if (parent) {
    eWidget* tlw = getTLW();
    tlw->focusList.remove(this);
    if (tlw->focus == this) tlw->focus = nullptr;
    parent->childlist.remove(this);
    if (isVisible()) parent->invalidate();
  }
}

void eWidget::willShow() {}
void eWidget::willHide() {}
void eWidget::setPalette() {}
int eWidget::eventFilter(const eWidgetEvent&) {
  return 0;
}
int eWidget::keyDown(int) {
  return 0;
}
int eWidget::keyUp(int) {
  return 0;
}
void eWidget::gotFocus() {
  invalidate();
}
void eWidget::lostFocus() {
  invalidate();
}

void eWidget::recalcClientRect() {
  clientrect = eRect(ePoint(0, 0), size);
}

int eWidget::eventHandler(const eWidgetEvent& e) {
  switch (e.type) {
    case eWidgetEvent::evtKeyDown:
      return keyDown(e.parameter);
    case eWidgetEvent::evtKeyUp:
      return keyUp(e.parameter);
    case eWidgetEvent::gotFocus:
      gotFocus();
      return 1;
    case eWidgetEvent::lostFocus:
      lostFocus();
      return 1;
    case eWidgetEvent::willShow:
      willShow();
      return 1;
    case eWidgetEvent::willHide:
      willHide();
      return 1;
    default:
      return 0;
  }
}

void eWidget::redrawWidget(gPainter*, const eRect&) {}

void eWidget::eraseBackground(gPainter* target, const eRect& area) {
  // A widget in its parent's colour is see-through: overlapping siblings
  // (a spacer label over a button) then do not hide each other.
  if (parent && parent->backgroundColor == backgroundColor) return;
  target->fill(area, backgroundColor);
}

int eWidget::setProperty(const eString& prop, const eString& value) {
  if (prop == "text") {
    setText(value);
    return 0;
  }
  if (prop == "font") {
    // "Family;size"
    size_t semi = value.find(';');
    int64_t pt = 0;
    if (semi == std::string::npos ||
        !box::parseInteger(std::string_view(value).substr(semi + 1), 1, box::kMaxFontSize, &pt))
      return -1;
    setFont(gFont(value.substr(0, semi), int(pt)));
    return 0;
  }
  if (prop == "foregroundColor" || prop == "backgroundColor") {
    eSkin* skin = eSkin::getActive();
    if (!skin) return -1;
    gColor c = skin->queryScheme(value);
    if (prop == "foregroundColor")
      setForegroundColor(c);
    else
      setBackgroundColor(c);
    return 0;
  }
  return -1;
}

int eWidget::event(const eWidgetEvent& e) {
  if (eventFilter(e)) return 1;
  return eventHandler(e);
}

void eWidget::move(ePoint p) {
  if (p == position) return;
  invalidate();
  position = p;
  event(eWidgetEvent(eWidgetEvent::changedPosition));
  invalidate();
}

void eWidget::resize(eSize s) {
  invalidate();
  size = s;
  recalcClientRect();
  event(eWidgetEvent(eWidgetEvent::changedSize));
  invalidate();
}

void eWidget::cmove(ePoint clientPosition) {
  move(clientPosition - clientrect.topLeft());
}

void eWidget::cresize(eSize clientSize) {
  // The frame's share of the outer size, found by asking recalcClientRect.
  eSize saved = size;
  size = eSize(1000, 1000);
  recalcClientRect();
  eSize frame(1000 - clientrect.width(), 1000 - clientrect.height());
  size = saved;
  recalcClientRect();
  resize(eSize(eGeometry::add(clientSize.w, frame.w), eGeometry::add(clientSize.h, frame.h)));
}

ePoint eWidget::getAbsoluteClientPosition() const {
  ePoint p = position + clientrect.topLeft();
  return parent ? parent->getAbsoluteClientPosition() + p : p;
}

void eWidget::setText(const eString& label) {
  if (label == text) return;
  text = label;
  event(eWidgetEvent(eWidgetEvent::changedText));
  invalidate();
}

void eWidget::setName(const char* n) {
  name = n ? n : "";
}

void eWidget::setFont(const gFont& f) {
  font = f;
  event(eWidgetEvent(eWidgetEvent::changedFont));
  invalidate();
}

void eWidget::setForegroundColor(const gColor& c, bool inv) {
  foregroundColor = c;
  event(eWidgetEvent(eWidgetEvent::changedForegroundColor));
  if (inv) invalidate();
}

void eWidget::setBackgroundColor(const gColor& c, bool inv) {
  backgroundColor = c;
  event(eWidgetEvent(eWidgetEvent::changedBackgroundColor));
  if (inv) invalidate();
}

int eWidget::loadDeco() {
  eSkin* skin = eSkin::getActive();
  if (!skin || deco.empty()) return -1;
  eSkin::Deco d = skin->queryDeco(deco);
  if (!d.valid) return -1;
  invalidate();
  return 0;
}

void eWidget::setShortcut(const eString& key) {
  shortcut = key;
}
void eWidget::setShortcutPixmap(const eString& key) {
  shortcutPixmap = key;
}

eWidget* eWidget::getTLW() {
  eWidget* w = this;
  while (w->parent) w = w->parent;
  return w;
}

eWidget* eWidget::getFocus() const {
  const eWidget* w = this;
  while (w->parent) w = w->parent;
  return w->focus;
}

void eWidget::setFocus(eWidget* widget) {
  eWidget* tlw = getTLW();
  eWidget* old = tlw->focus;
  if (old == widget) return;
  tlw->focus = widget;
  if (old) old->event(eWidgetEvent(eWidgetEvent::lostFocus));
  if (widget) widget->event(eWidgetEvent(eWidgetEvent::gotFocus));
}

void eWidget::focusNext(int direction) {
  eWidget* tlw = getTLW();
  std::list<eWidget*>& order = tlw->focusList;
  if (order.empty()) return;
  auto it = std::find(order.begin(), order.end(), tlw->focus);
  // Skips widgets that are hidden; at most one round.
  for (size_t n = 0; n < order.size(); ++n) {
    if (direction == 0) {
      if (it == order.end() || ++it == order.end()) it = order.begin();
    } else {
      if (it == order.begin() || it == order.end()) it = order.end();
      --it;
    }
    if ((*it)->isVisible()) {
      setFocus(*it);
      return;
    }
  }
}

void eWidget::show() {
  if (shown) return;
  shown = true;
  event(eWidgetEvent(eWidgetEvent::willShow));
  if (!parent) {
    // A window shown with nothing focused would let ok and the colour keys
    // fall through to nothing: its first child that takes the focus gets it.
    if (!focus) {
      auto first =
          std::find_if(focusList.begin(), focusList.end(), [](eWidget* w) { return w->isVisible(); });
      if (first != focusList.end()) setFocus(*first);
    }
    box::Screen::instance().windowShown(this);
    traceWindow(this, "show");
  }
  invalidate();
}

void eWidget::hide() {
  if (!shown) return;
  invalidate();
  event(eWidgetEvent(eWidgetEvent::willHide));
  shown = false;
  if (!parent) {
    box::Screen::instance().windowHidden(this);
    traceWindow(this, "hide");
  }
}

bool eWidget::isVisible() const {
  return shown && (!parent || parent->isVisible());
}

int eWidget::exec() {
  if (!eApp || executing) return -1;
  executing = true;
  closing = false;
  result = 0;
  event(eWidgetEvent(eWidgetEvent::execBegin));
  // A close() from within execBegin ends the run before the loop starts.
  if (!closing && !box::aborted()) {
    loopLevel = eApp->loopLevel() + 1;
    eApp->enter_loop();
  }
  loopLevel = 0;
  executing = false;
  event(eWidgetEvent(eWidgetEvent::execDone));
  return result;
}

void eWidget::close(int code) {
  if (!executing || closing) return;
  closing = true;
  result = code;
  event(eWidgetEvent(eWidgetEvent::willClose));
  traceWindow(this, "close");
  if (loopLevel > 0 && eApp) eApp->impl->requestExit(loopLevel);
}

void eWidget::invalidate(eRect area, int) {
  if (!isVisible()) return;
  eRect abs;
  if (area.isNull()) {
    ePoint outer = parent ? parent->getAbsoluteClientPosition() + position : position;
    abs = eRect(outer, size);
  } else {
    abs = area.translated(getAbsoluteClientPosition());
  }
  box::Screen::instance().invalidate(abs);
}

void eWidget::redraw(eRect area) {
  invalidate(area);
  box::Screen::instance().redrawDirty();
}

eWidget* eWidget::search(const eString& n) {
  for (eWidget* c : childlist) {
    if (c->name == n) return c;
    if (eWidget* found = c->search(n)) return found;
  }
  return nullptr;
}
