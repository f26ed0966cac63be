#include "box/dvb/answers.h"

#include "box/base/trace.h"
#include "box/dvb/state.h"
#include "host/dvb.h"

namespace box {

TuneAnswers::TuneAnswers(eFrontend& owner_) : owner(owner_) {
  cancelTimer.timeout.connect(sigc::mem_fun(*this, &TuneAnswers::deliverCancelled));
}

void TuneAnswers::cancel(const Answer& a) {
  cancelled.push_back({a.tp, a.freqKHz, kCancelled});
  cancelTimer.start(0, true);
}

void TuneAnswers::forget(const eTransponder* tp) {
  if (!tp) return;
  for (auto it = cancelled.begin(); it != cancelled.end();)
    it = it->tp == tp ? cancelled.erase(it) : std::next(it);
  for (eTransponder*& d : delivering)
    if (d == tp) d = nullptr;
}

void TuneAnswers::deliverCancelled() {
  cancelTimer.stop();
  // One at a time: a receiver may tune again, which queues more.
  if (cancelled.empty()) return;
  Answer a = cancelled.front();
  cancelled.pop_front();
  if (!cancelled.empty()) cancelTimer.start(0, true);
  deliver(a);
}

void TuneAnswers::deliver(const Answer& a, const nlohmann::json& extra) {
  nlohmann::json fields = {{"freq", a.freqKHz}, {"err", a.err}};
  fields.update(extra);
  Trace::event("tuned", std::move(fields));
  // A receiver may run a whole nested loop in which the transponder goes
  // away; the event that follows then names none.
  delivering.push_back(a.tp);
  const size_t mine = delivering.size() - 1;
  owner.tunedIn.emit(a.tp, a.err);
  eTransponder* tp = delivering[mine];
  delivering.pop_back();
  // A cancelled tune has no reading of its own: the event that would follow
  // it would let the sweep take its retry's reading as done before the retry
  // is answered. The retry's own event follows the retry.
  if (a.err == kCancelled) return;
  dvb::emitEvent(eDVBEvent(eDVBEvent::eventTunedIn, a.err, tp));
}

}  // namespace box
