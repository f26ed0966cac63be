#pragma once
// Shared by the export tests: a list filled from band files as scans fill
// it, the dvbv5 tools run as a user runs them, and their files read back.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "box/base/fileio.h"
#include "box/dvb/band.h"
#include "box/dvb/delivery.h"
#include "box/dvb/sim/records.h"
#include "host/dvb.h"
#include "runner/box_run.h"
#include "test_dir.h"

namespace export_test {

namespace fs = std::filesystem;

inline std::string readText(const fs::path& p) {
  std::string text, error;
  EXPECT_TRUE(box::readWholeFile(p.string(), &text, &error, size_t(1) << 28)) << error;
  return text;
}

inline std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

inline std::vector<std::string> fields(const std::string& line, char sep) {
  std::vector<std::string> out(1);
  for (char c : line)
    if (c == sep)
      out.emplace_back();
    else
      out.back() += c;
  return out;
}

// The box's tests run commands the same way.
using box_run::quote;
using box_run::Result;
using box_run::shell;

// An entry of a dvbv5 channel file: its name and its KEY = VALUE lines.
struct Dvbv5Entry {
  std::string name;
  std::map<std::string, std::string> values;
};

inline std::vector<Dvbv5Entry> parseDvbv5(const std::string& text) {
  std::vector<Dvbv5Entry> out;
  for (std::string line : linesOf(text)) {
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      out.push_back({line.substr(1, line.rfind(']') - 1), {}});
      continue;
    }
    const size_t eq = line.find(" = ");
    if (out.empty() || eq == std::string::npos) {
      ADD_FAILURE() << "not a dvbv5 line: " << line;
      continue;
    }
    const size_t start = line.find_first_not_of(" \t");
    out.back().values[line.substr(start, eq - start)] = line.substr(eq + 3);
  }
  return out;
}

// What dvb-format-convert makes of a file, read back as dvbv5 entries.
inline std::vector<Dvbv5Entry> convert(const fs::path& in, const std::string& format, const fs::path& out) {
  Result r = shell("dvb-format-convert -I " + format + (format == "ZAP" ? " -s DVBS" : "") + " -O DVBV5 " +
                   quote(in.string()) + " " + quote(out.string()));
  EXPECT_EQ(r.status, 0) << r.out;
  return parseDvbv5(readText(out));
}

// Bands as a scan keeps them: every carrier's transponder and services.
// DVB-S2 carriers are kept with the modulation a real tuner would report
// (mods, by frequency in MHz; none given: the tuner did not say).
inline void keepBand(eTransponderList& list, const box::Band& band, const std::map<int, std::string>& mods) {
  for (const box::BandCarrier& c : band.carriers) {
    eTransponder tp(list);
    box::sim::carrierTransponder(band, c, &tp);
    list.addTransponder(tp);
    if (c.dvbs2) {
      auto m = mods.find(int(std::lround(c.freqMHz)));
      box::noteDeliverySystem(tp.satellite, {"DVB-S2", m == mods.end() ? "" : m->second});
    }
    for (const box::BandService& s : c.services)
      list.addService(box::sim::serviceReference(band, c, s), box::sim::serviceRecord(s));
  }
}

inline box::Band parsedBand(const std::string& text, const std::string& name) {
  box::Band band;
  std::string error;
  EXPECT_TRUE(box::parseBand(text, name, &band, &error)) << error;
  return band;
}

}  // namespace export_test
