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

class Events : public GuiTest {};

// A dialog's controls, keys pressed with the focus set on one of them before
// the dialog is shown, or on none. The log holds what the controls reported,
// "@NAME" where the focus moved, and the focus and the list's entry at the end.
// "next", "prev", "max-5", "top" and "untop" are not keys: the dialog's code
// moves the focus, lowers the slider's maximum, shows or hides a window on top.
TEST_F(Events, KeysReachTheFocusedControlMoveTheFocusInCreationOrderAndFindShortcuts) {
  const char* cases[][3] = {
      // focus, keys, log
      // Shown with nothing focused: its first child that takes the focus.
      {"", "ok", "number 123 | number first"},
      // The number completes on its last entry or on ok.
      {"number", "7 8 9 right 4 left left 0 ok", "number 789 number 049 | number first"},
      // Past the end of the list or the slider the focus moves on.
      {"list", "down down up", "@ok @list | list second"},
      {"slider", "right right right right max-5", "10 20 25 @number 0 | number first"},
      {"ok", "ok red green yellow", "ok cancel ok | ok first"},
      // Keys go to the topmost window.
      {"ok", "top ok green untop green", "top top ok | ok first"},
      {"number", "next next next next next prev", "@list @ok @cancel @slider @number @slider | slider first"},
  };
  std::string pressed;
  for (auto [focus, keyList, want] : cases) {
    std::ostringstream log;
    eWindow window(1);
    window.resize(eSize(400, 300));
    auto button = [&](eWidget* parent, const char* name) {
      auto* b = new eButton(parent);
      b->setName(name);
      b->selected.connect([&log, name] { log << name << " "; });
      return b;
    };
    // Labels, hidden buttons and buttons in a hidden container take no focus.
    new eLabel(&window);
    button(&window, "hidden")->hide();
    auto* hidden = new eWidget(&window);
    hidden->hide();
    button(hidden, "inHidden");
    int init[3] = {1, 2, 3};
    auto* number = new eNumber(&window, 3, 0, 9, 1, init, 0, nullptr, 1);
    number->setName("number");
    number->selected.connect([&](int* v) { log << "number " << v[0] << v[1] << v[2] << " "; });
    auto* list = new eListBox<eListBoxEntryText>(&window);
    list->setName("list");
    new eListBoxEntryText(list, "first", 10);
    new eListBoxEntryText(list, "second", 20);
    button(&window, "ok")->setShortcut("green");
    button(&window, "cancel")->setShortcut("red");
    auto* slider = new eSlider(&window, nullptr, 0, 25);
    slider->setName("slider");
    slider->changed.connect([&](int v) { log << v << " "; });
    eWindow top(1);
    button(&top, "top")->setShortcut("green");
    for (eWidget* w : window.getChildren())
      if (*focus && w->getName() == focus) window.setFocus(w);
    window.show();
    std::istringstream keys(keyList);
    for (std::string key; keys >> key;) {
      const eWidget* before = window.getFocus();
      if (key == "next" || key == "prev")
        window.focusNext(key == "prev");
      else if (key == "max-5")
        slider->setMax(-5);
      else if (key == "top" || key == "untop")
        key == "top" ? top.show() : top.hide();
      else
        press(rc::keyByName(key.c_str())), pressed += key + " ";
      if (window.getFocus() != before) log << "@" << window.getFocus()->getName() << " ";
    }
    log << "| " << window.getFocus()->getName() << " " << list->getCurrent()->getText();
    EXPECT_EQ(log.str(), want) << keyList;
  }
  // Every key is in the trace, also those bound to nothing.
  std::string traced;
  for (const auto& k : events("key")) traced += k["name"].get<std::string>() + " ";
  EXPECT_EQ(traced, pressed);
}

TEST_F(Events, TimersFireAtTheirDeadlinesInVirtualTimeAndInStartOrderOnTies) {
  std::ostringstream log;
  eTimer a(eApp), b(eApp), c(eApp), t(eApp);
  for (auto [timer, name] : {std::pair{&a, "a"}, {&b, "b"}, {&c, "c"}, {&t, "t"}})
    timer->timeout.connect([&log, name = name] { log << name << "@" << eApp->now() << " "; });
  // The sweep's pattern: a repeating timer stopped in its slot, started again.
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
}

// A window that records its runs' events.
class Recorder : public eWindow {
 public:
  Recorder(std::ostringstream& log, const char* name) : log(log) { setName(name); }
  int eventHandler(const eWidgetEvent& e) override {
    if (e.type >= eWidgetEvent::willClose && e.type <= eWidgetEvent::execDone)
      log << name << ":" << e.type << " ";
    return eWindow::eventHandler(e);
  }
  std::ostringstream& log;
};

TEST_F(Events, NestedModalRunsEndInnermostFirstWithTheirCodesAndEvents) {
  std::ostringstream log;
  Recorder outer(log, "outer"), inner(log, "inner");
  int innerResult = 0;
  later(100, [&] {
    inner.show();
    later(100, [&] { inner.close(7); });
    innerResult = inner.exec();
    inner.hide();
    log << "inner returned ";
    later(100, [this] { press(rc::exit); });  // rejects the active window
  });
  outer.show();
  EXPECT_EQ(outer.exec(), -1);
  EXPECT_EQ(innerResult, 7);
  EXPECT_EQ(eApp->now(), 300);
  EXPECT_EQ(log.str(), "outer:3 inner:3 inner:2 inner:4 inner returned outer:2 outer:4 ");
  // A loop that nothing can ever end gives up instead of hanging.
  eWindow stalled;
  stalled.show();
  EXPECT_EQ(stalled.exec(), 0);
  EXPECT_TRUE(box::aborted());
  EXPECT_EQ(box::abortCode(), 4);
}

// Auto-init objects come up at their level and go down in reverse.
struct Probe : eAutoInit {
  Probe(int level, const char* tag, std::ostringstream& log)
      : eAutoInit(level, "probe"), level(level), tag(tag), log(log) {}
  void initNow() override { log << "+" << tag << " "; }
  void closeNow() override { log << "-" << tag << " "; }
  int level;
  const char* tag;
  std::ostringstream& log;
};

TEST_F(Events, InitLevelsBringObjectsUpInOrderAndDownInReverse) {
  std::ostringstream log;
  // The box is at its GUI's level: "early" comes up when added, and goes down
  // when removed while up.
  Probe a(25, "a", log), b(22, "b", log), early(5, "early", log);
  for (Probe* p : {&a, &b, &early}) eInit::add(p->level, p);
  eInit::setRunlevel(30);
  eInit::setRunlevel(20);
  for (Probe* p : {&a, &b, &early}) eInit::remove(p->level, p);
  EXPECT_EQ(log.str(), "+early +b +a -a -b -early ");
}

}  // namespace
