#pragma once
// How a front end answers its tunes, whatever stands behind it: each answer
// goes out on tunedIn and is followed by DVB event 0, except a cancelled
// tune's (-125), which is answered from the main loop once the tune that
// replaced it has returned. Both the simulated band and a real tuner answer
// through one of these, so the plug-in sees the same order from either.
#include <sigc++/sigc++.h>

#include <deque>
#include <nlohmann/json.hpp>
#include <vector>

#include "host/ebase.h"
#include "host/frontend.h"

namespace box {

// The tuning results the plug-in gets: lock, no lock within the time-out,
// replaced by a newer tune.
constexpr int kLocked = 0, kTimedOut = -110, kCancelled = -125;

class TuneAnswers : public sigc::trackable {
 public:
  struct Answer {
    eTransponder* tp = nullptr;
    int freqKHz = 0;
    int err = 0;
  };
  explicit TuneAnswers(eFrontend& owner);

  // A newer tune replaced a: its answer (-125) follows from the loop, never
  // from inside the tune that replaced it.
  void cancel(const Answer& a);
  // Sends a out now; traced with extra beside its frequency and result.
  void deliver(const Answer& a, const nlohmann::json& extra = nlohmann::json::object());
  // tp is going away: no queued answer names it, and an answer going out
  // for it has its event name none.
  void forget(const eTransponder* tp);

 private:
  void deliverCancelled();

  eFrontend& owner;
  // Answers can nest (a receiver's loop sees later tunes answered), so the
  // transponders being delivered form a stack, innermost last.
  std::vector<eTransponder*> delivering;
  std::deque<Answer> cancelled;
  eTimer cancelTimer{eApp};
};

}  // namespace box
