#pragma once
// A real DVB-S/S2 front end driven through libdvbv5, polled from the main
// loop (a short timer), never from a thread. While a tune or a table read is
// in flight the loop follows the wall clock (box::beginDeviceWait), so the
// lock time-out and the table limits are real time.
#include <sigc++/sigc++.h>

#include <chrono>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "box/dvb/frontend.h"
#include "box/dvb/real/tables.h"
#include "box/dvb/realtuner.h"
#include "host/ebase.h"

struct dvb_v5_fe_parms;

namespace box::real {

using Clock = std::chrono::steady_clock;

// Reads PAT, SDT and NIT one after another from the demux, each within its
// limit, and hands over what they hold.
class TableReader : public sigc::trackable {
 public:
  explicit TableReader(int demuxFd);
  ~TableReader();
  void start(const eTransponder& tp, Frontend::ServicesRead done);
  void stop();

 private:
  void poll();
  void next();
  void finish();
  int fd;
  size_t step = 0;
  std::vector<SectionSet> sets;
  struct eTransponder::satellite tuned;
  Frontend::ServicesRead done;
  Clock::time_point deadline;
  bool waiting = false;
  eTimer timer{eApp};
};

class RealFrontend : public Frontend, public sigc::trackable {
 public:
  RealFrontend(dvb_v5_fe_parms* parms, int demuxFd, const TunerOptions& options, bool offersS2);
  ~RealFrontend() override;

  int SNR() override;
  int SignalStrength() override;
  int Locked() override;
  int tune(eTransponder* tp) override;
  void forget(const eTransponder* tp) override;
  int peekSNR() override { return SNR(); }
  int peekSignalStrength() override { return SignalStrength(); }
  bool readsTables() const override { return true; }
  void findServices(const eTransponder& tp, ServicesRead done) override;
  void stopFinding() override { tables.stop(); }
  void play(const eServiceReference& ref) override;

 private:
  struct Answer {
    eTransponder* tp = nullptr;
    int freqKHz = 0;
    int err = 0;
  };
  unsigned status();
  bool startAttempt();
  void poll();
  void answer(int err);
  void deliverCancelled();
  void deliver(const Answer& a);
  void setWaiting(bool on);

  dvb_v5_fe_parms* parms;
  TunerOptions options;
  std::vector<unsigned> systems;  // what a tune tries, in order
  size_t attempt = 0;
  Clock::time_point deadline, attemptDeadline;
  struct eTransponder::satellite tuned;
  std::string lockedSystem;  // of the last lock, for the trace
  Answer pending;
  bool waiting = false;
  std::vector<eTransponder*> delivering;  // answers going out, innermost last
  std::deque<Answer> cancelled;
  std::unique_ptr<eTransponder> playing;  // what play tuned
  TableReader tables;
  eTimer pollTimer{eApp}, cancelTimer{eApp};
};

}  // namespace box::real
