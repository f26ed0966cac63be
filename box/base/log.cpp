// The host's logs: standard error and the trace. eFatal reports only; the
// box keeps running, since the plug-in must cope with what follows.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "box/base/trace.h"
#include "host/eerror.h"

namespace {

bool quietDebug() {
  static const bool quiet = [] {
    const char* v = std::getenv("VANTREL_DEBUG");
    return !(v && *v && *v != '0');
  }();
  return quiet;
}

void logLine(const char* level, bool toStderr, const char* fmt, va_list args) {
  char buffer[1024];
  std::vsnprintf(buffer, sizeof buffer, fmt, args);
  if (toStderr) std::fprintf(stderr, "box: %s: %s\n", level, buffer);
  box::Trace::event("log", {{"level", level}, {"text", buffer}});
}

}  // namespace

void eDebug(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  logLine("debug", !quietDebug(), fmt, args);
  va_end(args);
}

void eWarning(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  logLine("warning", true, fmt, args);
  va_end(args);
}

void eFatal(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  logLine("fatal", true, fmt, args);
  va_end(args);
}
