// Where the front ends' readings go, whichever backend gave them.
#include "box/dvb/frontend.h"

#include <utility>

namespace box {
namespace {

ReadingListener& listener() {
  static ReadingListener l;
  return l;
}

}  // namespace

void setReadingListener(ReadingListener l) {
  listener() = std::move(l);
}

void reportReading(const FrontendReading& reading) {
  if (listener()) listener()(reading);
}

}  // namespace box
