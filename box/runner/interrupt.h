#pragma once
// SIGINT, SIGTERM and SIGHUP during a run (Ctrl-C, kill, a closed terminal):
// the first leaves the plug-in as exit keys would, so that a sweep gives back
// what was playing, and the run then ends as any other, with its summary,
// exports, spectrum and trace; a second ends the box at once.
#include <sigc++/sigc++.h>

#include <csignal>
#include <functional>

#include "box/base/loop.h"
#include "box/runner/player.h"

namespace box {

class Interrupts : public sigc::trackable {
 public:
  // stopDriving: stops whatever types keys (a script, a hunt) before the
  // exit keys go in.
  explicit Interrupts(std::function<void()> stopDriving);
  ~Interrupts();
  Interrupts(const Interrupts&) = delete;
  Interrupts& operator=(const Interrupts&) = delete;
  // The signal that interrupted the run, 0 when none did.
  int caught() const { return signal; }
  // The exit status of an interrupted run, as shells report a signal's.
  int exitStatus() const { return 128 + signal; }

 private:
  void poll();
  void pressExit();
  std::function<void()> stopDriving;
  int signal = 0;
  int exitsLeft = 0;
  sigc::connection watching;
  LongTimer timer;
};

}  // namespace box
