// Remote-control key names, as key scripts and the trace write them.
#include "host/rc.h"

#include <cstring>

namespace rc {
namespace {
const char* const kNames[count] = {"0",  "1",    "2",   "3",     "4",      "5",    "6",
                                   "7",  "8",    "9",   "up",    "down",   "left", "right",
                                   "ok", "exit", "red", "green", "yellow", "blue"};
}

const char* keyName(int key) {
  return key >= 0 && key < count ? kNames[key] : nullptr;
}

int keyByName(const char* name) {
  if (!name) return -1;
  for (int k = 0; k < count; ++k)
    if (std::strcmp(kNames[k], name) == 0) return k;
  return -1;
}

}  // namespace rc
