// What a real front end's numbers become: the readings through their
// decibel windows, refusals as result codes, and where libdvbv5's LNBs put
// a satellite frequency.
#include <gtest/gtest.h>

#include "box/dvb/real/readings.h"

namespace real = box::real;

TEST(TunerReadings, DecibelScalesMapThroughTheirWindowsAndNothingCountsWithoutSignal) {
  constexpr int kNone = 0, kDecibel = 1, kRelative = 2, kCounter = 3;
  // Strength: -80..-20 dBm; SNR (C/N): 0..20 dB; both onto 0..65535.
  struct Row {
    real::Stat stat;
    bool present;  // signal (strength) or carrier (SNR) reported
    int strength, snr;
  } const rows[] = {
      {{kDecibel, -90000}, true, 0, 0},         {{kDecibel, -80000}, true, 0, 0},
      {{kDecibel, -34000}, true, 50243, 0},     {{kDecibel, -20000}, true, 65535, 0},
      {{kDecibel, 0}, true, 65535, 0},          {{kDecibel, 10000}, true, 65535, 32767},
      {{kDecibel, 33500}, true, 65535, 65535},  {{kDecibel, -34000}, false, 0, 0},
      {{kRelative, 12345}, true, 12345, 12345}, {{kRelative, 70000}, true, 65535, 65535},
      {{kRelative, 12345}, false, 0, 0},        {{kNone, 777}, true, 0, 0},
      {{kCounter, 5000}, true, 0, 0},
  };
  for (const Row& r : rows)
    EXPECT_EQ(std::make_pair(real::strengthReading(r.stat, r.present), real::snrReading(r.stat, r.present)),
              std::make_pair(r.strength, r.snr))
        << r.stat.scale << ":" << r.stat.value << (r.present ? "" : " absent");
  // A refusal is its negated errno, and never a lock, even without a reason.
  EXPECT_EQ((std::vector<int>{real::refusedResult(22), real::refusedResult(16), real::refusedResult(0),
                              real::refusedResult(-3)}),
            (std::vector<int>{-22, -16, -5, -5}));
}

TEST(TunerLnb, UniversalAndCBandLnbsPutFrequenciesWhereTheTunerExpectsThem) {
  real::Lnb universal, extended, cband;
  ASSERT_TRUE(real::findLnb("UNIVERSAL", &universal) && real::findLnb("EXTENDED", &extended) &&
              real::findLnb("C-BAND", &cband));
  EXPECT_FALSE(real::findLnb("NO-SUCH-LNB", &cband));
  // vidtv's fixed universal LNB turns 11362000 kHz into 1612000 kHz, as here.
  // libdvbv5's UNIVERSAL receives 10800-12700 MHz, its EXTENDED the whole
  // 10700-12750 MHz with the same oscillators.
  struct Row {
    const real::Lnb& lnb;
    uint32_t freqKHz;
    int pol;
    const char* choice;
  } const rows[] = {
      {universal, 10700000, 0, "outside"},
      {universal, 10800000, 0, "IF 1050000 low 18V"},
      {universal, 11362000, 0, "IF 1612000 low 18V"},
      {universal, 11699999, 1, "IF 1949999 low 13V"},
      {universal, 11700000, 1, "IF 1100000 high 13V"},
      {universal, 12700000, 0, "IF 2100000 high 18V"},
      {universal, 12750000, 0, "outside"},
      {extended, 10700000, 0, "IF 950000 low 18V"},
      {extended, 12750000, 1, "IF 2150000 high 13V"},
      {cband, 3700000, 1, "IF 1450000 low 13V"},
      {cband, 4200000, 0, "IF 950000 low 18V"},
      {cband, 11000000, 0, "outside"},
  };
  for (const Row& r : rows) {
    const real::LnbChoice c = real::chooseBand(r.lnb, r.freqKHz, r.pol);
    EXPECT_EQ(!c.ok ? "outside"
                    : "IF " + std::to_string(c.ifKHz) + (c.highBand ? " high" : " low") +
                          (c.voltage18 ? " 18V" : " 13V"),
              r.choice)
        << r.lnb.name << " " << r.freqKHz;
  }
}
