#pragma once
// The simulated front end: a demodulator in front of the band. A tune
// answers after the lock time (0) or the time-out (-110) on the box clock; a
// tune issued while another is in flight cancels that one (-125). Every
// answer goes out through tunedIn and is followed by DVB event 0. After a
// lock it finds the locked carrier's services in the band, as a real tuner
// reads them from the transponder's tables.
#include <sigc++/sigc++.h>

#include <vector>

#include "box/dvb/answers.h"
#include "box/dvb/band.h"
#include "box/dvb/frontend.h"
#include "box/dvb/sim/model.h"
#include "host/ebase.h"
#include "host/frontend.h"

namespace box::sim {

class SimFrontend : public Frontend, public sigc::trackable {
 public:
  explicit SimFrontend(const Band& band);
  ~SimFrontend() override;
  // The dish turned to another band: nothing tuned there yet.
  void look(const Band& other);

  // Each reading advances its own stream's index, so the Nth SNR read after
  // a tune is the same whatever else was read.
  int SNR() override;
  int SignalStrength() override;
  int Locked() override { return locked ? 1 : 0; }
  int tune(eTransponder* tp) override;

  // For the status widget: readings that take nothing from the SNR and AGC
  // streams the plug-in reads.
  int peekSNR() override;
  int peekSignalStrength() override;
  void forget(const eTransponder* tp) override;
  void findServices(const eTransponder& tp, ServicesRead done) override;
  void stopFinding() override;

 private:
  using Answer = TuneAnswers::Answer;
  // The carrier locked now (index into the band), or -1.
  int lockedCarrier() const { return locked ? carrier : -1; }
  void report(FrontendReading::Kind kind, int value) const;
  void deliverPending();
  void deliverFound();

  const Band* sky;  // the band the dish points at
  TunedParams tuned;
  int carrier = -1;  // what the current tune locks on, once it has
  bool locked = false;
  uint32_t snrReads = 0, agcReads = 0, peeks = 0;
  uint64_t tunes = 0;
  Answer pending;
  TuneAnswers answers{*this};
  eTimer answerTimer{eApp};
  std::vector<FoundService> found;  // what findServices hands over next
  ServicesRead foundDone;
  eTimer foundTimer{eApp};
};

}  // namespace box::sim
