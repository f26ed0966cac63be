// The main loop's virtual clock, timers and nested modal runs.
#include <sstream>

#include "gui/gui_fixture.h"
#include "host/einit.h"
#include "host/ewindow.h"

namespace {

class LoopTest : public GuiTest {};

TEST_F(LoopTest, TimersFireAtTheirDeadlinesInVirtualTimeAndInStartOrderOnTies) {
  std::ostringstream log;
  eTimer a(eApp), b(eApp), c(eApp);
  a.timeout.connect([&] { log << "a@" << eApp->now() << " "; });
  b.timeout.connect([&] { log << "b@" << eApp->now() << " "; });
  c.timeout.connect([&] { log << "c@" << eApp->now() << " "; });
  a.start(300, true);
  b.start(100, false);
  c.start(300, true);
  box::wait(350);
  b.stop();
  EXPECT_EQ(log.str(), "b@100 b@200 a@300 c@300 b@300 ");
  EXPECT_EQ(eApp->now(), 350);
}

TEST_F(LoopTest, ATimerStoppedOrRestartedInsideItsSlotBehaves) {
  int fired = 0;
  eTimer t(eApp);
  t.timeout.connect([&] {
    ++fired;
    t.stop();  // the sweep's pattern: a repeating timer that fires once per start
    if (fired < 3) t.start(50, false);
  });
  t.start(50, false);
  box::wait(1000);
  EXPECT_EQ(fired, 3);
  EXPECT_FALSE(t.isActive());
  t.stop();  // harmless on a stopped timer
}

// A window that records the events it gets.
class Recorder : public eWindow {
 public:
  explicit Recorder(std::ostringstream& log) : log(log) {}
  int eventHandler(const eWidgetEvent& e) override {
    if (e.type == 2 || e.type == 3 || e.type == 4 || e.type == 11) log << name << ":" << e.type << " ";
    return eWindow::eventHandler(e);
  }
  std::ostringstream& log;
};

TEST_F(LoopTest, NestedModalRunsEndInnermostFirstWithTheirCodesAndEvents) {
  std::ostringstream log;
  Recorder outer(log), inner(log);
  outer.setName("outer");
  inner.setName("inner");
  int innerResult = 0;
  later(100, [&] {
    inner.show();
    later(100, [&] { inner.close(7); });
    innerResult = inner.exec();
    log << "inner returned ";
    later(100, [&] { outer.close(3); });
  });
  outer.show();
  int outerResult = outer.exec();
  EXPECT_EQ(innerResult, 7);
  EXPECT_EQ(outerResult, 3);
  EXPECT_EQ(log.str(), "outer:3 inner:3 inner:2 inner:4 inner returned outer:2 outer:4 ");
  EXPECT_EQ(eApp->now(), 300);
}

TEST_F(LoopTest, CloseDuringTheBeginOfARunEndsItAtOnce) {
  std::ostringstream log;
  class Quitter : public Recorder {
   public:
    using Recorder::Recorder;
    int eventHandler(const eWidgetEvent& e) override {
      int r = Recorder::eventHandler(e);
      if (e.type == eWidgetEvent::execBegin) close(1);
      return r;
    }
  } w(log);
  w.setName("w");
  EXPECT_EQ(w.exec(), 1);
  EXPECT_EQ(log.str(), "w:3 w:2 w:4 ");
  EXPECT_EQ(eApp->now(), 0);
}

TEST_F(LoopTest, ResizeSendsTheSizeEventWithTheClientRectangleReady) {
  std::ostringstream log;
  class SizeProbe : public eWidget {
   public:
    SizeProbe(eWidget* p, std::ostringstream& log) : eWidget(p), log(log) {}
    int eventHandler(const eWidgetEvent& e) override {
      if (e.type == eWidgetEvent::changedSize) log << getClientSize().w << "x" << getClientSize().h << " ";
      return eWidget::eventHandler(e);
    }
    std::ostringstream& log;
  };
  eWindow w;
  w.resize(eSize(520, 476));
  auto* probe = new SizeProbe(&w, log);
  probe->resize(eSize(300, 120));
  probe->cresize(eSize(200, 100));
  EXPECT_EQ(log.str(), "300x120 200x100 ");
  // The window's client area lies inside its title bar and border.
  EXPECT_LT(w.getClientSize().w, 520);
  EXPECT_LT(w.getClientSize().h, 476 - 20);
}

TEST_F(LoopTest, AStalledLoopGivesUpInsteadOfHanging) {
  eWindow w;
  w.show();
  EXPECT_EQ(w.exec(), 0);  // nothing can ever close it
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
