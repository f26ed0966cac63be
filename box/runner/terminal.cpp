#include "box/runner/terminal.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>

#include "box/gui/loop.h"
#include "box/gui/screen.h"
#include "host/rc.h"

namespace box {
namespace {

termios gSaved;
bool gActive = false;
sigc::connection gIdle;

int keyFor(const unsigned char* buf, int n) {
  if (n >= 3 && buf[0] == 27 && buf[1] == '[') {
    switch (buf[2]) {
      case 'A':
        return rc::up;
      case 'B':
        return rc::down;
      case 'C':
        return rc::right;
      case 'D':
        return rc::left;
    }
    return -1;
  }
  unsigned char c = buf[0];
  if (c >= '0' && c <= '9') return rc::k0 + (c - '0');
  switch (c) {
    case '\r':
    case '\n':
      return rc::ok;
    case 27:
    case 'q':
      return rc::exit;
    case 'r':
      return rc::red;
    case 'g':
      return rc::green;
    case 'y':
      return rc::yellow;
    case 'b':
      return rc::blue;
  }
  return -1;
}

void poll() {
  pollfd p{STDIN_FILENO, POLLIN, 0};
  if (::poll(&p, 1, 0) <= 0) return;
  unsigned char buf[8];
  int n = int(::read(STDIN_FILENO, buf, sizeof buf));
  if (n <= 0) return;
  int key = keyFor(buf, n);
  if (key >= 0) Screen::instance().keyPress(key);
}

}  // namespace

bool startTerminalKeys() {
  if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &gSaved) != 0) return false;
  termios raw = gSaved;
  raw.c_lflag &= ~(ICANON | ECHO);
  tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  gActive = true;
  gIdle = idleSignal().connect(&poll);
  std::fprintf(stderr,
               "box: keys: digits, arrows, Enter = ok, Esc/q = exit, r g y b = colour keys; with --shots DIR "
               "the screen is kept in DIR/live.png\n");
  return true;
}

void stopTerminalKeys() {
  gIdle.disconnect();
  if (gActive) tcsetattr(STDIN_FILENO, TCSANOW, &gSaved);
  gActive = false;
}

}  // namespace box
