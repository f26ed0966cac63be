// The service list the box keeps, as a run of the box uses it: read at
// boot (a bad one stops the boot), saved as scans end (journal lines for what
// changed, the whole list now and then, merged with what other boxes on the
// same root saved), written whole at shutdown, nothing half written when a
// write fails, and kept by a run that dies at any moment.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "box/base/clock.h"
#include "box/dvb/seen.h"
#include "box/dvb/servicefile.h"
#include "box/dvb/store.h"
#include "dvb/dvb_fixture.h"
#include "host/decoder.h"
#include "host/service.h"

namespace {

std::string readAll(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The names of the files in the folder that holds path.
std::set<std::string> filesBeside(const std::string& path) {
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(std::filesystem::path(path).parent_path()))
    names.insert(e.path().filename().string());
  return names;
}

// A full disk after a few bytes; for the whole list only; half a write, then death.
int writesSoFar = 0;
ssize_t failingWrite(int fd, const void* data, size_t size) {
  if (writesSoFar++ > 0) return errno = ENOSPC, -1;
  return ::write(fd, data, std::min<size_t>(size, 10));
}
ssize_t failingWholeList(int fd, const void* data, size_t size) {
  if (size >= 10 && std::memcmp(data, "{\"version\"", 10) == 0) return errno = ENOSPC, -1;
  return ::write(fd, data, size);
}
ssize_t dieHalfWay(int fd, const void* data, size_t size) {
  ssize_t n = ::write(fd, data, std::max<size_t>(size / 2, 1));
  ::kill(::getpid(), SIGKILL);
  return n;
}

// Runs f in a child process; true when the child was killed (by SIGKILL).
template <typename F>
bool inChild(F f) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(f() ? 0 : 1);
  int status = 0;
  return child > 0 && ::waitpid(child, &status, 0) == child && WIFSIGNALED(status) &&
         WTERMSIG(status) == SIGKILL;
}

// A service numbered n, named "S<n>".
std::pair<eServiceReferenceDVB, eServiceDVB> service(int n) {
  eServiceReferenceDVB ref;
  ref.data[0] = ref.data[2] = 1;
  ref.data[1] = n;
  ref.data[4] = 130;
  eServiceDVB record;
  record.service_name = "S" + std::to_string(n);
  record.service_provider = "P";
  return {ref, record};
}

struct Files {
  std::string list, journal;
  Files() : list((vantrel_test::testDir() / "kept/services.json").string()), journal(list + ".journal") {}
};

// What the files hold: the services' names, and the transponders' frequencies.
std::pair<std::set<std::string>, std::set<int>> loaded(const std::string& path) {
  box::KeptServices kept;
  std::string error;
  EXPECT_TRUE(box::loadServiceList(path, &kept, &error)) << error;
  // A later entry for a service is the newer one.
  std::map<eServiceReferenceDVB, std::string> byRef;
  for (const auto& [ref, record] : kept.services) byRef[ref] = record.service_name;
  std::set<std::string> names;
  for (const auto& [ref, name] : byRef) names.insert(name);
  std::set<int> freqs;
  for (const auto& s : kept.transponders) freqs.insert(s.frequency);
  return {names, freqs};
}

// Adds service n (and a transponder at freqKHz) to list and to changes.
void found(eTransponderList& list, box::ServiceChanges* changes, int n, int freqKHz) {
  auto [ref, record] = service(n);
  list.addService(ref, record);
  eTransponder tp(list);
  tp.setSatellite(freqKHz, 27500000, 0, 0, 130, 0);
  list.addTransponder(tp);
  if (changes) {
    changes->services.insert(ref);
    changes->transponders.push_back(tp.satellite);
  }
}

const std::string kBand = bandJson(
    carrierJson(11000, "H", 27500, 10, "DVB-S",
                R"({"name": "Uno", "provider": "P1"}, {"name": "Due", "provider": "P2"})") +
        ",\n" + carrierJson(11600, "V", 22000, 10, "DVB-S", R"({"name": "Canale Demo", "provider": "PD"})"),
    R"("playing": {"frequency_mhz": 11600, "polarisation": "V", "symbol_rate_ks": 22000, "fec": 2, "service": "Canale Demo"},)"
    "\n");

class StoreTest : public DvbTest {
 protected:
  StoreTest() { language = "C"; }
  void SetUp() override {
    DvbTest::SetUp();
    std::string error;
    ASSERT_TRUE(boot(kBand, &error)) << error;
  }

  void scan(int freqKHz, int srKs, int pol) {
    eDVB::instance->setMode(eDVB::modeScan);
    eDVBScanController* s = eDVB::instance->getScanAPI();
    eTransponder tp(*eDVB::instance->getTransponders());
    tp.setSatellite(freqKHz, srKs * 1000, pol, 0, 130, 0);
    s->addTransponder(tp);
    s->start();
    box::runUntil([&] { return !s->isRunning(); }, 20000);
    eDVB::instance->setMode(eDVB::modeTV);
  }

  std::string journalPath() const { return box::serviceJournalPath(serviceListPath()); }

  // The names the list file holds, then those of each journal line after a "|".
  std::string onDisk() {
    std::string out, error;
    box::ServiceListReader r{
        [](const box::Satellite&) {},
        [&](const eServiceReferenceDVB&, const eServiceDVB& s) { out += " " + s.service_name; }};
    const std::string list = readAll(serviceListPath());
    EXPECT_TRUE(list.empty() || box::readServiceList(list, "list", r, &error)) << error;
    const std::string journal = readAll(journalPath());
    for (size_t at = 0, end; at < journal.size(); at = end + 1) {
      end = std::min(journal.find('\n', at), journal.size());
      out += " |";
      EXPECT_TRUE(box::readServiceJournal(journal.substr(at, end + 1 - at), "journal", r, &error)) << error;
    }
    return out.empty() ? out : out.substr(1);
  }

  std::vector<std::string> serviceNames() {
    std::vector<std::string> names;
    for (const auto& [ref, record] : eDVB::instance->getTransponders()->getServices())
      names.push_back(record.service_name);
    return names;
  }
};

}  // namespace

TEST_F(StoreTest, BootSetsWhatIsPlayingAndABadBandMakesNoFrontEnd) {
  auto playing = [] {
    const eTransponder* tp = eDVB::instance->getServiceAPI()->transponder;
    const eServiceReference& ref = eServiceInterface::getInstance()->service;
    std::string out = ref.descr + " " + std::to_string(ref.type) + " " + std::to_string(ref.data[2]);
    if (tp)
      for (int v : {tp->satellite.frequency, tp->satellite.symbol_rate, tp->satellite.polarisation,
                    tp->satellite.fec, tp->satellite.orbital_position})
        out += " " + std::to_string(v);
    return out;
  };
  eServiceReference none, copy = eServiceInterface::getInstance()->service;
  EXPECT_NE(eServiceInterface::getInstance()->play(none), 0);
  EXPECT_EQ(eServiceInterface::getInstance()->play(copy) + Decoder::locked, 0);
  EXPECT_EQ(playing(), "Canale Demo 1 2 11600000 22000000 1 2 130");
  EXPECT_EQ(events("play").at(1).dump(), R"({"ev":"play","freq":11600,"service":"Canale Demo","t":0})");
  std::string error;
  ASSERT_TRUE(boot(bandJson(""), &error)) << error;
  EXPECT_EQ(playing(), " -1 0");
  EXPECT_FALSE(boot("{\"orbital_position\": 130}", &error));
  EXPECT_EQ(eFrontend::frontend, nullptr);
}

TEST_F(StoreTest, ScansAreKeptAndALaterRunStartsFromThem) {
  // Saved when a scan ends, not only at exit: with no list yet whole, then
  // a journal line with what the scan found; at the end whole again.
  scan(11001000, 27500, 0);
  EXPECT_EQ(onDisk(), "Uno Due");
  scan(11600000, 22000, 1);
  EXPECT_EQ(onDisk(), "Uno Due | Canale Demo");
  std::string error;
  ASSERT_TRUE(box::shutdownDvb(&error)) << error;
  EXPECT_EQ(onDisk(), "Uno Canale Demo Due");
  // A run killed while writing left half a temporary file: passed over.
  std::ofstream(serviceListPath() + ".tmp") << "{\"version\": 1, \"transpon";
  ASSERT_TRUE(boot(kBand, &error)) << error;
  // In the order of their references: service id, then transport stream.
  EXPECT_EQ(serviceNames(), (std::vector<std::string>{"Uno", "Canale Demo", "Due"}));
  ASSERT_EQ(eDVB::instance->getTransponders()->getKnownTransponders().size(), 2u);
  // Found services are found by searchService from the start.
  eServiceReferenceDVB ref = eDVB::instance->getTransponders()->getServices().begin()->first;
  ASSERT_NE(eDVB::instance->getTransponders()->searchService(ref), nullptr);
  // Finding them again (a little off the centre) adds nothing: only when
  // they were seen changes.
  const std::string whole = readAll(serviceListPath());
  scan(10999000, 27500, 0);
  EXPECT_EQ(serviceNames().size(), 3u);
  EXPECT_EQ(eDVB::instance->getTransponders()->getKnownTransponders().size(), 2u);
  ASSERT_TRUE(box::shutdownDvb(&error)) << error;
  const std::regex times(R"(, "first_seen": "[^"]*", "last_seen": "[^"]*", "times_seen": \d+)");
  EXPECT_EQ(std::regex_replace(readAll(serviceListPath()), times, ""), std::regex_replace(whole, times, ""));
  EXPECT_EQ(filesBeside(serviceListPath()),
            (std::set<std::string>{"services.json", "services.json.lock", "services.json.tmp"}));
}

TEST_F(StoreTest, ABadListStopsTheBootWithItsPlace) {
  box::shutdownDvb();
  std::filesystem::create_directories(std::filesystem::path(serviceListPath()).parent_path());
  const std::string good =
      "{\"version\": 1,\n \"transponders\": [\n  {\"frequency_khz\": 11000000, \"symbol_rate\": 27500000, "
      "\"polarisation\": 0, \"fec\": 3, \"orbital_position\": 130, \"inversion\": 0}],\n \"services\": []}\n";
  const std::string line =
      R"({"transponders": [], "services": [{"data": [1, 1, 1, 1, 130, 11000, 0, 0], "flags": 0, "name": )"
      R"("Uno", "provider": "P1", "service_type": 1, "scrambled": false}]})"
      "\n";
  struct Case {
    std::string list, journal, message;  // message "": boots
    uint64_t size = 0;                   // the list made this long
  };
  const Case cases[] = {
      {"{\"version\": 1,\n \"transponders\": [\n  {\"frequency_khz\": 99999999999}],\n \"services\": []}\n",
       "", "services.json: line 3: transponders[0].frequency_khz: must be between 0 and 2147483647"},
      {"{\"version\": 1, \"transpo", "",
       "services.json: line 1, column 24: syntax error: invalid string: missing closing quote; last read: "
       "'\"transpo'"},
      {"\xEF\xBB\xBF" + good, line + "{\"transponders\": [], \"services\": [{\"da", ""},
      {good, line + "{\"transponders\": 7, \"services\": []}\n" + line,
       "services.json.journal: line 2: transponders: must be an array"},
      // Past 2 GiB, which a 32-bit build without large-file support could not even stat.
      {"{", "", "services.json: larger than 256 MiB, the most the box reads", (uint64_t(1) << 31) + 4096},
  };
  for (const Case& c : cases) {
    std::ofstream(serviceListPath(), std::ios::trunc) << c.list;
    std::ofstream(journalPath(), std::ios::trunc) << c.journal;
    if (c.size) std::filesystem::resize_file(serviceListPath(), c.size);
    std::string error;
    EXPECT_EQ(boot(kBand, &error), c.message.empty()) << error;
    EXPECT_EQ(
        error.empty() ? "" : error.substr(0, error.find("; expected")),
        c.message.empty() ? "" : serviceListPath().substr(0, serviceListPath().size() - 13) + c.message);
    if (c.message.empty()) {
      EXPECT_EQ(serviceNames(), std::vector<std::string>{"Uno"});
      box::shutdownDvb();
    } else {
      EXPECT_EQ(eDVB::instance, nullptr);
    }
  }
}

TEST_F(StoreTest, AProcessKilledWhileAppendingOrWritingTheListKeepsWhatEarlierSavesRecorded) {
  scan(11001000, 27500, 0);
  ASSERT_TRUE(inChild([&] {
    box::setWriteFunction(dieHalfWay);
    scan(11600000, 22000, 1);
    return true;
  })) << "the child died while appending";
  // What was kept still reads, the torn line passed over; this box's next
  // save cuts it off and starts a line of its own.
  EXPECT_EQ(onDisk(), "Uno Due |");
  EXPECT_NE(readAll(journalPath()).back(), '\n');
  scan(11600000, 22000, 1);
  EXPECT_EQ(onDisk(), "Uno Due | Canale Demo");
  // Killed while writing the whole list: the old list and the journal stay.
  const std::string files = readAll(serviceListPath()) + readAll(journalPath());
  ASSERT_TRUE(inChild([&] {
    box::setWriteFunction(dieHalfWay);
    std::string error;
    return box::saveServiceList(serviceListPath(), *eDVB::instance->getTransponders(), &error);
  })) << "the child died while writing";
  EXPECT_EQ(readAll(serviceListPath()) + readAll(journalPath()), files);
  // A run that finds nothing still folds in a journal an earlier run left.
  std::string error;
  ASSERT_TRUE(box::shutdownDvb(&error)) << error;
  ASSERT_TRUE(boot(kBand, &error)) << error;
  ASSERT_TRUE(inChild([&] {
    scan(11001000, 27500, 0);
    return ::kill(::getpid(), SIGKILL) == 0;
  })) << "killed after its save";
  EXPECT_EQ(onDisk(), "Uno Canale Demo Due | Uno Due");
  ASSERT_TRUE(box::shutdownDvb(&error)) << error;
  EXPECT_EQ(onDisk(), "Uno Canale Demo Due");
  EXPECT_FALSE(std::filesystem::exists(journalPath()));
}

TEST_F(StoreTest, WhereBoxesDisagreeTheNewerKnowledgeWins) {
  scan(11001000, 27500, 0);
  std::string error;
  ASSERT_TRUE(box::shutdownDvb(&error)) << error;
  const std::string start = readAll(serviceListPath());
  struct Case {
    bool whole;        // the other box writes the list whole, else a journal line
    std::string mine;  // what this box renames Uno to itself ("": it only loaded Uno)
    bool exports;      // this box takes the newer records in before it exports
    std::vector<std::string> kept;
  };
  const Case cases[] = {
      {false, "", true, {"Uno B", "Canale Demo", "Due"}},
      {true, "", false, {"Uno B", "Canale Demo", "Due"}},
      {false, "", false, {"Uno B", "Canale Demo", "Due"}},
      {true, "Uno A", true, {"Uno A", "Canale Demo", "Due"}},
  };
  for (const Case& c : cases) {
    std::ofstream(serviceListPath(), std::ios::trunc) << start;
    ASSERT_TRUE(boot(kBand, &error)) << error;
    auto uno = *eDVB::instance->getTransponders()->getServices().begin();
    ASSERT_EQ(uno.second.service_name, "Uno");
    // Another box on the root rescans Uno and finds it renamed.
    eTransponderList other;
    box::ServiceChanges changes;
    uno.second.service_name = "Uno B";
    other.addService(uno.first, uno.second);
    changes.services.insert(uno.first);
    ASSERT_TRUE(c.whole
                    ? box::saveServiceList(serviceListPath(), other, &error, nullptr, &changes)
                    : box::saveServiceChanges(serviceListPath(), other, changes, &error, nullptr, &changes))
        << error;
    scan(11600000, 22000, 1);  // this box finds something of its own
    if (!c.mine.empty()) {
      uno.second.service_name = c.mine;
      eDVB::instance->getTransponders()->addService(uno.first, uno.second);
    }
    if (c.exports) {
      box::takeNewerKeptServices();
      EXPECT_EQ(serviceNames(), c.kept);
    }
    ASSERT_TRUE(box::shutdownDvb(&error)) << error;
    ASSERT_TRUE(boot(kBand, &error)) << error;
    EXPECT_EQ(serviceNames(), c.kept);
    box::shutdownDvb();
  }
}

TEST_F(StoreTest, WhenTheWholeListCannotBeWrittenTheJournalKeepsWhatIsPending) {
  scan(11001000, 27500, 0);
  eDVB::instance->getTransponders()->addService(service(5).first, service(5).second);
  box::setWriteFunction(failingWholeList);
  std::string error;
  EXPECT_TRUE(box::shutdownDvb(&error)) << "kept in the journal";
  box::setWriteFunction(nullptr);
  EXPECT_EQ(onDisk(), "Uno Due | S5");
  ASSERT_TRUE(boot(kBand, &error)) << error;
  // With every write failing, the end of the run says the list was not kept.
  eDVB::instance->getTransponders()->addService(service(6).first, service(6).second);
  writesSoFar = 0;
  box::setWriteFunction(failingWrite);
  EXPECT_FALSE(box::shutdownDvb(&error));
  box::setWriteFunction(nullptr);
  EXPECT_EQ(error, serviceListPath() + ": write: " + std::strerror(ENOSPC));
  EXPECT_EQ(onDisk(), "Uno Due | S5");
}

TEST(ServiceJournal, BoxesSavingFromDivergingListsKeepEachOthersEntries) {
  Files f;
  std::string error;
  // Both boxes started from the same list: service 1 on 11000 MHz. Each
  // keeps the stamp of the list file it last read or wrote, as a box does.
  eTransponderList a, b;
  box::KeptFileStamp stampA, stampB;
  found(a, nullptr, 1, 11000000);
  ASSERT_TRUE(box::saveServiceList(f.list, a, &error, &stampA)) << error;
  box::KeptServices kept;
  ASSERT_TRUE(box::loadServiceList(f.list, &kept, &error, &stampB)) << error;
  found(b, nullptr, 1, 11000000);
  box::ServiceChanges ca, cb;
  found(a, &ca, 10, 11100000);
  found(b, &cb, 20, 11200000);
  // B renames service 1: where both hold an entry, the box writing wins.
  auto renamed = service(1);
  renamed.second.service_name = "S1 renamed";
  b.addService(renamed.first, renamed.second);
  cb.services.insert(renamed.first);
  ASSERT_TRUE(box::saveServiceChanges(f.list, a, ca, &error, &stampA)) << error;
  ASSERT_TRUE(box::saveServiceChanges(f.list, b, cb, &error, &stampB)) << error;
  const std::string journal = readAll(f.journal);
  EXPECT_EQ(std::count(journal.begin(), journal.end(), '\n'), 2);
  const std::set<int> freqs{11000000, 11100000, 11200000};
  EXPECT_EQ(loaded(f.list), std::make_pair(std::set<std::string>{"S1 renamed", "S10", "S20"}, freqs));
  // A writes the whole list: B's journal line stays in it, though A never held it.
  ASSERT_TRUE(box::saveServiceList(f.list, a, &error, &stampA)) << error;
  EXPECT_FALSE(std::filesystem::exists(f.journal));
  EXPECT_EQ(loaded(f.list), std::make_pair(std::set<std::string>{"S1", "S10", "S20"}, freqs));
  // And again: the file holds what A does not, so A reads it once more.
  box::ServiceChanges more;
  found(a, &more, 11, 11100000);
  ASSERT_TRUE(box::saveServiceList(f.list, a, &error, &stampA)) << error;
  EXPECT_EQ(loaded(f.list), std::make_pair(std::set<std::string>{"S1", "S10", "S11", "S20"}, freqs));
  found(b, &more, 21, 11200000);
  ASSERT_TRUE(box::saveServiceChanges(f.list, b, more, &error, &stampB)) << error;
  ASSERT_TRUE(box::saveServiceList(f.list, b, &error, &stampB)) << error;
  EXPECT_EQ(loaded(f.list),
            std::make_pair(std::set<std::string>{"S1 renamed", "S10", "S11", "S20", "S21"}, freqs));
}

TEST(ServiceJournal, TwoProcessesSavingAtOnceLoseNothing) {
  Files f;
  pid_t children[2];
  for (int box = 0; box < 2; ++box)
    if ((children[box] = ::fork()) == 0) {
      eTransponderList list;
      box::KeptFileStamp stamp;
      bool ok = true;
      for (int round = 0; round < 40; ++round) {
        box::ServiceChanges changes;
        found(list, &changes, box * 1000 + round, 10700000 + box * 1000000 + round * 10000);
        std::string e;
        ok &= round % 3 == 2 ? box::saveServiceList(f.list, list, &e, &stamp)
                             : box::saveServiceChanges(f.list, list, changes, &e, &stamp);
      }
      ::_exit(!ok);
    }
  for (pid_t child : children) {
    int status = 0;
    EXPECT_TRUE(::waitpid(child, &status, 0) == child && status == 0) << "a save failed";
  }
  EXPECT_EQ(loaded(f.list).first.size() + loaded(f.list).second.size(), 160u);
}

TEST(ServiceJournal, ASaveWritesWhatChangedAndTheWholeListOnlyNowAndThen) {
  Files f;
  std::string error;
  eTransponderList list;
  for (int n = 0; n < 3000; ++n) found(list, nullptr, n, 10700000 + (n / 20) * 1000);
  ASSERT_TRUE(box::saveServiceList(f.list, list, &error)) << error;
  // One service found: one short line.
  box::ServiceChanges one;
  found(list, &one, 5000, 12000000);
  ASSERT_TRUE(box::saveServiceChanges(f.list, list, one, &error)) << error;
  EXPECT_LT(std::filesystem::file_size(f.journal), 300u);
  // A change set bigger than the journal may grow (1 MiB here) writes the whole list.
  box::ServiceChanges many;
  for (int n = 6000; n < 14000; ++n) found(list, &many, n, 12100000);
  ASSERT_TRUE(box::saveServiceChanges(f.list, list, many, &error)) << error;
  EXPECT_FALSE(std::filesystem::exists(f.journal));
  EXPECT_EQ(loaded(f.list).first.size(), 3000u + 1 + 8000);
}

TEST(ServiceJournal, AFailedWriteLeavesTheFilesAsTheyWereAndSaysWhy) {
  Files f;
  std::string error;
  eTransponderList list;
  found(list, nullptr, 1, 11000000);
  ASSERT_TRUE(box::saveServiceList(f.list, list, &error)) << error;
  box::ServiceChanges changes;
  found(list, &changes, 2, 11000000);
  ASSERT_TRUE(box::saveServiceChanges(f.list, list, changes, &error)) << error;
  const std::string oldFiles = readAll(f.list) + readAll(f.journal);
  for (bool whole : {true, false}) {
    writesSoFar = 0;
    box::setWriteFunction(failingWrite);
    bool ok = whole ? box::saveServiceList(f.list, list, &error)
                    : box::saveServiceChanges(f.list, list, changes, &error);
    box::setWriteFunction(nullptr);
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, (whole ? f.list : f.journal) + ": write: " + std::strerror(ENOSPC));
    EXPECT_EQ(readAll(f.list) + readAll(f.journal), oldFiles);
    EXPECT_EQ(filesBeside(f.list).size(), 3u) << "a list, a journal, a lock";
  }
}

TEST(ServiceJournal, WhatTheReaderWouldRefuseIsLeftOutAndTheSaveSaysSo) {
  Files f;
  std::string error;
  eTransponderList list;
  found(list, nullptr, 1, 11000000);
  eTransponder odd(list);
  odd.setSatellite(11500000, 27500000, 2, 0, 130, 0);  // circular: the box keeps H and V only
  list.addTransponder(odd);
  auto [ref, record] = service(2);
  record.service_type = 300;
  list.addService(ref, record);
  EXPECT_FALSE(box::saveServiceList(f.list, list, &error));
  EXPECT_EQ(error,
            f.list + ": not kept: the transponder at 11500000 kHz: polarisation: must be between 0 and 1");
  // The rest is kept, and the list reads back.
  EXPECT_EQ(loaded(f.list), std::make_pair(std::set<std::string>{"S1"}, std::set<int>{11000000}));
  box::ServiceChanges changes;
  changes.services.insert(ref);
  EXPECT_FALSE(box::saveServiceChanges(f.list, list, changes, &error));
  EXPECT_EQ(error, f.list + ": not kept: the service S2: service_type: must be between 0 and 255");
  EXPECT_EQ(loaded(f.list).first, std::set<std::string>{"S1"});
}

TEST(ServiceJournal, ABoxThatWaitsForTheLockSaysSoAndSavesOnceItIsFree) {
  Files f;
  std::filesystem::create_directories(std::filesystem::path(f.list).parent_path());
  const int held = ::open((f.list + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  const std::string said = f.list + ".stderr";
  const int stderrWas = ::dup(2), out = ::open(said.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  ::dup2(out, 2);
  eTransponderList list;
  found(list, nullptr, 1, 11000000);
  std::string error;
  bool saved = false;
  std::thread other([&] { saved = box::saveServiceList(f.list, list, &error); });
  for (int i = 0; i < 2000 && readAll(said).empty(); ++i) ::usleep(10000);
  const bool early = std::filesystem::exists(f.list);
  ::flock(held, LOCK_UN);
  other.join();
  ::dup2(stderrWas, 2);
  for (int fd : {stderrWas, out, held}) ::close(fd);
  EXPECT_FALSE(early) << "saved while another held the lock";
  EXPECT_EQ(readAll(said), "box: waiting for another box to let go of " + f.list + ".lock\n");
  EXPECT_TRUE(saved) << error;
  EXPECT_EQ(loaded(f.list).first, std::set<std::string>{"S1"});
}

TEST(ServiceJournal, WhatIsNoRegularFileUnderTheListsNamesIsRefusedUnopened) {
  Files f;
  const std::filesystem::path folder = std::filesystem::path(f.list).parent_path();
  eTransponderList list;
  found(list, nullptr, 1, 11000000);
  // A FIFO nobody writes to: opening it to read would wait for ever.
  for (const std::string& file : {f.list, f.journal, f.list + ".lock"})
    for (int kind = 0; kind < 3; ++kind) {
      std::filesystem::remove_all(folder);
      std::filesystem::create_directories(folder);
      ASSERT_EQ(kind == 0   ? ::mkfifo(file.c_str(), 0666)
                : kind == 1 ? ::mkdir(file.c_str(), 0777)
                            : ::symlink("/dev/null", file.c_str()),
                0);
      box::KeptServices kept;
      std::string loadError, saveError;
      EXPECT_FALSE(box::loadServiceList(f.list, &kept, &loadError));
      EXPECT_FALSE(box::saveServiceList(f.list, list, &saveError));
      EXPECT_EQ(loadError + "|" + saveError,
                file + ": is not a regular file|" + file + ": is not a regular file");
    }
}

// A list written before the box kept times, then two runs a night apart:
// the feed found again 1 MHz, then 3 MHz (within 27500 / 8 kHz) off is the
// entry kept, moved, its renamed service marked; what was not seen again
// keeps no times.
TEST_F(StoreTest, AFeedFoundAgainALittleOffIsTheEntryKeptWithWhenItWasSeen) {
  const std::string oldList =
      R"({"version": 1, "transponders": [{"frequency_khz": 11000000, "symbol_rate": 27500000, )"
      R"("polarisation": 0, "fec": 3, "orbital_position": 130, "inversion": 0}], "services": [)"
      R"({"data": [1, 1, 1, 1, 130, 11000, 0, 0], "flags": 0, "name": "Uno", "provider": "P1", )"
      R"("service_type": 1, "scrambled": false}, {"data": [1, 9, 9, 1, 130, 11600, 0, 0], "flags": 0, )"
      R"("name": "Vecchio", "provider": "P", "service_type": 1, "scrambled": false}]})";
  for (int offKHz : {1000, 3000}) {
    std::string error;
    box::shutdownDvb();
    std::filesystem::create_directories(std::filesystem::path(serviceListPath()).parent_path());
    std::ofstream(serviceListPath()) << oldList;
    std::remove(journalPath().c_str());
    std::string summaries;
    for (const auto& [start, mhz, due] :
         {std::tuple{"2026-12-08T21:04:05Z", 11000.0, "Due"},
          std::tuple{"2026-12-09T08:00:00Z", 11000 + offKHz / 1000.0, "Due Nuovo"}}) {
      ::setenv("VANTREL_START_TIME", start, 1);
      ASSERT_TRUE(boot(bandJson(carrierJson(mhz, "H", 27500, 10, "DVB-S",
                                            R"({"name": "Uno", "provider": "P1"}, {"name": ")" +
                                                std::string(due) + R"(", "provider": "P2"})")),
                       &error))
          << error;
      scan(int(mhz * 1000), 27500, 0);
      summaries += box::foundSummary();
      ASSERT_TRUE(box::shutdownDvb(&error)) << error;
    }
    ::unsetenv("VANTREL_START_TIME");
    const std::string f = std::to_string(11000 + offKHz / 1000);
    EXPECT_EQ(summaries,
              "Transponders scanned: 1\n  11000 MHz H 27500 ksym/s DVB-S: 2 services\n    Uno (P1): TV, "
              "free, SID 1\n"
              "    Due (P2): TV, free, SID 2 (new)\nFound: 1 transponder, 2 services (2 TV, 0 radio, 0 "
              "scrambled).\n"
              "New: 0 transponders, 1 service; 0 renamed; 1 seen before.\nTransponders scanned: 1\n  " +
                  f +
                  " MHz H 27500 ksym/s DVB-S: 2 services\n    Uno (P1): TV, free, SID 1\n"
                  "    Due Nuovo (P2): TV, free, SID 2 (was: Due)\n"
                  "Found: 1 transponder, 2 services (2 TV, 0 radio, 0 scrambled).\n"
                  "New: 0 transponders, 0 services; 1 renamed; 2 seen before.\n");
    box::KeptServices kept;
    ASSERT_TRUE(box::loadServiceList(serviceListPath(), &kept, &error)) << error;
    std::string got;
    auto when = [](const box::Seen& s) {
      return " " + box::utcText(s.first) + "/" + box::utcText(s.last) + "/" + std::to_string(s.times);
    };
    for (const auto& t : kept.transponders)
      got += std::to_string(t.frequency) + when(box::transponderSeen(t)) + "\n";
    for (const auto& [ref, record] : kept.services)
      got += record.service_name + when(box::serviceSeen(ref)) + "\n";
    EXPECT_EQ(got, f + "000 2026-12-08T21:04:05Z/2026-12-09T08:00:00Z/2\n"
                       "Uno 2026-12-08T21:04:05Z/2026-12-09T08:00:00Z/2\n"
                       "Due Nuovo 2026-12-08T21:04:05Z/2026-12-09T08:00:00Z/2\n"
                       "Vecchio //0\n")
        << offKHz;
  }
}
