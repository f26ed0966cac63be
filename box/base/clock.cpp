#include "box/base/clock.h"

#include <chrono>
#include <thread>

namespace box {
namespace {
ManualClock* gManual = nullptr;
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

}  // namespace box
