#include "box/dvb/store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <tuple>

#include "box/base/fileio.h"
#include "box/base/tr.h"
#include "box/dvb/keptindex.h"
#include "box/dvb/seen.h"

namespace box {
namespace {

// The journal may grow to half the list, and to this much at least, before
// a save writes the whole list instead.
constexpr off_t kMinCompactBytes = 1 << 20;

bool fail(std::string* error, const std::string& what) {
  if (error) *error = what;
  return false;
}

std::string why(const std::string& path, const char* what, int err) {
  return path + ": " + what + ": " + std::strerror(err);
}

bool notRegular(const std::string& path, std::string* error) {
  return fail(error, trf("%s: is not a regular file", path.c_str()));
}

// A FIFO would block the box as it opens it, a device or a folder is no
// list: whatever is there under the list's names must be a plain file.
bool regularOrAbsent(const std::string& path, std::string* error) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0)
    return errno == ENOENT ? true : fail(error, path + ": " + std::strerror(errno));
  return S_ISREG(st.st_mode) ? true : notRegular(path, error);
}

// The lock beside the list, held while the object lives. flock, so that a
// box that dies lets go of it.
class ListLock {
 public:
  bool take(const std::string& listPath, bool exclusive, std::string* error) {
    const std::string path = serviceLockPath(listPath);
    if (!regularOrAbsent(path, error)) return false;
    fd.reset(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0666));
    if (!fd) return fail(error, path + ": " + std::strerror(errno));
    struct stat st;
    if (::fstat(fd.get(), &st) != 0) return fail(error, why(path, "stat", errno));
    if (!S_ISREG(st.st_mode)) return notRegular(path, error);
    const int how = exclusive ? LOCK_EX : LOCK_SH;
    if (::flock(fd.get(), how | LOCK_NB) == 0) return true;
    // A box that seems to hang while another holds the list says why.
    if (errno == EWOULDBLOCK)
      std::fprintf(stderr, "box: %s\n", trf("waiting for another box to let go of %s", path.c_str()).c_str());
    else if (errno != EINTR)
      return fail(error, why(path, "lock", errno));
    while (::flock(fd.get(), how) != 0)
      if (errno != EINTR) return fail(error, why(path, "lock", errno));
    return true;
  }

 private:
  UniqueFd fd;
};

bool makeFolder(const std::string& path, std::string* error) {
  const std::filesystem::path dir = std::filesystem::path(path).parent_path();
  std::error_code ec;
  if (!dir.empty()) std::filesystem::create_directories(dir, ec);
  return ec ? fail(error, dir.string() + ": " + ec.message()) : true;
}

// A rename or a new file reaches the disk only with its folder.
bool syncFolder(const std::string& path, std::string* error) {
  std::string dir = std::filesystem::path(path).parent_path().string();
  if (dir.empty()) dir = ".";
  const UniqueFd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd) return fail(error, why(dir, "open", errno));
  return ::fsync(fd.get()) == 0 ? true : fail(error, why(dir, "fsync", errno));
}

KeptFileStamp stampOf(const struct stat& st) {
  KeptFileStamp k;
  k.known = true;
  k.device = st.st_dev;
  k.inode = st.st_ino;
  k.size = (unsigned long long)st.st_size;
  k.modifiedNs = (long long)st.st_mtim.tv_sec * 1000000000 + st.st_mtim.tv_nsec;
  k.changedNs = (long long)st.st_ctim.tv_sec * 1000000000 + st.st_ctim.tv_nsec;
  return k;
}

bool sameFile(const KeptFileStamp& a, const KeptFileStamp& b) {
  return a.known && b.known && a.device == b.device && a.inode == b.inode && a.size == b.size &&
         a.modifiedNs == b.modifiedNs && a.changedNs == b.changedNs;
}

// Reads the list, then the journal, handing over every entry. With stamp:
// a list file as stamped is passed over; *stamp becomes the list file's
// (unknown when there is none).
bool readKept(const std::string& path, const ServiceListReader& reader, std::string* error,
              KeptFileStamp* stamp = nullptr) {
  for (const std::string& file : {path, serviceJournalPath(path)}) {
    struct stat st;
    if (::stat(file.c_str(), &st) != 0) {
      if (errno != ENOENT) return fail(error, file + ": " + std::strerror(errno));
      if (stamp && file == path) *stamp = KeptFileStamp();
      continue;
    }
    if (!S_ISREG(st.st_mode)) return notRegular(file, error);
    if (stamp && file == path) {
      const KeptFileStamp now = stampOf(st);
      const bool unchanged = sameFile(*stamp, now);
      *stamp = now;
      if (unchanged) continue;
    }
    std::string text;
    if (!readWholeFile(file, &text, error, kMaxServiceListBytes)) return false;
    bool ok = file == path ? readServiceList(text, file, reader, error)
                           : readServiceJournal(text, file, reader, error);
    if (!ok) return false;
  }
  return true;
}

using TransponderKey = std::tuple<int, int, int, int>;

// What eTransponder's == compares.
TransponderKey keyOf(const Satellite& s) {
  return {s.frequency, s.symbol_rate, s.polarisation, s.orbital_position};
}

bool sameTransponder(const Satellite& a, const Satellite& b) {
  return keyOf(a) == keyOf(b) && a.fec == b.fec && a.inversion == b.inversion;
}

bool sameService(const eServiceDVB& a, const eServiceDVB& b) {
  return a.service_name == b.service_name && a.service_provider == b.service_provider &&
         a.service_type == b.service_type && a.scrambled == b.scrambled;
}

// Which of a list's entries its run found or changed: those win over the
// disk's. Without a record of them, all do.
class OwnEntries {
 public:
  explicit OwnEntries(const ServiceChanges* own) : own(own) {
    if (own)
      for (const Satellite& s : own->transponders) tps.insert(keyOf(s));
  }
  bool transponder(const TransponderKey& key) const { return !own || tps.count(key); }
  bool service(const eServiceReferenceDVB& ref) const { return !own || own->services.count(ref); }

 private:
  const ServiceChanges* own;
  std::set<TransponderKey> tps;
};

// Of the disk's services that list also holds, but not as its own, those
// whose record differs: the newer knowledge. A later record on disk
// replaces an earlier one.
void noteNewer(const std::map<eServiceReferenceDVB, eServiceDVB>& services, const OwnEntries& mine,
               const eServiceReferenceDVB& ref, const eServiceDVB& record,
               std::map<eServiceReferenceDVB, eServiceDVB>* newer) {
  auto it = services.find(ref);
  if (it == services.end() || mine.service(ref)) return;
  if (sameService(it->second, record))
    newer->erase(ref);
  else
    (*newer)[ref] = record;
}

// Entries the reader would refuse are left out, and the first is named in
// *refused.
void appendCheckedTransponder(std::string* out, const Satellite& s, const char* sep, std::string* refused) {
  std::string wrong = checkTransponder(s);
  if (!wrong.empty()) {
    if (refused->empty()) *refused = trf("the transponder at %d kHz: %s", int(s.frequency), wrong.c_str());
    return;
  }
  out->append(sep);
  appendTransponder(out, s);
}

void appendCheckedService(std::string* out, const eServiceReferenceDVB& ref, const eServiceDVB& record,
                          const char* sep, std::string* refused) {
  std::string wrong = checkService(ref, record);
  if (!wrong.empty()) {
    if (refused->empty())
      *refused = trf("the service %s: %s", printable(record.service_name).c_str(), wrong.c_str());
    return;
  }
  out->append(sep);
  appendService(out, ref, record);
}

// The whole list, with the lock held.
bool writeWhole(const std::string& path, const eTransponderList& list, const ServiceChanges* own,
                std::string* error, KeptFileStamp* stamp) {
  const OwnEntries mine(own);
  std::map<TransponderKey, const Satellite*> held;
  for (const eTransponder& tp : list.getKnownTransponders()) held.emplace(keyOf(tp.satellite), &tp.satellite);
  const auto& services = list.getServices();
  // What the file gets that list does not hold: the disk's entries list has
  // none of (transponders in the order read), and the disk's newer records
  // of entries list only loaded.
  std::vector<Satellite> diskTps;
  std::map<TransponderKey, size_t> diskTpAt;
  std::map<TransponderKey, Satellite> newerTps;
  std::map<eServiceReferenceDVB, eServiceDVB> diskServices;
  size_t diskOnly = 0;
  ServiceListReader reader;
  reader.transponder = [&](const Satellite& s) {
    const TransponderKey key = keyOf(s);
    auto h = held.find(key);
    if (h == held.end()) {
      // The same carrier as one held, found a little off by another box:
      // one entry, the held values, both boxes' times.
      if (const eTransponder* same = transponderIndex(list).match(s)) {
        noteTransponderSeen(same->satellite, transponderSeen(s));
        return;
      }
      auto [at, fresh] = diskTpAt.emplace(key, diskTps.size());
      if (fresh)
        diskTps.push_back(s);
      else
        diskTps[at->second] = s;
    } else if (!mine.transponder(key)) {
      if (sameTransponder(*h->second, s))
        newerTps.erase(key);
      else
        newerTps[key] = s;
    }
  };
  reader.service = [&](const eServiceReferenceDVB& ref, const eServiceDVB& record) {
    if (services.count(ref))
      noteNewer(services, mine, ref, record, &diskServices);
    else if (diskServices.insert_or_assign(ref, record).second)
      ++diskOnly;
  };
  KeptFileStamp seen = stamp ? *stamp : KeptFileStamp();
  if (!readKept(path, reader, error, &seen)) return false;

  const size_t tpCount = held.size() + diskTps.size(), serviceCount = services.size() + diskOnly;
  if (tpCount > kMaxKeptTransponders || serviceCount > kMaxKeptServices)
    return fail(error, trf("%s: more than %zu transponders or %zu services, the most the box keeps",
                           path.c_str(), size_t(kMaxKeptTransponders), size_t(kMaxKeptServices)));
  std::string text, refused;
  text.reserve((tpCount * 140 + serviceCount * 160) | 1024);
  text = "{\"version\": 1,\n \"transponders\": [";
  const char* sep = "\n  ";
  for (const eTransponder& tp : list.getKnownTransponders()) {
    auto newer = newerTps.find(keyOf(tp.satellite));
    appendCheckedTransponder(&text, newer == newerTps.end() ? tp.satellite : newer->second, sep, &refused);
    if (text.back() == '}') sep = ",\n  ";
  }
  for (const Satellite& s : diskTps) {
    appendCheckedTransponder(&text, s, sep, &refused);
    if (text.back() == '}') sep = ",\n  ";
  }
  text += "],\n \"services\": [";
  sep = "\n  ";
  // Both are sorted: walked side by side, the file stays in order. Where
  // both hold a service, the disk's is the newer record.
  auto ours = services.begin();
  auto theirs = diskServices.begin();
  while (ours != services.end() || theirs != diskServices.end()) {
    const bool takeOurs =
        theirs == diskServices.end() || (ours != services.end() && ours->first < theirs->first);
    if (!takeOurs && ours != services.end() && !(theirs->first < ours->first)) ++ours;
    const auto& entry = takeOurs ? *ours++ : *theirs++;
    appendCheckedService(&text, entry.first, entry.second, sep, &refused);
    if (text.back() == '}') sep = ",\n  ";
  }
  text += "]}\n";
  if (!writeFileAtomic(path, text, error)) return false;
  if (!syncFolder(path, error)) return false;
  // Entries merged in from the disk are in the file but not in the list:
  // the next whole write must read the file again.
  struct stat st;
  const bool onlyOurs = diskTps.empty() && newerTps.empty() && diskServices.empty();
  if (stamp) *stamp = onlyOurs && ::stat(path.c_str(), &st) == 0 ? stampOf(st) : KeptFileStamp();
  // Everything the journal held is in the list now. A journal that stays
  // (unlink failed) is replayed over the same entries: no harm.
  ::unlink(serviceJournalPath(path).c_str());
  if (!refused.empty()) return fail(error, trf("%s: not kept: %s", path.c_str(), refused.c_str()));
  return true;
}

// Cuts off a last line that a dying process left without its newline, so
// that the next line starts on a line of its own. *size is the journal's.
bool cutTornLine(int fd, const std::string& path, off_t* size, std::string* error) {
  char last = '\n';
  if (*size == 0 || ::pread(fd, &last, 1, *size - 1) != 1 || last == '\n') return true;
  char buf[4096];
  off_t end = *size - 1, keep = 0;
  while (end > 0 && keep == 0) {
    off_t from = std::max<off_t>(0, end - off_t(sizeof buf));
    ssize_t n = ::pread(fd, buf, size_t(end - from), from);
    if (n <= 0) return fail(error, why(path, "read", n < 0 ? errno : EIO));
    for (ssize_t i = n - 1; i >= 0; --i)
      if (buf[i] == '\n') {
        keep = from + i + 1;
        break;
      }
    end = from;
  }
  if (::ftruncate(fd, keep) != 0) return fail(error, why(path, "truncate", errno));
  *size = keep;
  return true;
}

// Appends one journal line, with the lock held. *whole: the list should be
// written whole instead, and nothing was appended.
bool appendChanges(const std::string& path, const eTransponderList& list, const ServiceChanges& changes,
                   bool* whole, std::string* error) {
  struct stat listSt, journalSt;
  const std::string journal = serviceJournalPath(path);
  if (::stat(path.c_str(), &listSt) != 0) {
    *whole = true;
    return true;
  }
  const bool existed = ::lstat(journal.c_str(), &journalSt) == 0;
  UniqueFd fd(
      ::open(journal.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0666));
  if (!fd) return fail(error, journal + ": " + std::strerror(errno));
  auto failed = [&](const char* what, int err) { return fail(error, why(journal, what, err)); };
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) return failed("stat", errno);
  if (!S_ISREG(st.st_mode)) return notRegular(journal, error);
  off_t size = st.st_size;

  std::string line = "{\"transponders\": [", refused;
  const char* sep = "";
  for (const Satellite& s : changes.transponders) {
    appendCheckedTransponder(&line, s, sep, &refused);
    if (line.back() == '}') sep = ", ";
  }
  line += "], \"services\": [";
  sep = "";
  for (const eServiceReferenceDVB& ref : changes.services) {
    auto it = list.getServices().find(ref);
    if (it == list.getServices().end()) continue;
    appendCheckedService(&line, it->first, it->second, sep, &refused);
    if (line.back() == '}') sep = ", ";
  }
  line += "]}\n";
  if (size + off_t(line.size()) > std::max(kMinCompactBytes, listSt.st_size / 2)) {
    *whole = true;
    return true;
  }
  if (!cutTornLine(fd.get(), journal, &size, error)) return false;
  if (!writeAll(fd.get(), line)) {
    int err = errno;
    // Nothing half written stays; should even this fail, the next append
    // cuts the torn line off.
    const bool cut = ::ftruncate(fd.get(), size) == 0;
    (void)cut;
    return failed("write", err);
  }
  if (::fsync(fd.get()) != 0) return failed("fsync", errno);
  if (fd.close() != 0) return failed("close", errno);
  if (!existed && !syncFolder(journal, error)) return false;
  if (!refused.empty()) return fail(error, trf("%s: not kept: %s", path.c_str(), refused.c_str()));
  return true;
}

}  // namespace

std::string serviceJournalPath(const std::string& listPath) {
  return listPath + ".journal";
}

std::string serviceLockPath(const std::string& listPath) {
  return listPath + ".lock";
}

bool loadServiceList(const std::string& path, KeptServices* kept, std::string* error, KeptFileStamp* stamp) {
  // A root the box may not write to (no lock file there) is still read.
  ListLock lock;
  if (!regularOrAbsent(serviceLockPath(path), error)) return false;
  lock.take(path, false, nullptr);
  KeptServices read;
  ServiceListReader reader;
  reader.transponder = [&](const Satellite& s) { read.transponders.push_back(s); };
  reader.service = [&](const eServiceReferenceDVB& ref, const eServiceDVB& record) {
    read.services.emplace_back(ref, record);
  };
  KeptFileStamp seen;
  if (!readKept(path, reader, error, &seen)) return false;
  *kept = std::move(read);
  if (stamp) *stamp = seen;
  return true;
}

bool saveServiceList(const std::string& path, const eTransponderList& list, std::string* error,
                     KeptFileStamp* stamp, const ServiceChanges* own) {
  ListLock lock;
  if (!makeFolder(path, error) || !lock.take(path, true, error)) return false;
  return writeWhole(path, list, own, error, stamp);
}

bool newerKeptServices(const std::string& path, const eTransponderList& list, const ServiceChanges* own,
                       const KeptFileStamp& stamp,
                       std::vector<std::pair<eServiceReferenceDVB, eServiceDVB>>* newer, std::string* error) {
  ListLock lock;
  lock.take(path, false, nullptr);
  const OwnEntries mine(own);
  std::map<eServiceReferenceDVB, eServiceDVB> found;
  ServiceListReader reader;
  reader.transponder = [](const Satellite&) {};
  reader.service = [&](const eServiceReferenceDVB& ref, const eServiceDVB& record) {
    noteNewer(list.getServices(), mine, ref, record, &found);
  };
  KeptFileStamp seen = stamp;
  if (!readKept(path, reader, error, &seen)) return false;
  newer->assign(found.begin(), found.end());
  return true;
}

bool saveServiceChanges(const std::string& path, const eTransponderList& list, const ServiceChanges& changes,
                        std::string* error, KeptFileStamp* stamp, const ServiceChanges* own) {
  ListLock lock;
  if (!makeFolder(path, error) || !lock.take(path, true, error)) return false;
  bool whole = false;
  if (!appendChanges(path, list, changes, &whole, error)) return false;
  return whole ? writeWhole(path, list, own, error, stamp) : true;
}

}  // namespace box
