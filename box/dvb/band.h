#pragma once
// The simulated satellite band: the carriers the dish sees, what was playing
// at boot, and the front end's and noise model's settings. Read from a band
// file (JSON); see band.cpp for every key.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace box {

struct BandService {
  std::string name, provider;
  int type = 1;  // 1 tv, 2 radio, 12 data (the DVB service types)
  bool scrambled = false;
  int sid = 0;  // service id
};

struct BandCarrier {
  double freqMHz = 0;
  int pol = 0;   // 0 horizontal, 1 vertical
  int srKs = 0;  // ksymbols/s
  double cnDb = 0;
  bool dvbs2 = false;  // the front end is DVB-S only: such carriers never lock
  int fec = 0;
  int tsid = 0, onid = 0;
  std::vector<BandService> services;
  // Windows of box time [from, to) in ms in which it is on the air; none:
  // always. Out of them it is not there at all.
  std::vector<std::pair<int64_t, int64_t>> onAir;
};

// Whether the carrier is on the air at box time ms; ms < 0 asks about no
// time in particular (a picture of the whole band): always.
bool onAirAt(const BandCarrier& carrier, int64_t ms);

struct BandPlaying {
  double freqMHz = 0;
  int pol = 0;
  int srKs = 0;
  int fec = 0;
  std::string service;
};

struct FrontendSettings {
  int lockMs = 250;               // tune to lock
  int timeoutMs = 600;            // tune to giving up
  double srTolerance = 0.05;      // relative symbol-rate mismatch that still locks
  double captureFraction = 0.15;  // capture range as a fraction of the symbol rate (MHz per Msym/s)
  double captureMinMHz = 1.5, captureMaxMHz = 5.0;
  double lockCnDb = 2.0;  // carriers weaker than this never lock
  int cancelEvery = 0;    // every Nth tune answers -125 (0: never); for tests of retries
};

struct NoiseSettings {
  uint64_t seed = 1;
  int agcFloor = 16000;    // AGC reading with nothing but noise in the band-pass
  double agcPerDb = 2400;  // AGC reading per dB above the noise floor
  int agcJitter = 250;     // peak noise on an AGC reading
  int snrFloor = 3000;     // SNR reading without a lock
  double snrPerDb = 2600;  // SNR reading per dB of C/N when locked
  int snrJitter = 400;     // peak noise on an SNR reading
  double crossPolDb = 25;  // isolation from the other polarisation
  double rolloff = 0.35;
};

struct Band {
  std::string file;  // where it was read from
  std::string name;
  int orbitalPosition = 0;  // tenths of a degree, east positive
  std::optional<BandPlaying> playing;
  std::vector<BandCarrier> carriers;
  FrontendSettings frontend;
  NoiseSettings noise;
  int serviceGapMs = 300;  // between two services the scan reports
};

// Parses a band file's text. On a fault returns false with *error naming
// fileName, the line and the JSON path, and what is wrong; *band is then
// untouched. Never throws.
bool parseBand(const std::string& text, const std::string& fileName, Band* band, std::string* error);

// Reads and parses a file. The read goes through a seam that tests replace.
bool loadBand(const std::string& path, Band* band, std::string* error);
using FileReader = bool (*)(const std::string& path, std::string* content, std::string* error);
void setBandReader(FileReader reader);  // nullptr: the real file system

}  // namespace box
