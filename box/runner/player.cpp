#include "box/runner/player.h"

#include <algorithm>
#include <climits>
#include <cstdio>

#include "box/gui/fileio.h"
#include "box/gui/loop.h"
#include "box/gui/png.h"
#include "box/gui/screen.h"
#include "box/gui/tr.h"
#include "box/gui/trace.h"

namespace box {

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

ScriptPlayer::ScriptPlayer(std::vector<Step> steps_, std::string shots_)
    : steps(std::move(steps_)), shots(std::move(shots_)) {
  timer.timeout.connect(sigc::mem_fun(*this, &ScriptPlayer::tick));
  if (!steps.empty()) timer.start(0);
}

void ScriptPlayer::stop() {
  next = steps.size();
  timer.stop();
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
        timer.start(20);
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
