// What a real front end's numbers become: the readings through their
// decibel windows, refusals as result codes, where libdvbv5's LNBs put a
// satellite frequency, and the delivery system kept in the service list.
#include <gtest/gtest.h>

#include "box/dvb/delivery.h"
#include "box/dvb/real/readings.h"
#include "box/dvb/servicefile.h"

namespace real = box::real;

TEST(TunerReadings, ScalesSayWhatCountsDecibelsMapThroughTheirWindowsLockTimeOutsGrowBySymbols) {
  constexpr int kNone = 0, kDecibel = 1, kRelative = 2, kCounter = 3;
  // Strength: -80..-20 dBm; SNR (C/N): 0..20 dB; both onto 0..65535.
  // Each: the statistic, strength, SNR.
  const std::tuple<real::Stat, int, int> rows[] = {
      {{kDecibel, -90000}, 0, 0},
      {{kDecibel, -80000}, 0, 0},
      {{kDecibel, -34000}, 50243, 0},
      {{kDecibel, -20000}, 65535, 0},
      {{kDecibel, 0}, 65535, 0},
      {{kDecibel, 10000}, 65535, 32767},
      {{kDecibel, 33500}, 65535, 65535},
      {{kRelative, 12345}, 12345, 12345},
      {{kRelative, 70000}, 65535, 65535},
      {{kRelative, 73, true}, 73, 73},
      {{kNone, 777}, 0, 0},
      {{kCounter, 5000}, 0, 0},
  };
  for (const auto& [stat, strength, snr] : rows)
    EXPECT_EQ(std::make_pair(real::strengthReading(stat), real::snrReading(stat)),
              std::make_pair(strength, snr))
        << stat.scale << ":" << stat.value;
  // symbol rate, configured, lock time-out
  const std::tuple<int, int, int> timeouts[] = {{45000000, 1500, 1500}, {27500000, 1500, 1500},
                                                {10000000, 1500, 1882}, {2000000, 1500, 4282},
                                                {1000000, 200, 5982},   {100000, 1500, 60000}};
  for (const auto& [rate, configured, ms] : timeouts)
    EXPECT_EQ(real::lockTimeoutMs(rate, configured), ms) << rate;
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
  // (10700 and 11362 MHz through UNIVERSAL: the real front end's tests.)
  const std::tuple<const real::Lnb*, uint32_t, int, const char*> rows[] = {
      {&universal, 10800000, 0, "1050000 low 18V"},  {&universal, 11699999, 1, "1949999 low 13V"},
      {&universal, 11700000, 1, "1100000 high 13V"}, {&universal, 12700000, 0, "2100000 high 18V"},
      {&universal, 12750000, 0, "outside"},          {&extended, 10700000, 0, "950000 low 18V"},
      {&extended, 12750000, 1, "2150000 high 13V"},  {&cband, 3700000, 1, "1450000 low 13V"},
      {&cband, 4200000, 0, "950000 low 18V"},        {&cband, 11000000, 0, "outside"},
  };
  for (const auto& [lnb, freqKHz, pol, choice] : rows) {
    const real::LnbChoice c = real::chooseBand(*lnb, freqKHz, pol);
    // And back, as a frequency the demodulator found.
    EXPECT_EQ(c.ok ? real::satelliteKHz(*lnb, c.ifKHz, c.highBand) : freqKHz, freqKHz) << lnb->name;
    EXPECT_EQ(
        !c.ok ? "outside"
              : std::to_string(c.ifKHz) + (c.highBand ? " high" : " low") + (c.voltage18 ? " 18V" : " 13V"),
        choice)
        << lnb->name << " " << freqKHz;
  }
}

TEST(TunerDelivery, IsWrittenWithItsTransponderReadBackAndRefusedWhenWrong) {
  auto at = [](int freqKHz) {
    box::Satellite s;
    s.valid = true, s.frequency = freqKHz, s.symbol_rate = 27500000, s.orbital_position = 130;
    return s;
  };
  auto known = [&](std::string out = "") {
    for (int f : {11362000, 11400000, 11500000})
      if (const box::DeliverySystem* d = box::deliverySystem(at(f)))
        out += d->system + "/" + d->modulation + " ";
    return out;
  };
  // A scan keeps the transponder as the demodulator found it, where it says.
  const box::DeliverySystem found{"DVB-S", "QPSK", 11361500, 27490000, 3};
  const box::Satellite kept = box::real::keptSatellite(at(11362000), &found);
  EXPECT_EQ(std::make_tuple(kept.frequency, kept.symbol_rate, kept.fec, kept.orbital_position,
                            box::real::keptSatellite(at(11362000), nullptr).frequency),
            std::make_tuple(11361500, 27490000, 3, 130, 11362000));
  box::forgetDeliverySystems();
  box::noteDeliverySystem(at(11362000), {"DVB-S2", "8PSK"});
  box::noteDeliverySystem(at(11400000), {"DVB-S", ""});
  std::string list;
  for (int f : {11362000, 11400000, 11500000}) box::appendTransponder(&list, at(f)), list += ",\n";
  list.resize(list.size() - 2);
  const std::string head =
      "{\"frequency_khz\": 11362000, \"symbol_rate\": 27500000, \"polarisation\": 0, "
      "\"fec\": 0, \"orbital_position\": 130, \"inversion\": 0";
  auto with = [&](const char* mhz, const char* rest) { return std::string(head).replace(18, 5, mhz) + rest; };
  EXPECT_EQ(list, with("11362", ", \"system\": \"DVB-S2\", \"modulation\": \"8PSK\"},\n") +
                      with("11400", ", \"system\": \"DVB-S\"},\n") + with("11500", "}"));
  const std::pair<std::string, std::string> reads[] = {
      {list, " DVB-S2/8PSK DVB-S/ "},
      {with("11362", ", \"system\": \"DVB-T\"}"),
       "services.json: line 3: transponders[0].system: must be \"DVB-S\" or \"DVB-S2\" "},
      {with("11362", ", \"system\": \"DVB-S2\", \"modulation\": 8}"),
       "services.json: line 3: transponders[0].modulation: must be \"QPSK\", \"8PSK\", \"16APSK\" or "
       "\"32APSK\" "},
  };
  for (const auto& [entries, result] : reads) {
    box::forgetDeliverySystems();
    std::string error;
    box::ServiceListReader reader{[](const box::Satellite&) {},
                                  [](const eServiceReferenceDVB&, const eServiceDVB&) {}};
    box::readServiceList("{\"version\": 1,\n\"transponders\": [\n" + entries + "\n],\n\"services\": []}\n",
                         "services.json", reader, &error);
    EXPECT_EQ(error + " " + known(), result);
  }
}
