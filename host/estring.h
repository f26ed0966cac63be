#pragma once
// The host's string: a std::string with the two helpers that plug-ins use.
#include <string>

#pragma GCC visibility push(default)

class eString : public std::string {
 public:
  eString() = default;
  eString(const char* s) : std::string(s ? s : "") {}
  eString(const std::string& s) : std::string(s) {}
  eString(std::string&& s) : std::string(std::move(s)) {}

  // printf-style formatting into a new string; never overflows.
  static eString sprintf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
  // Replaces the contents with the number written in the given base (2..36).
  eString& setNum(int value, int base = 10);
};

#pragma GCC visibility pop
