// The DVB layer's widgets: a transponder's parameters, and the front end's
// live status.
#include "host/dvbwidgets.h"

#include "host/elabel.h"
#include "host/eprogress.h"
#include "host/frontend.h"

struct eTransponderWidget::Impl {
  eLabel* line = nullptr;
  struct eTransponder::satellite values;
};

eTransponderWidget::eTransponderWidget(eWidget* parent, int edit, int type)
    : eWidget(parent, 0), impl(new Impl) {
  (void)edit;
  (void)type;
  impl->line = new eLabel(this);
  impl->line->move(ePoint(10, 10));
  impl->line->resize(eSize(480, 30));
}

eTransponderWidget::~eTransponderWidget() {
  delete impl;
}

int eTransponderWidget::load() {
  return 0;
}

int eTransponderWidget::setTransponder(eTransponder* tp) {
  if (!tp) return -1;
  const auto& s = tp->satellite;
  if (s.frequency < 0 || s.frequency > 99999999 || s.symbol_rate < 0 || s.symbol_rate > 99999999) return -1;
  impl->values = s;
  impl->line->setText(eString::sprintf("%d MHz  %d ksym/s  %s  FEC %d", s.frequency / 1000,
                                       s.symbol_rate / 1000, s.polarisation ? "V" : "H", s.fec));
  return 0;
}

int eTransponderWidget::getTransponder(eTransponder* tp) {
  if (!tp) return -1;
  tp->satellite = impl->values;
  return 0;
}

eFEStatusWidget::eFEStatusWidget(eWidget* parent, eFrontend* fe_)
    : eWidget(parent, 0), fe(fe_), updateTimer(eApp) {
  p_snr = new eProgress(this);
  p_agc = new eProgress(this);
  l_snr = new eLabel(this);
  l_agc = new eLabel(this);
  lock = new eLabel(this);
  updateTimer.timeout.connect(sigc::mem_fun(*this, &eFEStatusWidget::update));
}

eFEStatusWidget::~eFEStatusWidget() = default;

int eFEStatusWidget::eventHandler(const eWidgetEvent& event) {
  return eWidget::eventHandler(event);
}

void eFEStatusWidget::update() {}
