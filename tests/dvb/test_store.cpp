// The service list the box keeps: written atomically, read by the next run,
// and left intact by a run that dies while writing it.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "box/dvb/store.h"
#include "dvb/dvb_fixture.h"
#include "host/decoder.h"
#include "host/service.h"

namespace {

std::string readAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

const std::string kBand = bandJson(
    carrierJson(11000, "H", 27500, 10, "DVB-S",
                R"({"name": "Uno", "provider": "P1"}, {"name": "Due", "provider": "P2"})") +
        ",\n" + carrierJson(11600, "V", 22000, 10, "DVB-S", R"({"name": "Canale Demo", "provider": "PD"})"),
    R"("playing": {"frequency_mhz": 11600, "polarisation": "V", "symbol_rate_ks": 22000, "fec": 2, "service": "Canale Demo"},)"
    "\n");

class StoreTest : public DvbTest {
 protected:
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

  std::vector<std::string> serviceNames() {
    std::vector<std::string> names;
    for (const auto& [ref, record] : eDVB::instance->getTransponders()->getServices())
      names.push_back(record.service_name);
    return names;
  }
};

int gWrites = 0;
// Writes a few bytes, then fails as a full disk would.
ssize_t failingWrite(int fd, const void* data, size_t size) {
  if (gWrites++ > 0) {
    errno = ENOSPC;
    return -1;
  }
  return ::write(fd, data, size < 10 ? size : 10);
}

}  // namespace

TEST_F(StoreTest, BootSetsWhatIsPlaying) {
  eDVBServiceController* player = eDVB::instance->getServiceAPI();
  ASSERT_NE(player, nullptr);
  ASSERT_NE(player->transponder, nullptr);
  EXPECT_EQ(player->transponder->satellite.frequency, 11600000);
  EXPECT_EQ(player->transponder->satellite.symbol_rate, 22000000);
  EXPECT_EQ(player->transponder->satellite.polarisation, 1);
  EXPECT_EQ(player->transponder->satellite.fec, 2);
  EXPECT_EQ(player->transponder->satellite.orbital_position, 130);
  const eServiceReference& playing = eServiceInterface::getInstance()->service;
  EXPECT_EQ(playing.type, eServiceReference::idDVB);
  EXPECT_EQ(playing.descr, "Canale Demo");
  EXPECT_EQ(playing.data[2], 2);  // the second carrier's transport stream
  EXPECT_EQ(Decoder::locked, 0);
  // play traces the service and keeps it as the one playing.
  eServiceReference none;
  EXPECT_NE(eServiceInterface::getInstance()->play(none), 0);
  EXPECT_EQ(eServiceInterface::getInstance()->service.descr, "Canale Demo");
  eServiceReference copy = playing;
  EXPECT_EQ(eServiceInterface::getInstance()->play(copy), 0);
  auto plays = events("play");
  ASSERT_EQ(plays.size(), 2u);
  EXPECT_EQ(plays[1]["service"], "Canale Demo");
  EXPECT_EQ(plays[1]["freq"], 11600);
}

TEST_F(StoreTest, NothingPlaysWithoutAPlayingEntry) {
  std::string error;
  ASSERT_TRUE(boot(bandJson(""), &error)) << error;
  EXPECT_EQ(eServiceInterface::getInstance()->service.type, eServiceReference::idInvalid);
  EXPECT_EQ(eDVB::instance->getServiceAPI()->transponder, nullptr);
}

TEST_F(StoreTest, ABadBandIsRefusedAndNothingIsMade) {
  box::shutdownDvb();
  std::string error;
  EXPECT_FALSE(boot("{\"orbital_position\": 130}", &error));
  EXPECT_EQ(error, (dir / "band.json").string() + ": line 1: carriers: missing");
  EXPECT_EQ(eDVB::instance, nullptr);
  EXPECT_EQ(eFrontend::frontend, nullptr);
}

TEST_F(StoreTest, ScansAreKeptAndALaterRunStartsFromThem) {
  scan(11001000, 27500, 0);
  // Written when the scan ended, not only at exit.
  std::string written = readAll(serviceListPath());
  EXPECT_NE(written.find("\"Due\""), std::string::npos);
  box::shutdownDvb();
  std::string error;
  ASSERT_TRUE(boot(kBand, &error)) << error;
  EXPECT_EQ(serviceNames(), (std::vector<std::string>{"Uno", "Due"}));
  ASSERT_EQ(eDVB::instance->getTransponders()->getKnownTransponders().size(), 1u);
  // Found services are found by searchService from the start.
  eServiceReferenceDVB ref = eDVB::instance->getTransponders()->getServices().begin()->first;
  ASSERT_NE(eDVB::instance->getTransponders()->searchService(ref), nullptr);
  // Scanning the same and another carrier adds without duplicates.
  scan(10999000, 27500, 0);
  scan(11600000, 22000, 1);
  EXPECT_EQ(serviceNames().size(), 3u);
  EXPECT_EQ(eDVB::instance->getTransponders()->getKnownTransponders().size(), 2u);
  box::shutdownDvb();
  ASSERT_TRUE(boot(kBand, &error)) << error;
  EXPECT_EQ(serviceNames().size(), 3u);
}

// The names of the files in the folder that holds path.
std::set<std::string> filesBeside(const std::string& path) {
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(std::filesystem::path(path).parent_path()))
    names.insert(e.path().filename().string());
  return names;
}

TEST_F(StoreTest, ALeftoverTemporaryFileIsIgnoredAndReplaced) {
  scan(11001000, 27500, 0);
  box::shutdownDvb();
  std::string good = readAll(serviceListPath());
  // A run killed while writing left half a temporary file.
  std::ofstream(serviceListPath() + ".tmp") << "{\"version\": 1, \"transpon";
  std::string error;
  ASSERT_TRUE(boot(kBand, &error)) << error;
  EXPECT_EQ(serviceNames().size(), 2u);
  scan(11600000, 22000, 1);
  box::shutdownDvb();
  EXPECT_EQ(filesBeside(serviceListPath()), (std::set<std::string>{"services.json", "services.json.tmp"}));
  ASSERT_TRUE(boot(kBand, &error)) << error;
  EXPECT_EQ(serviceNames().size(), 3u);
}

TEST_F(StoreTest, AWriteThatFailsLeavesTheOldListAndNoTemporaryFile) {
  scan(11001000, 27500, 0);
  std::string before = readAll(serviceListPath());
  ASSERT_FALSE(before.empty());
  gWrites = 0;
  box::setWriteFunction(failingWrite);
  std::string error;
  bool ok = box::saveServiceList(serviceListPath(), eTransponderList(), &error);
  box::setWriteFunction(nullptr);
  EXPECT_FALSE(ok);
  EXPECT_EQ(error, serviceListPath() + ": write: " + std::strerror(ENOSPC));
  EXPECT_EQ(readAll(serviceListPath()), before);
  EXPECT_EQ(filesBeside(serviceListPath()), std::set<std::string>{"services.json"});
}

TEST_F(StoreTest, ACorruptListStopsTheBootWithItsPlace) {
  box::shutdownDvb();
  std::filesystem::create_directories(std::filesystem::path(serviceListPath()).parent_path());
  std::ofstream(serviceListPath())
      << "{\"version\": 1,\n \"transponders\": [\n  {\"frequency_khz\": \"x\"}],\n"
         " \"services\": []}\n";
  std::string error;
  EXPECT_FALSE(boot(kBand, &error));
  EXPECT_EQ(error,
            serviceListPath() + ": line 3: transponders[0].frequency_khz: missing or not a whole number");
  EXPECT_EQ(eDVB::instance, nullptr);
  std::ofstream(serviceListPath()) << "{\"version\": 1, \"transpo";
  EXPECT_FALSE(boot(kBand, &error));
  EXPECT_EQ(error.rfind(serviceListPath() + ": not valid JSON", 0), 0u) << error;
}

namespace {

// Writes half of what it is given, then the process dies as a power cut or
// a kill -9 would end it.
ssize_t dieHalfWay(int fd, const void* data, size_t size) {
  ssize_t n = ::write(fd, data, size / 2 > 0 ? size / 2 : 1);
  ::kill(::getpid(), SIGKILL);
  return n;
}

}  // namespace

TEST_F(StoreTest, AProcessKilledWhileWritingLeavesTheOldListWhole) {
  scan(11001000, 27500, 0);
  const std::string before = readAll(serviceListPath());
  ASSERT_FALSE(before.empty());
  scan(11600000, 22000, 1);  // the dying write has one service more to write
  ASSERT_NE(readAll(serviceListPath()), before) << "scans save the list as they end";
  box::setWriteFunction(nullptr);
  std::ofstream(serviceListPath()) << before;  // back to the older list

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    box::setWriteFunction(dieHalfWay);
    std::string error;
    box::saveServiceList(serviceListPath(), *eDVB::instance->getTransponders(), &error);
    ::_exit(0);  // not reached: the write kills the child
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the child died while writing";

  EXPECT_EQ(readAll(serviceListPath()), before);
  eDVB::instance->setMode(eDVB::modeTV);
  std::string error;
  box::shutdownDvb();
  ASSERT_TRUE(boot(kBand, &error)) << error;
  EXPECT_EQ(serviceNames().size(), 2u) << "the next run starts from the list as it was";
}
