// The formats libdvbv5 writes wrongly or not at all are written here:
//  - VDR: libdvbv5's writer puts names in as they are (a ':' in one breaks
//    the line), leaves the provider out and refuses some DVB-S2 values;
//  - zap: for DVB-S, libdvbv5 writes neither the satellite number nor the
//    symbol rate in ksymbols/s, so zap and mplayer-like readers misread it.
#include "box/export/export.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "box/base/clock.h"
#include "box/base/fileio.h"
#include "box/base/tr.h"
#include "box/dvb/mhz.h"

namespace box {
namespace {

struct Named {
  ExportFormat format;
  const char* name;
};
constexpr Named kFormats[] = {{ExportFormat::vdr, "vdr"},
                              {ExportFormat::dvbv5, "dvbv5"},
                              {ExportFormat::zap, "zap"},
                              {ExportFormat::scan, "scan"},
                              {ExportFormat::csv, "csv"}};

// A name for a line-based file: control bytes would end or garble the line.
std::string lineSafe(std::string s) {
  for (char& c : s)
    if ((unsigned char)c < 0x20 || c == 0x7f) c = ' ';
  return s;
}

// VDR reads "Name,Short;Provider": a ':' in a name is written as '|', which
// VDR turns back; ',' and ';' have no escape there and would split the name,
// so they become '.'.
std::string vdrName(const std::string& name) {
  std::string s = lineSafe(name);
  for (char& c : s) {
    if (c == ':') c = '|';
    if (c == ',' || c == ';') c = '.';
  }
  return s;
}

// Tenths of a degree, east positive: S13E, S19.2E, S30W.
std::string vdrSource(int orbital) {
  const int a = std::abs(orbital);
  char buf[32];
  if (a % 10)
    std::snprintf(buf, sizeof buf, "S%d.%d%c", a / 10, a % 10, orbital < 0 ? 'W' : 'E');
  else
    std::snprintf(buf, sizeof buf, "S%d%c", a / 10, orbital < 0 ? 'W' : 'E');
  return buf;
}

const char* vdrModulation(const std::string& m) {
  if (m == "QPSK") return "2";
  if (m == "8PSK") return "5";
  if (m == "16APSK") return "6";
  if (m == "32APSK") return "7";
  return "999";  // VDR's auto
}

// Polarisation, code rate, modulation, roll-off, system. DVB-S's roll-off
// is always 0.35; a DVB-S2 one the box never learns, so VDR's default holds.
std::string vdrParameters(const ExportTransponder& t) {
  std::string p = t.pol ? "V" : "H";
  const CodeRate r = codeRate(t.fec);
  p += r.den ? "C" + std::to_string(r.num) + std::to_string(r.den) : std::string("C999");
  p += std::string("M") + vdrModulation(t.modulation);
  if (!t.dvbs2) p += "O35";
  p += t.dvbs2 ? "S1" : "S0";
  return p;
}

}  // namespace

const char* formatName(ExportFormat format) {
  for (const Named& n : kFormats)
    if (n.format == format) return n.name;
  return "?";
}

bool parseExportTarget(const std::string& value, ExportTarget* target, std::string* error) {
  const size_t colon = value.find(':');
  const std::string name = value.substr(0, colon);
  const Named* found = nullptr;
  for (const Named& n : kFormats)
    if (name == n.name) found = &n;
  if (!found) {
    *error =
        trf("unknown format '%s' (vdr, dvbv5, zap, scan or csv, as FORMAT:FILE)", printable(name).c_str());
    return false;
  }
  if (colon == std::string::npos || colon + 1 == value.size()) {
    *error = std::string(found->name) + ": " + tr("no file name (FORMAT:FILE)");
    return false;
  }
  if (!formatAvailable(found->format)) {
    *error = std::string(found->name) + ": " + tr("not available in this build (it needs libdvbv5)");
    return false;
  }
  target->format = found->format;
  target->file = value.substr(colon + 1);
  return true;
}

// Name;Provider:Frequency:Parameters:Source:SymbolRate:VPID:APID:TPID:CA:SID:NID:TID:RID
// The box knows no PIDs: 0, as VDR reads "none". Nor does it know which CA
// system scrambles a service, only that one does, so a scrambled one is
// written FFFF: past the CI slot numbers (a slot would pin the channel to a
// device the box never saw) and no real system's id (it would claim a
// system no one saw), it reads as encrypted by a system not named. 0 is free.
std::string vdrText(const ChannelList& channels) {
  std::string out;
  for (const ExportService& s : channels.services) {
    const ExportTransponder& t = channels.transponders[s.transponder];
    // VDR reads a line that starts with ':' as a group separator: a blank
    // name would have made one. '#' has no meaning to it there.
    out += vdrName(exportName(s));
    if (!s.provider.empty()) out += ";" + vdrName(s.provider);
    char line[160];
    std::snprintf(line, sizeof line, ":%d:%s:%s:%d:0:0:0:%s:%d:%d:%d:0\n", wholeMHz(t.freqKHz),
                  vdrParameters(t).c_str(), vdrSource(t.orbital).c_str(), t.srSym / 1000,
                  s.scrambled ? "FFFF" : "0", s.sid, s.onid, s.tsid);
    out += line;
  }
  return out;
}

// name:frequency (MHz):polarisation:satellite number:symbol rate (ksymbols/s):VPID:APID:SID.
// Zap has no escapes: a ':' in a name is written as '|', as VDR does. Zap
// readers skip a line whose first byte past the spaces is '#' as a comment,
// so such a name is written after a '_'. The dish's satellite number is not
// known to the box: 0, the first. The format has no field that could say a
// service is scrambled (the CSV and VDR's file say it).
std::string zapText(const ChannelList& channels) {
  std::string out;
  for (const ExportService& s : channels.services) {
    const ExportTransponder& t = channels.transponders[s.transponder];
    std::string name = exportName(s);
    for (char& c : name)
      if (c == ':') c = '|';
    if (name[name.find_first_not_of(' ')] == '#') name.insert(0, "_");
    char line[96];
    std::snprintf(line, sizeof line, ":%d:%c:0:%d:0:0:%d\n", wholeMHz(t.freqKHz), t.pol ? 'v' : 'h',
                  t.srSym / 1000, s.sid);
    out += name + line;
  }
  return out;
}

namespace {

// A field as RFC 4180 has it: quoted when it holds a comma, a quote, a CR
// or an LF, its quotes doubled.
void appendCsvField(std::string* out, const std::string& field) {
  if (field.find_first_of(",\"\r\n") == std::string::npos) {
    out->append(field);
    return;
  }
  out->push_back('"');
  for (char c : field) {
    if (c == '"') out->push_back('"');
    out->push_back(c);
  }
  out->push_back('"');
}

// 13.0E, 30.0W.
std::string position(int orbital) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d.%d%c", std::abs(orbital) / 10, std::abs(orbital) % 10,
                orbital < 0 ? 'W' : 'E');
  return buf;
}

// 10719, 10719.5, 10719.125: MHz, no more digits than the kHz need.
std::string megahertz(int kHz) {
  std::string s = std::to_string(kHz / 1000);
  if (int rest = std::abs(kHz % 1000)) {
    char buf[8];
    std::snprintf(buf, sizeof buf, ".%03d", rest);
    std::string frac = buf;
    frac.erase(frac.find_last_not_of('0') + 1);
    s += frac;
  }
  return s;
}

std::string serviceType(int type) {
  return type == 1 ? "tv" : type == 2 ? "radio" : type == 12 ? "data" : std::to_string(type);
}

void appendRow(std::string* out, const std::vector<std::string>& fields) {
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i) out->push_back(',');
    appendCsvField(out, fields[i]);
  }
  out->append("\r\n");
}

std::vector<std::string> seenFields(const Seen& seen) {
  return {utcText(seen.first), utcText(seen.last), seen.known() ? std::to_string(seen.times) : ""};
}

}  // namespace

std::string csvText(const ChannelList& channels) {
  std::string out;
  appendRow(&out, {"position", "frequency_mhz", "polarisation", "symbol_rate_ks", "system", "modulation",
                   "fec", "onid", "tsid", "sid", "name", "provider", "type", "scrambled", "first_seen",
                   "last_seen", "times_seen"});
  // Services come by transponder: each transponder's run of them, or an
  // empty row where it has none.
  size_t next = 0;
  for (size_t t = 0; t < channels.transponders.size(); ++t) {
    const ExportTransponder& tp = channels.transponders[t];
    const CodeRate r = codeRate(tp.fec);
    const std::vector<std::string> tpFields = {
        position(tp.orbital),
        megahertz(tp.freqKHz),
        tp.pol ? "V" : "H",
        megahertz(tp.srSym),
        tp.dvbs2 ? "DVB-S2" : "DVB-S",
        tp.modulation,
        r.den ? std::to_string(r.num) + "/" + std::to_string(r.den) : ""};
    bool any = false;
    for (; next < channels.services.size() && channels.services[next].transponder == t; ++next) {
      const ExportService& s = channels.services[next];
      std::vector<std::string> row = tpFields;
      for (const std::string& f :
           {std::to_string(s.onid), std::to_string(s.tsid), std::to_string(s.sid), s.name, s.provider,
            serviceType(s.type), std::string(s.scrambled ? "1" : "0")})
        row.push_back(f);
      for (const std::string& f : seenFields(s.seen)) row.push_back(f);
      appendRow(&out, row);
      any = true;
    }
    if (!any) {
      std::vector<std::string> row = tpFields;
      row.resize(row.size() + 7);
      for (const std::string& f : seenFields(tp.seen)) row.push_back(f);
      appendRow(&out, row);
    }
  }
  return out;
}

bool writeExport(const ChannelList& channels, const ExportTarget& target, std::string* error) {
  std::string why;
  bool ok = false;
  switch (target.format) {
    case ExportFormat::vdr:
      ok = writeFileAtomic(target.file, vdrText(channels), &why);
      break;
    case ExportFormat::zap:
      ok = writeFileAtomic(target.file, zapText(channels), &why);
      break;
    case ExportFormat::csv:
      ok = writeFileAtomic(target.file, csvText(channels), &why);
      break;
    case ExportFormat::dvbv5:
    case ExportFormat::scan:
      ok = writeLibraryFormat(channels, target.format, target.file, &why);
      break;
  }
  // A fault on the way (a folder that is a file) names that part: the
  // message names the file asked for first.
  if (!ok) *error = why.rfind(target.file, 0) == 0 ? why : target.file + ": " + why;
  return ok;
}

}  // namespace box
