// The sweep's engine: one step per timer expiry, the reading that follows
// each tune, and the search for the best frequency around a lock.
#include <cstring>

#include "feedscan/scan4feed.h"
#include "host/dvbwidgets.h"
#include "host/emessage.h"
#include "host/frontend.h"
#include "sweep/scan4transp.h"

namespace {

constexpr int kLocked = 0;
constexpr int kTimedOut = -110;   // -ETIMEDOUT
constexpr int kCancelled = -125;  // -ECANCELED

}  // namespace

void scan4transp::scanFreq() {
  timer.stop();
  if (valSR == 0) valSR = 27500;
  freqCur += searching ? 1 : freqStep;
  if (freqCur > freqMax) {
    // End of the band (the timer is stopped above): a search still under
    // way is dropped unscanned.
    festatus->hide();
    eMessageBox box("Scansione terminata. Premere annulla per uscire", "Finito", 17, 1, 0);
    box.show();
    box.exec();
    box.hide();
    return;
  }
  // The span is 0 only when the entered start is one above the end and the
  // step is 0 (any other step has already passed the end above): nothing
  // is left to sweep, so the progress is full instead of a division by zero.
  const int span = freqMax - freqMin;
  perc = span == 0 ? 100 : 100 - ((freqMax - freqCur) * 100) / span;
  tpScan.setSatellite(freqCur * 1000, valSR * 1000, pol, fec, orbPos, 0);
  aggiornaInformazioniSchermo();
  sintonizza();
}

void scan4transp::sintonizza() {
  // What is tuned is what the transponder widget gives back.
  if (tpW->getTransponder(&tpScan) != 0) return;
  measureDone = 0;
  tpScan.tune();
}

void scan4transp::tunedIn(eTransponder* tp, int err) {
  if (ignoreTuned) return;
  timer.stop();
  switch (err) {
    case kLocked:
    case kTimedOut:
      if (timerInterval > 100) timerInterval -= 100;
      cercaBestFreq(err == kLocked ? 1 : 0);
      timer.start(timerInterval, false);
      break;
    case kCancelled:
      measureDone = 0;
      timerInterval += 100;
      tp->tune();
      break;
    default:
      break;  // anything else halts the sweep until the user leaves
  }
}

void scan4transp::handleEventDvb(const eDVBEvent& event) {
  if (event.type != eDVBEvent::eventTunedIn) return;
  eFrontend* fe = eFrontend::getInstance();
  const int strength = fe->SignalStrength();
  const int snr = fe->SNR();
  disegnaSpettro(int(unsigned(tpScan.satellite.frequency) / 1000u), strength, snr);
  measureDone = 1;
  if (exitPending) close(0);
}

void scan4transp::cercaBestFreq(int locked) {
  // The samples of the search in progress: averaged SNR and frequency in
  // kHz. Like the plotting's state they belong to the plug-in, not to one
  // window, and every search starts by clearing them.
  static int indice = 0;
  static int valSNR[10][2];
  if (locked) {
    if (!searching) {
      searching = 1;
      indice = 0;
      std::memset(valSNR, 0, sizeof valSNR);
    }
    getSNRandFreq(valSNR, indice);
    ++indice;
    if (indice == 10) {
      const int best = findMaxSNR(valSNR);
      searching = 0;
      sintonizzaTransponder(valSNR[best][1]);
    }
    return;
  }
  if (!searching) return;
  // A time-out ends the search with the samples taken so far; rows it did
  // not reach still hold zeros.
  const int best = findMaxSNR(valSNR);
  searching = 0;
  sintonizzaTransponder(valSNR[best][1]);
}

void scan4transp::getSNRandFreq(int (*rows)[2], int i) {
  eFrontend* fe = eFrontend::getInstance();
  int sum = 0;
  for (int n = 0; n < 20; ++n) sum += fe->SNR();
  rows[i][0] = sum / 20;
  rows[i][1] = tpScan.satellite.frequency;
}

int scan4transp::findMaxSNR(int (*rows)[2]) {
  int max = 0, best = 0;
  for (int i = 0; i < 10; ++i)
    if (rows[i][0] > max) {
      max = rows[i][0];
      best = i;
    }
  return best;
}

void scan4transp::sintonizzaTransponder(int frequencyKHz) {
  ignoreTuned = 1;
  eDVB::getInstance()->setMode(eDVB::modeScan);
  tpScan.setSatellite(frequencyKHz, valSR * 1000, pol, fec, orbPos, 0);
  scan4feed* scan = new scan4feed(&tpScan);
  hide();
  scan->show();
  scan->exec();
  scan->hide();
  delete scan;
  show();
  eDVB::getInstance()->setMode(eDVB::modeTV);
  ignoreTuned = 0;
}
