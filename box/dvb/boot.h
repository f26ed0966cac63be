#pragma once
// Bringing the DVB layer up and down: the simulated band, or a real tuner
// (tuner.adapter) behind the same host objects.
#include <cstdint>
#include <string>
#include <vector>

#include "box/dvb/realtuner.h"

namespace box {

struct DvbOptions {
  std::string bandFile;  // "" : the built-in demo band (dataDir/bands/demo.json)
  // Bands at further orbital positions (each its own): the dish starts at
  // bandFile's and pointDish() turns it.
  std::vector<std::string> moreBands;
  // The service list the box keeps, resolved under the root ("" : none is
  // read or written, as for pictures and tests that start from nothing):
  std::string serviceList = "/var/tuxbox/config/vantrel-box/services.json";
  // With an adapter the band gives only its name, orbital position and what
  // plays at boot; the tuner's answers and tables come from the device.
  TunerOptions tuner;
};

// Reads the band (exact errors: file, line or JSON path, what is wrong) and
// the kept service list; creates eDVB, eFrontend, eTransponderList,
// eServiceInterface and sets what is playing. False with *error on bad input;
// then nothing has been created.
bool bootDvb(const DvbOptions& options, std::string* error);
// The kept services this run only loaded take the records other boxes on
// the root saved since (a rescan's new names), so that what the run exports
// is the newest the root knows. A list that cannot be read is said on
// standard error, and the run's list stays as it was.
void takeNewerKeptServices();
// Writes the service list (atomically) and destroys the DVB objects. False,
// with *error saying why, when the list could not be kept: at this last save
// or at any save during the run that no later save made good.
bool shutdownDvb(std::string* error = nullptr);

// Turns the dish to the band at this orbital position (tenths of a degree,
// east positive): the simulated front end sees that sky from now on. False
// when no band lies there.
bool pointDish(int orbitalPosition);
bool hasBandAt(int orbitalPosition);
// Sends a DiSEqC message on the front end in use, tracing it first: the
// simulated dish takes it and ignores it. 0, or the errno of a refusal.
int sendDiseqc(const std::vector<uint8_t>& message);
// The switch port the next tunes select, 0-3; -1: the command line's.
void selectSwitchPort(int port);
// An orbital position as people write it: 13.0E, 30.0W.
std::string positionName(int orbitalPosition);

// Running counts of what this run's scans found, for a caller that wants
// what one stretch of the run added: transponders scanned with a lock, and
// transponders first found by this run, and services found (each once).
struct FoundCounts {
  size_t locked = 0, newTransponders = 0, services = 0;
};
FoundCounts foundCounts();

// What scans found during this run, for the box to print at exit: each
// transponder scanned and the services found on it.
std::string foundSummary();

}  // namespace box
