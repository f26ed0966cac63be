#include "box/runner/player.h"

#include <algorithm>
#include <climits>
#include <cstdio>

#include "box/base/fileio.h"
#include "box/base/loop.h"
#include "box/base/tr.h"
#include "box/base/trace.h"
#include "box/gui/png.h"
#include "box/gui/screen.h"

namespace box {
namespace {
// How often a wait-text looks at the screen, in box time.
constexpr int64_t kLookMs = 20;
}  // namespace

LongTimer::LongTimer() {
  timer.timeout.connect(sigc::mem_fun(*this, &LongTimer::piece));
}

void LongTimer::start(int64_t ms) {
  const int64_t now = eApp->now();
  due = ms > INT64_MAX - now ? INT64_MAX : now + std::max<int64_t>(ms, 0);
  arm();
}

void LongTimer::arm() {
  timer.start(int(std::min<int64_t>(due - eApp->now(), INT_MAX)), true);
}

void LongTimer::piece() {
  if (eApp->now() < due)
    arm();
  else
    timeout.emit();
}

ScriptPlayer::ScriptPlayer(std::vector<Step> steps_, std::string shots_, const LongTimer* limit_)
    : steps(std::move(steps_)), shots(std::move(shots_)), limit(limit_) {
  timer.timeout.connect(sigc::mem_fun(*this, &ScriptPlayer::tick));
  if (!steps.empty()) timer.start(0);
}

void ScriptPlayer::stop() {
  next = steps.size();
  timer.stop();
  watching.disconnect();
}

void ScriptPlayer::play(const std::vector<Step>& more) {
  const bool idle = next >= steps.size() && !timer.isActive();
  steps.insert(steps.end(), more.begin(), more.end());
  if (idle && !more.empty()) timer.start(0);
}

// Once the loop has dispatched all that is due, in virtual time: until the
// next deadline of another timer the screen stays as it is now, so the looks
// due before it would all fail alike. The timer moves to the last of them,
// which keeps every look that can pass on the same instant (and in the same
// order with the timers due then) as when each look was taken.
void ScriptPlayer::watch() {
  if (next >= steps.size() || textSince < 0 || isRealtime() || deviceWaiting()) return;
  const Step& s = steps[next];
  if (Screen::instance().showsText(s.text)) return;  // the next look passes
  std::vector<int64_t> others = timerDeadlines();
  auto drop = [&others](const LongTimer* t) {
    if (!t || !t->isActive()) return;
    auto at = std::find(others.begin(), others.end(), t->pieceDeadline());
    if (at != others.end()) others.erase(at);
  };
  drop(&timer);
  drop(limit);
  if (others.empty()) {
    watching.disconnect();
    std::fprintf(
        stderr, "vantrel-box: %s\n",
        trf("script line %d: %s", s.line, tr("nothing left to happen: no timer is running and no key is due"))
            .c_str());
    abortAll(4);
    return;
  }
  if (limit && limit->isActive()) others.push_back(limit->pieceDeadline());
  const int64_t soonest = *std::min_element(others.begin(), others.end());
  const int64_t look = timer.deadline();
  // The look that times out is kept too.
  const int64_t last = textSince + (s.ms + kLookMs - 1) / kLookMs * kLookMs;
  const int64_t target =
      soonest > look ? std::min(look + (soonest - 1 - look) / kLookMs * kLookMs, last) : look;
  if (target > look) timer.start(target - eApp->now());
}

void ScriptPlayer::tick() {
  while (next < steps.size()) {
    const Step& s = steps[next];
    switch (s.kind) {
      case Step::Wait:
        ++next;
        timer.start(s.ms);
        return;
      case Step::WaitText:
        if (textSince < 0) textSince = eApp->now();
        if (Screen::instance().showsText(s.text)) {
          watching.disconnect();
          textSince = -1;
          ++next;
          continue;
        }
        if (eApp->now() - textSince >= s.ms) {
          std::fprintf(stderr, "vantrel-box: %s\n",
                       trf("script line %d: \"%s\" was not shown within %lld ms", s.line,
                           printable(s.text).c_str(), (long long)s.ms)
                           .c_str());
          abortAll(3);
          return;
        }
        timer.start(kLookMs);
        if (!watching.connected())
          watching = idleSignal().connect(sigc::mem_fun(*this, &ScriptPlayer::watch));
        return;
      case Step::Shot:
        ++next;
        shot(s);
        continue;
      case Step::Key:
        ++next;
        timer.start(0);
        Screen::instance().keyPress(s.key);
        return;
    }
  }
  finished.emit();
}

void ScriptPlayer::shot(const Step& s) {
  Screen& screen = Screen::instance();
  screen.redrawDirty();
  const std::string base = shots + "/" + s.text;
  // Both files are tried, each written whole or not at all.
  std::string error;
  if (!screen.writePng(base + ".png", &error)) {
    std::fprintf(stderr, "vantrel-box: %s\n", trf("script line %d: %s", s.line, error.c_str()).c_str());
    failed = true;
  }
  if (!writeFileAtomic(base + ".json", jsonText(screen.dumpWidgets(), 2) + "\n", &error, false)) {
    std::fprintf(stderr, "vantrel-box: %s\n",
                 trf("script line %d: %s", s.line, printable(error, 300).c_str()).c_str());
    failed = true;
  }
}

}  // namespace box
