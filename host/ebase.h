#pragma once
// The main loop and its timers. The loop owns the clock: in virtual time it
// jumps from one timer deadline to the next, in real time it sleeps.
#include <sigc++/sigc++.h>

#include <cstdint>

#pragma GCC visibility push(default)

class eTimer;

class eMainloop {
 public:
  eMainloop();
  virtual ~eMainloop();
  eMainloop(const eMainloop&) = delete;
  eMainloop& operator=(const eMainloop&) = delete;

  int64_t now() const;  // ms since the loop was made
  // Runs a nested loop level until exit_loop() ends it.
  int enter_loop();
  void exit_loop();
  int loopLevel() const;

  struct Impl;
  Impl* impl;  // the box's
};

extern eMainloop* eApp;

class eTimer {
 public:
  explicit eTimer(eMainloop* loop);
  ~eTimer();  // stops the timer
  eTimer(const eTimer&) = delete;
  eTimer& operator=(const eTimer&) = delete;

  // Fires after ms; again every ms unless singleShot. Restarts a running timer.
  void start(int ms, bool singleShot = false);
  void stop();  // harmless on a stopped timer
  void changeInterval(int ms);
  bool isActive() const { return active; }
  int interval() const { return intervalMs; }
  int64_t deadline() const { return nextAt; }  // box time, ms

  sigc::signal<void()> timeout;

 private:
  friend struct eMainloop::Impl;
  eMainloop* loop;
  bool active = false;
  bool singleShot = false;
  int intervalMs = 0;
  int64_t nextAt = 0;
  uint64_t sequence = 0;  // orders timers that share a deadline
};

#pragma GCC visibility pop
