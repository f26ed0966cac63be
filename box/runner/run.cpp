#include "box/runner/run.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "box/base/fileio.h"
#include "box/base/loop.h"
#include "box/base/paths.h"
#include "box/base/tr.h"
#include "box/base/trace.h"
#include "box/dvb/boot.h"
#include "box/export/export.h"
#include "box/export/spectrum_recorder.h"
#include "box/gui/boot.h"
#include "box/gui/screen.h"
#include "box/runner/hunt.h"
#include "box/runner/interrupt.h"
#include "box/runner/player.h"
#include "box/runner/prepare.h"
#include "box/runner/script.h"
#include "box/runner/terminal.h"
#include "box/runner/window_run.h"
#include "host/einit.h"

namespace box {
namespace {

using Entry = int (*)();

int fail(const std::string& message) {
  std::fprintf(stderr, "vantrel-box: %s\n", message.c_str());
  return 2;
}

// Output the run could not write: each failure is told at once, and the run
// ends with 5 unless it already ends worse (3 or 4).
struct Output {
  bool failed = false;
  int interrupted = 0;  // the exit status a signal gave the run, 0: none came
  void lost(const std::string& message) {
    std::fprintf(stderr, "vantrel-box: %s\n", message.c_str());
    failed = true;
  }
};

std::string pluginPath(const Options& o) {
  if (o.plugin.empty()) return installPlaces().plugin;
  // dlopen looks a name without a slash up on the library path, not here.
  return o.plugin.find('/') == std::string::npos ? "./" + o.plugin : o.plugin;
}

std::string rootFor(const Options& o) {
  return o.root.empty() ? installPlaces().root : o.root;
}

// A plan's sweep whose position cannot be swept, named as the plan's other
// faults are: file, line, key.
std::string positionFault(const Options& o, const HuntSweep& sweep, const std::string& what) {
  return trf("%s: line %d: %s: %s", printable(o.hunt, 200).c_str(), sweep.positionLine,
             (sweep.path + ".position").c_str(), what.c_str());
}

// Everything that can be checked before the box comes up.
bool checkInput(const Options& o, const std::string& plugin, std::vector<Step>* steps, HuntPlan* plan,
                std::string* error) {
  // First, as the checks below already make folders.
  const std::string root = rootFor(o);
  if (root.empty()) {
    *error = std::string("--root: ") +
             tr("neither HOME nor XDG_DATA_HOME is set, so the box has nowhere to keep what "
                "it finds; give it a folder with --root DIR");
    return false;
  }
  if (!checkDistinctFiles(o, plugin, root, error)) return false;
  if (o.haveKeys && !parseScript(o.keys, steps, error)) {
    *error = (o.keysFile.empty() ? "--keys: " : printable(o.keysFile, 200) + ": ") + *error;
    return false;
  }
  if (!o.hunt.empty() && !loadHunt(o.hunt, plan, error)) return false;
  if (o.usals)
    for (const HuntSweep& sweep : plan->sweeps)
      if (sweep.position && !satelliteVisible(*o.usals, *sweep.position / 10.0)) {
        *error = positionFault(
            o, sweep,
            trf("%s lies below the horizon of the --usals site", positionName(*sweep.position).c_str()));
        return false;
      }
  bool wantsShots = false;
  for (const Step& s : *steps) wantsShots |= s.kind == Step::Shot;
  if (wantsShots && o.shots.empty()) {
    *error = std::string("--keys: ") + tr("the script takes shots, so --shots DIR is needed");
    return false;
  }
  if (!o.shots.empty() && !prepareShotsFolder(o.shots, error)) return false;
  for (const ExportTarget& t : o.exports)
    if (!prepareOutputFile("--export", t.file, error)) return false;
  if (!o.spectrum.empty() && !prepareOutputFile("--spectrum", o.spectrum, error)) return false;
  if (access(plugin.c_str(), R_OK) != 0) {
    *error = "--plugin: " + printable(plugin, 200) + ": " + std::strerror(errno);
    return false;
  }
  return prepareRoot(root, error);
}

// The plug-in's library, loaded while the object lives.
class Plugin {
 public:
  Plugin() = default;
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;
  ~Plugin() {
    if (handle_) dlclose(handle_);
  }

  // Loads it and finds its entry point; false with the loader's reason, and
  // nothing left loaded.
  bool load(const std::string& path, std::string* error) {
    dlerror();
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
    entry_ = handle_ ? reinterpret_cast<Entry>(dlsym(handle_, "plugin_exec")) : nullptr;
    if (entry_) return true;
    // dlerror() says why once, and then nothing: it is read exactly once.
    const char* why = dlerror();
    std::string reason = why ? why : tr("plugin_exec is missing");
    if (handle_) dlclose(handle_);
    handle_ = nullptr;
    // The loader's reason usually names the file already.
    *error = "--plugin: " + (reason.find(path) == std::string::npos ? printable(path, 200) + ": " : "") +
             printable(reason, 300);
    return false;
  }
  Entry entry() const { return entry_; }

 private:
  void* handle_ = nullptr;
  Entry entry_ = nullptr;
};

// A part of the box brought up, taken down when the object goes.
class Teardown {
 public:
  explicit Teardown(void (*down)()) : down_(down) {}
  Teardown(const Teardown&) = delete;
  Teardown& operator=(const Teardown&) = delete;
  ~Teardown() { down_(); }

 private:
  void (*down_)();
};

// By hand there is no window to look at: the screen goes to a picture that
// an image viewer can keep open, twice a second when it changed.
void keepLivePicture(eTimer& live, const std::string& path, Output& out) {
  std::fprintf(stderr, "box: %s\n", trf("the screen is kept in %s", printable(path, 200).c_str()).c_str());
  live.timeout.connect([path, &out, written = uint64_t(-1), failing = false]() mutable {
    Screen& screen = Screen::instance();
    screen.redrawDirty();
    if (screen.frames() == written) return;
    std::string error;
    const bool ok = screen.writePng(path, &error);
    // Told once while it keeps failing, not twice a second.
    if (!ok && !failing) out.lost(error);
    failing = !ok;
    if (ok) written = screen.frames();
  });
  live.start(500, false);
}

// Calls plugin_exec with the script playing; its result, the code the run
// was given up with, or the status of the signal that interrupted it.
int runPlugin(const Options& o, std::vector<Step> steps, const HuntPlan& plan, Entry entry, Output& out,
              WindowRun& window) {
  int code = 0;
  {
    LongTimer limit;
    ScriptPlayer player(std::move(steps), o.shots, &limit);
    limit.timeout.connect([&o] {
      std::fprintf(stderr, "vantrel-box: --max-time: ");
      std::fprintf(stderr, tr("the plug-in was still running after %lld ms"), (long long)o.maxTimeMs);
      std::fputc('\n', stderr);
      abortAll(4);
    });
    if (o.maxTimeMs > 0) limit.start(o.maxTimeMs);
    // Closing the window leaves the plug-in as exit keys would; the script
    // must not take it elsewhere meanwhile.
    std::optional<HuntDriver> hunt;
    if (!o.hunt.empty()) {
      // A real tuner answers on the wall clock, and so do the hunt's rounds.
      std::optional<Motor> motor;
      if (o.usals) motor = Motor{*o.usals, o.motorSpeed};
      hunt.emplace(plan, o.tuner.adapter >= 0 && !o.realtime, &limit, motor);
    }
    const Interrupts interrupts([&player, &hunt] {
      player.stop();
      if (hunt) hunt->stop();
    });
    window.start([&player, &hunt] {
      player.stop();
      if (hunt) hunt->stop();
    });
    TerminalKeys keys;
    const bool terminal = !o.haveKeys && !hunt && !window.isOpen() && keys.start();
    eTimer live(eApp);
    if (terminal && !o.shots.empty()) keepLivePicture(live, o.shots + "/live.png", out);
    StatusLine status;
    if (terminal) status.start();
    code = entry();
    status.stop();
    // A tune the plug-in left in flight on a real tuner (the transponder
    // given back) is answered before the box goes down, so that the run
    // shows where the device was left.
    if (deviceWaiting() && !aborted()) runUntil([] { return !deviceWaiting(); }, 65000);
    keys.stop();
    window.stop();
    Trace::event("exit", {{"code", code}});
    if (player.outputFailed() || (hunt && hunt->outputFailed())) out.failed = true;
    if (interrupts.caught()) out.interrupted = interrupts.exitStatus();
  }
  return aborted() ? abortCode() : out.interrupted ? out.interrupted : code;
}

// What the kept service list holds, in each format asked for, and the run's
// readings: each file that cannot be written is told, and the run ends with 5.
void writeExports(const Options& o, const SpectrumRecorder& spectrum, Output& out) {
  std::string error;
  if (!o.exports.empty() && eDVB::instance) {
    takeNewerKeptServices();
    const ChannelList channels = channelList(*eDVB::instance->getTransponders());
    if (channels.unplaced)
      std::fprintf(
          stderr, "box: %s\n",
          trf("%zu kept services have no kept transponder and are not exported", channels.unplaced).c_str());
    if (channels.ambiguous)
      std::fprintf(stderr, "box: %s\n",
                   trf("%zu services lie at a frequency kept on more than one transponder: exported with "
                       "the nearest",
                       channels.ambiguous)
                       .c_str());
    for (const ExportTarget& t : o.exports)
      if (!writeExport(channels, t, &error)) out.lost("--export: " + printable(error, 300));
  }
  if (!o.spectrum.empty() && !writeFileAtomic(o.spectrum, spectrumCsv(spectrum.rows()), &error))
    out.lost("--spectrum: " + printable(error, 300));
}

}  // namespace

int run(const Options& o) {
  // Everything is checked before anything runs.
  std::vector<Step> steps;
  HuntPlan plan;
  std::string error;
  const std::string pluginFile = pluginPath(o);
  if (!checkInput(o, pluginFile, &steps, &plan, &error)) return fail(error);
  WindowRun window;
  if (o.window && !window.open(&error)) return fail(error);

  // Taken down in reverse: the plug-in's code stays loaded until the objects
  // it made are gone.
  Plugin plugin;
  GuiOptions gui;
  gui.realtime = o.realtime || o.window || (!o.haveKeys && o.hunt.empty() && isatty(STDIN_FILENO));
  gui.root = rootFor(o);
  if (!bootGui(gui, &error)) return fail(error);
  const Teardown guiDown(shutdownGui);
  DvbOptions dvb;
  dvb.bandFile = o.band;
  dvb.moreBands = o.moreBands;
  dvb.tuner = o.tuner;
  if (!bootDvb(dvb, &error)) return fail(error);
  for (const HuntSweep& sweep : plan.sweeps)
    if (sweep.position && !hasBandAt(*sweep.position)) {
      shutdownDvb();
      return fail(
          positionFault(o, sweep, trf("no --band lies at %s", positionName(*sweep.position).c_str())));
    }
  const Teardown dvbDown([] { shutdownDvb(); });  // after a run, already down: the list is kept below
  // The plug-in is loaded before the trace is made: a file that is no
  // plug-in leaves no trace behind.
  if (!plugin.load(pluginFile, &error)) return fail(error);
  if (!o.trace.empty() && !Trace::open(o.trace, &error)) return fail("--trace: " + error);
  // The plug-in's auto-init objects registered while it loaded.
  eInit::setRunlevel(dvbLevel);

  Output out;
  SpectrumRecorder spectrum;
  if (!o.spectrum.empty()) spectrum.start();
  int code = runPlugin(o, std::move(steps), plan, plugin.entry(), out, window);
  spectrum.stop();
  const bool givenUp = aborted();  // 3 or 4: these say more than a lost file
  std::fputs(foundSummary().c_str(), stdout);
  // A long summary reaches the device in parts: an earlier part may have failed.
  if (std::fflush(stdout) != 0 || std::ferror(stdout))
    out.lost(trf("standard output: %s", std::strerror(errno)));
  // Auto-init objects of the plug-in go down before it is unloaded.
  eInit::setRunlevel(guiLevel);
  if (!Trace::close(&error)) out.lost("--trace: " + error);
  writeExports(o, spectrum, out);
  if (!shutdownDvb(&error))
    out.lost(trf("the service list could not be kept: %s", printable(error, 300).c_str()));
  // An interrupt says more than a lost file, as giving up does.
  return out.failed && !givenUp && !out.interrupted ? 5 : code;
}

}  // namespace box
