#pragma once
// The run's spectrum as a file: every reading the front end gave, one CSV
// row per tuning read, with the header
//   frequency_mhz,polarisation,symbol_rate_ks,strength,snr,locked
// Frequencies and symbol rates in MHz and ksymbols/s with up to three
// decimals; a reading not taken is an empty field.
#include <string>
#include <string_view>
#include <vector>

namespace box {

struct SpectrumRow {
  int freqKHz = 0, srSym = 0, pol = 0;
  int strength = -1, snr = -1;  // 0..65535; -1: not read
  bool locked = false;          // at the row's last reading
};

std::string spectrumCsv(const std::vector<SpectrumRow>& rows);
// Reads a spectrum CSV strictly. False with *error "FILE: line N: what".
bool parseSpectrumCsv(std::string_view text, const std::string& fileName, std::vector<SpectrumRow>* rows,
                      std::string* error);

}  // namespace box
