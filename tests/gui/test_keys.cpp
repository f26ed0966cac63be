// Focus movement and the routing of remote-control keys.
#include <sstream>

#include "gui/gui_fixture.h"
#include "host/ebutton.h"
#include "host/elabel.h"
#include "host/elistbox.h"
#include "host/enumber.h"
#include "host/eslider.h"
#include "host/ewindow.h"
#include "host/rc.h"

namespace {

// A window with a number field, a list and two buttons, as dialogs have.
class Form : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    window = new eWindow(1);
    window->resize(eSize(400, 300));
    new eLabel(window);  // labels take no focus
    int init[3] = {1, 2, 3};
    number = new eNumber(window, 3, 0, 9, 1, init, 0, nullptr, 1);
    number->setName("number");
    number->selected.connect([this](int* v) { log << "number " << v[0] << v[1] << v[2] << " "; });
    list = new eListBox<eListBoxEntryText>(window);
    new eListBoxEntryText(list, "first", 10);
    new eListBoxEntryText(list, "second", 20);
    ok = new eButton(window);
    ok->setShortcut("green");
    ok->selected.connect([this] { log << "ok "; });
    cancel = new eButton(window);
    cancel->setShortcut("red");
    cancel->selected.connect([this] { log << "cancel "; });
    window->setFocus(number);
    window->show();
  }
  void TearDown() override {
    delete window;
    GuiTest::TearDown();
  }
  std::ostringstream log;
  eWindow* window;
  eNumber* number;
  eListBox<eListBoxEntryText>* list;
  eButton *ok, *cancel;
};

TEST_F(Form, FocusMovesInCreationOrderAndWrapsBothWays) {
  window->focusNext(0);
  EXPECT_EQ(window->getFocus(), list);
  window->focusNext(0);
  window->focusNext(0);
  EXPECT_EQ(window->getFocus(), cancel);
  window->focusNext(0);
  EXPECT_EQ(window->getFocus(), number);
  window->focusNext(1);
  EXPECT_EQ(window->getFocus(), cancel);
}

TEST_F(Form, DigitsFillTheNumberAndCompleteOnTheLastEntryOrOnOk) {
  press(rc::k7);
  press(rc::k8);
  EXPECT_EQ(log.str(), "");
  press(rc::k9);
  EXPECT_EQ(number->getNumber(0) * 100 + number->getNumber(1) * 10 + number->getNumber(2), 789);
  press(rc::right);
  press(rc::k4);  // the second entry, after moving right from the first
  press(rc::left);
  press(rc::left);
  press(rc::k0);  // back on the first
  press(rc::ok);
  EXPECT_EQ(log.str(), "number 789 number 049 ");
}

TEST_F(Form, UpAndDownMoveTheListAndLeaveItAtItsEnds) {
  window->setFocus(list);
  press(rc::down);
  EXPECT_EQ(list->getCurrent()->getKey(), 20);
  press(rc::down);  // past the last entry: the focus moves on
  EXPECT_EQ(window->getFocus(), ok);
  EXPECT_EQ(list->getCurrent()->getKey(), 20);
  press(rc::up);
  EXPECT_EQ(window->getFocus(), list);
}

TEST_F(Form, OkSelectsTheFocusedButtonAndColourKeysTheirShortcuts) {
  window->setFocus(ok);
  press(rc::ok);
  press(rc::red);
  press(rc::green);
  press(rc::yellow);  // bound to nothing
  EXPECT_EQ(log.str(), "ok cancel ok ");
  std::vector<std::string> names;
  for (const auto& k : events("key")) names.push_back(k["name"]);
  EXPECT_EQ(names, (std::vector<std::string>{"ok", "red", "green", "yellow"}));
}

TEST_F(Form, ExitRejectsTheActiveWindow) {
  later(100, [this] { press(rc::exit); });
  EXPECT_EQ(window->exec(), -1);
}

TEST_F(Form, KeysGoToTheTopmostWindow) {
  eWindow top(1);
  auto* b = new eButton(&top);
  b->selected.connect([this] { log << "top "; });
  top.setFocus(b);
  top.show();
  press(rc::ok);
  top.hide();
  press(rc::green);
  EXPECT_EQ(log.str(), "top ok ");
}

TEST_F(Form, ASliderMovesWithinItsRangeAndReportsMoves) {
  auto* slider = new eSlider(window, nullptr, 0, 25);
  slider->changed.connect([this](int v) { log << v << " "; });
  window->setFocus(slider);
  press(rc::right);
  press(rc::right);
  press(rc::right);  // clamped at 25
  press(rc::right);
  slider->setMax(-5);  // below the minimum: taken as the minimum
  EXPECT_EQ(log.str(), "10 20 25 0 ");
  EXPECT_EQ(slider->getMax(), 0);
}

}  // namespace
