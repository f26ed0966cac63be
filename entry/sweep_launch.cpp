#include "entry/sweep_launch.h"

#include "host/eerror.h"

// Until the sweep window runs here, the parameters are only reported.
void runSweep(const char* start, const char* end, const char* step, const char* sr, int pol) {
  eDebug("sweep %s %s %s %s %d", start, end, step, sr, pol);
}
