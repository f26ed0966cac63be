#pragma once
// The seam between the DVB layer and what stands behind its front end: the
// simulated band (sim/) or a real Linux tuner (real/). The scan controller,
// the transponders and the status widget talk to this class; only the front
// end knows where its answers and the services it finds come from.
#include <cstdint>
#include <functional>
#include <vector>

#include "host/dvb.h"
#include "host/frontend.h"

namespace box {

// One reading the front end gave its caller, with what it was tuned to then:
// the box records them for the run's spectrum. The status widget's peeks are
// not readings in this sense (they tick on their own, twice a second).
struct FrontendReading {
  enum Kind { strength, snr };
  int freqKHz = 0, srSym = 0, pol = 0;
  Kind kind = strength;
  int value = 0;
  bool locked = false;
};
using ReadingListener = std::function<void(const FrontendReading&)>;
// One listener at most; an empty one stops the reports. Both backends report
// every SNR() and SignalStrength() through reportReading.
void setReadingListener(ReadingListener listener);
void reportReading(const FrontendReading& reading);

// The readings last reported, for a display that keeps no listener: the
// latest one's tuning, and the last value of each kind taken at that tuning
// (-1: none there yet).
struct LastReadings {
  FrontendReading latest;  // freqKHz 0: no reading yet
  int snr = -1, strength = -1;
};
LastReadings lastReadings();

// A service as a scan finds it, with the transponder the list keeps it on.
struct FoundService {
  eServiceReferenceDVB ref;
  eServiceDVB record;
  struct eTransponder::satellite transponder;
};

class Frontend : public eFrontend {
 public:
  // Drops the tune in flight for tp without answering it: tp is going away,
  // or the scan that started it was aborted.
  virtual void forget(const eTransponder* tp) = 0;
  // For the status widget: readings that leave the plug-in's alone.
  virtual int peekSNR() = 0;
  virtual int peekSignalStrength() = 0;

  using ServicesRead = std::function<void(std::vector<FoundService>)>;
  // After a lock on tp: finds what it carries and calls done once, later,
  // from the main loop (never from inside this call).
  virtual void findServices(const eTransponder& tp, ServicesRead done) = 0;
  // Stops a search started by findServices; done is then not called.
  virtual void stopFinding() = 0;
  // The service interface plays ref: a real tuner tunes its transponder.
  virtual void play(const eServiceReference& /*ref*/) {}
  // A DiSEqC message for the dish's equipment, a positioner's goto: the
  // simulated sky takes it and ignores it. 0, or the errno of a refusal.
  virtual int sendDiseqc(const std::vector<uint8_t>& /*message*/) { return 0; }
  // The switch port the next tunes select, 0-3; -1: the one the box was
  // started with.
  virtual void selectPort(int /*port*/) {}
};

}  // namespace box
