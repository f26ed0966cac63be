#pragma once
// A booted box (GUI in virtual time, and the DVB layer on a band given as
// JSON text) with its service list in a fresh folder.
#include <filesystem>
#include <fstream>
#include <string>

#include "box/base/paths.h"
#include "box/dvb/boot.h"
#include "gui/gui_fixture.h"
#include "host/dvb.h"
#include "host/frontend.h"
#include "test_dir.h"

// A band of the carriers given. Front end: lock 200 ms, time-out 500 ms.
inline std::string bandJson(const std::string& carriers, const std::string& extra = "") {
  return "{\"name\": \"Test\", \"orbital_position\": 130,\n" + extra +
         "\"frontend\": {\"lock_ms\": 200, \"timeout_ms\": 500},\n\"carriers\": [\n" + carriers + "\n]}\n";
}

inline std::string carrierJson(double mhz, const char* pol, int srKs, double cn, const char* system,
                               const std::string& services) {
  return "{\"frequency_mhz\": " + std::to_string(mhz) + ", \"polarisation\": \"" + pol +
         "\", \"symbol_rate_ks\": " + std::to_string(srKs) + ", \"cn_db\": " + std::to_string(cn) +
         ", \"system\": \"" + system + "\", \"services\": [" + services + "]}";
}

class DvbTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    dir = vantrel_test::testDir();
    std::filesystem::create_directories(dir / "root");
    box::setRoot(dir / "root");
  }
  void TearDown() override {
    box::shutdownDvb();
    GuiTest::TearDown();
  }

  // Boots the DVB layer on the band text; false with the message in error.
  bool boot(const std::string& json, std::string* error) {
    box::DvbOptions options;
    options.bandFile = (dir / "band.json").string();
    std::ofstream(options.bandFile) << json;
    return box::bootDvb(options, error);
  }

  std::string serviceListPath() const {
    return (dir / "root/var/tuxbox/config/vantrel-box/services.json").string();
  }

  // Tunes tp (kHz, ksymbols/s) and runs until the answer; returns the error code.
  int tuneAndWait(eTransponder& tp, int freqKHz, int srKs, int pol) {
    tp.setSatellite(freqKHz, srKs * 1000, pol, 0, 130, 0);
    int result = 1;
    sigc::connection c = eFrontend::frontend->tunedIn.connect([&](eTransponder* t, int err) {
      if (t == &tp) result = err;
    });
    EXPECT_EQ(tp.tune(), 0);
    box::runUntil([&] { return result != 1; }, 10000);
    c.disconnect();
    return result;
  }

  std::filesystem::path dir;
};
