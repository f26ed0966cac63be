#include "entry/evantrel.h"

#include <cstdio>
#include <cstring>

#include "host/eerror.h"
#include "host/i18n.h"
#include "sweep/scan4transp.h"

namespace {

const int kFreqStart[5] = {1, 0, 7, 0, 0};
const int kFreqEnd[5] = {1, 2, 7, 5, 0};
const int kSymbolRate[5] = {2, 7, 5, 0, 0};

eLabel* makeLabel(eWidget* parent, const char* name, ePoint pos, eSize size, const char* text) {
  eLabel* l = new eLabel(parent, 0, 0);
  l->setName(name);
  l->move(pos);
  l->resize(size);
  l->setText(text);
  l->loadDeco();
  return l;
}

eNumber* makeNumber(eWidget* parent, const char* name, ePoint pos, const int* initial, eLabel* descr) {
  int init[5];
  std::memcpy(init, initial, sizeof init);
  eNumber* n = new eNumber(parent, 5, 0, 9, 1, init, 0, descr, 1);
  n->move(pos);
  n->resize(eSize(120, 30));
  n->loadDeco();
  n->setName(name);
  return n;
}

}  // namespace

eVantrel::eVantrel() : eWindow(1) {
  move(ePoint(100, 10));
  resize(eSize(520, 376));
  setText("Vantrel by Tessmar v 0.1.0.beta");
  const int W = getClientSize().w, H = getClientSize().h;

  // The labels after the first are 60 high and reach into the next row: meant,
  // the dialog is laid out as the host's plug-in's.
  lFreqStart = makeLabel(this, "lFreqStart", ePoint(10, 30), eSize(150, 30), _("Frequenza iniziale:"));
  freqStart = makeNumber(this, "freqStart", ePoint(170, 25), kFreqStart, lFreqStart);
  lFreqEnd = makeLabel(this, "lFreqEnd", ePoint(10, 60), eSize(150, 60), _("Frequenza finale:"));
  freqEnd = makeNumber(this, "freqEnd", ePoint(170, 55), kFreqEnd, lFreqEnd);
  lSymbolRate = makeLabel(this, "lSymbolRate", ePoint(10, 90), eSize(150, 60), _("Symbol Rate:"));
  symbolRate = makeNumber(this, "symbolRate", ePoint(170, 85), kSymbolRate, lSymbolRate);
  lStep = makeLabel(this, "lStep", ePoint(10, 120), eSize(150, 60), _("Step scansione:"));
  int step[5];
  std::memset(step, 0, sizeof step);
  step[4] = 3;
  valStep = makeNumber(this, "valStep", ePoint(170, 115), step, lStep);
  lpolarita = makeLabel(this, "lpolarita", ePoint(10, 150), eSize(150, 60), _("Polarità:"));

  polarita = new eListBox<eListBoxEntryText>(this, lpolarita, 1, eListBoxEntryText::getEntryHeight());
  polarita->move(ePoint(170, 145));
  polarita->resize(eSize(120, 34));
  polarita->setName("polarita");
  polarita->setFlags(1);
  polarita->loadDeco();
  new eListBoxEntryText(polarita, _("orizzontale"), 0);
  new eListBoxEntryText(polarita, _("verticale"), 1);

  freqStart->selected.connect(sigc::mem_fun(*this, &eVantrel::nextField0));
  freqEnd->selected.connect(sigc::mem_fun(*this, &eVantrel::nextField0));
  valStep->selected.connect(sigc::mem_fun(*this, &eVantrel::nextField0));

  bAvvia = new eButton(this, nullptr, 1);
  bAvvia->move(ePoint(W - 140, H - 40));
  bAvvia->resize(eSize(130, 30));
  bAvvia->setShortcut("green");
  bAvvia->setShortcutPixmap("green");
  bAvvia->loadDeco();
  bAvvia->setText("Avvia");
  bAvvia->selected.connect(sigc::mem_fun(*this, &eVantrel::avviaScansione));

  lBottom = new eLabel(this, 0, 0);
  lBottom->move(ePoint(140, H - 40));
  lBottom->resize(eSize(W - 240, 30));

  bAnnulla = new eButton(this, nullptr, 1);
  bAnnulla->move(ePoint(10, H - 40));
  bAnnulla->resize(eSize(130, 30));
  bAnnulla->setShortcut("red");
  bAnnulla->setShortcutPixmap("red");
  bAnnulla->loadDeco();
  bAnnulla->setText("Annulla");
  bAnnulla->selected.connect(sigc::mem_fun(*this, &eWidget::reject));

  setFocus(freqStart);
}

eVantrel::~eVantrel() = default;

void eVantrel::nextField0(int*) {
  focusNext(0);
}

void eVantrel::avviaScansione() {
  char start[6], end[6], sr[6], step[6];
  eNumber* fields[4] = {freqStart, freqEnd, symbolRate, valStep};
  char* buffers[4] = {start, end, sr, step};
  // Each entry is one digit; bounded writes keep a wider value from
  // running past the buffer.
  for (int i = 0; i < 5; ++i)
    for (int f = 0; f < 4; ++f)
      std::snprintf(buffers[f] + i, sizeof start - i, "%d", fields[f]->getNumber(i));
  int pol = polarita->getCurrent() ? polarita->getCurrent()->getKey() : 0;
  eDebug("sweep %s %s %s %s %d", start, end, step, sr, pol);
  scan4transp* sweep = new scan4transp(start, end, step, sr, pol);
  hide();
  sweep->show();
  sweep->exec();
  sweep->hide();
  show();
  delete sweep;
}
