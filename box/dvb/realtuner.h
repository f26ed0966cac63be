#pragma once
// Opening a real Linux DVB-S/S2 tuner as the DVB layer's front end. Built
// with libdvbv5 where the system has it (real/); elsewhere openRealFrontend
// says so and nothing runs.
#include <cstdint>
#include <memory>
#include <string>

#include "box/dvb/frontend.h"

namespace box {

struct TunerOptions {
  int adapter = -1;               // /dev/dvb/adapterN; -1: the simulated band
  std::string lnb = "UNIVERSAL";  // libdvbv5's LNB names
  int diseqc = -1;                // DiSEqC port 0..3; -1: none sent
  std::string delsys = "auto";    // "dvbs", "dvbs2" or "auto"
  // Tune to giving up (wall-clock ms). Real demodulators take from about
  // 100 ms (a DVB-S carrier found at once) to about a second (a DVB-S2
  // carrier, a slow symbol-rate search); 1500 ms covers both without making
  // every empty step of a sweep slow.
  int lockTimeoutMs = 1500;
  // How long a tune looks for a carrier before it gives up (wall-clock ms);
  // -1: as the symbol rate asks (real::carrierWaitMs), 0: the whole lock
  // time-out, as a card that shows no carrier bit needs.
  int carrierWaitMs = -1;
  // DTV_STREAM_ID of DVB-S2 tunes: the input stream (bits 0-7) and, with a
  // PLS gold code, the code (bits 8-25) and gold mode (bit 26), as the
  // kernel's multistream drivers read it; ~0U: no stream filter, every
  // stream passes.
  uint32_t streamId = ~0U;
};

// The exit status of a run whose tuner went away (an unplugged card): the
// run ends as any other, keeping and exporting what it found.
constexpr int kExitTunerGone = 6;

// Opens frontend0 and demux0 of the adapter. False, with *error naming the
// device and the reason (no such adapter, busy, permission denied, not a
// satellite front end, an unknown LNB), when it cannot be used.
std::unique_ptr<Frontend> openRealFrontend(const TunerOptions& options, std::string* error);

}  // namespace box
