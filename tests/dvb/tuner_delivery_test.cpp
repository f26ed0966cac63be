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

class TunerDelivery : public ::testing::Test {
 protected:
  void SetUp() override { box::forgetDeliverySystems(); }
  void TearDown() override { box::forgetDeliverySystems(); }

  // Reads a list holding these transponder entries; "" or the error.
  std::string read(const std::string& entries) {
    std::string error;
    box::ServiceListReader reader;
    reader.transponder = [](const box::Satellite&) {};
    reader.service = [](const eServiceReferenceDVB&, const eServiceDVB&) {};
    const std::string text = "{\"version\": 1,\n\"transponders\": [\n" + entries + "],\n\"services\": []}\n";
    return box::readServiceList(text, "services.json", reader, &error) ? "" : error;
  }
};

}  // namespace

TEST_F(TunerDelivery, IsWrittenWithItsTransponderAndReadBack) {
  box::noteDeliverySystem(satellite(11362000), {"DVB-S2", "8PSK"});
  box::noteDeliverySystem(satellite(11400000), {"DVB-S", ""});
  std::string out;
  for (int f : {11362000, 11400000, 11500000}) {
    box::appendTransponder(&out, satellite(f));
    out += "\n";
  }
  EXPECT_EQ(out,
            "{\"frequency_khz\": 11362000, \"symbol_rate\": 27500000, \"polarisation\": 0, \"fec\": 0, "
            "\"orbital_position\": 130, \"inversion\": 0, \"system\": \"DVB-S2\", \"modulation\": \"8PSK\"}\n"
            "{\"frequency_khz\": 11400000, \"symbol_rate\": 27500000, \"polarisation\": 0, \"fec\": 0, "
            "\"orbital_position\": 130, \"inversion\": 0, \"system\": \"DVB-S\"}\n"
            "{\"frequency_khz\": 11500000, \"symbol_rate\": 27500000, \"polarisation\": 0, \"fec\": 0, "
            "\"orbital_position\": 130, \"inversion\": 0}\n");
  box::forgetDeliverySystems();
  std::string entries = out;
  for (size_t at; (at = entries.find("}\n{")) != std::string::npos;) entries.replace(at, 3, "},\n{");
  ASSERT_EQ(read(entries), "");
  const box::DeliverySystem* a = box::deliverySystem(satellite(11362000));
  const box::DeliverySystem* b = box::deliverySystem(satellite(11400000));
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->system + " " + a->modulation + ", " + b->system + " " + b->modulation, "DVB-S2 8PSK, DVB-S ");
  EXPECT_EQ(box::deliverySystem(satellite(11500000)), nullptr);
}

TEST_F(TunerDelivery, AWrongSystemOrModulationIsRefusedWithItsPlace) {
  const std::string head =
      "{\"frequency_khz\": 11362000, \"symbol_rate\": 27500000, \"polarisation\": 0, \"fec\": 0, "
      "\"orbital_position\": 130, \"inversion\": 0, ";
  EXPECT_EQ(read(head + "\"system\": \"DVB-T\"}\n"),
            "services.json: line 3: transponders[0].system: must be \"DVB-S\" or \"DVB-S2\"");
  EXPECT_EQ(read(head + "\"system\": \"DVB-S2\", \"modulation\": 8}\n"),
            "services.json: line 3: transponders[0].modulation: must be \"QPSK\", \"8PSK\", \"16APSK\" or "
            "\"32APSK\"");
  EXPECT_EQ(box::deliverySystem(satellite(11362000)), nullptr);
}
