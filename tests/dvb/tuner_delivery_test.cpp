// The delivery system and modulation kept with a transponder in the service
// list: written beside its values, read back, and refused when wrong.
#include <gtest/gtest.h>

#include "box/dvb/delivery.h"
#include "box/dvb/servicefile.h"

namespace {

box::Satellite satellite(int freqKHz) {
  box::Satellite s;
  s.valid = true;
  s.frequency = freqKHz;
  s.symbol_rate = 27500000;
  s.orbital_position = 130;
  return s;
}

// What the list knows of the test's transponders.
std::string known() {
  std::string out;
  for (int f : {11362000, 11400000, 11500000}) {
    const box::DeliverySystem* d = box::deliverySystem(satellite(f));
    out += d ? d->system + " " + d->modulation + "," : "none,";
  }
  return out;
}

}  // namespace

TEST(TunerDelivery, IsWrittenWithItsTransponderReadBackAndRefusedWhenWrong) {
  box::forgetDeliverySystems();
  box::noteDeliverySystem(satellite(11362000), {"DVB-S2", "8PSK"});
  box::noteDeliverySystem(satellite(11400000), {"DVB-S", ""});
  std::string entries;
  for (int f : {11362000, 11400000, 11500000})
    box::appendTransponder(&entries, satellite(f)), entries += ",\n";
  const std::string head =
      "{\"frequency_khz\": 11362000, \"symbol_rate\": 27500000, \"polarisation\": 0, "
      "\"fec\": 0, \"orbital_position\": 130, \"inversion\": 0";
  auto at = [&](const char* mhz) { return std::string(head).replace(18, 5, mhz); };
  EXPECT_EQ(entries, head + ", \"system\": \"DVB-S2\", \"modulation\": \"8PSK\"},\n" + at("11400") +
                         ", \"system\": \"DVB-S\"},\n" + at("11500") + "},\n");
  entries.resize(entries.size() - 2);
  const struct {
    std::string entries, error, known;
  } reads[] = {
      {entries, "", "DVB-S2 8PSK,DVB-S ,none,"},
      {head + ", \"system\": \"DVB-T\"}",
       "services.json: line 3: transponders[0].system: must be \"DVB-S\" or \"DVB-S2\"", "none,none,none,"},
      {head + ", \"system\": \"DVB-S2\", \"modulation\": 8}",
       "services.json: line 3: transponders[0].modulation: must be \"QPSK\", \"8PSK\", \"16APSK\" or "
       "\"32APSK\"",
       "none,none,none,"},
  };
  for (const auto& r : reads) {
    box::forgetDeliverySystems();
    std::string error;
    box::ServiceListReader reader{[](const box::Satellite&) {},
                                  [](const eServiceReferenceDVB&, const eServiceDVB&) {}};
    box::readServiceList("{\"version\": 1,\n\"transponders\": [\n" + r.entries + "\n],\n\"services\": []}\n",
                         "services.json", reader, &error);
    EXPECT_EQ(error + " " + known(), r.error + " " + r.known);
  }
  box::forgetDeliverySystems();
}
