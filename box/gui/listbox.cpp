// eListBox: entries with a current one. up/down move it; at either end the
// key is left unhandled, so that the focus can move on.
#include "host/elistbox.h"

#include "box/gui/deco.h"
#include "box/gui/fonts.h"
#include "host/eskin.h"
#include "host/grc.h"
#include "host/rc.h"

eListBoxEntry::eListBoxEntry(eListBoxBase* parent, const eString& help) : listbox(parent), helptext(help) {
  if (listbox) listbox->append(this);
}

eListBoxEntry::~eListBoxEntry() = default;

eListBoxBase::eListBoxBase(eWidget* parent, eWidget* descr_, int takefocus_, int itemHeight_,
                           const char* deco_)
    : eWidget(parent, takefocus_), itemHeight(itemHeight_ > 0 ? itemHeight_ : 24), descr(descr_) {
  setDeco(deco_);
}

eListBoxBase::~eListBoxBase() {
  clearList();
}

void eListBoxBase::setFlags(int f) {
  flags = f;
}

void eListBoxBase::append(eListBoxEntry* entry) {
  entries.push_back(entry);
  if (current < 0) current = 0;
  invalidate();
}

void eListBoxBase::clearList() {
  for (eListBoxEntry* e : entries) delete e;
  entries.clear();
  current = -1;
  top = 0;
}

void eListBoxBase::setCurrentIndex(int index) {
  if (index < 0 || index >= int(entries.size()) || index == current) return;
  current = index;
  int visible = std::max(1, getClientSize().h / itemHeight);
  if (current < top) top = current;
  if (current >= top + visible) top = current - visible + 1;
  selchangedBase.emit(entries[current]);
  invalidate();
}

int eListBoxBase::keyDown(int key) {
  if (entries.empty()) return 0;
  switch (key) {
    case rc::up:
      if (flags & flagNoUpDownMovement || current <= 0) return 0;
      setCurrentIndex(current - 1);
      return 1;
    case rc::down:
      if (flags & flagNoUpDownMovement || current + 1 >= int(entries.size())) return 0;
      setCurrentIndex(current + 1);
      return 1;
    case rc::ok:
      selectedBase.emit(entries[current]);
      return 1;
    default:
      return 0;
  }
}

void eListBoxBase::gotFocus() {
  invalidate();
}
void eListBoxBase::lostFocus() {
  invalidate();
}

void eListBoxBase::redrawWidget(gPainter* target, const eRect& area) {
  (void)area;
  eRect inner = box::drawDeco(target, this, deco, hasFocus());
  int visible = std::max(1, inner.height() / itemHeight);
  for (int i = top; i < int(entries.size()) && i < top + visible; ++i) {
    eRect r(inner.left(), inner.top() + (i - top) * itemHeight, inner.width(), itemHeight);
    target->clip(r);
    entries[i]->draw(target, r, i == current);
    target->clippop();
  }
}

eListBoxEntryText::eListBoxEntryText(eListBox<eListBoxEntryText>* lb, const char* text_, int key_, int align_,
                                     const eString& help)
    : eListBoxEntry(lb, help), text(text_ ? text_ : ""), key(key_), align(align_) {}

eListBoxEntryText::~eListBoxEntryText() = default;

int eListBoxEntryText::getEntryHeight() {
  eSkin* skin = eSkin::getActive();
  gFont f = skin ? skin->queryFont("global.normal") : gFont();
  return f.pointSize + 10;
}

void eListBoxEntryText::draw(gPainter* painter, const eRect& area, bool selected) {
  eSkin* skin = eSkin::getActive();
  bool focused = listbox && listbox->hasFocus();
  gColor bg = listbox ? listbox->backgroundColor : gColor(0);
  gColor fg = listbox ? listbox->foregroundColor : gColor(0);
  if (selected && skin) {
    bg = skin->queryScheme(focused ? "global.selected.background" : "eListBox.background");
    fg = skin->queryScheme(focused ? "global.selected.foreground" : "global.normal.foreground");
    painter->fill(area, bg);
  }
  gFont f = listbox ? listbox->font : gFont();
  box::FontEngine& fe = box::FontEngine::instance();
  int minSize = f.pointSize * 6 / 10;
  while (f.pointSize > minSize && fe.textWidth(f, text) > area.width() - 8) --f.pointSize;
  painter->setFont(f);
  painter->setForegroundColor(fg);
  painter->setBackgroundColor(bg);
  painter->renderText(eRect(area.left() + 4, area.top(), area.width() - 8, area.height()), text,
                      align | gPainter::RT_VALIGN_CENTER);
}
