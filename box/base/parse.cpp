#include "box/base/parse.h"

namespace box {

bool parseInteger(std::string_view text, int64_t lo, int64_t hi, int64_t* out) {
  bool negative = !text.empty() && text[0] == '-';
  if (negative) text.remove_prefix(1);
  if (text.empty()) return false;
  // Accumulated as a negative number, whose range is the wider one.
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    int digit = c - '0';
    if (value < (INT64_MIN + digit) / 10) return false;
    value = value * 10 - digit;
  }
  if (!negative) {
    if (value == INT64_MIN) return false;
    value = -value;
  }
  if (value < lo || value > hi) return false;
  *out = value;
  return true;
}

}  // namespace box
