// Bringing the DVB layer up and down.
#include "box/dvb/boot.h"

#include "host/dvb.h"

namespace box {

bool bootDvb(const DvbOptions& options, std::string* error) {
  (void)options;
  (void)error;
  if (!eDVB::instance) new eDVB;
  return true;
}

void shutdownDvb() {
  delete eDVB::instance;
}

std::string foundSummary() {
  return "No transponder was scanned.\n";
}

}  // namespace box
