// This box was built where libdvbv5 was missing: it has the simulated band only.
#include "box/base/tr.h"
#include "box/dvb/realtuner.h"

namespace box {

std::unique_ptr<Frontend> openRealFrontend(const TunerOptions&, std::string* error) {
  *error = std::string("--adapter: ") +
           tr("this vantrel-box was built without libdvbv5 (install libdvbv5-dev and rebuild)");
  return nullptr;
}

}  // namespace box
