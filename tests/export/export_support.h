#pragma once
// Shared by the export tests: the dvbv5 tools run as a user runs them, and
// their files read back.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "box/dvb/band.h"
#include "runner/box_run.h"
#include "test_dir.h"

namespace export_test {

namespace fs = std::filesystem;

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
using box_run::readText;
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

inline box::Band parsedBand(const std::string& text, const std::string& name) {
  box::Band band;
  std::string error;
  EXPECT_TRUE(box::parseBand(text, name, &band, &error)) << error;
  return band;
}

}  // namespace export_test
