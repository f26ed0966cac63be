// The main loop and its clock. In virtual time, when nothing is due, the
// clock jumps to the next timer's deadline; in real time the loop sleeps.
#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "box/base/loop.h"
#include "box/base/mainloop_impl.h"
#include "box/base/tr.h"

eMainloop* eApp = nullptr;

namespace {
int64_t gStallExit = 4;
// ms after at, held at the end of the clock rather than wrapped past it.
int64_t after(int64_t at, int64_t ms) {
  return ms > INT64_MAX - at ? INT64_MAX : at + ms;
}
sigc::signal<void()>& idle() {
  static sigc::signal<void()> s;
  return s;
}
std::function<void()>& frameHook() {
  static std::function<void()> hook;
  return hook;
}
}  // namespace

int64_t eMainloop::Impl::now() const {
  if (!realtime) return virtualNow;
  return box::wallMs() - started;
}

void eMainloop::Impl::add(eTimer* t) {
  timers.push_back(t);
}

void eMainloop::Impl::remove(eTimer* t) {
  auto it = std::find(timers.begin(), timers.end(), t);
  if (it != timers.end()) timers.erase(it);
}

eTimer* eMainloop::Impl::nextDue(int64_t at) const {
  eTimer* best = nullptr;
  for (eTimer* t : timers)
    if (t->nextAt <= at &&
        (!best || t->nextAt < best->nextAt || (t->nextAt == best->nextAt && t->sequence < best->sequence)))
      best = t;
  return best;
}

int64_t eMainloop::Impl::nextDeadline() const {
  int64_t best = -1;
  for (eTimer* t : timers)
    if (best < 0 || t->nextAt < best) best = t->nextAt;
  return best;
}

void eMainloop::Impl::fire(eTimer* t) {
  // Rescheduled (or retired) before its slot runs, so that the slot may stop,
  // restart or delete the timer freely.
  if (t->singleShot) {
    t->active = false;
    remove(t);
  } else {
    t->nextAt = after(t->nextAt, std::max(t->intervalMs, 1));
    t->sequence = ++sequence;
  }
  t->timeout.emit();
}

void eMainloop::Impl::retireAll() {
  // Timers may outlive the loop (members of windows deleted later); they
  // must not reach back into it.
  for (eTimer* t : timers) {
    t->active = false;
    t->loop = nullptr;
  }
  timers.clear();
}

void eMainloop::Impl::stalled() {
  if (stallHandler) stallHandler();
  if (aborted || levelEnding() || !timers.empty()) return;
  std::fprintf(stderr, "box: %s\n", box::tr("nothing left to happen: no timer is running and no key is due"));
  box::abortAll(int(gStallExit));
}

void eMainloop::Impl::iterate(int64_t limit) {
  int64_t t0 = now();
  while (eTimer* t = nextDue(t0)) {
    fire(t);
    if (levelEnding()) return;
  }
  if (frameHook()) frameHook()();
  idle().emit();
  if (levelEnding()) return;
  if (nextDue(now())) return;
  int64_t next = nextDeadline();
  if (limit >= 0 && (next < 0 || next > limit)) next = limit;
  if (next < 0) {
    if (realtime) {
      box::wallSleep(20);
      return;
    }
    stalled();
    return;
  }
  if (!realtime && deviceWaits > 0) {
    // Box time keeps pace with the wall clock since the wait began, never
    // passing the next deadline, so that every timer still fires in order;
    // it sleeps only when it has caught up with the wall.
    auto walked = [this] { return after(waitVirtual, box::wallMs() - waitWall); };
    int64_t target = walked();
    if (target < next) {
      box::wallSleep(std::min<int64_t>(next - target, 20));
      target = walked();
    }
    virtualNow = std::min(next, std::max(virtualNow, target));
    return;
  }
  if (!realtime) {
    virtualNow = std::max(virtualNow, next);
    return;
  }
  // Short sleeps, so that keys read in the idle hook stay responsive.
  int64_t wait = std::min<int64_t>(next - now(), 20);
  box::wallSleep(wait);
}

eMainloop::eMainloop() : impl(new Impl) {}

eMainloop::~eMainloop() {
  impl->retireAll();
  delete impl;
}

int64_t eMainloop::now() const {
  return impl->now();
}

int eMainloop::enter_loop() {
  impl->exitRequested.push_back(false);
  while (!impl->levelEnding()) impl->iterate(-1);
  impl->exitRequested.pop_back();
  return 0;
}

void eMainloop::exit_loop() {
  if (!impl->exitRequested.empty()) impl->exitRequested.back() = true;
}

int eMainloop::loopLevel() const {
  return int(impl->exitRequested.size());
}

eTimer::eTimer(eMainloop* loop_) : loop(loop_) {}

eTimer::~eTimer() {
  stop();
}

void eTimer::start(int ms, bool singleShot_) {
  if (!loop) return;
  stop();
  intervalMs = std::max(ms, 0);
  singleShot = singleShot_;
  nextAt = after(loop->now(), intervalMs);
  sequence = ++loop->impl->sequence;
  active = true;
  loop->impl->add(this);
}

void eTimer::stop() {
  if (!active) return;
  active = false;
  loop->impl->remove(this);
}

void eTimer::changeInterval(int ms) {
  if (active)
    start(ms, singleShot);
  else
    intervalMs = ms;
}

namespace box {

eMainloop& mainloop(bool realtime) {
  if (!eApp) {
    eApp = new eMainloop;
    eApp->impl->realtime = realtime;
  }
  return *eApp;
}

void destroyMainloop() {
  delete eApp;
  eApp = nullptr;
}

bool isRealtime() {
  return eApp && eApp->impl->realtime;
}

sigc::signal<void()>& idleSignal() {
  return idle();
}

void setFrameHook(std::function<void()> hook) {
  frameHook() = std::move(hook);
}

void setStallHandler(std::function<void()> handler) {
  mainloop().impl->stallHandler = std::move(handler);
}

bool runUntil(const std::function<bool()>& cond, int64_t ms) {
  eMainloop::Impl* impl = mainloop().impl;
  // A limit past the end of the clock waits for ever instead of wrapping.
  const int64_t now = impl->now();
  const int64_t deadline = after(now, std::max<int64_t>(ms, 0));
  while (!(cond && cond()) && !impl->aborted) {
    if (impl->now() >= deadline) break;
    impl->iterate(deadline);
    if (impl->levelEnding()) break;
  }
  return cond && cond();
}

void wait(int64_t ms) {
  runUntil(nullptr, ms);
}

void abortAll(int code) {
  eMainloop::Impl* impl = mainloop().impl;
  if (impl->aborted) return;
  impl->aborted = true;
  impl->abortCode = code;
}

void beginDeviceWait() {
  eMainloop::Impl* impl = mainloop().impl;
  if (impl->deviceWaits++ == 0) {
    impl->waitWall = box::wallMs();
    impl->waitVirtual = impl->virtualNow;
  }
}

void endDeviceWait() {
  if (eApp && eApp->impl->deviceWaits > 0) --eApp->impl->deviceWaits;
}

bool deviceWaiting() {
  return eApp && eApp->impl->deviceWaits > 0;
}

std::vector<int64_t> timerDeadlines() {
  std::vector<int64_t> out;
  if (eApp)
    for (const eTimer* t : eApp->impl->timers) out.push_back(t->deadline());
  return out;
}

bool aborted() {
  return eApp && eApp->impl->aborted;
}
int abortCode() {
  return eApp ? eApp->impl->abortCode : 0;
}

}  // namespace box
