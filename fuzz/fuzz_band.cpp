// Feeds arbitrary bytes to the band parser: it must never crash, throw or
// hang, and it must either accept the text or say what is wrong, never both.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "box/dvb/band.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  box::Band band;
  std::string error;
  bool ok = box::parseBand(text, "fuzz.json", &band, &error);
  if (ok != error.empty()) std::abort();
  if (!ok && error.rfind("fuzz.json: line ", 0) != 0) std::abort();
  if (ok) {
    // What is accepted stays within the ranges the box relies on.
    for (const box::BandCarrier& c : band.carriers)
      if (c.srKs < 1000 || c.srKs > 45000 || c.freqMHz < 10000 || c.freqMHz > 13000 ||
          (c.pol != 0 && c.pol != 1))
        std::abort();
    if (band.frontend.lockMs < 1 || band.frontend.timeoutMs < 1) std::abort();
  }
  return 0;
}
