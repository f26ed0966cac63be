#pragma once
// The sweep window: walks a band step by step, plots signal strength and SNR
// on the spectrum graph, searches the best frequency around every lock and
// scans it for services, and gives the box back what it was playing when the
// window's run ends.
#include "host/dvb.h"
#include "host/ebase.h"
#include "host/ewindow.h"
#include "host/gpixmap.h"

class eButton;
class eFEStatusWidget;
class eGrafico;
class eLabel;
class eProgress;
class eTransponderWidget;

class scan4transp : public eWindow {
 public:
  // The best-frequency search: from a lock on, one sample a MHz, each the
  // average of kSnrReads SNR reads, until kSearchSamples are taken or a tune
  // times out; the best sample's frequency is scanned.
  static constexpr int kSearchSamples = 10;
  static constexpr int kSnrReads = 20;
  struct SearchSample {
    int snr;           // the average of kSnrReads reads
    int frequencyKHz;  // as tuned
  };

  // The sweep's clock: the first step comes kFirstStepMs after the start;
  // every answer to a tune shortens the wait for the next step by kPaceMs,
  // down to kPaceMs, and every cancelled tune lengthens it by as much.
  static constexpr int kFirstStepMs = 2500;
  static constexpr int kPaceMs = 100;

  // Decimal texts (MHz, MHz, MHz, ksymbols/s), read during construction
  // only, and the polarisation key (0 horizontal, 1 vertical). The sweep's
  // clock starts here.
  scan4transp(const char* start, const char* end, const char* step, const char* symbolRate, int polarisation);
  ~scan4transp() override;

  int eventHandler(const eWidgetEvent& event) override;

  void avviaScanFreq();
  void fermaScanFreq();
  void preparaUscita();

  // Stepping and the best-frequency search.
  void scanFreq();
  void sintonizza();
  void tunedIn(eTransponder* tp, int err);
  void handleEventDvb(const eDVBEvent& event);
  void cercaBestFreq(int locked);
  void getSNRandFreq(SearchSample* samples, int i);
  // The index of the first sample with the highest SNR; 0 when all are 0.
  int findMaxSNR(const SearchSample* samples);
  void sintonizzaTransponder(int frequencyKHz);

  // Plotting.
  void disegnaSpettro(int frequencyMHz, int strength, int snr);
  void aggiornaInformazioniSchermo();

 private:
  eLabel* lb_range;
  eButton* bAnnulla;
  eProgress* progBar;
  eTimer timer;
  int oldX;
  int freqMin, freqMax, freqStep, valSR, pol, fec, orbPos, freqCur, perc;
  int measureDone, ignoreTuned, exitPending, searching;
  int timerInterval;
  eTransponder* tpSaved;
  eTransponder tpScan;
  eTransponderWidget* tpW;
  eFEStatusWidget* festatus;
  eServiceReference savedService;
  eGrafico* grafico;
  gColor colorAGC;
  gColor colorSNR;
};
