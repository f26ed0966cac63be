#pragma once
// The wall clock as the box reads it: the main loop in real time and while a
// device operation is in flight, and the real tuner's time-outs. All of them
// go through here, so that a test can put a clock it moves in its place.
#include <cstdint>
#include <string>
#include <string_view>

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

namespace box {

// Times the box writes down (when an entry of the kept list was seen), in
// whole seconds since 1970-01-01 UTC; 0 stands for "not known".
//
// The run's start instant: VANTREL_START_TIME (ISO 8601 UTC,
// 2026-12-08T21:04:05Z) when set, else the wall clock now. Read once, when
// the DVB layer comes up; false with *error when the variable is no such time.
bool fixStartInstant(std::string* error);
// The start instant plus the box time gone by since: in virtual time a run
// that sweeps for an hour of box time ends an hour after it started.
int64_t utcNow();
// 2026-12-08T21:04:05Z; "" for 0.
std::string utcText(int64_t seconds);
// The text utcText writes (only that: a Z, to the second); false otherwise.
bool parseUtc(std::string_view text, int64_t* seconds);

}  // namespace box
