// What a real front end's numbers become: the readings through their
// decibel windows, refusals as result codes, and where libdvbv5's LNBs put
// a satellite frequency.
#include <gtest/gtest.h>

#include <sstream>

#include "box/dvb/real/readings.h"

using box::real::Stat;

namespace {
constexpr int kNone = 0, kDecibel = 1, kRelative = 2, kCounter = 3;
}

TEST(TunerReadings, DecibelScalesMapThroughTheirWindowsAndNothingCountsWithoutSignal) {
  struct Row {
    Stat stat;
    bool present;  // signal (strength) or carrier (SNR) reported
  };
  const Row rows[] = {
      {{kDecibel, -90000}, true},  {{kDecibel, -80000}, true}, {{kDecibel, -50000}, true},
      {{kDecibel, -34000}, true},  {{kDecibel, -20000}, true}, {{kDecibel, -5000}, true},
      {{kDecibel, 0}, true},       {{kDecibel, 10000}, true},  {{kDecibel, 33500}, true},
      {{kDecibel, -34000}, false}, {{kRelative, 12345}, true}, {{kRelative, 70000}, true},
      {{kRelative, 12345}, false}, {{kNone, 777}, true},       {{kCounter, 5000}, true},
  };
  std::ostringstream got;
  for (const Row& r : rows)
    got << r.stat.scale << ":" << r.stat.value << (r.present ? "" : " absent") << " -> strength "
        << box::real::strengthReading(r.stat, r.present) << ", snr "
        << box::real::snrReading(r.stat, r.present) << "\n";
  // Strength: -80..-20 dBm; SNR (C/N): 0..20 dB; both onto 0..65535.
  EXPECT_EQ(got.str(),
            "1:-90000 -> strength 0, snr 0\n"
            "1:-80000 -> strength 0, snr 0\n"
            "1:-50000 -> strength 32767, snr 0\n"
            "1:-34000 -> strength 50243, snr 0\n"
            "1:-20000 -> strength 65535, snr 0\n"
            "1:-5000 -> strength 65535, snr 0\n"
            "1:0 -> strength 65535, snr 0\n"
            "1:10000 -> strength 65535, snr 32767\n"
            "1:33500 -> strength 65535, snr 65535\n"
            "1:-34000 absent -> strength 0, snr 0\n"
            "2:12345 -> strength 12345, snr 12345\n"
            "2:70000 -> strength 65535, snr 65535\n"
            "2:12345 absent -> strength 0, snr 0\n"
            "0:777 -> strength 0, snr 0\n"
            "3:5000 -> strength 0, snr 0\n");
}

TEST(TunerReadings, ARefusalIsItsNegatedErrnoAndNeverALock) {
  EXPECT_EQ(box::real::refusedResult(22), -22);  // EINVAL
  EXPECT_EQ(box::real::refusedResult(16), -16);  // EBUSY
  EXPECT_EQ(box::real::refusedResult(0), -5);
  EXPECT_EQ(box::real::refusedResult(-3), -5);
}

TEST(TunerLnb, UniversalAndCBandLnbsPutFrequenciesWhereTheTunerExpectsThem) {
  box::real::Lnb universal, extended, cband;
  ASSERT_TRUE(box::real::findLnb("UNIVERSAL", &universal));
  ASSERT_TRUE(box::real::findLnb("EXTENDED", &extended));
  ASSERT_TRUE(box::real::findLnb("C-BAND", &cband));
  EXPECT_FALSE(box::real::findLnb("NO-SUCH-LNB", &cband));
  struct Row {
    const box::real::Lnb* lnb;
    uint32_t freqKHz;
    int pol;
  };
  const Row rows[] = {
      {&universal, 10700000, 0}, {&universal, 10800000, 0}, {&universal, 11362000, 0},
      {&universal, 11699999, 1}, {&universal, 11700000, 1}, {&universal, 12700000, 0},
      {&universal, 12750000, 0}, {&extended, 10700000, 0},  {&extended, 12750000, 1},
      {&cband, 3700000, 1},      {&cband, 4200000, 0},      {&cband, 11000000, 0},
  };
  std::ostringstream got;
  for (const Row& r : rows) {
    const box::real::LnbChoice c = box::real::chooseBand(*r.lnb, r.freqKHz, r.pol);
    got << r.lnb->name << " " << r.freqKHz << (r.pol ? " V" : " H") << ": ";
    if (!c.ok)
      got << "outside\n";
    else
      got << "IF " << c.ifKHz << (c.highBand ? " high" : " low") << (c.voltage18 ? " 18V" : " 13V") << "\n";
  }
  // vidtv's fixed universal LNB turns 11362000 kHz into 1612000 kHz, as here.
  // libdvbv5's UNIVERSAL receives 10800-12700 MHz, its EXTENDED the whole
  // 10700-12750 MHz with the same oscillators.
  EXPECT_EQ(got.str(),
            "UNIVERSAL 10700000 H: outside\n"
            "UNIVERSAL 10800000 H: IF 1050000 low 18V\n"
            "UNIVERSAL 11362000 H: IF 1612000 low 18V\n"
            "UNIVERSAL 11699999 V: IF 1949999 low 13V\n"
            "UNIVERSAL 11700000 V: IF 1100000 high 13V\n"
            "UNIVERSAL 12700000 H: IF 2100000 high 18V\n"
            "UNIVERSAL 12750000 H: outside\n"
            "EXTENDED 10700000 H: IF 950000 low 18V\n"
            "EXTENDED 12750000 V: IF 2150000 high 13V\n"
            "C-BAND 3700000 V: IF 1450000 low 13V\n"
            "C-BAND 4200000 H: IF 950000 low 18V\n"
            "C-BAND 11000000 H: outside\n");
}
