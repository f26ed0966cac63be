#pragma once
// vantrel-box's command line.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "box/dvb/diseqc.h"
#include "box/dvb/realtuner.h"
#include "box/export/export.h"

namespace box {

struct Options {
  std::string plugin;                  // "" : the one installed with the box
  std::string band;                    // "" : the built-in demo band
  std::vector<std::string> moreBands;  // --band given again: other orbital positions
  std::string hunt;                    // the plan of a hunt, "" : none
  std::string keys;                    // the script text (an @FILE already read)
  std::string keysFile;                // where the script came from, for messages
  bool haveKeys = false;
  std::string shots;
  std::string trace;
  std::string root;  // "" : the default of installPlaces()
  bool realtime = false;
  std::string lang;     // "" : VANTREL_LANG, the environment, else Italian
  bool window = false;  // the screen in a desktop window, keys from the PC keyboard
  int64_t maxTimeMs = -1;
  TunerOptions tuner;                      // adapter < 0: the simulated band
  std::optional<Site> usals;               // a hunt's positions drive a USALS positioner at this site
  double motorSpeed = kDefaultMotorSpeed;  // degrees per second
  bool motorSpeedGiven = false;
  std::vector<ExportTarget> exports;  // written at exit, in the order given
  std::string spectrum;               // the readings' CSV, written at exit
  bool help = false, version = false;
};

// False with a message naming the argument in *error.
bool parseOptions(int argc, const char* const* argv, Options* options, std::string* error);
const char* usage();

}  // namespace box
