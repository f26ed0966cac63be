// Saving the kept list: journal lines for what changed, the whole list now
// and then, merged with what other boxes on the same root saved, and nothing
// half written when a write fails.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <map>
#include <thread>
#include <vector>

#include "dvb/store_support.h"
#include "test_dir.h"

namespace {

using namespace store_test;

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
  eTransponder tp = transponder(list, freqKHz);
  list.addTransponder(tp);
  if (changes) {
    changes->services.insert(ref);
    changes->transponders.push_back(tp.satellite);
  }
}

}  // namespace

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
  EXPECT_EQ(lineCount(f.journal), 2u);
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
  constexpr int kRounds = 40;
  pid_t children[2];
  for (int box = 0; box < 2; ++box)
    if ((children[box] = ::fork()) == 0) {
      eTransponderList list;
      box::KeptFileStamp stamp;
      bool ok = true;
      for (int round = 0; round < kRounds; ++round) {
        box::ServiceChanges changes;
        found(list, &changes, box * 1000 + round, 10700000 + box * 1000000 + round * 1000);
        std::string error;
        ok &= round % 3 == 2 ? box::saveServiceList(f.list, list, &error, &stamp)
                             : box::saveServiceChanges(f.list, list, changes, &error, &stamp);
      }
      ::_exit(ok ? 0 : 1);
    }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a save failed";
  }
  auto [names, freqs] = loaded(f.list);
  EXPECT_EQ(names.size(), size_t(2 * kRounds));
  EXPECT_EQ(freqs.size(), size_t(2 * kRounds));
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
  eTransponder odd = transponder(list, 11500000);
  odd.satellite.polarisation = 2;  // circular: the box keeps H and V only
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
  ::close(held);
  other.join();
  ::dup2(stderrWas, 2);
  ::close(stderrWas);
  ::close(out);
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
      if (kind == 0)
        ASSERT_EQ(::mkfifo(file.c_str(), 0666), 0);
      else if (kind == 1)
        std::filesystem::create_directory(file);
      else
        std::filesystem::create_symlink("/dev/null", file);
      box::KeptServices kept;
      std::string loadError, saveError;
      EXPECT_FALSE(box::loadServiceList(f.list, &kept, &loadError));
      EXPECT_FALSE(box::saveServiceList(f.list, list, &saveError));
      EXPECT_EQ(loadError + "|" + saveError,
                file + ": is not a regular file|" + file + ": is not a regular file");
    }
}
