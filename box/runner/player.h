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
  bool isActive() const { return timer.isActive(); }
  int64_t deadline() const { return due; }
  // What the loop counts: the deadline of the piece running now.
  int64_t pieceDeadline() const { return timer.deadline(); }
  sigc::signal<void()> timeout;

 private:
  void arm();
  void piece();
  eTimer timer{eApp};
  int64_t due = 0;  // box time, ms
};

// Runs the script's steps on box time, from a timer: every loop level fires
// it, so keys reach nested modal runs. Each step moves the script on before
// it acts, since a key may not return until a modal run has ended. A
// wait-text looks at the screen every 20 ms from its start; in virtual time
// it skips the looks that nothing can have changed, and gives up at once
// when nothing but itself and limit (the run's --max-time, which cannot
// change the screen) is left running.
class ScriptPlayer : public sigc::trackable {
 public:
  ScriptPlayer(std::vector<Step> steps, std::string shots, const LongTimer* limit = nullptr);
  // Whether a shot could not be written (each failure was reported).
  bool outputFailed() const { return failed; }
  // Plays no further step.
  void stop();
  // Plays more steps after those given, starting now when all are played.
  void play(const std::vector<Step>& more);
  // Once all the steps given so far have been played (a driver such as a
  // hunt may then hand over more).
  sigc::signal<void()> finished;

 private:
  void tick();
  void watch();
  void shot(const Step& s);

  std::vector<Step> steps;
  std::string shots;
  size_t next = 0;
  int64_t textSince = -1;
  bool failed = false;
  LongTimer timer;
  const LongTimer* limit;
  sigc::connection watching;  // to the loop's idle signal, during a wait-text
};

}  // namespace box
