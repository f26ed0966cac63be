#include "box/runner/options.h"

#include "box/base/fileio.h"
#include "box/base/parse.h"
#include "box/base/tr.h"
#include "box/gui/boot.h"
#include "box/runner/script.h"

#include <cctype>

namespace box {

const char* usage() {
  return tr(
      "usage: vantrel-box [options]\n"
      "Runs the Vantrel plug-in in a stand-in set-top box.\n"
      "\n"
      "  --plugin FILE   the plug-in to load (default: vantrel.so beside vantrel-box)\n"
      "  --band FILE     the simulated satellite band (JSON; default: the built-in demo band)\n"
      "  --keys SCRIPT   remote-control script, as text or @FILE (at most 1 MiB); without it the keys\n"
      "                  come from the terminal, in real time, and --shots DIR keeps the screen in\n"
      "                  DIR/live.png\n"
      "  --shots DIR     where the script's shot steps write NAME.png and NAME.json\n"
      "  --trace FILE    write a JSON Lines trace of the host calls\n"
      "  --root DIR      the box's file system root (default: root/ beside vantrel-box); a new one\n"
      "                  is set up with the plug-in's skin file\n"
      "  --realtime      run on the wall clock instead of virtual time\n"
      "  --window        show the screen in a window and take keys from the PC keyboard (wall\n"
      "                  clock): digits, arrows, Enter = ok, Esc/Backspace = exit, F1-F4 or\n"
      "                  r g y b = red green yellow blue\n"
      "  --max-time MS   give up (exit 4) after MS ms of box time\n"
      "  --adapter N     drive the DVB-S/S2 tuner /dev/dvb/adapterN (frontend0, demux0) instead of\n"
      "                  the simulated band; the band still says what plays at boot\n"
      "  --lnb NAME      with --adapter: the LNB by libdvbv5's names (default UNIVERSAL)\n"
      "  --diseqc N      with --adapter: DiSEqC port 0-3 (default: none)\n"
      "  --delsys SYS    with --adapter: dvbs, dvbs2 or auto (default: DVB-S2 with auto settings\n"
      "                  where the front end offers it, then DVB-S)\n"
      "  --lock-timeout MS  with --adapter: wall-clock ms a tune waits for lock (50-60000,\n"
      "                  default 1500)\n"
      "  --lang CODE     the language of the box and the plug-in: it, en, de, or C for the texts\n"
      "                  as written (default: the environment's, else Italian)\n"
      "  --export FORMAT:FILE  at exit, write what the kept service list holds as FILE; FORMAT is\n"
      "                  vdr (VDR channels.conf), dvbv5 (dvbv5 channel file), zap (zap\n"
      "                  channels.conf) or scan (initial tuning data); may be given more than once\n"
      "  --spectrum FILE at exit, write every reading the front end gave as CSV:\n"
      "                  frequency_mhz,polarisation,symbol_rate_ks,strength,snr,locked\n"
      "  --help          show this text\n"
      "  --version       show the version\n"
      "\n"
      "Script steps (one a line, or separated by ';'; '#' starts a comment):\n"
      "  key NAME               0-9 up down left right ok exit red green yellow blue\n"
      "  wait MS                let MS ms of box time pass\n"
      "  wait-text \"TEXT\" [MS]  wait until the screen shows TEXT (default 60000 ms; exit 3 past it)\n"
      "  shot NAME              write the screen and its widgets to the --shots folder; NAME is\n"
      "                         letters, digits, '-', '_' and '.' (not first), at most 100 of them\n"
      "Times (MS) run from 0 (1 for --max-time) to 1000000000000 ms.\n"
      "\n"
      "Exit status: the plug-in's result; 2 bad arguments or input files (nothing runs); 3 a wait-text\n"
      "timed out; 4 --max-time passed, or nothing was left to happen; 5 the run's output (the trace,\n"
      "a shot, the kept service list, an export, the spectrum, standard output) could not be written.\n");
}

namespace {

// User text in a message: escaped and cut short.
std::string shown(const std::string& s) {
  return "'" + printable(s) + "'";
}

bool readKeys(const std::string& value, Options* o, std::string* error) {
  o->haveKeys = true;
  if (value.empty() || value[0] != '@') {
    o->keys = value;
    return true;
  }
  o->keysFile = value.substr(1);
  if (o->keysFile.empty()) {
    *error = "--keys: " + std::string(tr("no file name after '@'"));
    return false;
  }
  std::string why;
  if (!readWholeFile(o->keysFile, &o->keys, &why, kMaxScriptBytes)) {
    *error = "--keys: " + printable(why, 300);
    return false;
  }
  return true;
}

}  // namespace

bool validLanguage(const std::string& lang) {
  if (lang.size() > 32) return false;
  for (char c : lang)
    if (!std::isalnum((unsigned char)c) && c != '_' && c != '-' && c != '@' && c != '.') return false;
  return true;
}

bool parseOptions(int argc, const char* const* argv, Options* o, std::string* error) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string* out, bool mayBeEmpty = false) {
      if (i + 1 >= argc) {
        *error = printable(arg) + ": " + tr("a value is missing");
        return false;
      }
      *out = argv[++i];
      if (out->empty() && !mayBeEmpty) {
        *error = printable(arg) + ": " + tr("the value is empty");
        return false;
      }
      return true;
    };
    std::string v;
    if (arg == "--help" || arg == "-h") {
      o->help = true;
    } else if (arg == "--version") {
      o->version = true;
    } else if (arg == "--realtime") {
      o->realtime = true;
    } else if (arg == "--window") {
      o->window = true;
    } else if (arg == "--lang") {
      if (!value(&o->lang)) return false;
      if (!validLanguage(o->lang)) {
        *error =
            "--lang: " + trf("expects a language code such as en, de or it, not %s", shown(o->lang).c_str());
        return false;
      }
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
    } else if (arg == "--export") {
      if (!value(&v)) return false;
      ExportTarget target;
      if (!parseExportTarget(v, &target, error)) {
        *error = "--export: " + *error;
        return false;
      }
      o->exports.push_back(target);
    } else if (arg == "--spectrum") {
      if (!value(&o->spectrum)) return false;
    } else if (arg == "--keys") {
      if (!value(&v, true) || !readKeys(v, o, error)) return false;
    } else if (arg == "--max-time") {
      if (!value(&v)) return false;
      if (!parseInteger(v, 1, kMaxBoxTimeMs, &o->maxTimeMs)) {
        *error = "--max-time: " + trf("expects milliseconds from 1 to %lld, not %s", (long long)kMaxBoxTimeMs,
                                      shown(v).c_str());
        return false;
      }
    } else if (arg == "--adapter" || arg == "--diseqc" || arg == "--lock-timeout") {
      if (!value(&v)) return false;
      const bool adapter = arg == "--adapter", diseqc = arg == "--diseqc";
      const int64_t low = adapter || diseqc ? 0 : 50, high = adapter ? 255 : diseqc ? 3 : 60000;
      int64_t* out = adapter ? &o->adapter : diseqc ? &o->diseqc : &o->lockTimeoutMs;
      if (!parseInteger(v, low, high, out)) {
        *error = arg + ": " +
                 trf("expects a number from %lld to %lld, not %s", (long long)low, (long long)high,
                     shown(v).c_str());
        return false;
      }
      o->tunerSettings |= !adapter;
    } else if (arg == "--lnb") {
      if (!value(&o->lnb)) return false;
      o->tunerSettings = true;
    } else if (arg == "--delsys") {
      if (!value(&o->delsys)) return false;
      if (o->delsys != "dvbs" && o->delsys != "dvbs2" && o->delsys != "auto") {
        *error = "--delsys: " + trf("expects dvbs, dvbs2 or auto, not %s", shown(o->delsys).c_str());
        return false;
      }
      o->tunerSettings = true;
    } else {
      *error = printable(arg) + ": " + tr("unknown option (see --help)");
      return false;
    }
  }
  if (o->tunerSettings && o->adapter < 0) {
    *error = tr("--lnb, --diseqc, --delsys and --lock-timeout need --adapter");
    return false;
  }
  return true;
}

}  // namespace box
