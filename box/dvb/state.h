#pragma once
// The box-side state of the DVB layer, shared by its parts.
#include <string>

#include "box/dvb/band.h"
#include "box/dvb/frontend.h"
#include "host/dvb.h"

namespace box::dvb {

// The band booted, whichever front end stands behind it: its name, orbital
// position, what plays at boot and the gap between the services a scan
// reports. nullptr before bootDvb.
const Band* band();

// Traces the event and emits it on eDVB::instance.
void emitEvent(const eDVBEvent& event);

// A service a scan found, kept: the transponder it came on is the kept one
// it matches (keptindex.h; else one kept with the same ids that this run has
// not seen yet, which moved), brought up to date, else a new one; the
// service is the kept one on it with the same ids, its name and provider
// updated. Both are noted as seen now. ref: the reference the list keeps it
// by (the kept one's, which may name the MHz it was first found at).
struct Found {
  eServiceReferenceDVB ref;
  bool transponderNew = false, serviceNew = false;  // first found by this run
  bool wasKept = false;                             // the list held the service before this report
  std::string oldName;                              // its name before this run renamed it, or ""
  struct eTransponder::satellite transponder = {};  // the kept transponder, as it is now
};
Found keepFound(const FoundService& f);

// What this run's scans found, for foundSummary(): a visit per scanned
// transponder, and the services reported on it.
void recordVisit(const eTransponder& tp, bool locked);
void recordService(const eTransponder& tp, const eServiceDVB& service, const Found& kept);

// The DVB instance's list changed (other lists are not kept): what changed
// is written at the next save.
void transponderAdded(const eTransponderList& list, const eTransponder& tp);
void serviceAdded(const eTransponderList& list, const eServiceReferenceDVB& ref);
// Saves what changed since the last save; a failure is reported on stderr.
void saveServiceList();

}  // namespace box::dvb
