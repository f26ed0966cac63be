#pragma once
// The inside of the main loop, shared by the loop and the widgets' modal runs.
#include <cstdint>
#include <functional>
#include <vector>

#include "box/base/clock.h"
#include "host/ebase.h"

struct eMainloop::Impl {
  bool realtime = false;
  int64_t virtualNow = 0;           // ms, virtual time
  int64_t started = box::wallMs();  // the wall clock (ms) when the loop began
  std::vector<eTimer*> timers;      // the active ones
  uint64_t sequence = 0;
  std::vector<bool> exitRequested;  // one per running loop level, innermost last
  std::function<void()> stallHandler;
  bool aborted = false;
  int abortCode = 0;
  int deviceWaits = 0;  // operations of a real device in flight
  // Since when virtual time follows the wall clock: the wall and box times
  // when the first of the device's operations began.
  int64_t waitWall = 0;
  int64_t waitVirtual = 0;

  int64_t now() const;
  void add(eTimer* t);
  void remove(eTimer* t);
  eTimer* nextDue(int64_t at) const;  // the earliest timer due at time at
  int64_t nextDeadline() const;       // -1: no active timer
  // One round: due timers, redraw, idle hook, then time moves on, but never
  // past limit (ms; -1: no limit). False when the loop should end.
  void iterate(int64_t limit);
  bool levelEnding() const { return aborted || (!exitRequested.empty() && exitRequested.back()); }
  void requestExit(int level) {
    if (level >= 1 && level <= int(exitRequested.size())) exitRequested[level - 1] = true;
  }
  void fire(eTimer* t);
  void stalled();
  void retireAll();
};
