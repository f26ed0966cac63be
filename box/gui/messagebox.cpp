// eMessageBox: a modal window with a text and its buttons, centred and
// sized to the text; exec returns the button chosen (-1 for exit).
#include "host/emessage.h"

#include <algorithm>

#include "box/base/tr.h"
#include "box/base/trace.h"
#include "box/gui/fonts.h"
#include "box/gui/screen.h"
#include "host/ebutton.h"
#include "host/elabel.h"
#include "host/eskin.h"
#include "host/grc.h"

namespace {
struct ButtonKind {
  int flag;
  const char* text;
};
const ButtonKind kButtons[] = {{eMessageBox::btOK, box::trLater("OK")},
                               {eMessageBox::btCancel, box::trLater("Cancel")},
                               {eMessageBox::btYes, box::trLater("Yes")},
                               {eMessageBox::btNo, box::trLater("No")}};
}  // namespace

eMessageBox::eMessageBox(eString message, eString caption, int flags, int def, int timeout) : eWindow(0) {
  (void)timeout;
  box::Trace::event("messageBox", {{"text", message}, {"caption", caption}});
  setText(caption);
  if (eSkin* skin = eSkin::getActive()) backgroundColor = skin->queryScheme("eMessageBox.background");
  box::FontEngine& fe = box::FontEngine::instance();
  int textW = std::clamp(fe.textWidth(font, message) + 40, 320, 600);
  int lineH = font.pointSize + 8;
  int lines = std::max(1, (fe.textWidth(font, message) + textW - 41) / (textW - 40) + 1);
  int textH = lines * lineH;
  int count = 0;
  for (const ButtonKind& b : kButtons)
    if (flags & b.flag) ++count;
  int buttonH = count ? 40 : 0;
  resize(eSize(10, 10));
  cresize(eSize(textW, textH + 20 + buttonH + 10));
  move(ePoint((box::Screen::width - size.w) / 2, (box::Screen::height - size.h) / 2));

  text = new eLabel(this, gPainter::RT_WRAP);
  text->move(ePoint(20, 10));
  text->resize(eSize(textW - 40, textH + 10));
  text->setText(message);

  int bw = 120, x = (textW - count * (bw + 10) + 10) / 2;
  eButton* focusButton = nullptr;
  for (const ButtonKind& b : kButtons) {
    if (!(flags & b.flag)) continue;
    eButton* button = new eButton(this);
    button->move(ePoint(x, textH + 20));
    button->resize(eSize(bw, 34));
    button->setText(box::tr(b.text));
    button->loadDeco();
    int value = b.flag;
    button->selected.connect([this, value] { pressed(value); });
    buttons.push_back(button);
    if (b.flag == def || !focusButton) focusButton = button;
    x += bw + 10;
  }
  if (focusButton) setFocus(focusButton);
}

eMessageBox::~eMessageBox() = default;

void eMessageBox::pressed(int button) {
  close(button);
}
