#include "box/runner/terminal.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>

#include "box/base/loop.h"
#include "box/base/tr.h"
#include "box/gui/screen.h"
#include "host/rc.h"

namespace box {

int terminalKey(const unsigned char* buf, int n) {
  if (n <= 0) return -1;
  // Escape sequences: arrows as ESC [ A (or ESC O A in application mode),
  // F1-F4 as ESC O P..S (xterm), ESC [ 1 1 ~ .. ESC [ 1 4 ~ (rxvt) or
  // ESC [ [ A..D (the Linux console).
  if (n >= 3 && buf[0] == 27 && (buf[1] == '[' || buf[1] == 'O')) {
    switch (buf[2]) {
      case 'A':
        return rc::up;
      case 'B':
        return rc::down;
      case 'C':
        return rc::right;
      case 'D':
        return rc::left;
      case 'P':
        return buf[1] == 'O' ? rc::red : -1;
      case 'Q':
        return buf[1] == 'O' ? rc::green : -1;
      case 'R':
        return buf[1] == 'O' ? rc::yellow : -1;
      case 'S':
        return buf[1] == 'O' ? rc::blue : -1;
      case '[':
        return n >= 4 && buf[3] >= 'A' && buf[3] <= 'D' ? rc::red + (buf[3] - 'A') : -1;
      case '1':
        return n >= 5 && buf[4] == '~' && buf[3] >= '1' && buf[3] <= '4' ? rc::red + (buf[3] - '1') : -1;
    }
    return -1;
  }
  if (n > 1 && buf[0] == 27) return -1;  // a sequence of a key the remote lacks
  unsigned char c = buf[0];
  if (c >= '0' && c <= '9') return rc::k0 + (c - '0');
  switch (c) {
    case '\r':
    case '\n':
      return rc::ok;
    case 27:
    case 127:  // Backspace
    case 8:
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

namespace {

void poll() {
  pollfd p{STDIN_FILENO, POLLIN, 0};
  if (::poll(&p, 1, 0) <= 0) return;
  unsigned char buf[8];
  int n = int(::read(STDIN_FILENO, buf, sizeof buf));
  if (n <= 0) return;
  int key = terminalKey(buf, n);
  if (key >= 0) Screen::instance().keyPress(key);
}

}  // namespace

bool TerminalKeys::start() {
  if (active_ || !isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &saved_) != 0) return false;
  termios raw = saved_;
  raw.c_lflag &= ~(ICANON | ECHO);
  tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  active_ = true;
  idle_ = idleSignal().connect(&poll);
  std::fprintf(stderr, "box: %s\n",
               tr("keys: digits, arrows, Enter = ok, Esc/Backspace/q = exit, F1-F4 or r g y b = colour keys; "
                  "with --shots DIR the screen is kept in DIR/live.png"));
  return true;
}

void TerminalKeys::stop() {
  idle_.disconnect();
  if (active_) tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
  active_ = false;
}

}  // namespace box
