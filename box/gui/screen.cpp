// The screen: the framebuffer, the stack of shown windows, dirty areas and
// the routing of remote-control keys.
#include "box/gui/screen.h"

#include <algorithm>

#include "box/base/loop.h"
#include "box/base/trace.h"
#include "host/elistbox.h"
#include "host/enumber.h"
#include "host/eprogress.h"
#include "host/eslider.h"
#include "host/ewindow.h"
#include "host/grc.h"
#include "host/rc.h"

namespace box {

struct Screen::Impl {
  gImage framebuffer{eSize(Screen::width, Screen::height), 8};
  std::vector<eWidget*> windows;  // bottom first
  eRect dirty;                    // union of the areas to redraw (screen coordinates)
  uint64_t frames = 0;            // redraws that painted something
};

// The loop brings the screen up to date each round; a screen nobody has
// asked for yet has nothing to draw.
Screen::Screen() : impl(new Impl) {
  setFrameHook([] { Screen::instance().redrawDirty(); });
}

Screen& Screen::instance() {
  static Screen screen;
  return screen;
}

gPixmap& Screen::framebuffer() {
  return impl->framebuffer;
}

void Screen::setPalette(const gPalette& palette) {
  impl->framebuffer.clut = palette;
  invalidate(eRect(0, 0, width, height));
}

void Screen::windowShown(eWidget* window) {
  auto& w = impl->windows;
  w.erase(std::remove(w.begin(), w.end(), window), w.end());
  w.push_back(window);
}

void Screen::windowHidden(eWidget* window) {
  auto& w = impl->windows;
  w.erase(std::remove(w.begin(), w.end(), window), w.end());
}

const std::vector<eWidget*>& Screen::windows() const {
  return impl->windows;
}

eWidget* Screen::activeWindow() const {
  return impl->windows.empty() ? nullptr : impl->windows.back();
}

void Screen::invalidate(const eRect& area) {
  eRect r = area.intersect(eRect(0, 0, width, height));
  if (!r.isEmpty()) impl->dirty = impl->dirty.unite(r);
}

bool Screen::hasDirty() const {
  return !impl->dirty.isEmpty();
}

namespace {

// Paints w and its children inside clip (screen coordinates).
void paint(eWidget* w, gPixmap& fb, const eRect& clip) {
  if (!w->isShown()) return;
  ePoint outer =
      w->getParent() ? w->getParent()->getAbsoluteClientPosition() + w->getPosition() : w->getPosition();
  eRect outerRect = eRect(outer, w->getSize()).intersect(clip);
  if (outerRect.isEmpty()) return;
  if (auto* window = dynamic_cast<eWindow*>(w)) {
    gPainter frame(fb, outer, outerRect);
    window->drawFrame(&frame);
  }
  ePoint client = w->getAbsoluteClientPosition();
  eRect clientRect = eRect(client, w->getClientSize()).intersect(outerRect);
  if (clientRect.isEmpty()) return;
  {
    gPainter painter(fb, client, clientRect);
    eRect area = clientRect.translated(ePoint() - client);
    w->eraseBackground(&painter, area);
    w->redrawWidget(&painter, area);
  }
  for (eWidget* child : w->getChildren()) paint(child, fb, clientRect);
}

}  // namespace

void Screen::redrawDirty() {
  if (impl->dirty.isEmpty()) return;
  eRect d = impl->dirty;
  impl->dirty = eRect();
  impl->framebuffer.fill(d, 0);
  // Copied: a redraw never changes the stack, but stay safe if it does.
  std::vector<eWidget*> stack = impl->windows;
  for (eWidget* w : stack) paint(w, impl->framebuffer, d);
  ++impl->frames;
}

uint64_t Screen::frames() const {
  return impl->frames;
}

namespace {

// The first visible descendant of w (w included) bound to the colour key.
eWidget* findShortcut(eWidget* w, const char* key) {
  if (!w->isVisible()) return nullptr;
  if (w->getShortcut() == key) return w;
  for (eWidget* c : w->getChildren())
    if (eWidget* found = findShortcut(c, key)) return found;
  return nullptr;
}

bool offerToDescendants(eWidget* w, int key) {
  for (eWidget* c : w->getChildren()) {
    if (!c->isVisible()) continue;
    if (c->isFocusable() && c->event(eWidgetEvent(eWidgetEvent::evtKeyDown, key))) return true;
    if (offerToDescendants(c, key)) return true;
  }
  return false;
}

}  // namespace

void Screen::keyPress(int key) {
  const char* name = rc::keyName(key);
  Trace::event("key", {{"name", name ? name : "?"}});
  eWidget* window = activeWindow();
  if (!window || !name) return;
  // Each branch returns right after delivering: the key may start a nested
  // modal run or delete the widgets it reached.
  eWidget* focus = window->getFocus();
  if (focus && focus->isVisible()) {
    if (focus->event(eWidgetEvent(eWidgetEvent::evtKeyDown, key))) return;
    // A focused container (such as a graph) passes keys to its controls.
    if (offerToDescendants(focus, key)) return;
  }
  if (key >= rc::red && key <= rc::blue) {
    if (eWidget* target = findShortcut(window, name))
      target->event(eWidgetEvent(eWidgetEvent::evtKeyDown, rc::ok));
    return;
  }
  if (window->event(eWidgetEvent(eWidgetEvent::evtKeyDown, key))) return;
  switch (key) {
    case rc::exit:
      window->reject();
      return;
    case rc::down:
    case rc::right:
      window->focusNext(0);
      return;
    case rc::up:
    case rc::left:
      window->focusNext(1);
      return;
    default:
      return;
  }
}

namespace {

nlohmann::json dump(const eWidget* w) {
  ePoint outer =
      w->getParent() ? w->getParent()->getAbsoluteClientPosition() + w->getPosition() : w->getPosition();
  nlohmann::json j = {
      {"type", w->typeName()},
      {"name", w->getName()},
      {"text", w->getText()},
      {"rect", {{"x", outer.x}, {"y", outer.y}, {"w", w->getSize().w}, {"h", w->getSize().h}}},
      {"focus", w->hasFocus()}};
  if (auto* n = dynamic_cast<const eNumber*>(w)) {
    std::string digits;
    for (int i = 0; i < n->getLength(); ++i) digits += std::to_string(n->getNumber(i));
    j["value"] = digits;
  } else if (auto* l = dynamic_cast<const eListBoxBase*>(w)) {
    auto* list = static_cast<const eListBox<eListBoxEntryText>*>(l);
    j["current"] = list->getCurrent() ? list->getCurrent()->getText() : "";
  } else if (auto* p = dynamic_cast<const eProgress*>(w)) {
    j["perc"] = p->getPerc();
  } else if (auto* s = dynamic_cast<const eSlider*>(w)) {
    j["value"] = s->getValue();
    j["max"] = s->getMax();
  }
  nlohmann::json children = nlohmann::json::array();
  for (const eWidget* c : w->getChildren())
    if (c->isShown()) children.push_back(dump(c));
  j["children"] = children;
  return j;
}

bool shows(const eWidget* w, const std::string& text) {
  if (!w->isShown()) return false;
  if (w->getText().find(text) != std::string::npos) return true;
  for (const eWidget* c : w->getChildren())
    if (shows(c, text)) return true;
  return false;
}

}  // namespace

nlohmann::json Screen::dumpWidgets() const {
  nlohmann::json windows = nlohmann::json::array();
  for (const eWidget* w : impl->windows) windows.push_back(dump(w));
  return {{"windows", windows}};
}

bool Screen::showsText(const std::string& text) const {
  for (const eWidget* w : impl->windows)
    if (shows(w, text)) return true;
  return false;
}

void Screen::reset() {
  impl->windows.clear();
  impl->dirty = eRect();
}

}  // namespace box
