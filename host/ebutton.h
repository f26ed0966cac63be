#pragma once
#include "elabel.h"

#pragma GCC visibility push(default)

// A label that can be selected with ok while focused, or through its shortcut.
class eButton : public eLabel {
 public:
  eButton(eWidget* parent, eLabel* descr = nullptr, int takefocus = 1, const char* deco = "eButton");
  ~eButton() override;
  int keyDown(int key) override;
  void gotFocus() override;
  void lostFocus() override;
  void redrawWidget(gPainter* target, const eRect& area) override;
  const char* typeName() const override { return "eButton"; }

  sigc::signal<void()> selected;

 protected:
  eLabel* descr;
};

#pragma GCC visibility pop
