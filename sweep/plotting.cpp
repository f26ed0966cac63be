// Turning the sweep's readings and progress into pixels.
#include "graph/egrafico.h"
#include "host/dvbwidgets.h"
#include "host/eprogress.h"
#include "sweep/scan4transp.h"

namespace {

// Rows grow downward as the reading falls: 0 gives the bottom edge, the full
// scale 65535 the top row. Single precision, truncated toward zero.
int rowOf(int reading, int height) {
  return height - int(float(height) * (float(reading) / 65535.0f));
}

}  // namespace

void scan4transp::disegnaSpettro(int frequencyMHz, int strength, int snr) {
  // These outlive the window: each new window restarts them from the bottom
  // edge at its first point.
  static int oldysAGC = 0;
  static int oldysSNR = 0;
  static int hUtileBmp = 0;

  const int x = frequencyMHz - kGraphStartMHz;
  if (oldX == -1) {
    hUtileBmp = grafico->hBmp;
    oldysSNR = hUtileBmp;
    oldysAGC = hUtileBmp;
  }
  // oldX takes this column before the AGC segment starts from it, so that
  // segment is vertical like the SNR one instead of joining the previous
  // reading: meant so, it is the picture the host's plug-in draws.
  oldX = x;
  const int yAGC = rowOf(strength, hUtileBmp);
  const int ySNR = rowOf(snr, hUtileBmp);
  // One redraw for both segments: the SNR one asks for none.
  grafico->line(x, oldysSNR, x, ySNR, colorSNR, 1);
  grafico->line(oldX, oldysAGC, x, yAGC, colorAGC, 0);
  oldysSNR = ySNR;
  oldysAGC = yAGC;
}

void scan4transp::aggiornaInformazioniSchermo() {
  // Kept across windows, so a new sweep whose first percentage equals the
  // last one sent leaves its bar at 0 until the percentage changes.
  static int oldPerc = 0;
  if (perc != oldPerc) {
    progBar->setPerc(perc);
    oldPerc = perc;
  }
  tpW->setTransponder(&tpScan);
}
