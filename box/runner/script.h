#pragma once
// Key scripts: the steps a scripted user takes, on box time.
#include <cstdint>
#include <string>
#include <vector>

namespace box {

// The longest span of box time a step or --max-time may ask for (about 31
// years): even a script full of such waits keeps the clock far from the end
// of its 64 bits.
constexpr int64_t kMaxBoxTimeMs = 1000000000000;
// Shot names become file names: NAME.png and NAME.json.
constexpr size_t kMaxShotName = 100;

struct Step {
  enum Kind { Key, Wait, WaitText, Shot } kind = Key;
  int key = -1;      // Key
  int64_t ms = 0;    // Wait, WaitText (limit)
  std::string text;  // WaitText: the text; Shot: the name
  int line = 0;      // where it stands in the script
};

// False with "script line N: ..." in *error. A UTF-8 byte order mark at the
// start is skipped; a NUL byte is an error at its line.
bool parseScript(const std::string& text, std::vector<Step>* steps, std::string* error);

// Whether name can be a shot's name: letters, digits, '-', '_' and '.', not
// starting with '.', at most kMaxShotName characters.
bool isShotName(const std::string& name);

}  // namespace box
