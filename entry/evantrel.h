#pragma once
// The parameter dialog: five inputs for a sweep and the buttons that start
// one or leave the plug-in.
#include "host/ebutton.h"
#include "host/elabel.h"
#include "host/elistbox.h"
#include "host/enumber.h"
#include "host/ewindow.h"

class eVantrel : public eWindow {
 public:
  eVantrel();
  ~eVantrel() override;

  void avviaScansione();
  void nextField0(int*);

 private:
  eButton* bAnnulla;
  eButton* bAvvia;
  eLabel* lBottom;
  eLabel* lFreqStart;
  eLabel* lFreqEnd;
  eLabel* lSymbolRate;
  eLabel* lStep;
  eLabel* lpolarita;
  eNumber* freqStart;
  eNumber* freqEnd;
  eNumber* symbolRate;
  eNumber* valStep;
  eListBox<eListBoxEntryText>* polarita;
};
