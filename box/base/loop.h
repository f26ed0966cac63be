#pragma once
// What the runner and tests need of the main loop beyond the host's eMainloop.
#include <sigc++/sigc++.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "host/ebase.h"

namespace box {

// Creates eApp (virtual time unless realtime) if there is none; returns it.
eMainloop& mainloop(bool realtime = false);
void destroyMainloop();
bool isRealtime();

// Emitted each time the loop has dispatched what is due and redrawn the
// screen, before time moves on (the key script and wait-text hook here).
sigc::signal<void()>& idleSignal();

// Called each round once what was due has run, before the idle signal: the
// toolkit brings the screen up to date there. The loop knows no screen.
void setFrameHook(std::function<void()> hook);

// Called in virtual time when nothing is due and no timer is running, so time
// cannot move on. It may start a timer or end the loops; if it does neither,
// the loop gives up with the exit code given to setStallExit (default 4).
void setStallHandler(std::function<void()> handler);

// Runs the current loop level until cond() holds or ms of box time pass;
// returns cond(). For tests and scripted runs.
bool runUntil(const std::function<bool()>& cond, int64_t ms);
// Lets ms of box time pass, dispatching everything due.
void wait(int64_t ms);

// A device operation in flight (a tune waiting for lock, a table read)
// answers on the wall clock. While one is held, virtual time follows the wall
// clock instead of jumping to the next deadline, so that a device time-out
// means what it says; when none is held, time jumps as before.
void beginDeviceWait();
void endDeviceWait();
bool deviceWaiting();

// The running timers' deadlines (box time, ms), so that a waiter can tell
// when anything but itself can next happen.
std::vector<int64_t> timerDeadlines();

// Ends every loop level and makes the outermost return; the box then exits
// with code (the runner's exit codes).
void abortAll(int code);
bool aborted();
int abortCode();

}  // namespace box
