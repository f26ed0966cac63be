// Hunt plans. Keys (R: required), as strict as a band file's:
//   rounds          int 0..1000000, default 1 (0: until --max-time or an interrupt)
//   every_minutes   int 0..525600, default 0: from one round's start to the next's
//   sweeps       R  array of 1..1000 objects:
//     start R, end R  int 1..99999 MHz, end not below start (the dialog takes five digits)
//     step R          int 1..99999 MHz
//     symbol_rate R   int 1000..45000 ksymbols/s
//     polarisation R  "H", "V" or "both" (H, then V)
//     position        "13.0E", "30.0W": the orbital position the dish turns to (a --band must lie
//                     there); default: where the dish is
//     diseqc          int 0..3, the switch port
#include "box/runner/hunt.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "box/base/clock.h"
#include "box/base/loop.h"
#include "box/base/tr.h"
#include "box/dvb/boot.h"
#include "box/dvb/jsoncheck.h"
#include "box/dvb/state.h"
#include "host/rc.h"

namespace box {
namespace {

using jsoncheck::Checker;
// Plans are shallow (an object, its sweeps, a sweep); anything deeper is refused early.
constexpr int kMaxPlanDepth = 8;
using jsoncheck::join;
using json = nlohmann::json;

constexpr size_t kMaxSweeps = 1000;
// What a person waits at most for a sweep to reach the end of the band.
constexpr int64_t kSweepLimitMs = 24LL * 3600 * 1000;

// "13.0E", "30.0W": degrees with one decimal, at most 180.0.
bool parsePosition(const std::string& text, int* tenths) {
  const size_t dot = text.find('.');
  if (dot == std::string::npos || dot == 0 || dot > 3 || text.size() != dot + 3) return false;
  int value = 0;
  for (size_t i = 0; i < dot + 2; ++i) {
    if (i == dot) continue;
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  const char side = text[dot + 2];
  if ((side != 'E' && side != 'W') || value > 1800) return false;
  *tenths = side == 'W' ? -value : value;
  return true;
}

bool readSweep(Checker& c, const JsonPositions& positions, const json& v, const std::string& path,
               HuntSweep* s) {
  if (!c.object(v, path, {"start", "end", "step", "symbol_rate", "polarisation", "position", "diseqc"},
                {"start", "end", "step", "symbol_rate", "polarisation"}))
    return false;
  int pol = 0;
  std::string position;
  if (!c.integer(v, path, "start", 1, 99999, &s->startMHz) ||
      !c.integer(v, path, "end", 1, 99999, &s->endMHz) ||
      !c.integer(v, path, "step", 1, 99999, &s->stepMHz) ||
      !c.integer(v, path, "symbol_rate", 1000, 45000, &s->srKs) ||
      !c.choice(v, path, "polarisation", {"H", "V", "both"}, &pol) ||
      !c.text(v, path, "position", 1, 16, &position) || !c.integer(v, path, "diseqc", 0, 3, &s->diseqc))
    return false;
  if (s->endMHz < s->startMHz) return c.fail(join(path, "end"), trf("must not be below %s", "start"));
  s->pols = pol == 2 ? std::vector<int>{0, 1} : std::vector<int>{pol};
  int tenths = 0;
  if (v.contains("position")) {
    if (!parsePosition(position, &tenths))
      return c.fail(join(path, "position"), tr("must be an orbital position such as 13.0E or 30.0W"));
    s->position = tenths;
    s->positionLine = positions.line(join(path, "position"));
  }
  s->path = path;
  return true;
}

bool readPlan(Checker& c, const JsonPositions& positions, const json& root, HuntPlan* plan) {
  if (!c.object(root, "", {"rounds", "every_minutes", "sweeps"}, {"sweeps"}) ||
      !c.integer(root, "", "rounds", 0, 1000000, &plan->rounds) ||
      !c.integer(root, "", "every_minutes", 0, 525600, &plan->everyMinutes))
    return false;
  const json& sweeps = root["sweeps"];
  if (!sweeps.is_array()) return c.fail("sweeps", tr("must be an array"));
  if (sweeps.empty() || sweeps.size() > kMaxSweeps)
    return c.fail("sweeps", trf("must hold 1 to %zu sweeps", kMaxSweeps));
  for (size_t i = 0; i < sweeps.size(); ++i) {
    HuntSweep s;
    if (!readSweep(c, positions, sweeps[i], "sweeps[" + std::to_string(i) + "]", &s)) return false;
    plan->sweeps.push_back(std::move(s));
  }
  return true;
}

Step key(int k) {
  Step s;
  s.kind = Step::Key;
  s.key = k;
  return s;
}

Step pause(int64_t ms) {
  Step s;
  s.kind = Step::Wait;
  s.ms = ms;
  return s;
}

// Each field of the dialog takes five digits, leading zeros included.
void digits(int value, std::vector<Step>* steps) {
  char text[8];
  std::snprintf(text, sizeof text, "%05d", value);
  for (int i = 0; i < 5; ++i) steps->push_back(key(rc::k0 + (text[i] - '0')));
}

}  // namespace

bool parseHunt(const std::string& fileText, const std::string& fileName, HuntPlan* plan, std::string* error) {
  HuntPlan parsed;
  if (!jsoncheck::checkDocument(fileText, fileName, kMaxPlanDepth, error,
                                [&](Checker& c, const JsonPositions& positions, const json& root) {
                                  return readPlan(c, positions, root, &parsed);
                                }))
    return false;
  parsed.file = fileName;
  *plan = std::move(parsed);
  return true;
}

bool loadHunt(const std::string& path, HuntPlan* plan, std::string* error) {
  std::string text;
  // A plan is far smaller than a band; the band's bound is ample.
  return readWholeFile(path, &text, error, kMaxBandBytes) && parseHunt(text, path, plan, error);
}

std::vector<Step> sweepSteps(const HuntSweep& sweep, int pol, DialogFocus* focus) {
  std::vector<Step> steps;
  if (focus->onPolarisation) {
    // Up on the list moves its choice while it can, then the focus: back
    // to horizontal, then up through step, symbol rate and end to start.
    const int ups = (focus->shown == 1 ? 1 : 0) + 4;
    for (int i = 0; i < ups; ++i) steps.push_back(key(rc::up));
  }
  // Start and end move on by themselves after five digits; the symbol rate
  // does not, so down takes the focus to the step, whose five digits move it
  // on to the polarisation.
  digits(sweep.startMHz, &steps);
  digits(sweep.endMHz, &steps);
  digits(sweep.srKs, &steps);
  steps.push_back(key(rc::down));
  digits(sweep.stepMHz, &steps);
  if (pol == 1) steps.push_back(key(rc::down));
  steps.push_back(key(rc::green));
  Step end;
  end.kind = Step::WaitText;
  end.text = "Scansione terminata";
  end.ms = kSweepLimitMs;
  steps.push_back(end);
  for (const Step& s : {key(rc::ok), pause(200), key(rc::red), pause(500)}) steps.push_back(s);
  *focus = {true, pol};
  return steps;
}

HuntDriver::HuntDriver(const HuntPlan& plan_, bool wallClock_, const LongTimer* limit,
                       std::optional<Motor> motor_)
    : plan(plan_), wallClock(wallClock_), player({}, "", limit), motor(motor_) {
  // The dish starts where the first band lies, as the box came up.
  if (const Band* band = dvb::band()) dishAt = band->orbitalPosition;
  motorTimer.timeout.connect(sigc::mem_fun(*this, &HuntDriver::dishArrived));
  for (size_t i = 0; i < plan.sweeps.size(); ++i)
    for (int pol : plan.sweeps[i].pols) legs.push_back({i, pol});
  player.finished.connect(sigc::mem_fun(*this, &HuntDriver::sweepDone));
  timer.timeout.connect(sigc::mem_fun(*this, &HuntDriver::roundWaitOver));
  startRound();
}

HuntDriver::~HuntDriver() {
  releaseWall();
}

// On a real tuner box time jumps over the plug-in's waits: a wait of the
// hunt's own (the next round, the dish turning), held as a device wait,
// follows the wall clock.
void HuntDriver::holdWall() {
  if (!wallClock || holdingWall) return;
  beginDeviceWait();
  holdingWall = true;
}

void HuntDriver::releaseWall() {
  if (!holdingWall) return;
  endDeviceWait();
  holdingWall = false;
}

void HuntDriver::startRound() {
  ++round;
  roundStart = wallClock ? wallMs() : eApp->now();
  leg = 0;
  startSweep();
}

void HuntDriver::startSweep() {
  const HuntSweep& sweep = plan.sweeps[legs[leg].sweep];
  selectSwitchPort(sweep.diseqc);
  if (sweep.position && motor && (*sweep.position != dishAt || !dishSent)) {
    if (!turnDish(*sweep.position)) leave();
    return;
  }
  if (sweep.position) pointDish(*sweep.position);
  beginSweep();
}

// The first goto goes out even where the box believes the dish already
// points: a dish someone turned by hand is then where the plan wants it.
bool HuntDriver::turnDish(int position) {
  const double from = usalsAngle(motor->site, dishAt / 10.0), to = usalsAngle(motor->site, position / 10.0);
  if (int err = sendDiseqc(usalsGoto(to))) {
    std::fprintf(stderr, "hunt: %s\n",
                 trf("the positioner's command to %s was refused (%s)", positionName(position).c_str(),
                     std::strerror(err))
                     .c_str());
    return false;
  }
  const int64_t ms = motorMoveMs(from, to, motor->degreesPerSecond);
  if (ms > 0)
    std::fprintf(stderr, "hunt: %s\n",
                 trf("turning the dish from %s to %s (%.1f degrees, %lld s)", positionName(dishAt).c_str(),
                     positionName(position).c_str(), std::fabs(to - from), (long long)((ms + 999) / 1000))
                     .c_str());
  dishAt = position;
  dishSent = true;
  holdWall();
  motorTimer.start(ms);
  return true;
}

void HuntDriver::dishArrived() {
  releaseWall();
  pointDish(dishAt);
  beginSweep();
}

void HuntDriver::beginSweep() {
  sweepStart = eApp->now();
  const FoundCounts counts = foundCounts();
  lockedBefore = counts.locked;
  newBefore = counts.newTransponders;
  player.play(sweepSteps(plan.sweeps[legs[leg].sweep], legs[leg].pol, &focus));
}

void HuntDriver::sweepDone() {
  if (leaving) return;
  const HuntSweep& sweep = plan.sweeps[legs[leg].sweep];
  const FoundCounts counts = foundCounts();
  const size_t found = counts.locked - lockedBefore, fresh = counts.newTransponders - newBefore;
  const int64_t took = (eApp->now() - sweepStart) / 1000;
  const Band* band = dvb::band();
  const std::string roundText = plan.rounds ? trf("round %d/%d", round, plan.rounds) : trf("round %d", round);
  std::fprintf(stderr, "hunt: %s\n",
               trf("%s, sweep %zu/%zu (%s %d-%d MHz %s %d): %s, %s, %s", roundText.c_str(), leg + 1,
                   legs.size(), band ? positionName(band->orbitalPosition).c_str() : "-", sweep.startMHz,
                   sweep.endMHz, legs[leg].pol ? "V" : "H", sweep.srKs,
                   trnf("%zu transponder", "%zu transponders", found, found).c_str(),
                   trnf("%zu new", "%zu new", fresh, fresh).c_str(),
                   trf("%lld min %lld s", (long long)(took / 60), (long long)(took % 60)).c_str())
                   .c_str());
  if (++leg < legs.size()) return startSweep();
  if (plan.rounds && round >= plan.rounds) return leave();
  const int64_t every = int64_t(plan.everyMinutes) * 60000;
  const int64_t left = every - ((wallClock ? wallMs() : eApp->now()) - roundStart);
  if (left <= 0) return startRound();
  holdWall();
  timer.start(left);
}

// The dialog is showing, as each sweep leaves it: red leaves the plug-in.
void HuntDriver::leave() {
  leaving = true;
  player.play({key(rc::red)});
}

void HuntDriver::roundWaitOver() {
  releaseWall();
  startRound();
}

void HuntDriver::stop() {
  leaving = true;
  player.stop();
  timer.stop();
  motorTimer.stop();
  releaseWall();
}

}  // namespace box
