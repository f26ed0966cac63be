// The positioner's geometry and the bytes that reach the bus: a wrong byte
// turns a dish the wrong way.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "box/dvb/diseqc.h"

namespace {

constexpr double kDeg = 3.14159265358979323846 / 180;

// The same hour angle worked another way: the satellite's direction from the
// site in its horizon (east, north, up), as azimuth and elevation, then the
// hour angle of that direction on the site's sky, as astronomers reckon it
// (west positive).
double hourAngleFromLookAngles(double lat, double lon, double satLon) {
  const double r = 6378.137, orbit = 42164.17;
  const double sx = r * std::cos(lat * kDeg) * std::cos(lon * kDeg),
               sy = r * std::cos(lat * kDeg) * std::sin(lon * kDeg), sz = r * std::sin(lat * kDeg);
  const double dx = orbit * std::cos(satLon * kDeg) - sx, dy = orbit * std::sin(satLon * kDeg) - sy, dz = -sz;
  const double east = -std::sin(lon * kDeg) * dx + std::cos(lon * kDeg) * dy;
  const double north = -std::sin(lat * kDeg) * (std::cos(lon * kDeg) * dx + std::sin(lon * kDeg) * dy) +
                       std::cos(lat * kDeg) * dz;
  const double up = std::cos(lat * kDeg) * (std::cos(lon * kDeg) * dx + std::sin(lon * kDeg) * dy) +
                    std::sin(lat * kDeg) * dz;
  const double az = std::atan2(east, north), el = std::atan2(up, std::hypot(east, north));
  const double west =
      std::atan2(-std::sin(az) * std::cos(el),
                 std::cos(lat * kDeg) * std::sin(el) - std::sin(lat * kDeg) * std::cos(el) * std::cos(az));
  return -west / kDeg;
}

TEST(Usals, AnglesAgreeWithTheLookAnglesAndSatellitesBelowTheHorizonAreSaid) {
  int compared = 0;
  for (double lat : {0.0, 30.0, 45.46, 60.0, 71.0, -33.9})
    for (double lon : {-80.0, 9.19, 151.2})
      for (double delta = -80; delta <= 80; delta += 5) {
        const box::Site site{lat, lon};
        if (!box::satelliteVisible(site, lon + delta)) continue;
        EXPECT_NEAR(box::usalsAngle(site, lon + delta), hourAngleFromLookAngles(lat, lon, lon + delta), 1e-9)
            << lat << " " << lon << " " << delta;
        ++compared;
      }
  EXPECT_GT(compared, 200);
  // A geostationary satellite sets where cos(latitude) cos(longitude difference)
  // falls to the earth's radius over the orbit's, 0.151.
  const box::Site milan{45.46, 9.19};
  EXPECT_TRUE(box::satelliteVisible(milan, 9.19 + 70));
  EXPECT_FALSE(box::satelliteVisible(milan, 9.19 - 78));
  EXPECT_FALSE(box::satelliteVisible({82, 0}, 0));
  EXPECT_TRUE(box::satelliteVisible({-81, 0}, 0));
}

TEST(Usals, GotoBytesCarryTheDirectionAndSixteenthsOfADegree) {
  const box::Site milan{45.46, 9.19};
  struct Case {
    double angle;
    const char* bytes;
  } cases[] = {
      {0, "E0 31 6E E0 00"},
      {0.1, "E0 31 6E E0 02"},
      {-0.1, "E0 31 6E D0 02"},
      {-0.03, "E0 31 6E E0 00"},
      {13.5, "E0 31 6E E0 D8"},
      {-13.5, "E0 31 6E D0 D8"},
      {16, "E0 31 6E E1 00"},
      {-75, "E0 31 6E D4 B0"},
      {65.3, "E0 31 6E E4 15"},
      // Milan: Eutelsat 13.0E lies 4.25 degrees east; 30.0W, worked by hand:
      // atan2(R sin -39.19, R cos -39.19 - r cos 45.46) = -43.38 = 694/16 west.
      {box::usalsAngle(milan, 13.0), "E0 31 6E E0 44"},
      {box::usalsAngle(milan, -30.0), "E0 31 6E D2 B6"},
      {box::usalsAngle({52, 19.2}, 19.2), "E0 31 6E E0 00"},
  };
  for (const Case& c : cases) EXPECT_EQ(box::diseqcText(box::usalsGoto(c.angle)), c.bytes) << c.angle;
  // Tenths of a degree land on the nibbles that positioners' tables list.
  std::string nibbles;
  for (int tenth = 0; tenth < 10; ++tenth)
    nibbles += "0123456789ABCDEF"[box::usalsGoto(7 + tenth / 10.0)[4] & 15];
  EXPECT_EQ(nibbles, "023568ABDE");
  EXPECT_EQ(box::diseqcText(box::committedSwitch(2, true, false)), "E0 10 38 FA");
  EXPECT_EQ(box::diseqcText(box::committedSwitch(3, false, true)), "E0 10 38 FD");
}

TEST(Usals, SitesAreReadWithHemispheresOrSignsAndMovesTakeTheirTime) {
  struct Case {
    const char* text;
    const char* site;  // "" : refused
  } cases[] = {
      {"45.46N,9.19E", "45.46 9.19"},
      {"45.46,-9.19", "45.46 -9.19"},
      {"33.9S,18.4w", "-33.9 -18.4"},
      {"0,180", "0 180"},
      {"91N,0E", ""},
      {"45N", ""},
      {"-45N,9E", ""},
      {"45N,181E", ""},
      {"45N,9X", ""},
      {"45N,", ""},
      {"4e1,9", ""},
      {"45N,9E,1", ""},
  };
  for (const Case& c : cases) {
    box::Site s;
    char got[64] = "";
    if (box::parseSite(c.text, &s)) std::snprintf(got, sizeof got, "%g %g", s.latitude, s.longitude);
    EXPECT_STREQ(got, c.site) << c.text;
  }
  EXPECT_EQ(box::motorMoveMs(4.25, -43.38, 1.5), 31753 + box::kMotorSettleMs);
  EXPECT_EQ(box::motorMoveMs(-10, 10, 2), 10000 + box::kMotorSettleMs);
  EXPECT_EQ(box::motorMoveMs(4.25, 4.26, 1.5), 0);
}

}  // namespace
