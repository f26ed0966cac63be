#include "box/runner/run.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "box/dvb/boot.h"
#include "box/gui/boot.h"
#include "box/gui/loop.h"
#include "box/gui/screen.h"
#include "box/gui/trace.h"
#include "box/runner/script.h"
#include "box/runner/terminal.h"
#include "host/einit.h"

namespace box {
namespace {

std::string exeDir() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  std::string path(buf, size_t(n));
  return path.substr(0, path.rfind('/'));
}

int fail(const std::string& message) {
  std::fprintf(stderr, "vantrel-box: %s\n", message.c_str());
  return 2;
}

bool makeDirs(const std::string& dir) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  return !ec && std::filesystem::is_directory(dir, ec);
}

// Runs the script's steps on box time, from a timer: every loop level fires
// it, so keys reach nested modal runs. Each step moves the script on before
// it acts, since a key may not return until a modal run has ended.
class ScriptPlayer : public sigc::trackable {
 public:
  ScriptPlayer(std::vector<Step> steps, std::string shots)
      : steps(std::move(steps)), shots(std::move(shots)) {
    timer.timeout.connect(sigc::mem_fun(*this, &ScriptPlayer::tick));
    if (!this->steps.empty()) timer.start(0, true);
  }

 private:
  void tick() {
    while (next < steps.size()) {
      const Step& s = steps[next];
      switch (s.kind) {
        case Step::Wait:
          ++next;
          timer.start(int(s.ms), true);
          return;
        case Step::WaitText:
          if (textSince < 0) textSince = eApp->now();
          if (Screen::instance().showsText(s.text)) {
            textSince = -1;
            ++next;
            continue;
          }
          if (eApp->now() - textSince >= s.ms) {
            std::fprintf(stderr, "vantrel-box: script line %d: \"%s\" was not shown within %lld ms\n", s.line,
                         s.text.c_str(), (long long)s.ms);
            abortAll(3);
            return;
          }
          timer.start(20, true);
          return;
        case Step::Shot:
          ++next;
          shot(s);
          continue;
        case Step::Key: {
          ++next;
          timer.start(0, true);
          Screen::instance().keyPress(s.key);
          return;
        }
      }
    }
  }

  void shot(const Step& s) {
    Screen::instance().redrawDirty();
    std::string base = shots + "/" + s.text;
    std::string error;
    if (!Screen::instance().writePng(base + ".png", &error)) {
      std::fprintf(stderr, "vantrel-box: script line %d: %s\n", s.line, error.c_str());
      return;
    }
    std::ofstream json(base + ".json");
    json << Screen::instance().dumpWidgets().dump(2) << "\n";
  }

  std::vector<Step> steps;
  std::string shots;
  size_t next = 0;
  int64_t textSince = -1;
  eTimer timer{eApp};
};

}  // namespace

int run(const Options& o, const char*) {
  // Everything is checked before anything runs.
  std::vector<Step> steps;
  std::string error;
  if (o.haveKeys && !parseScript(o.keys, &steps, &error))
    return fail((o.keysFile.empty() ? "--keys: " : o.keysFile + ": ") + error);
  bool wantsShots = false;
  for (const Step& s : steps) wantsShots |= s.kind == Step::Shot;
  if (wantsShots && o.shots.empty()) return fail("--keys: the script takes shots, so --shots DIR is needed");
  if (!o.shots.empty() && !makeDirs(o.shots)) return fail("--shots: cannot create the folder " + o.shots);
  std::string dir = exeDir();
  std::string plugin = o.plugin.empty() ? dir + "/vantrel.so" : o.plugin;
  if (access(plugin.c_str(), R_OK) != 0) return fail("--plugin: cannot read " + plugin);

  GuiOptions gui;
  gui.realtime = o.realtime || (!o.haveKeys && isatty(STDIN_FILENO));
  gui.root = o.root.empty() ? dir + "/root" : o.root;
  if (!bootGui(gui, &error)) return fail(error);
  DvbOptions dvb;
  dvb.bandFile = o.band;
  if (!bootDvb(dvb, &error)) {
    shutdownGui();
    return fail(error);
  }
  if (!o.trace.empty() && !Trace::open(o.trace)) {
    shutdownDvb();
    shutdownGui();
    return fail("--trace: cannot write " + o.trace);
  }
  void* handle = dlopen(plugin.c_str(), RTLD_NOW | RTLD_GLOBAL);
  using Entry = int (*)();
  Entry entry = handle ? reinterpret_cast<Entry>(dlsym(handle, "plugin_exec")) : nullptr;
  if (!entry) {
    std::string why = dlerror() ? dlerror() : "no plugin_exec in it";
    if (handle) dlclose(handle);
    Trace::close();
    shutdownDvb();
    shutdownGui();
    return fail("--plugin: " + plugin + ": " + why);
  }
  // The plug-in's auto-init objects registered while it loaded.
  eInit::setRunlevel(dvbLevel);

  int code = 0;
  {
    auto player = std::make_unique<ScriptPlayer>(steps, o.shots);
    eTimer limit(eApp);
    limit.timeout.connect([&o] {
      std::fprintf(stderr, "vantrel-box: --max-time: the plug-in was still running after %lld ms\n",
                   (long long)o.maxTimeMs);
      abortAll(4);
    });
    if (o.maxTimeMs > 0) limit.start(int(o.maxTimeMs), true);
    bool terminal = !o.haveKeys && startTerminalKeys();
    // By hand there is no window to look at: the screen goes to a picture
    // that an image viewer can keep open, twice a second when it changed.
    eTimer live(eApp);
    if (terminal && !o.shots.empty()) {
      const std::string path = o.shots + "/live.png";
      std::fprintf(stderr, "box: the screen is kept in %s\n", path.c_str());
      live.timeout.connect([path, written = uint64_t(-1)]() mutable {
        Screen& screen = Screen::instance();
        screen.redrawDirty();
        if (screen.frames() == written) return;
        written = screen.frames();
        std::string error;
        if (!screen.writePng(path, &error)) std::fprintf(stderr, "box: %s\n", error.c_str());
      });
      live.start(500, false);
    }
    code = entry();
    if (terminal) stopTerminalKeys();
    Trace::event("exit", {{"code", code}});
  }
  if (aborted()) code = abortCode();
  std::fputs(foundSummary().c_str(), stdout);
  // Auto-init objects of the plug-in go down before it is unloaded.
  eInit::setRunlevel(guiLevel);
  Trace::close();
  shutdownDvb();
  shutdownGui();
  dlclose(handle);
  return code;
}

}  // namespace box
