#pragma once
#include "ewidget.h"

#pragma GCC visibility push(default)

// A horizontal bar showing a percentage.
class eProgress : public eWidget {
 public:
  explicit eProgress(eWidget* parent, int takefocus = 0);
  ~eProgress() override;
  void redrawWidget(gPainter* target, const eRect& area) override;
  int setProperty(const eString& prop, const eString& value) override;
  const char* typeName() const override { return "eProgress"; }
  void setPerc(int percent);  // 0..100; values outside are drawn clamped
  int getPerc() const { return perc; }

 protected:
  int perc = 0;
};

#pragma GCC visibility pop
