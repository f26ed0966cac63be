// The DVB layer's widgets: a transponder's parameters, and the front end's
// live status.
#include <algorithm>

#include "box/base/tr.h"
#include "box/dvb/frontend.h"
#include "box/dvb/mhz.h"
#include "host/dvbwidgets.h"
#include "host/elabel.h"
#include "host/eprogress.h"
#include "host/frontend.h"
#include "host/i18n.h"

namespace {

// The largest values the widget's five-digit fields can show.
constexpr int kMaxFreqKHz = 99999999, kMaxSymbolRate = 99999999, kMaxFec = 9;

const char* fecName(int fec) {
  static const char* names[] = {"Auto", "1/2", "2/3", "3/4", "5/6", "7/8", "8/9", "3/5", "4/5", "9/10"};
  return fec >= 0 && fec <= kMaxFec ? names[fec] : "?";
}

// A status bar that is refreshed a few times a second: it sets its value
// without tracing, which would flood the trace with the widget's own ticks.
class StatusBar : public eProgress {
 public:
  explicit StatusBar(eWidget* parent) : eProgress(parent) {}
  void set(int percent) {
    if (percent == perc) return;
    perc = percent;
    invalidate();
  }
};

constexpr int kStatusIntervalMs = 500;
// After this long without a tune the readings only show noise, so the widget
// stops ticking: a timer that never ends would keep the virtual clock from
// ever finding the box idle.
constexpr int64_t kQuietAfterMs = 5000;

// Box time of the latest tune answer, for every status widget.
int64_t gLastTuneAt = 0;

}  // namespace

struct eTransponderWidget::Impl {
  eLabel* freq = nullptr;
  eLabel* rate = nullptr;
  eLabel* pol = nullptr;
  eLabel* fec = nullptr;
  struct eTransponder::satellite values;
  bool valid = false;  // the widget holds a transponder it could show
  eSize laidOutFor{-1, -1};

  // Four rows, one per parameter, across the widget's width.
  void layout(eSize client) {
    if (client == laidOutFor) return;
    laidOutFor = client;
    eLabel* rows[] = {freq, rate, pol, fec};
    int width = std::max(client.w - 20, 100);
    for (int i = 0; i < 4; ++i) {
      rows[i]->move(ePoint(10, 5 + 35 * i));
      rows[i]->resize(eSize(width, 30));
    }
  }
};

eTransponderWidget::eTransponderWidget(eWidget* parent, int edit, int type)
    : eWidget(parent, 0), impl(new Impl) {
  // The box's widget only shows; edit and type choose editing fields and
  // the delivery system on a real box.
  (void)edit;
  (void)type;
  // It has nothing to show before load(): it stays hidden until its owner
  // has loaded it and shows it.
  shown = false;
  impl->freq = new eLabel(this);
  impl->rate = new eLabel(this);
  impl->pol = new eLabel(this);
  impl->fec = new eLabel(this);
  impl->freq->setName("tp_frequency");
  impl->rate->setName("tp_symbolrate");
  impl->pol->setName("tp_polarisation");
  impl->fec->setName("tp_fec");
}

eTransponderWidget::~eTransponderWidget() {
  delete impl;
}

int eTransponderWidget::load() {
  impl->layout(getClientSize());
  if (!impl->valid) {
    impl->freq->setText(_("Frequency: -"));
    impl->rate->setText(box::tr("Symbol rate: -"));
    impl->pol->setText(_("Polarisation: -"));
    impl->fec->setText("FEC: -");
  }
  return 0;
}

int eTransponderWidget::setTransponder(eTransponder* tp) {
  // A refused transponder also empties the widget, so that getTransponder
  // can never hand back the previous one in its place.
  impl->valid = false;
  bool ok = tp && tp->satellite.valid;
  if (ok) {
    const auto& s = tp->satellite;
    ok = s.frequency > 0 && s.frequency <= kMaxFreqKHz && s.symbol_rate > 0 &&
         s.symbol_rate <= kMaxSymbolRate && (s.polarisation == 0 || s.polarisation == 1) && s.fec >= 0 &&
         s.fec <= kMaxFec;
  }
  if (!ok) {
    load();
    return -1;
  }
  const auto& s = tp->satellite;
  impl->layout(getClientSize());
  impl->values = s;
  impl->valid = true;
  impl->freq->setText(eString::sprintf(_("Frequency: %d MHz"), box::wholeMHz(s.frequency)));
  impl->rate->setText(eString::sprintf(box::tr("Symbol rate: %d ksym/s"), s.symbol_rate / 1000));
  impl->pol->setText(s.polarisation ? _("Polarisation: vertical") : _("Polarisation: horizontal"));
  impl->fec->setText(eString::sprintf("FEC: %s", fecName(s.fec)));
  return 0;
}

int eTransponderWidget::getTransponder(eTransponder* tp) {
  if (!tp || !impl->valid) return -1;
  tp->satellite = impl->values;
  return 0;
}

eFEStatusWidget::eFEStatusWidget(eWidget* parent, eFrontend* fe_)
    : eWidget(parent, 0), fe(fe_), updateTimer(eApp) {
  p_snr = new StatusBar(this);
  p_agc = new StatusBar(this);
  l_snr = new eLabel(this);
  l_agc = new eLabel(this);
  lock = new eLabel(this);
  p_snr->setName("fe_snr");
  p_agc->setName("fe_agc");
  l_snr->setName("fe_snr_text");
  l_agc->setName("fe_agc_text");
  lock->setName("fe_lock");
  updateTimer.timeout.connect(sigc::mem_fun(*this, &eFEStatusWidget::update));
  if (fe)
    fe->tunedIn.connect(sigc::track_obj(
        [this](eTransponder*, int) {
          gLastTuneAt = eApp ? eApp->now() : 0;
          if (isShown() && !updateTimer.isActive()) updateTimer.start(kStatusIntervalMs, false);
        },
        *this));
  // A child is shown with its parent from the start, so the ticks start now.
  gLastTuneAt = eApp ? eApp->now() : 0;
  updateTimer.start(kStatusIntervalMs, false);
}

eFEStatusWidget::~eFEStatusWidget() = default;

int eFEStatusWidget::eventHandler(const eWidgetEvent& event) {
  switch (event.type) {
    case eWidgetEvent::changedSize: {
      eSize s = getClientSize();
      int barWidth = std::max(s.w - 250, 20);
      l_snr->move(ePoint(10, 5));
      l_snr->resize(eSize(120, 28));
      p_snr->move(ePoint(140, 10));
      p_snr->resize(eSize(barWidth, 18));
      l_agc->move(ePoint(10, 37));
      l_agc->resize(eSize(120, 28));
      p_agc->move(ePoint(140, 42));
      p_agc->resize(eSize(barWidth, 18));
      lock->move(ePoint(10, 69));
      lock->resize(eSize(std::max(s.w - 20, 20), 28));
      break;
    }
    case eWidgetEvent::willShow:
      gLastTuneAt = eApp ? eApp->now() : 0;
      updateTimer.start(kStatusIntervalMs, false);
      update();
      break;
    case eWidgetEvent::willHide:
      // Hidden, it has nothing to show, and a ticking timer would keep the
      // box's virtual clock from ever seeing it is idle.
      updateTimer.stop();
      break;
    default:
      break;
  }
  return eWidget::eventHandler(event);
}

void eFEStatusWidget::update() {
  if (eApp && eApp->now() - gLastTuneAt > kQuietAfterMs) updateTimer.stop();
  if (!fe || !isVisible()) return;
  auto* sim = dynamic_cast<box::Frontend*>(fe);
  // The box's own front end offers readings that leave the plug-in's alone.
  // Another front end's readings are taken as 0..65535 whatever it returns,
  // so that the percentages below cannot overflow.
  int snr = std::clamp(sim ? sim->peekSNR() : fe->SNR(), 0, 65535);
  int agc = std::clamp(sim ? sim->peekSignalStrength() : fe->SignalStrength(), 0, 65535);
  int snrPerc = snr * 100 / 65535, agcPerc = agc * 100 / 65535;
  static_cast<StatusBar*>(p_snr)->set(snrPerc);
  static_cast<StatusBar*>(p_agc)->set(agcPerc);
  l_snr->setText(eString::sprintf("SNR: %d%%", snrPerc));
  l_agc->setText(eString::sprintf("AGC: %d%%", agcPerc));
  lock->setText(fe->Locked() ? _("Locked") : _("No lock"));
}
