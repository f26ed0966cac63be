#pragma once
#include <vector>

#include "ewindow.h"

#pragma GCC visibility push(default)

class eLabel;
class eButton;

// A modal message with up to four buttons; exec returns the button chosen.
class eMessageBox : public eWindow {
 public:
  enum {
    btOK = 1,
    btCancel = 2,
    btYes = 4,
    btNo = 8,
    iconInfo = 16,
    iconWarning = 32,
    iconQuestion = 64,
    iconError = 128
  };
  eMessageBox(eString message, eString caption, int flags = btOK, int def = btOK, int timeout = 0);
  ~eMessageBox() override;
  const char* typeName() const override { return "eMessageBox"; }

 private:
  void pressed(int button);
  eLabel* text;
  std::vector<eButton*> buttons;
};

#pragma GCC visibility pop
