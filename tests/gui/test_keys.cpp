// Focus movement and the routing of remote-control keys.
#include <sstream>
#include <string>
#include <vector>

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

class ShowFocus : public GuiTest {};

TEST_F(ShowFocus, AWindowShownWithNothingFocusedFocusesItsFirstVisibleChildThatTakesTheFocus) {
  std::ostringstream log;
  // Each window: its children in creation order, "label" taking no focus,
  // "hidden" a button hidden before the window is shown, "inHidden" a button
  // inside a hidden container; "preset" already has the focus.
  struct Case {
    std::vector<std::string> children;
    std::string focused;  // "" : none
  } cases[] = {
      {{"label", "hidden", "first", "second"}, "first"},
      {{"inHidden", "first"}, "first"},
      {{"first", "preset"}, "preset"},
      {{"label", "hidden"}, ""},
  };
  for (const Case& c : cases) {
    eWindow window(1);
    eWidget* preset = nullptr;
    for (const std::string& name : c.children) {
      eWidget* parent = &window;
      if (name == "inHidden") {
        parent = new eWidget(&window);
        parent->hide();
      }
      eWidget* child = name == "label" ? static_cast<eWidget*>(new eLabel(parent)) : new eButton(parent);
      child->setName(name.c_str());
      if (name == "hidden") child->hide();
      if (name == "preset") preset = child;
      if (auto* b = dynamic_cast<eButton*>(child)) b->selected.connect([&log, name] { log << name << " "; });
    }
    if (preset) window.setFocus(preset);
    window.show();
    eWidget* focus = window.getFocus();
    EXPECT_EQ(focus ? focus->getName() : "", c.focused) << c.children.front();
    press(rc::ok);  // reaches the focused button, or nothing
    window.hide();
  }
  EXPECT_EQ(log.str(), "first first preset ");
}

}  // namespace
