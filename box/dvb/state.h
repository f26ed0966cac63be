#pragma once
// The box-side state of the DVB layer, shared by its parts.
#include <string>

#include "box/dvb/band.h"
#include "host/dvb.h"

namespace box::dvb {

// The band booted, whichever front end stands behind it: its name, orbital
// position, what plays at boot and the gap between the services a scan
// reports. nullptr before bootDvb.
const Band* band();

// Traces the event and emits it on eDVB::instance.
void emitEvent(const eDVBEvent& event);

// What this run's scans found, for foundSummary(): a visit per scanned
// transponder, and the services reported on it.
void recordVisit(const eTransponder& tp, bool locked);
void recordService(const eTransponder& tp, const eServiceDVB& service);

// The DVB instance's list changed (other lists are not kept): what changed
// is written at the next save.
void transponderAdded(const eTransponderList& list, const eTransponder& tp);
void serviceAdded(const eTransponderList& list, const eServiceReferenceDVB& ref);
// Saves what changed since the last save; a failure is reported on stderr.
void saveServiceList();

}  // namespace box::dvb
