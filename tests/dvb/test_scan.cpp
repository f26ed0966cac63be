// The scan controller: the order and timing of its events, the services it
// reports, and aborting it part way.
#include <string>
#include <vector>

#include "dvb/dvb_fixture.h"

namespace {

class ScanTest : public DvbTest {
 protected:
  ScanTest() { language = "C"; }
  void SetUp() override {
    DvbTest::SetUp();
    std::string error;
    ASSERT_TRUE(boot(bandJson(carrierJson(11000.5, "H", 27500, 10, "DVB-S",
                                          R"({"name": "Uno", "provider": "P1"},
                                             {"name": "Due", "provider": "P2", "scrambled": true},
                                             {"name": "Tre", "provider": "P\u0007", "type": "radio"})")),
                     &error))
        << error;
    eDVB::instance->event.connect([this](const eDVBEvent& e) {
      log += std::to_string(e.type) + "@" + std::to_string(eApp->now()) + " ";
      auto* scan = eDVB::instance->getScanAPI();
      if (scan && (e.type == eDVBEvent::eventScanBegin || e.type == eDVBEvent::eventScanTransponderDone ||
                   e.type == eDVBEvent::eventScanCompleted))
        log += "(" + std::to_string(scan->knownTransponder.size()) + " left) ";
    });
    list().service_found.connect([this](const eServiceReferenceDVB& ref, bool isNew) {
      // The record is there when the service is reported.
      eServiceDVB* record = list().searchService(ref);
      log += "svc:" + (record ? record->service_name : std::string("?")) + (isNew ? "" : "(known)") + "@" +
             std::to_string(eApp->now()) + " ";
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
  void run(eDVBScanController* scan) {
    scan->start();
    box::runUntil([&] { return !scan->isRunning(); }, 20000);
  }

  std::string log;
};

}  // namespace

TEST_F(ScanTest, AScanRunsOnlyInScanModeAndOneOfNothingStartsAndFinishes) {
  EXPECT_EQ(eDVB::instance->getScanAPI(), nullptr);
  eDVBScanController* scan = scanWith({});
  EXPECT_EQ(eDVB::instance->getServiceAPI(), nullptr);
  run(scan);
  EXPECT_EQ(log, "2@0 (0 left) 15@0 (0 left) ");
  EXPECT_EQ(box::foundSummary(), "No transponder was scanned.\n");
  eDVB::instance->setMode(eDVB::modeTV);
  EXPECT_EQ(eDVB::instance->getScanAPI(), nullptr);
  EXPECT_NE(eDVB::instance->getServiceAPI(), nullptr);
  EXPECT_EQ(::testing::PrintToString(events("setMode")),
            R"({ {"ev":"setMode","mode":1,"t":0}, {"ev":"setMode","mode":2,"t":20000} })");
}

TEST_F(ScanTest, EventsComeInOrderWithServicesAGapApart) {
  eDVBScanController* scan = scanWith({11001000, 12000000});
  run(scan);
  EXPECT_EQ(log,
            "2@0 (2 left) 5@0 0@200 svc:Uno@500 svc:Due@800 svc:Tre@1100 4@1400 (1 left) "
            "5@1400 0@1900 4@1900 (0 left) 15@1900 (0 left) ");
  EXPECT_EQ(events("serviceFound")[2].dump(),
            R"({"ev":"serviceFound","freq":11001000,"name":"Tre","provider":"P\u0007","t":1100})");
  // The list keeps the carrier's nominal transponder and its services.
  ASSERT_EQ(list().getKnownTransponders().size(), 1u);
  EXPECT_EQ(list().getKnownTransponders().front().satellite.frequency, 11000500);
  EXPECT_EQ(list().getServices().size(), 3u);
  // Names from the band are shown escaped; the transponder as kept, its
  // half MHz rounded up as the channel files have it.
  EXPECT_EQ(box::foundSummary(),
            "Transponders scanned: 2\n"
            "  11001 MHz H 27500 ksym/s DVB-S: 3 services (new)\n"
            "    Uno (P1): TV, free, SID 1 (new)\n    Due (P2): TV, scrambled, SID 2 (new)\n"
            "    Tre (P\\x07): radio, free, SID 3 (new)\n"
            "  12000 MHz H 27500 ksym/s: no lock\n"
            "Found: 1 transponder, 3 services (2 TV, 1 radio, 1 scrambled).\n"
            "New: 1 transponder, 3 services; 0 renamed; 0 seen before.\n");
}

TEST_F(ScanTest, OnlyFreeLeavesScrambledServicesOutAndAScanAgainReportsKnownOnesOnce) {
  eDVBScanController* scan = scanWith({11000000});
  scan->setOnlyFree(1);
  run(scan);
  scan->setOnlyFree(0);
  scan->addTransponder(list().getKnownTransponders().front());
  run(scan);
  EXPECT_EQ(log,
            "2@0 (1 left) 5@0 0@200 svc:Uno@500 svc:Tre@800 4@1100 (0 left) 15@1100 (0 left) "
            "2@20000 (1 left) 5@20000 0@20200 svc:Uno(known)@20500 svc:Due@20800 svc:Tre(known)@21100 "
            "4@21400 (0 left) 15@21400 (0 left) ");
  EXPECT_EQ(list().getServices().size(), 3u);
  EXPECT_EQ(list().getKnownTransponders().size(), 1u);
}

TEST_F(ScanTest, SearchServiceFindsAPlainReferenceWithTheSameFieldsOnly) {
  run(scanWith({11001000}));
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

TEST_F(ScanTest, ATransponderQueuedWhileScanningIsAnnouncedAndScanned) {
  eDVBScanController* scan = scanWith({12000000});
  scan->start();
  box::wait(100);
  eTransponder more(list());
  more.setSatellite(11000000, 27500000, 0, 0, 130, 0);
  scan->addTransponder(more);
  box::runUntil([&] { return !scan->isRunning(); }, 20000);
  EXPECT_EQ(log,
            "2@0 (1 left) 5@0 3@100 0@500 4@500 (1 left) 5@500 0@700 svc:Uno@1000 svc:Due@1300 svc:Tre@1600 "
            "4@1900 (0 left) 15@1900 (0 left) ");
}

TEST_F(ScanTest, AnAbortEndsEverythingWhileTuningOrReportingServices) {
  eDVBScanController* scan = scanWith({11001000});
  scan->start();
  box::wait(100);
  scan->abort();
  box::wait(1000);
  EXPECT_EQ(log, "2@0 (1 left) 5@0 ");
  EXPECT_TRUE(events("tuned").empty()) << "the tune's answer is dropped";
  eTransponder tp(list());
  for (int f : {11001000, 12000000}) {
    tp.setSatellite(f, 27500000, 0, 0, 130, 0);
    scan->addTransponder(tp);
  }
  scan->start();
  box::wait(600);
  scan->abort();
  EXPECT_FALSE(scan->isRunning());
  EXPECT_TRUE(scan->knownTransponder.empty());
  box::wait(10000);
  EXPECT_EQ(log, "2@0 (1 left) 5@0 2@1100 (2 left) 5@1100 0@1300 svc:Uno@1600 ");
  EXPECT_EQ(list().getServices().size(), 1u);  // only what was reported
  scan->abort();                               // harmless twice
}

TEST_F(ScanTest, LeavingScanModeEndsAScanEvenFromItsOwnEvents) {
  eDVBScanController* scan = scanWith({11001000, 11001000});
  eDVB::instance->event.connect([](const eDVBEvent& e) {
    if (e.type == eDVBEvent::eventScanTransponderDone) eDVB::instance->setMode(eDVB::modeTV);
  });
  scan->start();
  box::wait(20000);
  EXPECT_EQ(log, "2@0 (2 left) 5@0 0@200 svc:Uno@500 svc:Due@800 svc:Tre@1100 4@1400 (1 left) ");
  EXPECT_EQ(eDVB::instance->getScanAPI(), nullptr);
}
