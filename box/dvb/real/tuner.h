#pragma once
// A real DVB-S/S2 front end driven through libdvbv5, polled from the main
// loop (a short timer), never from a thread. While a tune or a table read is
// in flight the loop follows the wall clock (box::beginDeviceWait), so the
// lock time-out and the table limits are real time: box::wallMs, which a
// test replaces with a clock it moves.
#include <sigc++/sigc++.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "box/dvb/answers.h"
#include "box/dvb/frontend.h"
#include "box/dvb/real/tables.h"
#include "box/dvb/realtuner.h"
#include "host/ebase.h"

#include "box/dvb/real/readings.h"

namespace box::real {

// The front-end device as the tuner logic sees it: libdvbv5 on a real
// adapter (device.cpp), a scripted one in tests.
class Device {
 public:
  enum System { dvbs, dvbs2 };
  virtual ~Device() = default;
  // Sets the delivery system and the satellite parameters (frequency kHz at
  // the dish, symbol rate, polarisation), FEC, modulation and roll-off
  // automatic; the LNB and DiSEqC settings turn them into the tuner's. 0, or
  // the errno of a refusal.
  virtual int set(System system, const struct eTransponder::satellite& s) = 0;
  // The status bits (FE_HAS_*) with the statistics read together; false
  // when the device answers nothing.
  virtual bool read(unsigned* status, Stat* strength, Stat* cnr) = 0;
  // The modulation the demodulator found ("QPSK", "8PSK", "16APSK",
  // "32APSK"), asked after a lock; "" when it does not say.
  virtual std::string modulation() { return ""; }
};

constexpr unsigned kHasSignal = 0x01, kHasCarrier = 0x02, kHasLock = 0x10;

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
  int64_t deadline = 0;  // wall clock, ms
  bool waiting = false;
  eTimer timer{eApp};
};

class RealFrontend : public Frontend, public sigc::trackable {
 public:
  RealFrontend(std::unique_ptr<Device> device, int demuxFd, const TunerOptions& options, bool offersS2,
               const Lnb& lnb = Lnb());
  ~RealFrontend() override;

  int SNR() override;
  int SignalStrength() override;
  int Locked() override;
  int tune(eTransponder* tp) override;
  void forget(const eTransponder* tp) override;
  // The status widget's reads are not reported as readings.
  int peekSNR() override { return snrNow(false); }
  int peekSignalStrength() override { return strengthNow(false); }
  void findServices(const eTransponder& tp, ServicesRead done) override;
  void stopFinding() override { tables.stop(); }
  void play(const eServiceReference& ref) override;

 private:
  using Answer = TuneAnswers::Answer;
  unsigned status(Stat* strength = nullptr, Stat* cnr = nullptr);
  int snrNow(bool report);
  int strengthNow(bool report);
  int startAttempt();
  void poll();
  void answer(int err);
  void setWaiting(bool on);

  std::unique_ptr<Device> device;
  TunerOptions options;
  Lnb lnb;
  std::vector<Device::System> systems;  // what a tune tries, in order
  size_t attempt = 0;
  int64_t deadline = 0, attemptDeadline = 0;  // wall clock, ms
  struct eTransponder::satellite tuned;
  std::string lockedSystem, lockedModulation;  // of the last lock
  Answer pending;
  bool waiting = false;
  TuneAnswers answers{*this};
  std::unique_ptr<eTransponder> playing;  // what play tuned
  TableReader tables;
  eTimer pollTimer{eApp};
};

}  // namespace box::real
