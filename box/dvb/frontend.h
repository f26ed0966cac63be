#pragma once
// The seam between the DVB layer and what stands behind its front end: the
// simulated band (SimFrontend) or a real Linux tuner (real/). The scan
// controller, the transponders and the status widget talk to this class;
// only the front end knows where its answers come from.
#include <functional>
#include <vector>

#include "host/dvb.h"
#include "host/frontend.h"

namespace box {

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

  // A front end that reads the transponder's tables itself (a real tuner);
  // the simulated one leaves that to the band.
  virtual bool readsTables() const { return false; }
  using ServicesRead = std::function<void(std::vector<FoundService>)>;
  // After a lock on tp: reads what it carries and calls done once, later,
  // from the main loop (never from inside this call).
  virtual void findServices(const eTransponder& /*tp*/, ServicesRead done) { done({}); }
  // Stops a read started by findServices; done is then not called.
  virtual void stopFinding() {}
  // The service interface plays ref: a real tuner tunes its transponder.
  virtual void play(const eServiceReference& /*ref*/) {}
};

}  // namespace box
