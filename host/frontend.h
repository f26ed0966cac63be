#pragma once
// The tuner front end.
#include <sigc++/sigc++.h>

#pragma GCC visibility push(default)

class eTransponder;

class eFrontend {
 public:
  static eFrontend* getInstance() { return frontend; }
  static eFrontend* frontend;

  virtual ~eFrontend();
  // Readings of the tuned signal, 0..65535. Reading does not disturb later readings.
  virtual int SNR() = 0;
  virtual int SignalStrength() = 0;
  virtual int Locked() = 0;
  // Starts a tune; the result comes through tunedIn (0 lock, -110 no lock,
  // -125 cancelled by a later tune), followed by DVB event 0.
  virtual int tune(eTransponder* tp) = 0;

  sigc::signal<void(eTransponder*, int)> tunedIn;
};

#pragma GCC visibility pop
