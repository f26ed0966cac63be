#pragma once
// Running vantrel-box as a user does, from a shell, in the test's own folder.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "test_dir.h"

namespace box_run {

struct Result {
  int status = -1;
  std::string out;  // standard output and error together
};

// Runs a shell command, returning its exit status and what it wrote.
inline Result shell(const std::string& command) {
  Result r;
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

// A write(2) on a full disk, for box::setWriteFunction.
inline ssize_t diskFull(int, const void*, size_t) {
  errno = ENOSPC;
  return -1;
}

inline std::string readText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// The box, its messages in English whatever the machine's language, its
// clock starting at one instant whatever the day.
inline std::string boxCommand() {
  return "VANTREL_LANG=C VANTREL_START_TIME=2026-12-08T21:04:05Z " VANTREL_EMULATOR VANTREL_BINARY_DIR
         "/vantrel-box";
}

inline std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t start = 0, end; start < text.size(); start = end + 1) {
    end = std::min(text.find('\n', start), text.size());
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

// The lines of out that the box itself wrote ("vantrel-box: ..."), in order.
inline std::vector<std::string> boxMessages(const std::string& out) {
  std::vector<std::string> lines;
  for (const std::string& line : linesOf(out))
    if (line.rfind("vantrel-box: ", 0) == 0) lines.push_back(line);
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

// An entry of a dvbv5 channel file: its name and its KEY = VALUE lines.
struct Dvbv5Entry {
  std::string name;
  std::map<std::string, std::string> values;
};

inline std::vector<Dvbv5Entry> parseDvbv5(const std::string& text) {
  std::vector<Dvbv5Entry> out;
  for (const std::string& line : linesOf(text)) {
    const size_t start = line.find_first_not_of(" \t"), eq = line.find(" = ");
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[')
      out.push_back({line.substr(1, line.rfind(']') - 1), {}});
    else  // a line before any [name], or without " = ", throws
      out.at(out.size() - 1).values[line.substr(start, eq - start)] = line.substr(eq + 3);
  }
  return out;
}

// What dvb-format-convert (Debian's dvb-tools) makes of a file, read back as
// dvbv5 entries.
inline std::vector<Dvbv5Entry> convert(const std::filesystem::path& in, const std::string& format,
                                       const std::filesystem::path& out) {
  Result r = shell("dvb-format-convert -I " + format + (format == "ZAP" ? " -s DVBS" : "") + " -O DVBV5 " +
                   quote(in.string()) + " " + quote(out.string()));
  EXPECT_EQ(r.status, 0) << r.out;
  return parseDvbv5(readText(out));
}

class BoxRun : public ::testing::Test {
 protected:
  void SetUp() override { dir = vantrel_test::testDir(); }
  // The box with a script, its shots in DIR/shots and its trace in
  // DIR/trace.jsonl, and more arguments (DIR: the test's folder, whose name
  // holds no quote).
  Result box(const std::string& script, const std::string& more = "") {
    return shell(boxCommand() + " --keys " + quote(script) + " --shots " + quote((dir / "shots").string()) +
                 " --trace " + quote((dir / "trace.jsonl").string()) + " " + inDir(more));
  }
  std::string inDir(std::string args) const {
    for (size_t at; (at = args.find("DIR")) != std::string::npos;) args.replace(at, 3, dir.string());
    return args;
  }
  std::vector<nlohmann::json> trace() const {
    std::vector<nlohmann::json> lines;
    for (const std::string& line : linesOf(readText(dir / "trace.jsonl")))
      lines.push_back(nlohmann::json::parse(line));
    return lines;
  }
  // Text with the test's folder shown as DIR.
  std::string shown(std::string text) const {
    const std::string d = dir.string();
    for (size_t at; (at = text.find(d)) != std::string::npos;) text.replace(at, d.size(), "DIR");
    return text;
  }
  // The box's own messages in out, one a line, without "vantrel-box: ", the
  // test's folder shown as DIR.
  std::string told(const std::string& out) const {
    std::string lines;
    for (const std::string& m : boxMessages(shown(out))) lines += m.substr(13) + "\n";
    return lines;
  }
  std::filesystem::path dir;
};

}  // namespace box_run
