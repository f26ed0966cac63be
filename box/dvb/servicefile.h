#pragma once
// The text of the kept service list and of its journal: reading it entry by
// entry, strictly (every number in range, every name bounded, nesting
// limited), and writing entries without building a tree.
//
// The list file (an older box wrote the same keys, pretty-printed):
//   {"version": 1,
//    "transponders": [
//     {"frequency_khz": 11000000, "symbol_rate": 27500000, "polarisation": 0, "fec": 3,
//      "orbital_position": 130, "inversion": 0},
//     ...],
//    "services": [
//     {"data": [1, 1, 1, 1, 130, 11000, 0, 0], "flags": 0, "name": "Uno", "provider": "P1",
//      "service_type": 1, "scrambled": false},
//     ...]}
// written one entry a line. A service's data is its reference: type, service
// id, transport stream id, original network id (those three 0..65535),
// orbital position, MHz, two more. Unknown keys are passed over (a newer box may
// add some); a missing or out-of-range one is an error. A journal line is
// {"transponders": [...], "services": [...]} on one line.
//
// Both kinds of entry may carry when they were seen (seen.h):
//   "first_seen": "2026-12-08T21:04:05Z", "last_seen": "...", "times_seen": 3
// A list written before the box kept times has none; such an entry is read
// and written back without them until a run sees it. Reading an entry notes
// its times, merged with what is noted of it already.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "host/dvb.h"

namespace box {

using Satellite = struct eTransponder::satellite;

// Bounds on what the box keeps: far above a real dish's view (a few thousand
// transponders), low enough that a damaged file cannot make it allocate
// without end. A DVB name descriptor carries at most 255 bytes.
constexpr size_t kMaxKeptTransponders = 50000;
constexpr size_t kMaxKeptServices = 1000000;
constexpr size_t kMaxNameBytes = 255;

struct ServiceListReader {
  std::function<void(const Satellite&)> transponder;
  std::function<void(const eServiceReferenceDVB&, const eServiceDVB&)> service;
};

// Reads a whole list file's text, handing each entry over as it is read.
// False with *error "FILE: line L: PATH: what is wrong" (or a line and a
// column for syntax); entries handed over before a fault stay handed over.
bool readServiceList(std::string_view text, const std::string& fileName, const ServiceListReader& reader,
                     std::string* error);
// Reads a journal: one list of changes a line. A last line without its
// newline was cut short by a process that died while appending it, and is
// passed over; any other bad line is an error.
bool readServiceJournal(std::string_view text, const std::string& fileName, const ServiceListReader& reader,
                        std::string* error);

// One entry as JSON, appended to out. Names past kMaxNameBytes are cut at a
// character boundary and bytes that are not UTF-8 become U+FFFD, so that
// whatever the list holds is written as text the reader takes back.
void appendTransponder(std::string* out, const Satellite& s);
void appendService(std::string* out, const eServiceReferenceDVB& ref, const eServiceDVB& record);

// The values the reader accepts: whatever else the list holds is refused
// when it is written, so a list that is kept can always be read again.
// "" when s is fine, else what is wrong ("polarisation: must be between 0 and 1").
std::string checkTransponder(const Satellite& s);
std::string checkService(const eServiceReferenceDVB& ref, const eServiceDVB& record);

}  // namespace box
