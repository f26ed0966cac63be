#pragma once
// The service list the box keeps between runs: the transponders and services
// that scans found. Two files side by side:
//
//   services.json          the whole list (format: servicefile.h)
//   services.json.journal  what was found since the list was last written
//                          whole: one line per save
//
// A save during a run (after each scan) appends the transponders and services
// that changed since the previous save to the journal as one line and fsyncs
// it, so its cost follows what changed, not the size of the list. When there
// is no list yet, or the journal has grown past half the list (and past
// 1 MiB), that save writes the whole list instead: the rewrites stay a fixed
// share of what is saved, and the journal stays short to replay.
//
// Writing the whole list (at shutdown, and as above) reads what is on disk,
// the list and the journal, which another box on the same root may have added
// to or rescanned since, adds what this box holds, writes the result through
// a temporary file and a rename, fsyncs it and its folder, and only then
// removes the journal. Where both hold an entry, the newer knowledge wins:
// the box's own where this run found or changed it, else the one on disk (a
// box that only loaded an entry knows nothing newer than whoever saved it).
// Nothing is ever dropped: the list only grows. A transponder on disk within
// the matching distance of one held (keptindex.h: another box found the same
// carrier a little off) is that one: the held values are written, with the
// times of both. Times are merged, not taken from the winner: the earliest
// first sighting, the latest last one, the larger count (seen.h).
//
// Loading reads the list and replays the journal on top of it. A last journal
// line without its newline was being written when its process died: it is
// passed over when loading and cut off before the next append. So a run
// killed at any moment leaves the old or the new list whole, and every save
// that completed before.
//
// Every save holds an exclusive flock on services.json.lock (never removed,
// so that every box locks the same file) and loading a shared one: two boxes
// on one root never lose each other's entries. A box that has to wait for
// the lock says so on standard error, then waits (a box that dies lets go).
//
// Any of the three files that is there but is no regular file (a folder, a
// FIFO, a device) is refused, before anything opens it.
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "box/base/fileio.h"
#include "box/dvb/servicefile.h"
#include "host/dvb.h"

namespace box {

// What the files hold, in the order they hold it (a later entry for the same
// service is the newer one).
struct KeptServices {
  std::vector<Satellite> transponders;
  std::vector<std::pair<eServiceReferenceDVB, eServiceDVB>> services;
};

// What changed in the list since the last save. Services are named by their
// reference; the record saved is the list's when the save is made.
struct ServiceChanges {
  std::vector<Satellite> transponders;
  std::set<eServiceReferenceDVB> services;
  bool empty() const { return transponders.empty() && services.empty(); }
  void clear() {
    transponders.clear();
    services.clear();
  }
};

std::string serviceJournalPath(const std::string& listPath);
// The lock every box on a root takes, beside the list.
std::string serviceLockPath(const std::string& listPath);

// The list file as a box last read or wrote it whole. A box's list only
// grows, so while the file is still that one it holds nothing the box does
// not, and writing the list whole need not read it again (only the journal,
// which other boxes may have added to). Every writer replaces the file by a
// rename, so any other writer's list is a different file.
struct KeptFileStamp {
  bool known = false;
  unsigned long long device = 0, inode = 0, size = 0;
  long long modifiedNs = 0, changedNs = 0;
};

// Reads the list and its journal. Missing files are an empty list (true); a
// bad one is false with *error naming the file, the line, the path and what
// is wrong.
bool loadServiceList(const std::string& path, KeptServices* kept, std::string* error,
                     KeptFileStamp* stamp = nullptr);

// Writes the whole list: what is on disk merged with list, atomically; the
// journal is then removed. With stamp (kept by the caller for this list
// from its load on), a list file still as stamped is not read again. own:
// what the caller's run found or changed since it loaded the list, the
// entries of list that win over the disk's; nullptr when the list holds
// nothing but what the run found (it loaded nothing).
bool saveServiceList(const std::string& path, const eTransponderList& list, std::string* error,
                     KeptFileStamp* stamp = nullptr, const ServiceChanges* own = nullptr);

// The disk's records of the services list holds but not in own (as above)
// where they differ from list's: what other boxes on the root learnt of them
// since. A list file still as stamped is not read.
bool newerKeptServices(const std::string& path, const eTransponderList& list, const ServiceChanges* own,
                       const KeptFileStamp& stamp,
                       std::vector<std::pair<eServiceReferenceDVB, eServiceDVB>>* newer, std::string* error);

// Appends changes to the journal (or writes the whole list, as above).
bool saveServiceChanges(const std::string& path, const eTransponderList& list, const ServiceChanges& changes,
                        std::string* error, KeptFileStamp* stamp = nullptr,
                        const ServiceChanges* own = nullptr);

}  // namespace box
