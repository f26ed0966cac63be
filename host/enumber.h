#pragma once
#include <vector>

#include "ewidget.h"

#pragma GCC visibility push(default)

class eLabel;

// A row of numeric entries, edited with the digit keys and left/right.
// Each entry holds a value from min to max shown with maxdigits digits.
class eNumber : public eWidget {
 public:
  eNumber(eWidget* parent, int len, int min, int max, int maxdigits, int* init, int isactive = 0,
          eWidget* descr = nullptr, int grabfocus = 1, const char* deco = "eNumber");
  ~eNumber() override;
  int keyDown(int key) override;
  void gotFocus() override;
  void lostFocus() override;
  void redrawWidget(gPainter* target, const eRect& area) override;
  const char* typeName() const override { return "eNumber"; }

  int getNumber(int entry) const;
  void setNumber(int entry, int value);
  int getActive() const { return active; }
  int getLength() const { return len; }

  // Emitted when the last entry has been filled, or on ok; the argument
  // points to the entries.
  sigc::signal<void(int*)> selected;
  sigc::signal<void(int*)> numberChanged;

 protected:
  int len, min, max, maxdigits;
  std::vector<int> number;
  int active;
  int digit = 0;  // digits typed into the active entry so far
  eWidget* descr;
};

#pragma GCC visibility pop
