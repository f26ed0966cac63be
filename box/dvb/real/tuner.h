#pragma once
// A real DVB-S/S2 front end driven through libdvbv5, polled from the main
// loop (a short timer), never from a thread. While a tune or a table read is
// in flight the loop follows the wall clock (box::beginDeviceWait), so the
// lock time-out and the table limits are real time: box::wallMs, which a
// test replaces with a clock it moves.
#include <sigc++/sigc++.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
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

// The front-end device as the tuner logic sees it: libdvbv5 and the
// kernel's ioctls on a real adapter (device.cpp), a scripted card in tests.
// Errors are errnos: EAGAIN a front end not ready (its firmware not loaded),
// ENODEV one that went away (an unplugged USB card).
class Device {
 public:
  enum System { dvbs, dvbs2 };
  enum Measure { strength, cnr };
  // What a tune sets: the LNB's intermediate frequency, the transponder's
  // symbol rate and the stream filter (DTV_STREAM_ID); FEC, modulation,
  // roll-off and pilots automatic.
  struct Tuning {
    System system = dvbs;
    uint32_t tunerKHz = 0;
    int symbolRate = 0;
    uint32_t streamId = ~0U;
  };
  // What the demodulator found after a lock; fec in the host's numbering
  // (0 not told), modulation "QPSK", "8PSK", "16APSK", "32APSK" or "".
  struct Found {
    System system = dvbs;
    uint32_t tunerKHz = 0;
    int symbolRate = 0;
    std::string modulation;
    int fec = 0;
  };
  virtual ~Device() = default;
  // The device's path, for messages.
  virtual std::string name() const = 0;
  // Sets the LNB's supply and tone, after the DiSEqC switch's command where
  // there is a port, with the waits the DiSEqC bus needs. 0, or the errno of
  // a refusal (a refused voltage too).
  virtual int setSwitch(const SwitchSetting& s) = 0;
  // Sends one DiSEqC message (a positioner's command) with the tone off and
  // the bus quiet after it. 0, or the errno of a refusal.
  virtual int sendMaster(const std::vector<uint8_t>& message) = 0;
  // Tunes one-shot. 0, or the errno of a refusal (a refused delivery system
  // too).
  virtual int set(const Tuning& t) = 0;
  // The status bits (FE_HAS_*) alone, the cheapest read there is. 0 or an
  // errno.
  virtual int status(unsigned* bits) = 0;
  // The DVBv5 statistics (scale 0 where the driver has none).
  virtual void statistics(Stat* strength, Stat* cnr) = 0;
  // The old FE_READ_SIGNAL_STRENGTH / FE_READ_SNR reads; false where the
  // driver has none. Some drivers sleep in them: never called while tuning.
  virtual bool legacy(Measure m, uint16_t* value) = 0;
  // What the demodulator locked on; false when it does not say.
  virtual bool found(Found* f) = 0;
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
  // What the front end tells the user (a device gone, not ready, a
  // frequency the LNB does not receive), once each; stderr by default.
  std::function<void(const std::string&)> tell;
  // The status widget's reads are not reported as readings.
  int peekSNR() override { return snrNow(false); }
  int peekSignalStrength() override { return strengthNow(false); }
  void findServices(const eTransponder& tp, ServicesRead done) override;
  void stopFinding() override { tables.stop(); }
  void play(const eServiceReference& ref) override;
  int sendDiseqc(const std::vector<uint8_t>& message) override;
  void selectPort(int port) override;

 private:
  using Answer = TuneAnswers::Answer;
  unsigned status();
  Stat statistic(Device::Measure m);
  int snrNow(bool report);
  int strengthNow(bool report);
  int startAttempt();
  void attemptStarted(int64_t now);
  int switchFor(const LnbChoice& c);
  bool trouble(int err);
  void poll();
  void locked();
  void answer(int err);
  void setWaiting(bool on);

  std::unique_ptr<Device> device;
  TunerOptions options;
  Lnb lnb;
  std::vector<Device::System> systems;  // what a tune tries, in order
  size_t attempt = 0;
  int64_t attemptDeadline = 0, carrierDeadline = 0;  // wall clock, ms
  bool carrierSeen = false;
  bool unready = false;  // the set answered EAGAIN: tried again each poll
  bool gone = false;     // the device answered ENODEV
  bool toldUnready = false, toldOutside = false;
  uint32_t tunerKHz = 0;
  bool highBand = false;
  Device::Tuning current;  // what the try in flight set
  SwitchSetting switched;  // what the LNB was last told
  int startPort = -1;      // the command line's switch port
  bool switchKnown = false;
  struct eTransponder::satellite tuned;
  nlohmann::json lockedFields;  // what the last lock's answer traces
  Answer pending;
  bool waiting = false;
  TuneAnswers answers{*this};
  std::unique_ptr<eTransponder> playing;  // what play tuned
  TableReader tables;
  eTimer pollTimer{eApp};
};

}  // namespace box::real
