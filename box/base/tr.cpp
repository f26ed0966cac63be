#include "box/base/tr.h"

#include <libintl.h>

#include <cstdarg>
#include <cstdio>

namespace box {

const char* tr(const char* text) {
  return dcgettext(nullptr, text, LC_MESSAGES);
}

namespace {

std::string formatted(const char* format, va_list args) {
  va_list again;
  va_copy(again, args);
  const int size = std::vsnprintf(nullptr, 0, format, args);
  std::string out;
  if (size > 0) {
    out.resize(size_t(size) + 1);
    std::vsnprintf(out.data(), out.size(), format, again);
    out.resize(size_t(size));
  }
  va_end(again);
  return out;
}

}  // namespace

std::string trf(const char* text, ...) {
  va_list args;
  va_start(args, text);
  std::string out = formatted(tr(text), args);
  va_end(args);
  return out;
}

std::string trnf(const char* singular, const char* plural, unsigned long n, ...) {
  va_list args;
  va_start(args, n);
  std::string out = formatted(dcngettext(nullptr, singular, plural, n, LC_MESSAGES), args);
  va_end(args);
  return out;
}

}  // namespace box
