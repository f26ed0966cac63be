#pragma once
// A booted box GUI in virtual time for tests: records the trace in memory,
// presses keys and schedules actions on box time (for driving modal loops).
#include <gtest/gtest.h>

#include <functional>
#include <list>
#include <string>
#include <vector>

#include "box/base/loop.h"
#include "box/base/trace.h"
#include "box/gui/boot.h"
#include "box/gui/screen.h"
#include "host/ebase.h"

class GuiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    box::chooseLanguage(language);
    box::GuiOptions options;
    options.dataDir = VANTREL_SOURCE_DIR "/data";
    options.root = VANTREL_BINARY_DIR "/root";
    std::string error;
    ASSERT_TRUE(box::bootGui(options, &error)) << error;
    box::Trace::addObserver(&GuiTest::record, this);
  }
  void TearDown() override {
    timers.clear();
    box::Trace::removeObserver(&GuiTest::record, this);
    box::shutdownGui();
    box::chooseLanguage("C");  // as a process of its own finds it, for the tests that run later
  }

  void press(int key) { box::Screen::instance().keyPress(key); }
  // Runs f after ms of box time, also inside nested modal loops: every loop
  // level dispatches the same timers.
  void later(int ms, std::function<void()> f) {
    eTimer& timer = timers.emplace_back(eApp);
    timer.timeout.connect([&timer, f] { timer.stop(), f(); });
    timer.start(ms, true);
  }
  // The recorded trace events with that "ev", in order.
  std::vector<nlohmann::json> events(const std::string& ev) const {
    std::vector<nlohmann::json> out;
    for (const auto& line : trace)
      if (line.value("ev", "") == ev) out.push_back(line);
    return out;
  }

  std::vector<nlohmann::json> trace;
  // The box's language: its default (Italian under ctest), or "C" where a
  // fixture compares the box's own messages as written.
  std::string language;

 private:
  std::list<eTimer> timers;
  static void record(const nlohmann::json& line, void* self) {
    static_cast<GuiTest*>(self)->trace.push_back(line);
  }
};
