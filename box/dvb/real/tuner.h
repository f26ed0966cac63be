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

// What the LNB and the switch in front of it are told: the supply voltage
// (18 V selects horizontal), the 22 kHz tone (the high band) and the DiSEqC
// port (-1: no switch).
struct SwitchSetting {
  bool voltage18 = false, tone = false;
  int diseqc = -1;
  bool operator==(const SwitchSetting& o) const {
    return voltage18 == o.voltage18 && tone == o.tone && diseqc == o.diseqc;
  }
  bool operator!=(const SwitchSetting& o) const { return !(*this == o); }
};

// The front-end device as the tuner logic sees it: libdvbv5 on a real
// adapter (device.cpp), a scripted one in tests.
class Device {
 public:
  enum System { dvbs, dvbs2 };
  virtual ~Device() = default;
  // Sets the LNB's supply and tone, after the DiSEqC switch's command where
  // there is a port, with the waits the DiSEqC bus needs. 0, or the errno of
  // a refusal.
  virtual int setSwitch(const SwitchSetting& s) = 0;
  // Tunes one-shot to tunerKHz (the LNB's intermediate frequency) with the
  // delivery system and the transponder's symbol rate, FEC, modulation and
  // roll-off automatic. 0, or the errno of a refusal.
  virtual int set(System system, uint32_t tunerKHz, const struct eTransponder::satellite& s) = 0;
  // The status bits (FE_HAS_*) with the statistics read together; false
  // when the device answers nothing.
  virtual bool read(unsigned* status, Stat* strength, Stat* cnr) = 0;
  // The modulation the demodulator found ("QPSK", "8PSK", "16APSK",
  // "32APSK"), asked after a lock; "" when it does not say.
  virtual std::string modulation() { return ""; }
};

constexpr unsigned kHasSignal = 0x01, kHasCarrier = 0x02, kHasLock = 0x10;
// A demodulator that has got as far as the Viterbi decoder or the sync has
// found a carrier, whether it says so or not.
constexpr unsigned kFoundCarrier = 0x1e;

// Reads PAT, SDT and NIT at once, each on a demux descriptor of its own
// (opened beside the one it is given) and within its limit, and hands over
// what they hold. Descriptors that cannot be opened leave their tables to
// the others, one after another.
class TableReader : public sigc::trackable {
 public:
  explicit TableReader(int demuxFd);
  ~TableReader();
  void start(const eTransponder& tp, Frontend::ServicesRead done);
  void stop();

 private:
  struct Filter {
    int fd = -1;
    int table = -1;        // what it reads (an index of the tables); -1: idle
    int64_t deadline = 0;  // wall clock, ms
  };
  bool assign(Filter& f);
  void poll();
  void readError(int pid, int err);
  void finish();
  std::vector<Filter> filters;
  size_t nextTable = 0;
  std::vector<SectionSet> sets;
  struct eTransponder::satellite tuned;
  Frontend::ServicesRead done;
  bool waiting = false, told = false;  // told: a read error was reported
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
  int switchFor(const LnbChoice& c);
  void poll();
  void answer(int err);
  void setWaiting(bool on);

  std::unique_ptr<Device> device;
  TunerOptions options;
  Lnb lnb;
  std::vector<Device::System> systems;  // what a tune tries, in order
  size_t attempt = 0;
  int64_t deadline = 0, attemptDeadline = 0, carrierDeadline = 0;  // wall clock, ms
  bool carrierSeen = false;
  uint32_t tunerKHz = 0;
  SwitchSetting switched;  // what the LNB was last told
  bool switchKnown = false;
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
