#include "box/dvb/diseqc.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace box {

namespace {

// The earth's equatorial radius and the geostationary orbit's.
constexpr double kEarthRadiusKm = 6378.137, kOrbitRadiusKm = 42164.17;
constexpr double kPi = 3.14159265358979323846;

double radians(double degrees) {
  return degrees * kPi / 180;
}

// One coordinate: a number, then optionally its hemisphere letter (positive
// or negative), with no sign when there is a letter.
bool parseCoordinate(const std::string& text, char positive, char negative, double limit, double* value) {
  if (text.empty()) return false;
  std::string number = text;
  int sign = 1;
  const char last = char(std::toupper((unsigned char)text.back()));
  if (last == positive || last == negative) {
    number.pop_back();
    sign = last == positive ? 1 : -1;
    if (number.empty() || number[0] == '-' || number[0] == '+') return false;
  }
  if (number.empty() || number.size() > 16) return false;
  for (char c : number)
    if (!std::isdigit((unsigned char)c) && c != '.' && c != '-' && c != '+') return false;
  char* end = nullptr;
  const double v = std::strtod(number.c_str(), &end);
  if (end != number.c_str() + number.size() || !std::isfinite(v) || std::fabs(v) > limit) return false;
  *value = sign * v;
  return true;
}

}  // namespace

bool parseSite(const std::string& text, Site* site) {
  const size_t comma = text.find(',');
  if (comma == std::string::npos) return false;
  Site s;
  if (!parseCoordinate(text.substr(0, comma), 'N', 'S', 90, &s.latitude) ||
      !parseCoordinate(text.substr(comma + 1), 'E', 'W', 180, &s.longitude))
    return false;
  *site = s;
  return true;
}

// Above the horizon: the satellite lies on the outer side of the plane that
// touches the earth at the site.
bool satelliteVisible(const Site& site, double satelliteLongitude) {
  const double c = std::cos(radians(site.latitude)) * std::cos(radians(satelliteLongitude - site.longitude));
  return c > kEarthRadiusKm / kOrbitRadiusKm;
}

// In the equatorial plane, the way from the site to the satellite has
// R sin(d) towards east and R cos(d) - r cos(lat) outwards along the site's
// meridian (d the longitude difference): the hour angle is their angle.
double usalsAngle(const Site& site, double satelliteLongitude) {
  const double d = radians(satelliteLongitude - site.longitude);
  const double east = kOrbitRadiusKm * std::sin(d);
  const double out = kOrbitRadiusKm * std::cos(d) - kEarthRadiusKm * std::cos(radians(site.latitude));
  return std::atan2(east, out) * 180 / kPi;
}

DiseqcMessage usalsGoto(double angle) {
  // Twelve bits of sixteenths: whole degrees up to 255, the fraction in the
  // low nibble.
  const long sixteenths = std::min(std::lround(std::fabs(angle) * 16), 0xfffL);
  const uint8_t direction = angle < 0 && sixteenths ? 0xd0 : 0xe0;
  return {0xe0, 0x31, 0x6e, uint8_t(direction | sixteenths >> 8), uint8_t(sixteenths & 0xff)};
}

DiseqcMessage committedSwitch(int port, bool voltage18, bool tone) {
  return {0xe0, 0x10, 0x38, uint8_t(0xf0 | (port & 3) << 2 | (voltage18 ? 2 : 0) | (tone ? 1 : 0))};
}

std::string diseqcText(const DiseqcMessage& message) {
  std::string text;
  char byte[4];
  for (uint8_t b : message) {
    std::snprintf(byte, sizeof byte, "%02X", b);
    if (!text.empty()) text += ' ';
    text += byte;
  }
  return text;
}

int64_t motorMoveMs(double fromAngle, double toAngle, double degreesPerSecond) {
  const double degrees = std::fabs(toAngle - fromAngle);
  if (degrees < 1.0 / 32) return 0;  // the same sixteenth of a degree
  return std::llround(degrees / degreesPerSecond * 1000) + kMotorSettleMs;
}

}  // namespace box
