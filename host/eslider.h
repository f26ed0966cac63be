#pragma once
#include "ewidget.h"

#pragma GCC visibility push(default)

// A horizontal slider from min to max; left/right move it while focused.
class eSlider : public eWidget {
 public:
  eSlider(eWidget* parent, eWidget* descr = nullptr, int min = 0, int max = 0);
  ~eSlider() override;
  int keyDown(int key) override;
  void gotFocus() override;
  void lostFocus() override;
  void redrawWidget(gPainter* target, const eRect& area) override;
  const char* typeName() const override { return "eSlider"; }

  void setMin(int min);
  void setMax(int max);      // a maximum below the minimum is taken as the minimum
  void setValue(int value);  // clamped; emits changed when the value moves
  void setStep(int step) { this->step = step > 0 ? step : 1; }
  int getValue() const { return value; }
  int getMin() const { return min; }
  int getMax() const { return max; }

  sigc::signal<void(int)> changed;

 protected:
  eWidget* descr;
  int min, max, value = 0, step = 10;
};

#pragma GCC visibility pop
