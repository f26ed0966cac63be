#pragma once
// The host's logs. They go to standard error and to the box's trace; the
// plug-in relies on no other effect of them.

#pragma GCC visibility push(default)

void eDebug(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void eWarning(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void eFatal(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

#pragma GCC visibility pop
