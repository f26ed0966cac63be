#pragma once
// Hunting unattended: a plan of sweeps, repeated in rounds, that the box
// types into the plug-in's dialog as a person would, reporting after each
// sweep what it found.
#include <sigc++/sigc++.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "box/dvb/diseqc.h"
#include "box/runner/player.h"
#include "box/runner/script.h"

namespace box {

struct HuntSweep {
  int startMHz = 0, endMHz = 0, stepMHz = 0, srKs = 0;
  std::vector<int> pols;        // 0 horizontal, 1 vertical, in the order swept
  std::optional<int> position;  // tenths of a degree, east positive; none: where the dish is
  int diseqc = -1;              // switch port 0-3, -1: none given
  std::string path;             // sweeps[N], for messages
  int positionLine = 0;         // where its position stands in the file
};

struct HuntPlan {
  std::string file;
  int rounds = 1;  // 0: until --max-time or an interrupt
  int everyMinutes = 0;
  std::vector<HuntSweep> sweeps;
};

// Parses a plan as strictly as a band file: on a fault false with *error
// naming fileName, the line, the JSON path and what is wrong.
bool parseHunt(const std::string& text, const std::string& fileName, HuntPlan* plan, std::string* error);
bool loadHunt(const std::string& path, HuntPlan* plan, std::string* error);

// The keys that set the dialog up for one sweep and run it, from where the
// focus stands: on the start frequency (the dialog as it opens), or on the
// polarisation with `shown` selected (the dialog as a sweep leaves it).
struct DialogFocus {
  bool onPolarisation = false;
  int shown = 0;
};
std::vector<Step> sweepSteps(const HuntSweep& sweep, int pol, DialogFocus* focus);

// The dish's positioner, where the plan's positions turn one.
struct Motor {
  Site site;
  double degreesPerSecond = kDefaultMotorSpeed;
};

// Plays a plan on the main loop, a sweep at a time, through a ScriptPlayer.
// Round starts lie every_minutes apart: in box time, or on the wall clock
// when wallClock (a real tuner, whose timers jump in box time). With a
// motor, a sweep at another position first turns the dish and waits for it.
class HuntDriver : public sigc::trackable {
 public:
  HuntDriver(const HuntPlan& plan, bool wallClock, const LongTimer* limit, std::optional<Motor> motor = {});
  ~HuntDriver();
  // Plays no further step (someone else leaves the plug-in).
  void stop();
  bool outputFailed() const { return player.outputFailed(); }

 private:
  void startRound();
  void startSweep();
  bool turnDish(int position);
  void dishArrived();
  void beginSweep();
  void sweepDone();
  void roundWaitOver();
  void leave();
  void holdWall();
  void releaseWall();

  const HuntPlan& plan;
  bool wallClock;
  struct Leg {
    size_t sweep;
    int pol;
  };
  std::vector<Leg> legs;  // the sweeps of a round, each polarisation on its own
  ScriptPlayer player;
  DialogFocus focus;
  int round = 0;
  size_t leg = 0;
  int64_t roundStart = 0, sweepStart = 0;  // box time, or wall time for round starts
  size_t lockedBefore = 0, newBefore = 0;
  bool leaving = false;
  bool holdingWall = false;  // a device wait is held for one of the hunt's own waits
  LongTimer timer;
  std::optional<Motor> motor;
  int dishAt = 0;         // the orbital position the dish points at (tenths, east positive)
  bool dishSent = false;  // a goto went out: the dish is where the box believes
  LongTimer motorTimer;
};

}  // namespace box
