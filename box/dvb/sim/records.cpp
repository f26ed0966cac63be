#include "box/dvb/sim/records.h"
#include "box/dvb/mhz.h"

#include <cmath>

namespace box::sim {

eServiceReferenceDVB serviceReference(const Band& band, const BandCarrier& carrier,
                                      const BandService& service) {
  eServiceReferenceDVB ref;
  ref.data[0] = service.type;
  ref.data[1] = service.sid;
  ref.data[2] = carrier.tsid;
  ref.data[3] = carrier.onid;
  ref.data[4] = band.orbitalPosition;
  ref.data[5] = wholeMHz(int(std::lround(carrier.freqMHz * 1000)));
  ref.descr = service.name;
  return ref;
}

eServiceDVB serviceRecord(const BandService& service) {
  eServiceDVB record;
  record.service_name = service.name;
  record.service_provider = service.provider;
  record.service_type = service.type;
  record.scrambled = service.scrambled;
  return record;
}

void setSatellite(eTransponder* tp, double freqMHz, int srKs, int pol, int fec, int orbitalPosition) {
  auto& s = tp->satellite;
  s.valid = true;
  s.frequency = int(std::lround(freqMHz * 1000));
  s.symbol_rate = srKs * 1000;
  s.polarisation = pol;
  s.fec = fec;
  s.orbital_position = orbitalPosition;
  s.inversion = 0;
}

void carrierTransponder(const Band& band, const BandCarrier& carrier, eTransponder* tp) {
  setSatellite(tp, carrier.freqMHz, carrier.srKs, carrier.pol, carrier.fec, band.orbitalPosition);
}

}  // namespace box::sim
