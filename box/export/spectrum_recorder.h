#pragma once
// Listening to the front end's readings during a run, as rows of the run's
// spectrum. A sweep reads the strength and the SNR of each tune: the two make
// one row. A reading of a kind the row already has, or at another tuning,
// starts a new row; a row with one reading leaves the other field empty.
#include <vector>

#include "box/dvb/frontend.h"
#include "box/export/spectrum_csv.h"

namespace box {

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

}  // namespace box
