#pragma once
#include "ewidget.h"

#pragma GCC visibility push(default)

// A line (or block) of text.
class eLabel : public eWidget {
 public:
  eLabel(eWidget* parent, int flags = 0, int takefocus = 0, const char* deco = "eLabel");
  ~eLabel() override;
  void redrawWidget(gPainter* target, const eRect& area) override;
  int eventHandler(const eWidgetEvent& event) override;
  int setProperty(const eString& prop, const eString& value) override;
  const char* typeName() const override { return "eLabel"; }
  void setFlags(int flags);
  int getFlags() const { return flags; }

 protected:
  int flags;
};

#pragma GCC visibility pop
