#pragma once
// Key scripts: the steps a scripted user takes, on box time.
#include <cstdint>
#include <string>
#include <vector>

namespace box {

struct Step {
  enum Kind { Key, Wait, WaitText, Shot } kind = Key;
  int key = -1;      // Key
  int64_t ms = 0;    // Wait, WaitText (limit)
  std::string text;  // WaitText: the text; Shot: the name
  int line = 0;      // where it stands in the script
};

// False with "script line N: ..." in *error.
bool parseScript(const std::string& text, std::vector<Step>* steps, std::string* error);

}  // namespace box
