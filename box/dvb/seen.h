#pragma once
// When the kept transponders and services were seen: the first and the last
// time (seconds since 1970 UTC, 0 when not known) and how many runs saw
// them. Kept beside the list (the host's records have no place for it), as
// the delivery systems are, and written with the entries.
//
// Noting merges with what is noted already: the earliest first time, the
// latest last time, the larger count. So reading the same knowledge twice (a
// journal replayed over the list, another box's save that holds this box's
// own) changes nothing, and merging boxes never adds their counts up. Two
// boxes that saw an entry between each other's saves count one run for
// both: a count may fall short, never double.
#include <cstdint>

#include "host/dvb.h"

namespace box {

struct Seen {
  int64_t first = 0, last = 0;
  int times = 0;
  bool known() const { return first || last || times; }
  bool operator==(const Seen& o) const { return first == o.first && last == o.last && times == o.times; }
};

Seen mergeSeen(const Seen& a, const Seen& b);

// Transponders by their tuning values (frequency, symbol rate, polarisation,
// orbital position); services by reference.
void noteTransponderSeen(const struct eTransponder::satellite& s, const Seen& seen);
Seen transponderSeen(const struct eTransponder::satellite& s);
void noteServiceSeen(const eServiceReferenceDVB& ref, const Seen& seen);
Seen serviceSeen(const eServiceReferenceDVB& ref);
// A kept transponder's tuning values changed: what was noted under the old
// ones (its times, its delivery system) goes with it.
void moveTransponderNotes(const struct eTransponder::satellite& from,
                          const struct eTransponder::satellite& to);
void forgetSeen();
// A sighting by this run: what it knows now replaces what was noted.
void setTransponderSeen(const struct eTransponder::satellite& s, const Seen& seen);
void setServiceSeen(const eServiceReferenceDVB& ref, const Seen& seen);

}  // namespace box
