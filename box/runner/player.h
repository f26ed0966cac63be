#pragma once
// Playing a key script on box time, and timers for spans longer than an
// eTimer's int milliseconds.
#include <sigc++/sigc++.h>

#include <cstdint>
#include <string>
#include <vector>

#include "box/runner/script.h"
#include "host/ebase.h"

namespace box {

// A single-shot timer for any span of box time up to kMaxBoxTimeMs: an eTimer
// counts int milliseconds (about 24 days), so a longer span is covered in
// pieces. Spans that fit one piece start one eTimer, exactly as before.
class LongTimer : public sigc::trackable {
 public:
  LongTimer();
  void start(int64_t ms);
  void stop() { timer.stop(); }
  sigc::signal<void()> timeout;

 private:
  void arm();
  void piece();
  eTimer timer{eApp};
  int64_t due = 0;  // box time, ms
};

// Runs the script's steps on box time, from a timer: every loop level fires
// it, so keys reach nested modal runs. Each step moves the script on before
// it acts, since a key may not return until a modal run has ended.
class ScriptPlayer : public sigc::trackable {
 public:
  ScriptPlayer(std::vector<Step> steps, std::string shots);
  // Whether a shot could not be written (each failure was reported).
  bool outputFailed() const { return failed; }
  // Plays no further step.
  void stop();

 private:
  void tick();
  void shot(const Step& s);

  std::vector<Step> steps;
  std::string shots;
  size_t next = 0;
  int64_t textSince = -1;
  bool failed = false;
  LongTimer timer;
};

}  // namespace box
