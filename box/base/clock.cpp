#include "box/base/clock.h"

#include <chrono>
#include <cstdlib>
#include <thread>

#include "box/base/fileio.h"
#include "box/base/tr.h"
#include "host/ebase.h"

namespace box {
namespace {
ManualClock* gManual = nullptr;
// The start instant less the box time that had gone by when it was fixed.
int64_t gStart = 0;

int64_t boxSeconds() {
  return eApp ? eApp->now() / 1000 : 0;
}

}  // namespace

int64_t wallMs() {
  if (gManual) return gManual->now();
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void wallSleep(int64_t ms) {
  if (ms <= 0) return;
  if (gManual)
    gManual->advance(ms);
  else
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

ManualClock::ManualClock() {
  gManual = this;
}

ManualClock::~ManualClock() {
  if (gManual == this) gManual = nullptr;
}

bool fixStartInstant(std::string* error) {
  const char* fixed = std::getenv("VANTREL_START_TIME");
  int64_t start = 0;
  if (fixed && *fixed) {
    if (!parseUtc(fixed, &start)) {
      if (error)
        *error = std::string("VANTREL_START_TIME: ") +
                 trf("'%s' is not a UTC time such as 2026-12-08T21:04:05Z", printable(fixed, 40).c_str());
      return false;
    }
  } else {
    start =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
  }
  gStart = start - boxSeconds();
  return true;
}

int64_t utcNow() {
  return gStart + boxSeconds();
}

}  // namespace box
