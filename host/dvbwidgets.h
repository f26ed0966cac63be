#pragma once
// Widgets of the DVB layer.
#include "dvb.h"
#include "ebase.h"
#include "ewidget.h"

#pragma GCC visibility push(default)

class eLabel;
class eProgress;
class eFrontend;

// Shows (and, when editable, edits) a transponder: frequency, symbol rate,
// polarisation and FEC.
class eTransponderWidget : public eWidget {
 public:
  eTransponderWidget(eWidget* parent, int edit, int type);
  ~eTransponderWidget() override;
  const char* typeName() const override { return "eTransponderWidget"; }
  int load();
  // 0 when the widget could take (and so shows) the transponder.
  int setTransponder(eTransponder* tp);
  // Writes the widget's values into tp; 0 when they form a transponder.
  int getTransponder(eTransponder* tp);

  struct Impl;
  Impl* impl;  // the box's
};

// Live signal-strength and SNR bars and the lock state, refreshed by its own timer.
class eFEStatusWidget : public eWidget {
 public:
  eFEStatusWidget(eWidget* parent, eFrontend* fe);
  ~eFEStatusWidget() override;
  const char* typeName() const override { return "eFEStatusWidget"; }
  int eventHandler(const eWidgetEvent& event) override;

 private:
  void update();
  eFrontend* fe;
  eTimer updateTimer;
  eProgress *p_snr, *p_agc;
  eLabel *l_snr, *l_agc, *lock;
};

#pragma GCC visibility pop
