#include "feedscan/scan4feed.h"

#include <climits>
#include <cstdio>

#include "host/dvb.h"
#include "host/eerror.h"
#include "host/eskin.h"
#include "host/i18n.h"

namespace {

eDVBScanController* scanController() {
  eDVB* dvb = eDVB::getInstance();
  return dvb ? dvb->getScanAPI() : nullptr;
}

eTransponderList* transponderList() {
  eDVB* dvb = eDVB::getInstance();
  return dvb ? dvb->getTransponders() : nullptr;
}

eLabel* makeLabel(eWidget* parent, const char* name) {
  eLabel* label = new eLabel(parent, 0, 0, "eLabel");
  label->setName(name);
  return label;
}

}  // namespace

scan4feed::scan4feed(eTransponder* tp) : eWindow(0), timer(eApp), transponder(tp) {
  setText("Vantrel:");
  // Creation order is drawing order. The code never places a child: the
  // skin finds each one by its name. "transponder_scanned" and "state" are
  // never written: they keep the skin's captions, as in the host's plug-in.
  services_scanned = makeLabel(this, "services_scanned");
  transponder_scanned = makeLabel(this, "transponder_scanned");
  time_left = makeLabel(this, "time_left");
  service_name = makeLabel(this, "service_name");
  service_provider = makeLabel(this, "service_provider");
  transponder_data = makeLabel(this, "transponder_data");
  scan_progress = new eProgress(this, 0);
  scan_progress->setName("scan_progress");
  state = makeLabel(this, "state");
  bAnnulla = new eButton(this, nullptr, 1, "eButton");
  bAnnulla->setName("Annulla");

  bAnnulla->selected.connect(sigc::mem_fun(*this, &eWidget::reject));

  {
    // A broken skin leaves the children unplaced but the window usable, so
    // the scan still runs and can still be left.
    eSkin skin;
    skin.load("/var/tuxbox/plugins/vantrel.esml");
    if (skin.build(this, "scan4feed")) eFatal("skin load of \"scan4feed\" failed");
  }

  eDVB* dvb = eDVB::getInstance();
  if (dvb) dvb->event.connect(sigc::mem_fun(*this, &scan4feed::dvbEvent));
  timer.timeout.connect(sigc::mem_fun(*this, &scan4feed::updateTime));
  if (eTransponderList* list = transponderList())
    list->service_found.connect(sigc::mem_fun(*this, &scan4feed::serviceFound));
  startScan();
}

scan4feed::~scan4feed() {
  timer.stop();
}

void scan4feed::startScan() {
  eDVBScanController* scan = scanController();
  if (!scan) {
    eWarning("no scan active");
    return;
  }
  if (transponder) scan->addTransponder(*transponder);
  scan->setUseONIT(0);
  scan->setUseBAT(0);
  scan->setNetworkSearch(0);
  scan->setOnlyFree(0);
  scan->setSkipOtherOrbitalPositions(1);
}

int scan4feed::eventHandler(const eWidgetEvent& event) {
  eDVBScanController* scan = scanController();
  switch (event.type) {
    case eWidgetEvent::execBegin:
      secondsElapsed = 0;
      if (scan) {
        scan->start();
      } else {
        eWarning("no scan active");
        close(1);
      }
      return 0;
    case eWidgetEvent::execDone:
      // Also after a scan that ended by itself: abort is how the controller
      // learns that nobody is listening any more.
      if (scan) scan->abort();
      return 1;
    default:
      return eWindow::eventHandler(event);
  }
}

void scan4feed::showProgress() {
  const int64_t sum = int64_t(transpondersLeft) + transpondersScanned;
  int perc = 0;
  if (transpondersScanned > 0 && transpondersLeft == 0)
    perc = 100;  // the formula below can fall just short of 100 here
  else if (transpondersScanned > 0 && sum > 0)
    perc = int(100.0 / double(sum) * transpondersScanned);
  scan_progress->setPerc(perc);
}

// The window relies on no "transponder done" event of the host's: a
// transponder counts as finished when the scan moves on to the next one
// (event 5) or ends (15).
void scan4feed::finishTransponder() {
  transponderUnderWay = false;
  ++transpondersScanned;
  // More finished than were ever queued must not make the estimate negative.
  if (transpondersLeft > 0) --transpondersLeft;
  showProgress();
}

void scan4feed::dvbEvent(const eDVBEvent& event) {
  switch (unsigned(event.type)) {
    case eDVBEvent::eventTunedIn:
      // Every tune of the scan sends this; only the first one starts the clock.
      if (!timer.isActive()) timer.start(1000, false);
      break;
    case eDVBEvent::eventScanBegin: {
      eDVBScanController* scan = scanController();
      transpondersLeft = scan ? int32_t(scan->knownTransponder.size()) : 0;
      scan_progress->setPerc(0);
      transpondersScanned = 0;
      servicesFound = 0;
      transponderUnderWay = false;
      break;
    }
    case eDVBEvent::eventScanTPadded:
      ++transpondersLeft;
      showProgress();
      break;
    case eDVBEvent::eventScanTuneBegin: {
      // Moving on means the transponder before this one is finished.
      if (transponderUnderWay) finishTransponder();
      transponderUnderWay = true;
      if (!event.tp) break;
      const auto& sat = event.tp->satellite;
      const int mhz = int(uint32_t(sat.frequency) / 1000u);
      const int ksyms = int(uint32_t(sat.symbol_rate) / 1000u);
      // "Horizontal" stays in English while "Vertical" is translated, and
      // "Mhz" is spelt so: meant, the text reads as the host's plug-in's.
      const char* pol = sat.polarisation == 0 ? "Horizontal" : _("Vertical");
      char text[128];
      std::snprintf(text, sizeof text, "%d Mhz / %d ksyms / %s", mhz, ksyms, pol);
      transponder_data->setText(text);
      break;
    }
    case eDVBEvent::eventScanCompleted:
      if (transponderUnderWay) finishTransponder();
      timer.stop();
      reject();
      break;
    default:
      break;
  }
}

void scan4feed::serviceFound(const eServiceReferenceDVB& service, bool) {
  ++servicesFound;
  char count[16];
  std::snprintf(count, sizeof count, "%i", servicesFound);
  services_scanned->setText(count);

  eTransponderList* list = transponderList();
  const eServiceDVB* record = list ? list->searchService(service) : nullptr;
  service_name->setText(record ? record->service_name : eString(kUnknown));
  service_provider->setText(record ? record->service_provider : eString(kUnknown));
}

void scan4feed::updateTime() {
  ++secondsElapsed;
  char text[128];
  if (transpondersScanned <= 0) {
    // Nothing finished yet: no average time per transponder to go on.
    std::snprintf(text, sizeof text, "%s", _("no estimate of the time left yet"));
  } else {
    const double estimate = double(secondsElapsed) / transpondersScanned * transpondersLeft;
    const int t = estimate >= double(INT_MAX) ? INT_MAX : int(estimate);
    if (t > 59) {
      const int minutes = t / 60;
      std::snprintf(text, sizeof text, _("%02i minutes and %02i seconds left"), minutes, t - 60 * minutes);
    } else {
      std::snprintf(text, sizeof text, _("%02i seconds left"), t);
    }
  }
  time_left->setText(text);
}
