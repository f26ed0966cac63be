#pragma once
// The run's spectrum: every reading the front end gave, one CSV row per
// tuning read, with the header
//   frequency_mhz,polarisation,symbol_rate_ks,strength,snr,locked
// A sweep reads the strength and the SNR of each tune: the two make one row.
// A reading of a kind the row already has, or at another tuning, starts a
// new row; a row with one reading leaves the other field empty.
#include <string>
#include <string_view>
#include <vector>

#include "box/dvb/frontend.h"

namespace box {

struct SpectrumRow {
  int freqKHz = 0, srSym = 0, pol = 0;
  int strength = -1, snr = -1;  // 0..65535; -1: not read
  bool locked = false;          // at the row's last reading
};

class SpectrumRecorder {
 public:
  ~SpectrumRecorder() { stop(); }
  // Listens to the front end's readings (one recorder at a time).
  void start();
  void stop();
  void add(const FrontendReading& reading);
  // Every row so far, the one being filled included.
  std::vector<SpectrumRow> rows() const;

 private:
  bool listening = false;
  bool open = false;  // the last row may still take a reading
  std::vector<SpectrumRow> done;
};

std::string spectrumCsv(const std::vector<SpectrumRow>& rows);
// Reads a spectrum CSV strictly. False with *error "FILE: line N: what".
bool parseSpectrumCsv(std::string_view text, const std::string& fileName, std::vector<SpectrumRow>* rows,
                      std::string* error);

// One column of a picture: the highest readings of the rows that fall in it.
struct SpectrumColumn {
  bool present = false;
  int strength = -1, snr = -1;  // -1: none of its rows read it
  bool locked = false;
};
// Rows of one polarisation into columns of 1/perMHz MHz from startMHz on.
std::vector<SpectrumColumn> spectrumColumns(const std::vector<SpectrumRow>& rows, int pol, int startMHz,
                                            int columns, int perMHz);

}  // namespace box
