#include "box/runner/options.h"

#include "box/base/fileio.h"
#include "box/base/parse.h"
#include "box/base/tr.h"
#include "box/gui/boot.h"
#include "box/runner/script.h"

#include <cstdlib>

namespace box {

const char* usage() {
  return tr(
      "Usage: vantrel-box [options]\n"
      "Runs the Vantrel plug-in in a stand-in set-top box.\n"
      "\n"
      "  --plugin FILE   the plug-in to load (default: the one installed with vantrel-box, or in\n"
      "                  its build tree the vantrel.so beside it)\n"
      "  --band FILE     the simulated satellite band (JSON; default: the built-in demo band); given\n"
      "                  again, the band at another orbital position (the dish starts at the first)\n"
      "  --hunt FILE     sweep unattended as the plan FILE says (JSON: rounds, every_minutes,\n"
      "                  sweeps); after each sweep a line on standard error; not with --keys\n"
      "  --keys SCRIPT   remote-control script, as text or @FILE (at most 1 MiB); without it the keys\n"
      "                  come from the terminal, in real time, and --shots DIR keeps the screen in\n"
      "                  DIR/live.png\n"
      "  --shots DIR     where the script's shot steps write NAME.png and NAME.json\n"
      "  --trace FILE    write a JSON Lines trace of the host calls\n"
      "  --root DIR      the box's file system root, which keeps what it finds (default: installed,\n"
      "                  $XDG_DATA_HOME/vantrel, else ~/.local/share/vantrel; in its build tree,\n"
      "                  root/ beside vantrel-box); a new one is set up with the plug-in's skin file\n"
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
      "  --lock-timeout MS  with --adapter: wall-clock ms each delivery system's try waits for lock\n"
      "                  (50-60000, default 1500) at 27500 ksym/s and above; lower rates add the\n"
      "                  time of six million symbols less 218 ms: 4282 ms at 2000 ksym/s\n"
      "  --carrier-wait MS  with --adapter: wall-clock ms a tune looks for a carrier before it\n"
      "                  answers no lock (0-60000; 0: the whole lock time-out; default 100 ms and\n"
      "                  two million symbols: 173 ms at 27500 ksym/s, 2100 ms at 1000)\n"
      "  --usals LAT,LON  with --hunt: the dish's site (e.g. 45.46N,9.19E); a sweep's position\n"
      "                  turns a DiSEqC 1.2 positioner there with the USALS goto command\n"
      "  --motor-speed DEG_S  with --usals: how fast the positioner turns, in degrees a second\n"
      "                  (0.1-20, default 1.5); the box waits for the angle at that speed and 2 s\n"
      "                  more for the dish to settle\n"
      "  --stream-id N[:GOLD]  with --adapter: DVB-S2 input stream N (0-255) of a multistream\n"
      "                  carrier, GOLD its PLS gold code (0-262141; default: no stream filter)\n"
      "  --lang CODE     the language of the box and the plug-in: it, en, de, or C for the texts\n"
      "                  as written (default: the environment's, else Italian)\n"
      "  --export FORMAT:FILE  at exit, write what the kept service list holds as FILE; FORMAT is\n"
      "                  vdr (VDR channels.conf), dvbv5 (dvbv5 channel file), zap (zap\n"
      "                  channels.conf), scan (initial tuning data) or csv (the hunt log: every kept\n"
      "                  service with when it was first and last seen); may be given more than once\n"
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
      "a shot, the kept service list, an export, the spectrum, standard output) could not be written;\n"
      "6 the --adapter tuner went away (what was found is kept and exported).\n");
}

namespace {

// User text in a message: escaped and cut short.
std::string shown(const std::string& s) {
  return "'" + printable(s) + "'";
}

// What an option does with its value: "" when it took it, else what is wrong
// with it (the message goes on after the option's name).
using Take = std::string (*)(Options& o, const std::string& value);

struct Option {
  const char* name;
  const char* value;  // what it takes, as --help calls it; nullptr: nothing
  Take take;
  bool mayBeEmpty = false;
  bool needsAdapter = false;  // a setting of the real tuner
};

template <bool Options::*Field>
std::string set(Options& o, const std::string&) {
  o.*Field = true;
  return "";
}

template <std::string Options::*Field>
std::string text(Options& o, const std::string& value) {
  o.*Field = value;
  return "";
}

template <int TunerOptions::*Field, int Low, int High>
std::string tunerNumber(Options& o, const std::string& value) {
  int64_t n = 0;
  if (!parseInteger(value, Low, High, &n))
    return trf("expects a number from %lld to %lld, not %s", (long long)Low, (long long)High,
               shown(value).c_str());
  o.tuner.*Field = int(n);
  return "";
}

std::string language(Options& o, const std::string& value) {
  o.lang = value;
  return knownLanguage(value)
             ? ""
             : trf("expects it, en, de or C (the texts as written), not %s", shown(value).c_str());
}

std::string addExport(Options& o, const std::string& value) {
  ExportTarget target;
  std::string error;
  if (!parseExportTarget(value, &target, &error)) return error;
  o.exports.push_back(target);
  return "";
}

std::string keys(Options& o, const std::string& value) {
  o.haveKeys = true;
  if (value.empty() || value[0] != '@') {
    o.keys = value;
    return "";
  }
  o.keysFile = value.substr(1);
  if (o.keysFile.empty()) return tr("no file name after '@'");
  std::string why;
  return readWholeFile(o.keysFile, &o.keys, &why, kMaxScriptBytes) ? "" : printable(why, 300);
}

std::string maxTime(Options& o, const std::string& value) {
  return parseInteger(value, 1, kMaxBoxTimeMs, &o.maxTimeMs)
             ? ""
             : trf("expects milliseconds from 1 to %lld, not %s", (long long)kMaxBoxTimeMs,
                   shown(value).c_str());
}

// Once per orbital position: the first is where the dish starts.
std::string band(Options& o, const std::string& value) {
  (o.band.empty() ? o.band : o.moreBands.emplace_back()) = value;
  return "";
}

std::string lnb(Options& o, const std::string& value) {
  o.tuner.lnb = value;
  return "";
}

// N or N:GOLD: the input stream and the PLS gold code that scrambles it.
std::string streamId(Options& o, const std::string& value) {
  const size_t colon = value.find(':');
  int64_t isi = 0, gold = 0;
  if (!parseInteger(value.substr(0, colon), 0, 255, &isi) ||
      (colon != std::string::npos && !parseInteger(value.substr(colon + 1), 0, 262141, &gold)))
    return trf("expects a stream from 0 to 255, or STREAM:GOLD with a PLS gold code from 0 to 262141, not %s",
               shown(value).c_str());
  o.tuner.streamId = uint32_t(isi);
  if (colon != std::string::npos) o.tuner.streamId |= uint32_t(gold) << 8 | 1U << 26;
  return "";
}

std::string delsys(Options& o, const std::string& value) {
  o.tuner.delsys = value;
  return value == "dvbs" || value == "dvbs2" || value == "auto"
             ? ""
             : trf("expects dvbs, dvbs2 or auto, not %s", shown(value).c_str());
}

std::string usals(Options& o, const std::string& value) {
  Site site;
  if (!parseSite(value, &site))
    return trf("expects the site as LATITUDE,LONGITUDE, such as 45.46N,9.19E, not %s", shown(value).c_str());
  o.usals = site;
  return "";
}

std::string motorSpeed(Options& o, const std::string& value) {
  char* end = nullptr;
  const double v = std::strtod(value.c_str(), &end);
  const bool plain = value.find_first_not_of("0123456789.") == std::string::npos;
  if (!plain || end != value.c_str() + value.size() || !(v >= 0.1 && v <= 20))
    return trf("expects degrees a second from 0.1 to 20, not %s", shown(value).c_str());
  o.motorSpeed = v;
  o.motorSpeedGiven = true;
  return "";
}

const Option kOptions[] = {
    {"--help", nullptr, set<&Options::help>},
    {"-h", nullptr, set<&Options::help>},
    {"--version", nullptr, set<&Options::version>},
    {"--realtime", nullptr, set<&Options::realtime>},
    {"--window", nullptr, set<&Options::window>},
    {"--lang", "CODE", language},
    {"--plugin", "FILE", text<&Options::plugin>},
    {"--band", "FILE", band},
    {"--hunt", "FILE", text<&Options::hunt>},
    {"--shots", "DIR", text<&Options::shots>},
    {"--trace", "FILE", text<&Options::trace>},
    {"--root", "DIR", text<&Options::root>},
    {"--export", "FORMAT:FILE", addExport},
    {"--spectrum", "FILE", text<&Options::spectrum>},
    {"--keys", "SCRIPT", keys, true},
    {"--max-time", "MS", maxTime},
    {"--adapter", "N", tunerNumber<&TunerOptions::adapter, 0, 255>},
    {"--lnb", "NAME", lnb, false, true},
    {"--diseqc", "N", tunerNumber<&TunerOptions::diseqc, 0, 3>, false, true},
    {"--delsys", "SYS", delsys, false, true},
    {"--lock-timeout", "MS", tunerNumber<&TunerOptions::lockTimeoutMs, 50, 60000>, false, true},
    {"--carrier-wait", "MS", tunerNumber<&TunerOptions::carrierWaitMs, 0, 60000>, false, true},
    {"--stream-id", "N[:GOLD]", streamId, false, true},
    {"--usals", "LAT,LON", usals},
    {"--motor-speed", "DEG_S", motorSpeed},
};

}  // namespace

bool parseOptions(int argc, const char* const* argv, Options* o, std::string* error) {
  bool tunerSettings = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const Option* option = nullptr;
    for (const Option& known : kOptions)
      if (arg == known.name) option = &known;
    std::string value, why;
    if (!option)
      why = tr("unknown option (see --help)");
    else if (option->value && i + 1 >= argc)
      why = tr("a value is missing");
    else if (option->value && (value = argv[++i]).empty() && !option->mayBeEmpty)
      why = tr("the value is empty");
    else
      why = option->take(*o, value);
    if (!why.empty()) {
      *error = printable(arg) + ": " + why;
      return false;
    }
    tunerSettings |= option->needsAdapter;
  }
  if (o->haveKeys && !o->hunt.empty()) {
    *error = tr("--hunt and --keys exclude each other: a hunt types its own keys");
    return false;
  }
  if (o->usals && o->hunt.empty()) {
    *error = tr("--usals needs --hunt: only a hunt's sweeps turn the dish");
    return false;
  }
  if (o->motorSpeedGiven && !o->usals) {
    *error = tr("--motor-speed needs --usals");
    return false;
  }
  if (tunerSettings && o->tuner.adapter < 0) {
    *error = tr("--lnb, --diseqc, --delsys, --lock-timeout, --carrier-wait and --stream-id need --adapter");
    return false;
  }
  return true;
}

}  // namespace box
