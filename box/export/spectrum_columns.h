#pragma once
// The run's spectrum binned into the columns of a picture (the band plot).
#include <vector>

#include "box/export/spectrum_csv.h"

namespace box {

// One column: the highest readings of the rows that fall in it.
struct SpectrumColumn {
  bool present = false;
  int strength = -1, snr = -1;  // -1: none of its rows read it
  bool locked = false;
};
// Rows of one polarisation into columns of 1/perMHz MHz from startMHz on.
std::vector<SpectrumColumn> spectrumColumns(const std::vector<SpectrumRow>& rows, int pol, int startMHz,
                                            int columns, int perMHz);

}  // namespace box
