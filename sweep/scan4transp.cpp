// The sweep window itself: its children, the start of the sweep, "Annulla",
// and handing the box back what it was playing.
#include "sweep/scan4transp.h"

#include <cstdlib>

#include "graph/egrafico.h"
#include "host/decoder.h"
#include "host/dvbwidgets.h"
#include "host/ebutton.h"
#include "host/elabel.h"
#include "host/eprogress.h"
#include "host/eskin.h"
#include "host/frontend.h"
#include "host/service.h"

namespace {

// The orbital position swept when nothing played before (13.0 E).
constexpr int kNothingPlayingOrbitalPosition = 130;

}  // namespace

scan4transp::scan4transp(const char* start, const char* end, const char* step, const char* symbolRate,
                         int polarisation)
    : eWindow(0),
      timer(eApp),
      // No tune is outstanding before the first step, so "Annulla" may close
      // the window at once until then.
      measureDone(1),
      tpSaved(nullptr),
      tpScan(*eDVB::getInstance()->getTransponders()),
      colorAGC(0),
      colorSNR(0) {
  // One below the start, so that a step of 1 tunes the start first.
  freqMin = std::atoi(start) - 1;
  freqMax = std::atoi(end);
  freqStep = std::atoi(step);
  valSR = std::atoi(symbolRate);
  pol = polarisation;

  move(ePoint(100, 10));
  resize(eSize(520, 476));
  setText("Vantrel at work...shhh non disturbare ;-)");
  const int W = getClientSize().w, H = getClientSize().h;

  tpW = new eTransponderWidget(this, 0, 10);
  tpW->setName("tpW");
  tpW->move(ePoint(0, 0));
  tpW->cresize(eSize(W, 170));

  festatus = new eFEStatusWidget(this, eFrontend::getInstance());
  festatus->setName("festatus");
  festatus->cmove(ePoint(0, 170));
  festatus->cresize(eSize(W, 100));

  lb_range = new eLabel(this, 0, 0, "eLabel");
  lb_range->move(ePoint(10, 280));
  lb_range->resize(eSize(W - 10, 30));
  lb_range->setName("lb_range");
  // The range shown starts one below the start entered (freqMin), and the
  // graph placed below covers all of the label but its top rows: both meant,
  // the box's users know the window so from the host's plug-in.
  lb_range->setText(eString::sprintf("Range di frequenze: %d - %d", freqMin, freqMax));
  lb_range->loadDeco();

  progBar = new eProgress(this, 0);
  progBar->setName("progBar");
  progBar->move(ePoint(10, 260));
  progBar->resize(eSize(W - 20, 20));
  progBar->setPerc(0);

  grafico = new eGrafico(this);
  grafico->move(ePoint(10, 282));
  grafico->resize(eSize(W - 20, 120));
  grafico->setBitmapBkColor(eSkin::getActive()->queryScheme("eWindow.titleBar"));
  // Whatever band is swept, the graph opens at its start and scrolls only
  // when the user moves its slider, never along with the sweep: meant so.
  grafico->setRange(kGraphStartMHz, kGraphEndMHz, kGraphGridMHz);

  bAnnulla = new eButton(this, nullptr, 1, "eButton");
  bAnnulla->move(ePoint(10, H - 40));
  bAnnulla->resize(eSize(100, 30));
  bAnnulla->setShortcut("red");
  bAnnulla->setShortcutPixmap("red");
  bAnnulla->loadDeco();
  bAnnulla->setText("Annulla");
  bAnnulla->selected.connect(sigc::mem_fun(*this, &scan4transp::fermaScanFreq));

  timerInterval = kFirstStepMs;
  fec = 0;
  oldX = -1;
  perc = 0;
  ignoreTuned = 0;
  searching = 0;
  exitPending = 0;

  colorAGC = eSkin::getActive()->queryColor("std_green");
  colorSNR = eSkin::getActive()->queryColor("std_white");

  setFocus(grafico);
  avviaScanFreq();
}

scan4transp::~scan4transp() {
  delete tpSaved;
}

void scan4transp::avviaScanFreq() {
  tpSaved = new eTransponder(*eDVB::getInstance()->getTransponders());
  eTransponderList::getInstance()->leaveTransponder(nullptr);

  eDVBServiceController* sapi = eDVB::getInstance()->getServiceAPI();
  Decoder::Flush();
  Decoder::locked = 1;
  savedService = eServiceInterface::getInstance()->service;

  if (sapi && sapi->transponder) {
    const auto& s = sapi->transponder->satellite;
    tpSaved->setSatellite(s.frequency, s.symbol_rate, s.polarisation, s.fec, s.orbital_position, 0);
    orbPos = s.orbital_position;
  } else {
    orbPos = kNothingPlayingOrbitalPosition;
  }

  tpW->load();
  tpW->show();
  freqCur = freqMin;

  eFrontend::getInstance()->tunedIn.connect(sigc::mem_fun(*this, &scan4transp::tunedIn));
  eDVB::getInstance()->event.connect(sigc::mem_fun(*this, &scan4transp::handleEventDvb));
  timer.timeout.connect(sigc::mem_fun(*this, &scan4transp::scanFreq));
  timer.start(timerInterval, false);
}

void scan4transp::fermaScanFreq() {
  timer.stop();
  if (measureDone)
    close(0);
  else
    exitPending = 1;  // closes once the reading of the tune in flight is in
}

int scan4transp::eventHandler(const eWidgetEvent& event) {
  switch (event.type) {
    case eWidgetEvent::willClose:
      timer.stop();
      break;
    case eWidgetEvent::execDone:
      timer.stop();
      preparaUscita();
      break;
    default:
      break;
  }
  return eWindow::eventHandler(event);
}

void scan4transp::preparaUscita() {
  exitPending = 0;
  eDVB::getInstance()->setMode(eDVB::modeTV);
  // The decoders are held only once per sweep: a repeated end of the run
  // gives back nothing more than the TV mode.
  if (!Decoder::locked) return;
  Decoder::locked = 0;

  eTransponderList::getInstance()->leaveTransponder(nullptr);
  tpW->setTransponder(tpSaved);
  if (tpW->getTransponder(tpSaved) == 0) {
    ignoreTuned = 1;
    measureDone = 0;
    tpSaved->tune();
    ignoreTuned = 0;
  }

  if (savedService.type == eServiceReference::idInvalid) return;
  eServiceInterface::getInstance()->service = eServiceReference();
  eServiceInterface::getInstance()->play(savedService);
}
