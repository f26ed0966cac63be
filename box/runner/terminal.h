#pragma once
// Remote-control keys from the terminal, for people trying the box by hand,
// and a status line that tells them what the plug-in is doing meanwhile.
#include <sigc++/connection.h>
#include <termios.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class eTimer;

namespace box {

// Turns the bytes a terminal sends into remote-control keys. Keys arrive
// together (a paste, a fast typist, a terminal multiplexer) and an escape
// sequence may be cut between two reads, so bytes are taken as they come and
// a sequence waits for its rest; an ESC with nothing after it for
// kEscWaitMs is the ESC key.
class KeyParser {
 public:
  static constexpr int64_t kEscWaitMs = 100;
  // The keys the bytes complete, read at nowMs (any monotonic clock), go to keys.
  void take(const unsigned char* bytes, size_t count, int64_t nowMs, std::vector<int>* keys);
  // Nothing more came: a sequence begun before nowMs - kEscWaitMs is given up.
  void expire(int64_t nowMs, std::vector<int>* keys);

 private:
  void takeByte(unsigned char c, std::vector<int>* keys);
  std::string pending_;  // an escape sequence begun, ESC first
  int64_t lastMs_ = 0;
};

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
  void poll();
  termios saved_{};
  bool active_ = false;
  sigc::connection idle_;
  KeyParser parser_;
  std::vector<int> keys_;  // read, not yet pressed
};

// What the status line shows. Readings are the front end's 0..65535, < 0
// when none was taken yet; freqKHz 0: nothing was read yet.
struct StatusFacts {
  std::string title;
  int freqKHz = 0, pol = 0;
  int snr = -1, strength = -1;
  size_t locked = 0, services = 0;
};
// The status line's text, at most width characters.
std::string statusText(const StatusFacts& facts, size_t width);

// While it runs, the status line on standard error when that is a terminal,
// rewritten in place a few times a second and cleared by stop().
class StatusLine {
 public:
  StatusLine();
  StatusLine(const StatusLine&) = delete;
  StatusLine& operator=(const StatusLine&) = delete;
  ~StatusLine();
  void start();
  void stop();

 private:
  void show();
  std::unique_ptr<eTimer> timer_;
  std::string shown_;
};

}  // namespace box
