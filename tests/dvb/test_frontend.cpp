// The simulated front end: when it locks, what its readings show, how tunes
// are answered on the box clock, and that the same calls read the same.
#include <algorithm>
#include <memory>
#include <vector>

#include "box/dvb/frontend.h"
#include "dvb/dvb_fixture.h"

namespace {

std::string testBand(const std::string& extra = "") {
  return bandJson(carrierJson(11000, "H", 27500, 10, "DVB-S", R"({"name": "A1", "provider": "PA"})") + ",\n" +
                      carrierJson(11500, "H", 27500, 10, "DVB-S2", R"({"name": "B1", "provider": "PB"})") +
                      ",\n" +
                      carrierJson(11200, "V", 7200, 9, "DVB-S", R"({"name": "C1", "provider": "PC"})"),
                  extra);
}

class FrontendTest : public DvbTest {
 protected:
  void SetUp() override {
    DvbTest::SetUp();
    std::string error;
    ASSERT_TRUE(boot(testBand(), &error)) << error;
  }
  int tuneResult(int freqKHz, int srKs, int pol) {
    eTransponder tp(*eDVB::instance->getTransponders());
    return tuneAndWait(tp, freqKHz, srKs, pol);
  }
  // The average of 20 SNR readings, or the first AGC reading, after a tune.
  double averageSnr(int freqKHz) {
    tuneResult(freqKHz, 27500, 0);
    double sum = 0;
    for (int i = 0; i < 20; ++i) sum += eFrontend::frontend->SNR();
    return sum / 20;
  }
  int agcAt(int freqKHz, int srKs = 27500, int pol = 0) {
    return tuneResult(freqKHz, srKs, pol), eFrontend::frontend->SignalStrength();
  }
  // The trace's tunes, their answers and the DVB events, a line each.
  std::string tunesTraced() const {
    std::string out;
    for (const auto& line : trace)
      if (line["ev"] == "tune" || line["ev"] == "tuned" || line["ev"] == "dvb") out += line.dump() + "\n";
    return out;
  }
};

}  // namespace

TEST_F(FrontendTest, LocksOnlyInsideTheCaptureRangeAtAMatchingSymbolRate) {
  // kHz, ksym/s, polarisation, result. At 27500 ksym/s the capture range is
  // 0.15 * 27.5 = 4.125 MHz, the symbol rate may be 5 % off; the other
  // polarisation and a DVB-S2 carrier never lock; a narrow feed has the
  // 1.5 MHz minimum.
  const int cases[][4] = {{11000000, 27500, 0, 0},    {11004100, 27500, 0, 0},    {10995900, 27500, 0, 0},
                          {11004200, 27500, 0, -110}, {10995800, 27500, 0, -110}, {11000000, 26200, 0, 0},
                          {11000000, 28850, 0, 0},    {11000000, 28900, 0, -110}, {11000000, 22000, 0, -110},
                          {11000000, 27500, 1, -110}, {11500000, 27500, 0, -110}, {11201400, 7200, 1, 0},
                          {11201600, 7200, 1, -110},  {11200000, 27500, 1, -110}};
  for (const auto& c : cases) EXPECT_EQ(tuneResult(c[0], c[1], c[2]), c[3]) << c[0] << " " << c[1];
  EXPECT_EQ(eFrontend::frontend->Locked(), 0);
}

TEST_F(FrontendTest, TunesAreAnsweredInOrderOnTheBoxClockAndEachAnswerButACancelledOneByEventZero) {
  eTransponderList& list = *eDVB::instance->getTransponders();
  eTransponder a(list), b(list), c(list);
  tuneAndWait(a, 11000000, 27500, 0);  // a lock after 200 ms
  tuneAndWait(a, 12000000, 27500, 0);  // the time-out after 500 ms
  // A tune in flight is cancelled by the next; the cancelled ones are
  // answered oldest first once the caller has returned, never from inside
  // the tune.
  a.setSatellite(11000000, 27500000, 0, 0, 130, 0);
  b.setSatellite(11100000, 27500000, 0, 0, 130, 0);
  c.setSatellite(12000000, 27500000, 0, 0, 130, 0);
  a.tune();
  box::wait(50);
  b.tune();
  c.tune();
  box::wait(1000);
  // A transponder that goes away is not answered.
  auto gone = std::make_unique<eTransponder>(list);
  gone->setSatellite(11000000, 27500000, 0, 0, 130, 0);
  gone->tune();
  gone.reset();
  box::wait(1000);
  EXPECT_EQ(tunesTraced(), R"({"ev":"tune","freq":11000000,"pol":0,"sr":27500000,"t":0}
{"err":0,"ev":"tuned","freq":11000000,"t":200}
{"ev":"dvb","t":200,"type":0}
{"ev":"tune","freq":12000000,"pol":0,"sr":27500000,"t":10000}
{"err":-110,"ev":"tuned","freq":12000000,"t":10500}
{"ev":"dvb","t":10500,"type":0}
{"ev":"tune","freq":11000000,"pol":0,"sr":27500000,"t":20000}
{"ev":"tune","freq":11100000,"pol":0,"sr":27500000,"t":20050}
{"ev":"tune","freq":12000000,"pol":0,"sr":27500000,"t":20050}
{"err":-125,"ev":"tuned","freq":11000000,"t":20050}
{"err":-125,"ev":"tuned","freq":11100000,"t":20050}
{"err":-110,"ev":"tuned","freq":12000000,"t":20550}
{"ev":"dvb","t":20550,"type":0}
{"ev":"tune","freq":11000000,"pol":0,"sr":27500000,"t":21050}
)");
  // cancel_every answers every Nth tune with -125.
  std::string error;
  std::string band = testBand();
  ASSERT_TRUE(boot(band.insert(band.find("\"lock_ms\""), "\"cancel_every\": 2, "), &error)) << error;
  std::string results;
  for (int f : {11000000, 11000000, 11000000, 12000000})
    results += std::to_string(tuneResult(f, 27500, 0)) + " ";
  EXPECT_EQ(results, "0 -125 0 -125 ");
}

TEST_F(FrontendTest, ReadingsFollowTheSpectrum) {
  // SNR: 10 dB of C/N at the centre, falling with the offset either way;
  // nothing but the floor without a lock.
  std::vector<double> snr;
  for (int off = 0; off <= 4000; off += 1000)
    snr.push_back(std::max(averageSnr(11000000 + off), averageSnr(11000000 - off)));
  EXPECT_NEAR(snr[0], 3000 + 2600 * 10, 150);
  EXPECT_TRUE(std::is_sorted(snr.rbegin(), snr.rend()) && snr[3] > snr[4]) << ::testing::PrintToString(snr);
  EXPECT_NEAR(averageSnr(11300000), 3000, 150);
  // AGC: the noise floor in a gap, the carrier's raised cosine around it,
  // a DVB-S2 carrier's power though it never locks, a little through the
  // cross-polar isolation, and a narrow feed more with a band-pass to match.
  const int gap = agcAt(11250000), centre = agcAt(11000000), shoulder = agcAt(11015000),
            edge = agcAt(11030000), crossPol = agcAt(11000000, 27500, 1);
  EXPECT_NEAR(gap, 16000, 260);
  EXPECT_TRUE(centre > gap + 15000 && centre > shoulder && shoulder > edge && edge > gap);
  EXPECT_NEAR(agcAt(11500000), centre, 600);
  EXPECT_TRUE(crossPol > gap && crossPol < gap + 3000) << crossPol;
  const int narrowWide = agcAt(11200000, 27500, 1);
  EXPECT_GT(narrowWide, gap + 2000);
  EXPECT_GT(agcAt(11200000, 7200, 1), narrowWide + 5000);
}

TEST_F(FrontendTest, ReadingsDependOnlyOnTheBandTheTuneAndTheirIndex) {
  auto* fe = dynamic_cast<box::Frontend*>(eFrontend::frontend);
  ASSERT_NE(fe, nullptr);
  // Each tune's first AGC reading and ten SNR readings; interleaved with
  // other readings and the status widget's peeks, which take nothing from
  // the SNR stream.
  auto run = [&](bool interleave) {
    std::vector<int> v;
    eTransponder tp(*eDVB::instance->getTransponders());
    for (int f = 10990000; f <= 11010000; f += 5000) {
      tuneAndWait(tp, f, 27500, 0);
      v.push_back(fe->SignalStrength());
      for (int i = 0; i < 10; ++i) {
        v.push_back(fe->SNR());
        if (interleave) (void)(fe->SignalStrength() + fe->peekSNR() + fe->peekSignalStrength());
      }
    }
    return v;
  };
  const std::vector<int> plain = run(false);
  EXPECT_EQ(run(true), plain);
  EXPECT_NE(std::count(plain.begin() + 1, plain.begin() + 11, plain[1]), 10)
      << "the readings vary with noise";
  std::string error;
  ASSERT_TRUE(boot(testBand("\"noise\": {\"seed\": 99},\n"), &error)) << error;
  fe = dynamic_cast<box::Frontend*>(eFrontend::frontend);
  EXPECT_NE(run(false), plain);
}
