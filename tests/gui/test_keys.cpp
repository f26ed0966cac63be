// Focus movement and the routing of remote-control keys; the main loop's
// virtual clock, timers, nested modal runs and init levels.
#include <sstream>
#include <string>
#include <vector>

#include "gui/gui_fixture.h"
#include "host/ebutton.h"
#include "host/einit.h"
#include "host/elabel.h"
#include "host/elistbox.h"
#include "host/enumber.h"
#include "host/eslider.h"
#include "host/ewindow.h"
#include "host/rc.h"

namespace {

class Keys : public GuiTest {};

// A dialog's controls, keys pressed with the focus on one of them. The log
// holds what the controls reported, "@NAME" where the focus moved, and the
// focus and the list's entry at the end. "next", "prev" and "max-5" are not
// keys: the dialog's code moves the focus or lowers the slider's maximum.
TEST_F(Keys, ReachTheFocusedControlMoveTheFocusInCreationOrderAndFindShortcuts) {
  const struct {
    const char* focus;
    const char* keys;
    const char* log;
  } cases[] = {
      // The number completes on its last entry or on ok.
      {"number", "7 8 9 right 4 left left 0 ok", "number 789 number 049 | number first"},
      // Past the list's last entry the focus moves on.
      {"list", "down down up", "@ok @list | list second"},
      {"ok", "ok red green yellow", "ok cancel ok | ok first"},
      {"slider", "right right right right max-5", "10 20 25 @number 0 | number first"},
      {"number", "next next next next next prev", "@list @ok @cancel @slider @number @slider | slider first"},
  };
  std::string pressed;
  for (const auto& c : cases) {
    std::ostringstream log;
    eWindow window(1);
    window.resize(eSize(400, 300));
    new eLabel(&window);  // labels take no focus
    int init[3] = {1, 2, 3};
    auto* number = new eNumber(&window, 3, 0, 9, 1, init, 0, nullptr, 1);
    number->selected.connect([&](int* v) { log << "number " << v[0] << v[1] << v[2] << " "; });
    auto* list = new eListBox<eListBoxEntryText>(&window);
    new eListBoxEntryText(list, "first", 10);
    new eListBoxEntryText(list, "second", 20);
    auto* ok = new eButton(&window);
    ok->setShortcut("green");
    ok->selected.connect([&] { log << "ok "; });
    auto* cancel = new eButton(&window);
    cancel->setShortcut("red");
    cancel->selected.connect([&] { log << "cancel "; });
    auto* slider = new eSlider(&window, nullptr, 0, 25);
    slider->changed.connect([&](int v) { log << v << " "; });
    for (auto [w, name] : {std::pair<eWidget*, const char*>{number, "number"},
                           {list, "list"},
                           {ok, "ok"},
                           {cancel, "cancel"},
                           {slider, "slider"}})
      w->setName(name);
    window.show();
    for (eWidget* w : window.getChildren())
      if (w->getName() == c.focus) window.setFocus(w);
    std::istringstream keys(c.keys);
    for (std::string key; keys >> key;) {
      const eWidget* before = window.getFocus();
      if (key == "next" || key == "prev")
        window.focusNext(key == "prev");
      else if (key == "max-5")
        slider->setMax(-5);
      else
        press(rc::keyByName(key.c_str())), pressed += key + " ";
      if (window.getFocus() != before) log << "@" << window.getFocus()->getName() << " ";
    }
    log << "| " << window.getFocus()->getName() << " " << list->getCurrent()->getText();
    EXPECT_EQ(log.str(), c.log) << c.keys;
  }
  // Every key is in the trace, also those bound to nothing.
  std::string traced;
  for (const auto& k : events("key")) traced += k["name"].get<std::string>() + " ";
  EXPECT_EQ(traced, pressed);
}

TEST_F(Keys, GoToTheTopmostWindowAndExitRejectsIt) {
  std::ostringstream log;
  eWindow below(1), top(1);
  for (eWindow* w : {&below, &top}) {
    auto* b = new eButton(w);
    b->setShortcut("green");
    b->selected.connect([&log, w, &top] { log << (w == &top ? "top " : "below "); });
    w->show();
  }
  press(rc::ok);
  top.hide();
  press(rc::green);
  EXPECT_EQ(log.str(), "top below ");
  later(100, [this] { press(rc::exit); });
  EXPECT_EQ(below.exec(), -1);
}

TEST_F(Keys, AWindowShownWithNothingFocusedFocusesItsFirstVisibleChildThatTakesTheFocus) {
  std::ostringstream log;
  // Each window: its children in creation order, "label" taking no focus,
  // "hidden" a button hidden before the window is shown, "inHidden" a button
  // inside a hidden container; "preset" already has the focus.
  const struct {
    std::vector<std::string> children;
    std::string focused;  // "" : none
  } cases[] = {
      {{"label", "hidden", "first", "second"}, "first"},
      {{"inHidden", "first"}, "first"},
      {{"first", "preset"}, "preset"},
      {{"label", "hidden"}, ""},
  };
  for (const auto& c : cases) {
    eWindow window(1);
    for (const std::string& name : c.children) {
      eWidget* parent = &window;
      if (name == "inHidden") (parent = new eWidget(&window))->hide();
      eWidget* child = name == "label" ? static_cast<eWidget*>(new eLabel(parent)) : new eButton(parent);
      child->setName(name.c_str());
      if (name == "hidden") child->hide();
      if (name == "preset") window.setFocus(child);
      if (auto* b = dynamic_cast<eButton*>(child)) b->selected.connect([&log, name] { log << name << " "; });
    }
    window.show();
    eWidget* focus = window.getFocus();
    EXPECT_EQ(focus ? focus->getName() : "", c.focused) << c.children.front();
    press(rc::ok);  // reaches the focused button, or nothing
    window.hide();
  }
  EXPECT_EQ(log.str(), "first first preset ");
}

class LoopTest : public GuiTest {};

TEST_F(LoopTest, TimersFireAtTheirDeadlinesInVirtualTimeAndInStartOrderOnTies) {
  std::ostringstream log;
  eTimer a(eApp), b(eApp), c(eApp), t(eApp);
  for (auto [timer, name] : {std::pair{&a, "a"}, {&b, "b"}, {&c, "c"}, {&t, "t"}})
    timer->timeout.connect([&log, name = name] { log << name << "@" << eApp->now() << " "; });
  // The sweep's pattern: a repeating timer stopped in its slot and started
  // again, three times.
  int fired = 0;
  t.timeout.connect([&] {
    t.stop();
    if (++fired < 3) t.start(50, false);
  });
  a.start(300, true);
  b.start(100, false);
  c.start(300, true);
  t.start(50, false);
  box::wait(350);
  b.stop();
  EXPECT_EQ(log.str(), "t@50 b@100 t@100 t@150 b@200 a@300 c@300 b@300 ");
  EXPECT_EQ(eApp->now(), 350);
  EXPECT_FALSE(t.isActive());
}

// A window that records its runs' events and its client size when resized;
// with quit, it closes itself when its run begins.
class Recorder : public eWindow {
 public:
  Recorder(std::ostringstream& log, const char* name, bool quit = false) : log(log), quit(quit) {
    setName(name);
  }
  int eventHandler(const eWidgetEvent& e) override {
    if (e.type == eWidgetEvent::changedSize)
      log << name << ":" << getClientSize().w << "x" << getClientSize().h << " ";
    else if (e.type >= eWidgetEvent::willClose && e.type <= eWidgetEvent::execDone)
      log << name << ":" << e.type << " ";
    const int r = eWindow::eventHandler(e);
    if (quit && e.type == eWidgetEvent::execBegin) close(1);
    return r;
  }
  std::ostringstream& log;
  bool quit;
};

TEST_F(LoopTest, NestedModalRunsEndInnermostFirstWithTheirCodesAndEvents) {
  std::ostringstream log;
  Recorder outer(log, "outer"), inner(log, "inner");
  int innerResult = 0;
  later(100, [&] {
    inner.show();
    later(100, [&] { inner.close(7); });
    innerResult = inner.exec();
    log << "inner returned ";
    later(100, [&] { outer.close(3); });
  });
  outer.show();
  EXPECT_EQ(outer.exec(), 3);
  EXPECT_EQ(innerResult, 7);
  // Closed while its run begins: the run ends at once.
  Recorder quitter(log, "quitter", true);
  EXPECT_EQ(quitter.exec(), 1);
  EXPECT_EQ(log.str(),
            "outer:3 inner:3 inner:2 inner:4 inner returned outer:2 outer:4 quitter:3 quitter:2 quitter:4 ");
  EXPECT_EQ(eApp->now(), 300) << "the quitter's run took no time";

  // A size event comes with the client area ready, inside title bar and border.
  log.str("");
  quitter.resize(eSize(520, 476));
  quitter.cresize(eSize(200, 100));
  EXPECT_EQ(log.str(), "quitter:512x438 quitter:200x100 ");
  // A loop that nothing can ever end gives up instead of hanging.
  eWindow stalled;
  stalled.show();
  EXPECT_EQ(stalled.exec(), 0);
  EXPECT_TRUE(box::aborted());
  EXPECT_EQ(box::abortCode(), 4);
}

// Auto-init objects come up at their level and go down in reverse.
struct Probe : eAutoInit {
  Probe(int level, std::string tag, std::ostringstream& log)
      : eAutoInit(level, "probe"), tag(tag), log(log) {}
  void initNow() override { log << "+" << tag << " "; }
  void closeNow() override { log << "-" << tag << " "; }
  std::string tag;
  std::ostringstream& log;
};

TEST_F(LoopTest, InitLevelsBringObjectsUpInOrderAndDownInReverse) {
  std::ostringstream log;
  Probe a(25, "a", log), b(22, "b", log), early(5, "early", log);
  eInit::add(25, &a);
  eInit::add(22, &b);
  eInit::add(5, &early);  // level already reached: at once
  eInit::setRunlevel(30);
  eInit::setRunlevel(20);
  eInit::remove(25, &a);
  eInit::remove(22, &b);
  eInit::remove(5, &early);  // up: taken down on removal
  EXPECT_EQ(log.str(), "+early +b +a -a -b -early ");
}

}  // namespace
