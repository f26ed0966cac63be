#include "box/gui/tr.h"

#include <libintl.h>

#include <cstdarg>
#include <cstdio>

namespace box {

const char* tr(const char* text) {
  return dcgettext(nullptr, text, LC_MESSAGES);
}

std::string trf(const char* text, ...) {
  const char* format = tr(text);
  va_list args;
  va_start(args, text);
  va_list again;
  va_copy(again, args);
  const int size = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string out;
  if (size > 0) {
    out.resize(size_t(size) + 1);
    std::vsnprintf(out.data(), out.size(), format, again);
    out.resize(size_t(size));
  }
  va_end(again);
  return out;
}

}  // namespace box
