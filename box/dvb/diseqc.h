#pragma once
// DiSEqC messages the box sends: a committed switch's port, and the goto of
// a USALS positioner (DiSEqC 1.2), with the geometry that gives its angle.
#include <cstdint>
#include <string>
#include <vector>

namespace box {

using DiseqcMessage = std::vector<uint8_t>;

// Where the dish stands: degrees, north and east positive.
struct Site {
  double latitude = 0, longitude = 0;
};
// "45.46N,9.19E", or signed degrees "45.46,-9.19". False for anything else,
// or a latitude past 90 or a longitude past 180.
bool parseSite(const std::string& text, Site* site);

// Whether a satellite at this longitude (degrees, east positive) stands above
// the site's horizon, where a dish can see it.
bool satelliteVisible(const Site& site, double satelliteLongitude);
// The angle a USALS positioner turns to for the satellite: the hour angle of
// the satellite seen from the site, rotating about an axis parallel to the
// earth's; degrees, east of the site's meridian positive.
double usalsAngle(const Site& site, double satelliteLongitude);

// The goto command: E0 31 6E and the angle in sixteenths of a degree, its
// direction in the top nibble (E east, D west).
DiseqcMessage usalsGoto(double angle);
// The committed switch command (DiSEqC 1.0) for port 0-3 with the LNB's
// polarisation (18 V) and band (22 kHz tone).
DiseqcMessage committedSwitch(int port, bool voltage18, bool tone);
// "E0 31 6E E0 D8", as the trace shows a message.
std::string diseqcText(const DiseqcMessage& message);

// How long a positioner at degreesPerSecond takes from one angle to another,
// settling included; 0 when it does not move.
int64_t motorMoveMs(double fromAngle, double toAngle, double degreesPerSecond);
// A positioner's speed when none is given: what common motors make on 13 V,
// the slower of the LNB's two supplies.
constexpr double kDefaultMotorSpeed = 1.5;
// After the motor stops, the dish sways and the mount settles before a
// lock is worth trying.
constexpr int64_t kMotorSettleMs = 2000;

}  // namespace box
