#include "box/runner/terminal.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "box/base/clock.h"
#include "box/base/fileio.h"
#include "box/base/loop.h"
#include "box/base/tr.h"
#include "box/dvb/boot.h"
#include "box/dvb/frontend.h"
#include "box/gui/screen.h"
#include "host/ebase.h"
#include "host/ewidget.h"
#include "host/rc.h"

namespace box {

namespace {

// The key of a byte typed on its own, or -1.
int plainKey(unsigned char c) {
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

constexpr int kMore = -2, kBroken = -3;
// The longest sequence waited for; a longer one is a key the remote lacks.
constexpr size_t kLongest = 16;

bool isFinal(unsigned char c) {
  return c >= 0x40 && c <= 0x7e;
}

int arrowKey(unsigned char c) {
  static const int arrows[] = {rc::up, rc::down, rc::right, rc::left};
  return c >= 'A' && c <= 'D' ? arrows[c - 'A'] : -1;
}

// What an escape sequence begun (ESC first) is so far: a key, -1 (a whole
// sequence of a key the remote lacks), kMore, or kBroken (its last byte
// cannot go on it). Arrows come as ESC [ A (or ESC O A in application mode),
// F1-F4 as ESC O P..S (xterm), ESC [ 1 1 ~ .. ESC [ 1 4 ~ (rxvt) or
// ESC [ [ A..D (the Linux console).
int sequenceKey(const std::string& s) {
  if (s.size() < 2) return kMore;
  if (s[1] != '[' && s[1] != 'O') return kBroken;
  if (s.size() < 3) return kMore;
  const unsigned char last = s.back();
  if (s[1] == 'O') {
    if (!isFinal(last)) return kBroken;
    return last >= 'P' && last <= 'S' ? rc::red + (last - 'P') : arrowKey(last);
  }
  if (s[2] == '[') {
    if (s.size() < 4) return kMore;
    if (!isFinal(last)) return kBroken;
    return last >= 'A' && last <= 'D' ? rc::red + (last - 'A') : -1;
  }
  if (!isFinal(last)) {
    if (last < 0x20 || last > 0x3f) return kBroken;
    return s.size() < kLongest ? kMore : -1;
  }
  if (arrowKey(last) >= 0) return arrowKey(last);
  const std::string params = s.substr(2, s.size() - 3);
  if (last == '~' && params.size() == 2 && params[0] == '1' && params[1] >= '1' && params[1] <= '4')
    return rc::red + (params[1] - '1');
  return -1;
}

}  // namespace

void KeyParser::takeByte(unsigned char c, std::vector<int>* keys) {
  if (pending_.empty()) {
    if (c == 27)
      pending_ = char(c);
    else if (int key = plainKey(c); key >= 0)
      keys->push_back(key);
    return;
  }
  pending_ += char(c);
  const int key = sequenceKey(pending_);
  if (key == kMore) return;
  if (key != kBroken) {
    if (key >= 0) keys->push_back(key);
    pending_.clear();
    return;
  }
  // Not a sequence after all: a lone ESC is its key, the byte starts afresh.
  if (pending_.size() == 2) keys->push_back(rc::exit);
  pending_.clear();
  takeByte(c, keys);
}

void KeyParser::take(const unsigned char* bytes, size_t count, int64_t nowMs, std::vector<int>* keys) {
  expire(nowMs, keys);
  for (size_t i = 0; i < count; ++i) takeByte(bytes[i], keys);
  lastMs_ = nowMs;
}

void KeyParser::expire(int64_t nowMs, std::vector<int>* keys) {
  if (pending_.empty() || nowMs - lastMs_ < kEscWaitMs) return;
  if (pending_.size() == 1) keys->push_back(rc::exit);
  pending_.clear();
}

void TerminalKeys::poll() {
  pollfd p{STDIN_FILENO, POLLIN, 0};
  if (::poll(&p, 1, 0) > 0) {
    unsigned char buf[256];
    const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
    if (n > 0) parser_.take(buf, size_t(n), wallMs(), &keys_);
  } else {
    parser_.expire(wallMs(), &keys_);
  }
  // One key a round, so that what the last one started (a dialog opening)
  // has happened before the next arrives, as on the box's remote.
  if (keys_.empty()) return;
  const int key = keys_.front();
  keys_.erase(keys_.begin());
  Screen::instance().keyPress(key);
}

bool TerminalKeys::start() {
  if (active_ || !isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &saved_) != 0) return false;
  termios raw = saved_;
  raw.c_lflag &= ~(ICANON | ECHO);
  tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  active_ = true;
  idle_ = idleSignal().connect([this] { poll(); });
  std::fprintf(stderr, "box: %s\n",
               tr("keys: digits, arrows, Enter = ok, Esc/Backspace/q = exit, F1-F4 or r g y b = colour keys; "
                  "with --shots DIR the screen is kept in DIR/live.png"));
  return true;
}

void TerminalKeys::stop() {
  idle_.disconnect();
  keys_.clear();
  if (active_) tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
  active_ = false;
}

namespace {

// Where text's first chars characters end (a character is whole UTF-8), and
// how many characters it has.
size_t charsEnd(const std::string& text, size_t chars) {
  size_t end = 0;
  for (; end < text.size() && chars > 0; --chars) end += std::max<size_t>(1, utf8Length(text, end));
  return std::min(end, text.size());
}

size_t charCount(const std::string& text) {
  size_t n = 0;
  for (size_t end = 0; end < text.size(); ++n) end += std::max<size_t>(1, utf8Length(text, end));
  return n;
}

}  // namespace

std::string statusText(const StatusFacts& f, size_t width) {
  auto percent = [](int reading) {
    return reading < 0 ? std::string("-") : std::to_string(reading * 100 / 65535) + "%";
  };
  std::string text = f.freqKHz ? trf("%d MHz %s: SNR %s, strength %s", f.freqKHz / 1000, f.pol ? "V" : "H",
                                     percent(f.snr).c_str(), percent(f.strength).c_str())
                               : tr("nothing tuned yet");
  text += " | " + trf("locked: %zu, services: %zu", f.locked, f.services);
  // The title gets the room the rest leaves (a few characters at least, else
  // none): the line must not wrap.
  const std::string title = printable(f.title, 200);
  const size_t rest = charCount(text) + 3;
  if (!title.empty() && width >= rest + 4)
    text = title.substr(0, charsEnd(title, width - rest)) + " | " + text;
  return text.substr(0, charsEnd(text, width));
}

StatusLine::StatusLine() = default;

StatusLine::~StatusLine() {
  stop();
}

void StatusLine::start() {
  if (timer_ || !isatty(STDERR_FILENO)) return;
  timer_ = std::make_unique<eTimer>(eApp);
  timer_->timeout.connect([this] { show(); });
  timer_->start(250, false);
  show();
}

void StatusLine::stop() {
  if (!timer_) return;
  timer_.reset();
  if (!shown_.empty()) std::fputs("\r\x1b[K", stderr);
  shown_.clear();
}

void StatusLine::show() {
  StatusFacts f;
  if (const eWidget* top = Screen::instance().activeWindow()) f.title = top->getText();
  const LastReadings r = lastReadings();
  f.freqKHz = r.latest.freqKHz;
  f.pol = r.latest.pol;
  f.snr = r.snr;
  f.strength = r.strength;
  const FoundCounts found = foundCounts();
  f.locked = found.locked;
  f.services = found.services;
  winsize size{};
  const size_t columns = ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 ? size.ws_col : 80;
  // One column short of the edge: a line that reaches it wraps on some terminals.
  const std::string text = statusText(f, columns - 1);
  if (text == shown_) return;
  shown_ = text;
  std::fprintf(stderr, "\r%s\x1b[K", text.c_str());
  std::fflush(stderr);
}

}  // namespace box
