// The terminal's keys: the PC keyboard table, as a terminal sends it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "box/runner/terminal.h"
#include "host/rc.h"

namespace {

TEST(TerminalKeys, TheKeyboardTableAsTerminalsSendIt) {
  const std::vector<std::string> typed = {
      "0",        "7",        "9",       "\x1b[A",  "\x1b[B", "\x1b[C", "\x1b[D", "\x1bOA", "\r",
      "\n",       "\x1b",     "\x7f",    "\b",      "q",      "\x1bOP", "\x1bOQ", "\x1bOR", "\x1bOS",
      "\x1b[11~", "\x1b[14~", "\x1b[[A", "\x1b[[D", "r",      "g",      "y",      "b",      "\x1b[15~",
      "\x1b[Z",   "\x1bx",    "x",       " ",       "\x1b[1", "\x1bO"};
  std::string got;
  for (const std::string& t : typed) {
    const int key = box::terminalKey(reinterpret_cast<const unsigned char*>(t.data()), int(t.size()));
    got += std::string(key < 0 ? "-" : rc::keyName(key)) + " ";
  }
  EXPECT_EQ(got,
            "0 7 9 up down right left up ok ok exit exit exit exit red green yellow blue red blue red blue "
            "red green "
            "yellow blue - - - - - - - ");
}

}  // namespace
