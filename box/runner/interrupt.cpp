#include "box/runner/interrupt.h"

#include <cstdio>
#include <iterator>

#include "box/base/tr.h"
#include "box/gui/screen.h"
#include "host/rc.h"

namespace box {
namespace {

// Exit keys after an interrupt: one every so often, for at most so long.
constexpr int kExitEveryMs = 200;
constexpr int kExitPresses = 50;
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

volatile std::sig_atomic_t gSignal = 0;
struct sigaction gOld[std::size(kSignals)];

void onSignal(int sig) {
  gSignal = sig;
}

const char* signalName(int sig) {
  return sig == SIGINT ? "SIGINT" : sig == SIGTERM ? "SIGTERM" : "SIGHUP";
}

}  // namespace

Interrupts::Interrupts(std::function<void()> stopDriving_) : stopDriving(std::move(stopDriving_)) {
  gSignal = 0;
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  // A second signal ends the box at once: a plug-in that hangs cannot keep
  // it from going.
  action.sa_flags = SA_RESETHAND;
  for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &action, &gOld[i]);
  watching = idleSignal().connect(sigc::mem_fun(*this, &Interrupts::poll));
  timer.timeout.connect(sigc::mem_fun(*this, &Interrupts::pressExit));
}

Interrupts::~Interrupts() {
  watching.disconnect();
  for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &gOld[i], nullptr);
}

void Interrupts::poll() {
  if (!gSignal || signal) return;
  signal = gSignal;
  std::fprintf(
      stderr, "vantrel-box: %s\n",
      trf("%s: leaving the plug-in, keeping what was found (again to end at once)", signalName(signal))
          .c_str());
  stopDriving();
  exitsLeft = kExitPresses;
  timer.start(0);
}

void Interrupts::pressExit() {
  if (exitsLeft-- == 0) {
    std::fprintf(stderr, "vantrel-box: %s\n", tr("the plug-in did not leave within 10 s of the interrupt"));
    abortAll(4);
    return;
  }
  timer.start(kExitEveryMs);
  Screen::instance().keyPress(rc::exit);
}

}  // namespace box
