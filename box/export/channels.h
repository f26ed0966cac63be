#pragma once
// What the kept service list holds, as the channel files other tools read
// want it: each service with the transponder it is received on. The list
// keeps services by reference (orbital position, frequency in MHz, ids) and
// transponders by their tuning values, so a service is placed on the kept
// transponder at its orbital position nearest its MHz, within that
// transponder's tolerance (box/dvb/keptindex.h).
#include <cstddef>
#include <string>
#include <vector>

#include "box/dvb/seen.h"
#include "host/dvb.h"

namespace box {

struct ExportTransponder {
  int freqKHz = 0, srSym = 0, pol = 0, fec = 0, orbital = 0;
  bool dvbs2 = false;
  std::string modulation;  // "QPSK", "8PSK", "16APSK", "32APSK"; "" unknown
  Seen seen = {};
};

struct ExportService {
  size_t transponder = 0;  // index into ChannelList::transponders
  std::string name, provider;
  int sid = 0, tsid = 0, onid = 0, type = 1;
  bool scrambled = false;
  Seen seen = {};
};

struct ChannelList {
  // By orbital position, frequency, polarisation, symbol rate.
  std::vector<ExportTransponder> transponders;
  // By transponder, then service id.
  std::vector<ExportService> services;
  size_t unplaced = 0;   // services whose transponder the list does not hold
  size_t ambiguous = 0;  // services near more than one kept transponder (both polarisations)
};

// The delivery system a real tuner noted for a transponder; the simulated
// front end is DVB-S only, so a transponder without one is DVB-S (QPSK).
ChannelList channelList(const eTransponderList& list);

// FEC as the list keeps it (0 auto, 1 1/2, 2 2/3, 3 3/4, 4 5/6, 5 7/8, 6 8/9,
// 7 3/5, 8 4/5, 9 9/10): the code rate's numerator and denominator, {0, 0}
// for auto or a value out of range.
struct CodeRate {
  int num = 0, den = 0;
};
CodeRate codeRate(int fec);

// The service's name as every channel file writes it: control bytes (which
// would end or garble a line) as spaces, and a name that is then blank as
// "SID n", so that readers which skip nameless entries, or take the next
// field for the name, still keep the service with its own fields.
std::string exportName(const ExportService& s);

}  // namespace box
