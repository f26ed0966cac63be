#pragma once
// What the DVB layer's list keeps of a band's carriers and services: the
// simulated front end reports them so after a lock, and boot plays one so.
#include "box/dvb/band.h"
#include "host/dvb.h"

namespace box::sim {

// The reference and the record of a band's service, as a scan finds them.
eServiceReferenceDVB serviceReference(const Band& band, const BandCarrier& carrier,
                                      const BandService& service);
eServiceDVB serviceRecord(const BandService& service);
// The satellite parameters from a band file's units (MHz, ksymbols/s).
void setSatellite(eTransponder* tp, double freqMHz, int srKs, int pol, int fec, int orbitalPosition);
// The transponder the list keeps for a carrier: its nominal parameters, so
// that scans at slightly different frequencies keep it once.
void carrierTransponder(const Band& band, const BandCarrier& carrier, eTransponder* tp);

}  // namespace box::sim
