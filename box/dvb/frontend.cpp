// Where the front ends' readings go, whichever backend gave them.
#include "box/dvb/frontend.h"

#include <utility>

namespace box {
namespace {

ReadingListener& listener() {
  static ReadingListener l;
  return l;
}

LastReadings& last() {
  static LastReadings l;
  return l;
}

}  // namespace

void setReadingListener(ReadingListener l) {
  listener() = std::move(l);
}

void reportReading(const FrontendReading& reading) {
  LastReadings& l = last();
  const FrontendReading& was = l.latest;
  if (was.freqKHz != reading.freqKHz || was.pol != reading.pol || was.srSym != reading.srSym) l = {};
  l.latest = reading;
  (reading.kind == FrontendReading::snr ? l.snr : l.strength) = reading.value;
  if (listener()) listener()(reading);
}

LastReadings lastReadings() {
  return last();
}

}  // namespace box
