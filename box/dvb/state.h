#pragma once
// The box-side state of the DVB layer, shared by its parts.
#include <string>

#include "box/dvb/band.h"
#include "host/dvb.h"

namespace box {

class SimFrontend;

namespace dvb {

const Band* band();       // nullptr before bootDvb
SimFrontend* frontend();  // nullptr before bootDvb
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

}  // namespace dvb
}  // namespace box

namespace box::dvb {

// The reference and the record of a band's service, as a scan finds them.
eServiceReferenceDVB serviceReference(const Band& band, const BandCarrier& carrier,
                                      const BandService& service);
eServiceDVB serviceRecord(const BandService& service);
// The transponder the list keeps for a carrier: its nominal parameters, so
// that scans at slightly different frequencies keep it once.
void carrierTransponder(const Band& band, const BandCarrier& carrier, eTransponder* tp);

}  // namespace box::dvb
