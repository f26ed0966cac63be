#include "box/export/spectrum_recorder.h"

namespace box {
namespace {

bool sameTuning(const SpectrumRow& r, const FrontendReading& x) {
  return r.freqKHz == x.freqKHz && r.srSym == x.srSym && r.pol == x.pol;
}

}  // namespace

void SpectrumRecorder::start() {
  setReadingListener([this](const FrontendReading& r) { add(r); });
  listening = true;
}

void SpectrumRecorder::stop() {
  if (listening) setReadingListener(nullptr);
  listening = false;
}

void SpectrumRecorder::add(const FrontendReading& x) {
  const bool isSnr = x.kind == FrontendReading::snr;
  if (open) {
    SpectrumRow& last = done.back();
    if (sameTuning(last, x) && (isSnr ? last.snr : last.strength) < 0) {
      (isSnr ? last.snr : last.strength) = x.value;
      last.locked = x.locked;
      open = false;  // both read
      return;
    }
  }
  SpectrumRow r;
  r.freqKHz = x.freqKHz;
  r.srSym = x.srSym;
  r.pol = x.pol;
  (isSnr ? r.snr : r.strength) = x.value;
  r.locked = x.locked;
  done.push_back(r);
  open = true;
}

std::vector<SpectrumRow> SpectrumRecorder::rows() const {
  return done;
}

}  // namespace box
