#include "graph/egrafico.h"

#include <algorithm>

#include "host/einit.h"
#include "host/elabel.h"
#include "host/eskin.h"
#include "host/eslider.h"
#include "host/grc.h"

eGrafico::eGrafico(eWidget* parent) : eWidget(parent, 0) {
  startFreq = kGraphStartMHz;
  endFreq = kGraphEndMHz;
  stepFreq = kGraphGridMHz;
  bitmapBkColor = gColor(0);
  bmp = nullptr;
  offsetX = 0;
  setFont(parent->getFont());
  setForegroundColor(parent->foregroundColor, true);
  setBackgroundColor(parent->backgroundColor, true);
}

eGrafico::~eGrafico() {
  delete bmp;
  bmp = nullptr;
}

int eGrafico::eventHandler(const eWidgetEvent& event) {
  int result = eWidget::eventHandler(event);
  if (event.type != eWidgetEvent::changedSize) return result;
  // The owner sizes a graph once; a later size only moves the existing
  // children instead of stacking a second set on top of them.
  const int W = getClientSize().w, Hc = getClientSize().h;
  const int fs = getFont().pointSize;
  hBmp = Hc - 2 * fs;
  yTop = 2;
  yBmp = 22;
  yScale = hBmp + 22;
  if (!lLeft) {
    lLeft = new eLabel(this, 0, 0, "eLabel");
    lLeft->setText("<");
  }
  lLeft->move(ePoint(0, yTop));
  lLeft->resize(eSize(fs, fs));
  if (!lRight) {
    lRight = new eLabel(this, 0, 0, "eLabel");
    lRight->setText(">");
  }
  lRight->move(ePoint(W - fs, yTop));
  lRight->resize(eSize(fs, fs));
  if (!slider) {
    slider = new eSlider(this, lLeft, 0, 0);
    slider->changed.connect(sigc::mem_fun(*this, &eGrafico::sliderChanged));
  }
  slider->move(ePoint(fs, yTop));
  slider->resize(eSize(W - 2 * fs, 18));
  return result;
}

void eGrafico::setRange(int start, int end, int step) {
  stepFreq = step;
  startFreq = start;
  endFreq = end;
  rangeWidth = end - start;
  const int widthPx = rangeWidth + 2 * step;
  gImage* fresh = new gImage(eSize(widthPx, hBmp), 8);
  delete bmp;
  bmp = fresh;
  bmp->fill(eRect(0, 0, widthPx, hBmp), bitmapBkColor);
  for (int x = step; x < rangeWidth; x += step) {
    gColor white = eSkin::getActive() ? eSkin::getActive()->queryColor("std_white") : gColor(0);
    bmp->line(ePoint(x, 0), ePoint(x, hBmp), white);
  }
  // A range narrower than the graph has nothing to scroll.
  if (slider) slider->setMax(std::max(0, rangeWidth - getClientSize().w));
}

void eGrafico::setBitmapBkColor(gColor color) {
  bitmapBkColor = color;
  setRange(startFreq, endFreq, stepFreq);
}

void eGrafico::line(int x1, int y1, int x2, int y2, gColor color, int noRedraw) {
  if (!bmp) return;  // not sized and ranged yet: there is nothing to draw into
  bmp->line(ePoint(x1, y1), ePoint(x2, y2), color);
  if (noRedraw != 0) return;
  invalidate(eRect(0, 0, 0, 0), 0);
  redrawRequested.emit();
}

void eGrafico::redrawWidget(gPainter* painter, const eRect& area) {
  // Before the first range there is no scale and no image: the host's
  // background is all there is.
  if (!bmp) return;
  for (int x = 0; x < rangeWidth; x += stepFreq) redrawFrequenza(painter, x, area);
  painter->blit(bmp->lock(), ePoint(offsetX, yBmp), area);
  bmp->unlock();
}

void eGrafico::redrawFrequenza(gPainter* painter, int x, const eRect& area) {
  const int xs = x + offsetX;
  if (xs < area.left() || xs > area.right()) return;
  const eRect r(xs, yScale, 90, 30);
  painter->clip(r);
  painter->setForegroundColor(foregroundColor);
  painter->setBackgroundColor(backgroundColor);
  painter->setFont(getFont());
  eString label;
  label.setNum(startFreq + x, 10);
  painter->renderText(r, label, 0);
  painter->clippop();
}

void eGrafico::sliderChanged(int value) {
  offsetX = -value;
  invalidate(eRect(0, 0, 0, 0), 0);
}

namespace {

eWidget* create_eGrafico(eWidget* parent) {
  return new eGrafico(parent);
}

// Makes "eGrafico" a type that skin layouts can place.
class eGraficoSkinInit {
 public:
  eGraficoSkinInit() { eSkin::addWidgetCreator("eGrafico", create_eGrafico); }
  ~eGraficoSkinInit() { eSkin::removeWidgetCreator("eGrafico", create_eGrafico); }
};

eAutoInitP0<eGraficoSkinInit> init_eGraficoSkinInit(25, "eGrafico");

}  // namespace
