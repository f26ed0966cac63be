#include "host/estring.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

eString eString::sprintf(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  va_list again;
  va_copy(again, ap);
  int n = std::vsnprintf(nullptr, 0, fmt, ap);
  va_end(ap);
  eString out;
  if (n > 0) {
    std::vector<char> buffer(size_t(n) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), fmt, again);
    out.assign(buffer.data(), size_t(n));
  }
  va_end(again);
  return out;
}

eString& eString::setNum(int value, int base) {
  if (base < 2 || base > 36) base = 10;
  static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  // Work in unsigned so that INT_MIN does not overflow on negation.
  unsigned magnitude = value < 0 ? 0u - unsigned(value) : unsigned(value);
  std::string reversed;
  do {
    reversed.push_back(digits[magnitude % unsigned(base)]);
    magnitude /= unsigned(base);
  } while (magnitude);
  if (value < 0) reversed.push_back('-');
  assign(reversed.rbegin(), reversed.rend());
  return *this;
}
