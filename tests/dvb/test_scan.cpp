// The scan controller: the order and timing of its events, the services it
// reports, and aborting it part way.
#include <string>
#include <vector>

#include "dvb/dvb_fixture.h"

namespace {

const char* kServices =
    R"({"name": "Uno", "provider": "P1"}, {"name": "Due", "provider": "P2", "scrambled": true},
                           {"name": "Tre", "provider": "P3", "type": "radio"})";

class ScanTest : public DvbTest {
 protected:
  ScanTest() { language = "C"; }
  void SetUp() override {
    DvbTest::SetUp();
    std::string error;
    ASSERT_TRUE(boot(bandJson(carrierJson(11000, "H", 27500, 10, "DVB-S", kServices)), &error)) << error;
    eDVB::instance->event.connect([this](const eDVBEvent& e) {
      log += std::to_string(e.type) + "@" + std::to_string(eApp->now()) + " ";
      if (e.type == eDVBEvent::eventScanBegin || e.type == eDVBEvent::eventScanTransponderDone ||
          e.type == eDVBEvent::eventScanCompleted)
        left.push_back(
            eDVB::instance->getScanAPI() ? int(eDVB::instance->getScanAPI()->knownTransponder.size()) : -1);
    });
    list().service_found.connect([this](const eServiceReferenceDVB& ref, bool isNew) {
      // The record is there when the service is reported.
      eServiceDVB* record = list().searchService(ref);
      log += "svc:" + (record ? record->service_name + "/" + record->service_provider : std::string("?")) +
             (isNew ? "" : "(known)") + "@" + std::to_string(eApp->now()) + " ";
    });
  }

  eTransponderList& list() { return *eDVB::instance->getTransponders(); }

  eDVBScanController* scanWith(std::initializer_list<int> freqsKHz) {
    eDVB::instance->setMode(eDVB::modeScan);
    eDVBScanController* scan = eDVB::instance->getScanAPI();
    for (int f : freqsKHz) {
      eTransponder tp(list());
      tp.setSatellite(f, 27500000, 0, 0, 130, 0);
      scan->addTransponder(tp);
    }
    return scan;
  }

  std::string log;
  std::vector<int> left;  // transponders still queued at events 2, 4 and 15
};

}  // namespace

TEST_F(ScanTest, ScanControllerExistsOnlyInScanMode) {
  EXPECT_EQ(eDVB::instance->getScanAPI(), nullptr);
  EXPECT_NE(eDVB::instance->getServiceAPI(), nullptr);
  eDVB::instance->setMode(eDVB::modeScan);
  EXPECT_NE(eDVB::instance->getScanAPI(), nullptr);
  EXPECT_EQ(eDVB::instance->getServiceAPI(), nullptr);
  eDVB::instance->setMode(eDVB::modeTV);
  EXPECT_EQ(eDVB::instance->getScanAPI(), nullptr);
  auto modes = events("setMode");
  ASSERT_EQ(modes.size(), 2u);
  EXPECT_EQ(modes[0]["mode"], 1);
  EXPECT_EQ(modes[1]["mode"], 2);
}

TEST_F(ScanTest, EventsComeInOrderWithServicesAGapApart) {
  eDVBScanController* scan = scanWith({11001000, 12000000});
  scan->start();
  EXPECT_TRUE(scan->isRunning());
  box::runUntil([&] { return !scan->isRunning(); }, 20000);
  EXPECT_EQ(log,
            "2@0 5@0 0@200 svc:Uno/P1@500 svc:Due/P2@800 svc:Tre/P3@1100 4@1400 "
            "5@1400 0@1900 4@1900 15@1900 ");
  EXPECT_EQ(left, (std::vector<int>{2, 1, 0, 0}));
  auto found = events("serviceFound");
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[2]["name"], "Tre");
  EXPECT_EQ(found[2]["provider"], "P3");
  EXPECT_EQ(found[2]["freq"], 11001000);
  // The list keeps the carrier's nominal transponder and its services.
  ASSERT_EQ(list().getKnownTransponders().size(), 1u);
  EXPECT_EQ(list().getKnownTransponders().front().satellite.frequency, 11000000);
  EXPECT_EQ(list().getServices().size(), 3u);
  EXPECT_EQ(box::foundSummary(),
            "Transponders scanned: 2\n"
            "  11001 MHz H 27500 ksym/s: 3 services\n"
            "    Uno (P1)\n    Due (P2)\n    Tre (P3)\n"
            "  12000 MHz H 27500 ksym/s: no lock\n");
}

TEST_F(ScanTest, TheSummaryShowsNamesFromTheBandEscaped) {
  std::string error;
  ASSERT_TRUE(boot(bandJson(carrierJson(11000, "H", 27500, 10, "DVB-S",
                                        R"({"name": "Rosso\u001b[31m", "provider": "P\u0007"})")),
                   &error))
      << error;
  eDVBScanController* scan = scanWith({11001000});
  scan->start();
  box::runUntil([&] { return !scan->isRunning(); }, 20000);
  EXPECT_EQ(box::foundSummary(),
            "Transponders scanned: 1\n"
            "  11001 MHz H 27500 ksym/s: 1 service\n"
            "    Rosso\\x1B[31m (P\\x07)\n");
}

TEST_F(ScanTest, ASecondScanReportsKnownServicesWithoutDuplicates) {
  eDVBScanController* scan = scanWith({11001000});
  scan->start();
  box::runUntil([&] { return !scan->isRunning(); }, 20000);
  log.clear();
  scan->addTransponder(list().getKnownTransponders().front());
  scan->start();
  box::runUntil([&] { return !scan->isRunning(); }, 20000);
  EXPECT_NE(log.find("svc:Uno/P1(known)"), std::string::npos) << log;
  EXPECT_EQ(list().getServices().size(), 3u);
  EXPECT_EQ(list().getKnownTransponders().size(), 1u);
}

TEST_F(ScanTest, SearchServiceFindsAPlainReferenceWithTheSameFieldsOnly) {
  eDVBScanController* scan = scanWith({11001000});
  scan->start();
  box::runUntil([&] { return !scan->isRunning(); }, 20000);
  const eServiceReferenceDVB& kept = std::next(list().getServices().begin())->first;
  eServiceReference plain;
  plain.type = kept.type;
  for (int i = 0; i < 8; ++i) plain.data[i] = kept.data[i];
  plain.descr = "any description";
  eServiceDVB* record = list().searchService(plain);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->service_name, "Due");
  for (auto change :
       {+[](eServiceReference& r) { r.flags = 1; }, +[](eServiceReference& r) { r.path = "/x"; },
        +[](eServiceReference& r) { r.data[7] = 1; }, +[](eServiceReference& r) { r.type = 2; }}) {
    eServiceReference other = plain;
    change(other);
    EXPECT_EQ(list().searchService(other), nullptr);
  }
}

TEST_F(ScanTest, OnlyFreeLeavesScrambledServicesOut) {
  eDVBScanController* scan = scanWith({11000000});
  scan->setOnlyFree(1);
  scan->start();
  box::runUntil([&] { return !scan->isRunning(); }, 20000);
  EXPECT_EQ(log.find("Due"), std::string::npos) << log;
  EXPECT_EQ(list().getServices().size(), 2u);
}

TEST_F(ScanTest, ATransponderQueuedWhileScanningIsAnnouncedAndScanned) {
  eDVBScanController* scan = scanWith({12000000});
  scan->start();
  box::wait(100);
  eTransponder more(list());
  more.setSatellite(11000000, 27500000, 0, 0, 130, 0);
  scan->addTransponder(more);
  box::runUntil([&] { return !scan->isRunning(); }, 20000);
  EXPECT_EQ(log,
            "2@0 5@0 3@100 0@500 4@500 5@500 0@700 svc:Uno/P1@1000 svc:Due/P2@1300 svc:Tre/P3@1600 4@1900 "
            "15@1900 ");
}

TEST_F(ScanTest, AbortWhileReportingServicesEndsEverything) {
  eDVBScanController* scan = scanWith({11001000, 12000000});
  scan->start();
  box::wait(600);
  scan->abort();
  std::string before = log;
  EXPECT_EQ(before, "2@0 5@0 0@200 svc:Uno/P1@500 ");
  EXPECT_FALSE(scan->isRunning());
  EXPECT_TRUE(scan->knownTransponder.empty());
  box::wait(10000);
  EXPECT_EQ(log, before);
  EXPECT_EQ(list().getServices().size(), 1u);  // only what was reported
  scan->abort();                               // harmless twice
}

TEST_F(ScanTest, AbortWhileTuningDropsTheTuneAnswer) {
  eDVBScanController* scan = scanWith({11001000});
  scan->start();
  box::wait(100);
  scan->abort();
  box::wait(10000);
  EXPECT_EQ(log, "2@0 5@0 ");
  EXPECT_TRUE(events("tuned").empty());
}

TEST_F(ScanTest, LeavingScanModeEndsAScanEvenFromItsOwnEvents) {
  eDVBScanController* scan = scanWith({11001000, 11001000});
  eDVB::instance->event.connect([](const eDVBEvent& e) {
    if (e.type == eDVBEvent::eventScanTransponderDone) eDVB::instance->setMode(eDVB::modeTV);
  });
  scan->start();
  box::wait(20000);
  EXPECT_EQ(log, "2@0 5@0 0@200 svc:Uno/P1@500 svc:Due/P2@800 svc:Tre/P3@1100 4@1400 ");
  EXPECT_EQ(eDVB::instance->getScanAPI(), nullptr);
}

TEST_F(ScanTest, AScanOfNothingStartsAndFinishes) {
  eDVBScanController* scan = scanWith({});
  scan->start();
  box::runUntil([&] { return !scan->isRunning(); }, 1000);
  EXPECT_EQ(log, "2@0 15@0 ");
  EXPECT_EQ(box::foundSummary(), "No transponder was scanned.\n");
}
