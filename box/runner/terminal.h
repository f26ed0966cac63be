#pragma once
// Remote-control keys from the terminal, for people trying the box by hand.
#include <sigc++/connection.h>
#include <termios.h>

namespace box {

// Reads keys from standard input (raw mode) between start() and stop(); the
// terminal is given back as it was at the latest when the object goes.
class TerminalKeys {
 public:
  TerminalKeys() = default;
  TerminalKeys(const TerminalKeys&) = delete;
  TerminalKeys& operator=(const TerminalKeys&) = delete;
  ~TerminalKeys() { stop(); }

  // False when standard input is no terminal.
  bool start();
  void stop();

 private:
  termios saved_{};
  bool active_ = false;
  sigc::connection idle_;
};

// The remote-control key for what one read from the terminal gave, or -1.
int terminalKey(const unsigned char* bytes, int count);

}  // namespace box
