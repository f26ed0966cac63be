#include "entry/sweep_launch.h"

#include "host/eerror.h"
#include "host/ewidget.h"

// Until the sweep window runs here, the parameters are only reported.
void runSweep(eWidget* dialog, const char* start, const char* end, const char* step, const char* sr, int pol) {
  dialog->hide();
  eDebug("sweep %s %s %s %s %d", start, end, step, sr, pol);
  dialog->show();
}
