#include "box/export/spectrum_columns.h"

#include <algorithm>

namespace box {

std::vector<SpectrumColumn> spectrumColumns(const std::vector<SpectrumRow>& rows, int pol, int startMHz,
                                            int columns, int perMHz) {
  std::vector<SpectrumColumn> out(size_t(std::max(columns, 0)));
  for (const SpectrumRow& r : rows) {
    if (r.pol != pol) continue;
    const long long offset = static_cast<long long>(r.freqKHz) - startMHz * 1000LL;
    if (offset < 0) continue;
    const long long x = offset * perMHz / 1000;
    if (x >= columns) continue;
    SpectrumColumn& c = out[size_t(x)];
    c.present = true;
    c.strength = std::max(c.strength, r.strength);
    c.snr = std::max(c.snr, r.snr);
    c.locked |= r.locked;
  }
  return out;
}

}  // namespace box
