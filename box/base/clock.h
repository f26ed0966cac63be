#pragma once
// The wall clock as the box reads it: the main loop in real time and while a
// device operation is in flight, and the real tuner's time-outs. All of them
// go through here, so that a test can put a clock it moves in its place.
#include <cstdint>

namespace box {

// Milliseconds on a monotonic wall clock, from an arbitrary start.
int64_t wallMs();
// Waits ms on that clock.
void wallSleep(int64_t ms);

// For tests: while one exists, the wall clock stands still but when the box
// sleeps on it (the sleep moves it on at once) or the test moves it, so
// that what the box does on the wall clock is the same on every run.
class ManualClock {
 public:
  ManualClock();
  ~ManualClock();
  ManualClock(const ManualClock&) = delete;
  ManualClock& operator=(const ManualClock&) = delete;
  void advance(int64_t ms) { nowMs += ms; }
  int64_t now() const { return nowMs; }

 private:
  int64_t nowMs = 0;
};

}  // namespace box
