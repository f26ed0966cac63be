#pragma once
// Remote-control keys as the toolkit delivers them in key events.

#pragma GCC visibility push(default)

namespace rc {
enum Key {
  k0 = 0,
  k1,
  k2,
  k3,
  k4,
  k5,
  k6,
  k7,
  k8,
  k9,
  up,
  down,
  left,
  right,
  ok,
  exit,
  red,
  green,
  yellow,
  blue,
  count
};
// "0".."9", "up", ... "blue"; nullptr for an unknown key.
const char* keyName(int key);
// The key with that name, or -1.
int keyByName(const char* name);
}  // namespace rc

#pragma GCC visibility pop
