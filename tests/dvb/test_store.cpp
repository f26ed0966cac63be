// The service list the box keeps, as a run of the box uses it: read at
// boot (a bad one stops the boot), saved as scans end, written whole at
// shutdown, and kept by a run that dies at any moment.
#include "box/dvb/servicefile.h"
#include "box/dvb/store.h"
#include "dvb/dvb_fixture.h"
#include "dvb/store_support.h"
#include "host/decoder.h"
#include "host/service.h"

namespace {

using namespace store_test;

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
    std::string out = ref.descr + " " + std::to_string(ref.type) + " tsid " + std::to_string(ref.data[2]);
    if (tp)
      for (int v : {tp->satellite.frequency, tp->satellite.symbol_rate, tp->satellite.polarisation,
                    tp->satellite.fec, tp->satellite.orbital_position})
        out += " " + std::to_string(v);
    return out;
  };
  EXPECT_EQ(playing(), "Canale Demo 1 tsid 2 11600000 22000000 1 2 130");
  EXPECT_EQ(Decoder::locked, 0);
  // play traces the service and keeps it as the one playing.
  eServiceReference none, copy = eServiceInterface::getInstance()->service;
  EXPECT_NE(eServiceInterface::getInstance()->play(none), 0);
  EXPECT_EQ(eServiceInterface::getInstance()->play(copy), 0);
  EXPECT_EQ(playing(), "Canale Demo 1 tsid 2 11600000 22000000 1 2 130");
  EXPECT_EQ(events("play").at(1).dump(), R"({"ev":"play","freq":11600,"service":"Canale Demo","t":0})");
  std::string error;
  ASSERT_TRUE(boot(bandJson(""), &error)) << error;
  EXPECT_EQ(playing(), " -1 tsid 0");
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

  ASSERT_TRUE(boot(kBand, &error)) << error;
  // In the order of their references: service id, then transport stream.
  EXPECT_EQ(serviceNames(), (std::vector<std::string>{"Uno", "Canale Demo", "Due"}));
  ASSERT_EQ(eDVB::instance->getTransponders()->getKnownTransponders().size(), 2u);
  // Found services are found by searchService from the start.
  eServiceReferenceDVB ref = eDVB::instance->getTransponders()->getServices().begin()->first;
  ASSERT_NE(eDVB::instance->getTransponders()->searchService(ref), nullptr);
  // Finding them again (a little off the centre) adds nothing and saves nothing.
  const std::string whole = readAll(serviceListPath());
  scan(10999000, 27500, 0);
  EXPECT_EQ(serviceNames().size(), 3u);
  EXPECT_EQ(eDVB::instance->getTransponders()->getKnownTransponders().size(), 2u);
  ASSERT_TRUE(box::shutdownDvb(&error)) << error;
  EXPECT_EQ(readAll(serviceListPath()), whole);
  EXPECT_FALSE(std::filesystem::exists(journalPath()));
}

TEST_F(StoreTest, ALeftoverTemporaryFileIsIgnoredAndReplaced) {
  scan(11001000, 27500, 0);
  box::shutdownDvb();
  // A run killed while writing left half a temporary file.
  std::ofstream(serviceListPath() + ".tmp") << "{\"version\": 1, \"transpon";
  std::string error;
  ASSERT_TRUE(boot(kBand, &error)) << error;
  EXPECT_EQ(serviceNames().size(), 2u);
  scan(11600000, 22000, 1);
  box::shutdownDvb();
  EXPECT_EQ(onDisk(), "Uno Canale Demo Due");
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
      "{\"transponders\": [], \"services\": [{\"data\": [1, 1, 1, 1, 130, 11000, 0, 0], \"flags\": 0, "
      "\"name\": "
      "\"Uno\", \"provider\": \"P1\", \"service_type\": 1, \"scrambled\": false}]}\n";
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

TEST_F(StoreTest, AProcessKilledWhileWritingTheListLeavesTheOldListAndTheJournal) {
  scan(11001000, 27500, 0);
  scan(11600000, 22000, 1);
  const std::string files = readAll(serviceListPath()) + readAll(journalPath());
  ASSERT_TRUE(inChild([&] {
    box::setWriteFunction(dieHalfWay);
    std::string error;
    return box::saveServiceList(serviceListPath(), *eDVB::instance->getTransponders(), &error);
  })) << "the child died while writing";
  EXPECT_EQ(readAll(serviceListPath()) + readAll(journalPath()), files);
  EXPECT_EQ(onDisk(), "Uno Due | Canale Demo") << "the next run starts from the list and the journal";
}

TEST_F(StoreTest, AProcessKilledWhileAppendingKeepsWhatEarlierSavesRecorded) {
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
