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
constexpr int kTimedOut = -110;              // -ETIMEDOUT
constexpr int kCancelled = -125;             // -ECANCELED
constexpr int kDefaultSymbolRateKs = 27500;  // for a rate entered as 0

}  // namespace

void scan4transp::scanFreq() {
  timer.stop();
  if (valSR == 0) valSR = kDefaultSymbolRateKs;
  freqCur += searching ? 1 : freqStep;
  if (freqCur > freqMax) {
    // End of the band (the timer is stopped above): a search still under
    // way is dropped unscanned.
    festatus->hide();
    // The text asks for "annulla" although the box's only button is OK: the
    // user confirms it and then leaves with the window's "Annulla". Meant so,
    // in Italian whatever the language, as the host's plug-in words it.
    eMessageBox box("Scansione terminata. Premere annulla per uscire", "Finito",
                    eMessageBox::iconInfo | eMessageBox::btOK, eMessageBox::btOK, 0);
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
      if (timerInterval > kPaceMs) timerInterval -= kPaceMs;
      cercaBestFreq(err == kLocked ? 1 : 0);
      timer.start(timerInterval, false);
      break;
    case kCancelled:
      measureDone = 0;
      timerInterval += kPaceMs;
      tp->tune();
      break;
    default:
      break;  // anything else halts the sweep until the user leaves
  }
}

void scan4transp::handleEventDvb(const eDVBEvent& event) {
  if (event.type != eDVBEvent::eventTunedIn) return;
  // Plotted at the frequency last set, not the one this event is about:
  // after a search, the reading of the tune that ended it lands on the
  // scanned frequency. Intended: the host's plug-in plots it there too.
  eFrontend* fe = eFrontend::getInstance();
  const int strength = fe->SignalStrength();
  const int snr = fe->SNR();
  disegnaSpettro(int(unsigned(tpScan.satellite.frequency) / 1000u), strength, snr);
  measureDone = 1;
  if (exitPending) close(0);
}

void scan4transp::cercaBestFreq(int locked) {
  // The samples of the search in progress. Like the plotting's state they
  // belong to the plug-in, not to one window, and every search starts by
  // clearing them.
  static int indice = 0;
  static SearchSample samples[kSearchSamples];
  if (locked) {
    if (!searching) {
      searching = 1;
      indice = 0;
      std::memset(samples, 0, sizeof samples);
    }
    getSNRandFreq(samples, indice);
    ++indice;
    if (indice == kSearchSamples) {
      const int best = findMaxSNR(samples);
      searching = 0;
      sintonizzaTransponder(samples[best].frequencyKHz);
    }
    return;
  }
  if (!searching) return;
  // A time-out ends the search with the samples taken so far; those it did
  // not reach still hold zeros.
  const int best = findMaxSNR(samples);
  searching = 0;
  sintonizzaTransponder(samples[best].frequencyKHz);
}

void scan4transp::getSNRandFreq(SearchSample* samples, int i) {
  eFrontend* fe = eFrontend::getInstance();
  int sum = 0;
  for (int n = 0; n < kSnrReads; ++n) sum += fe->SNR();
  samples[i].snr = sum / kSnrReads;
  samples[i].frequencyKHz = tpScan.satellite.frequency;
}

int scan4transp::findMaxSNR(const SearchSample* samples) {
  int max = 0, best = 0;
  for (int i = 0; i < kSearchSamples; ++i)
    if (samples[i].snr > max) {
      max = samples[i].snr;
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
