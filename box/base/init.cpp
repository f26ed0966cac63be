// Auto-init levels: objects come up in level order (then registration
// order) and go down in the reverse.
#include <algorithm>
#include <vector>

#include "host/einit.h"

eAutoInit::~eAutoInit() = default;

namespace {

struct Entry {
  int level;
  eAutoInit* object;
  bool up;
};

struct InitState {
  std::vector<Entry> entries;  // in registration order
  int current = 0;
};

InitState& state() {
  static InitState s;
  return s;
}

}  // namespace

void eInit::add(int level, eAutoInit* object) {
  InitState& s = state();
  s.entries.push_back({level, object, false});
  if (level <= s.current) {
    s.entries.back().up = true;
    object->initNow();
  }
}

void eInit::remove(int level, eAutoInit* object) {
  auto& v = state().entries;
  for (auto it = v.begin(); it != v.end(); ++it) {
    if (it->object != object || it->level != level) continue;
    bool wasUp = it->up;
    v.erase(it);
    if (wasUp) object->closeNow();
    return;
  }
}

void eInit::setRunlevel(int level) {
  InitState& s = state();
  if (level > s.current) {
    for (int l = s.current + 1; l <= level; ++l) {
      s.current = l;
      // Index loop: initNow may register further objects.
      for (size_t i = 0; i < s.entries.size(); ++i)
        if (s.entries[i].level == l && !s.entries[i].up) {
          s.entries[i].up = true;
          s.entries[i].object->initNow();
        }
    }
  } else {
    while (s.current > level) {
      for (size_t i = s.entries.size(); i-- > 0;)
        if (i < s.entries.size() && s.entries[i].level == s.current && s.entries[i].up) {
          s.entries[i].up = false;
          s.entries[i].object->closeNow();
        }
      --s.current;
    }
  }
}

int eInit::getCurrentLevel() {
  return state().current;
}
