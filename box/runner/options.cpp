#include "box/runner/options.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace box {

const char* usage() {
  return "usage: vantrel-box [options]\n"
         "Runs the Vantrel plug-in in a stand-in set-top box.\n"
         "\n"
         "  --plugin FILE   the plug-in to load (default: vantrel.so beside vantrel-box)\n"
         "  --band FILE     the simulated satellite band (JSON; default: the built-in demo band)\n"
         "  --keys SCRIPT   remote-control script, as text or @FILE; without it the keys come from the\n"
         "                  terminal, in real time, and --shots DIR keeps the screen in DIR/live.png\n"
         "  --shots DIR     where the script's shot steps write NAME.png and NAME.json\n"
         "  --trace FILE    write a JSON Lines trace of the host calls\n"
         "  --root DIR      the box's file system root (default: root/ beside vantrel-box)\n"
         "  --realtime      run on the wall clock instead of virtual time\n"
         "  --max-time MS   give up (exit 4) after MS ms of box time\n"
         "  --help          show this text\n"
         "  --version       show the version\n"
         "\n"
         "Script steps (one a line, or separated by ';'; '#' starts a comment):\n"
         "  key NAME               0-9 up down left right ok exit red green yellow blue\n"
         "  wait MS                let MS ms of box time pass\n"
         "  wait-text \"TEXT\" [MS]  wait until the screen shows TEXT (default 60000 ms; exit 3 past it)\n"
         "  shot NAME              write the screen and its widgets to the --shots folder\n"
         "\n"
         "Exit status: the plug-in's result; 2 bad arguments or input files; 3 a wait-text timed out;\n"
         "4 --max-time passed, or nothing was left to happen.\n";
}

namespace {

bool readFile(const std::string& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  *out = s.str();
  return true;
}

}  // namespace

bool parseOptions(int argc, const char* const* argv, Options* o, std::string* error) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) {
        *error = arg + ": a value is missing";
        return false;
      }
      *out = argv[++i];
      if (out->empty()) {
        *error = arg + ": the value is empty";
        return false;
      }
      return true;
    };
    if (arg == "--help" || arg == "-h") {
      o->help = true;
    } else if (arg == "--version") {
      o->version = true;
    } else if (arg == "--realtime") {
      o->realtime = true;
    } else if (arg == "--plugin") {
      if (!value(&o->plugin)) return false;
    } else if (arg == "--band") {
      if (!value(&o->band)) return false;
    } else if (arg == "--shots") {
      if (!value(&o->shots)) return false;
    } else if (arg == "--trace") {
      if (!value(&o->trace)) return false;
    } else if (arg == "--root") {
      if (!value(&o->root)) return false;
    } else if (arg == "--keys") {
      std::string v;
      if (i + 1 >= argc) {
        *error = "--keys: a value is missing";
        return false;
      }
      v = argv[++i];
      o->haveKeys = true;
      if (!v.empty() && v[0] == '@') {
        o->keysFile = v.substr(1);
        if (!readFile(o->keysFile, &o->keys)) {
          *error = "--keys: cannot read " + o->keysFile;
          return false;
        }
      } else {
        o->keys = v;
      }
    } else if (arg == "--max-time") {
      std::string v;
      if (!value(&v)) return false;
      char* end = nullptr;
      errno = 0;
      long long ms = std::strtoll(v.c_str(), &end, 10);
      if (*end || errno || ms <= 0) {
        *error = "--max-time: expects a positive number of milliseconds, not '" + v + "'";
        return false;
      }
      o->maxTimeMs = ms;
    } else {
      *error = arg + ": unknown option (see --help)";
      return false;
    }
  }
  return true;
}

}  // namespace box
