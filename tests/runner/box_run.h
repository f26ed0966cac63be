#pragma once
// Running vantrel-box as a user does, from a shell, in the test's own folder.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
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

// The box, its messages in English whatever the machine's language.
inline std::string boxCommand() {
  return "VANTREL_LANG=C " VANTREL_EMULATOR VANTREL_BINARY_DIR "/vantrel-box";
}

// The lines of out that the box itself wrote ("vantrel-box: ..."), in order.
inline std::vector<std::string> boxMessages(const std::string& out) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < out.size()) {
    size_t end = out.find('\n', start);
    if (end == std::string::npos) end = out.size();
    std::string line = out.substr(start, end - start);
    if (line.rfind("vantrel-box: ", 0) == 0) lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

class BoxRun : public ::testing::Test {
 protected:
  void SetUp() override { dir = vantrel_test::testDir(); }
  // The box with a script, its shots in DIR/shots and its trace in
  // DIR/trace.jsonl, and more arguments.
  Result box(const std::string& script, const std::string& more = "") {
    return shell(boxCommand() + " --keys " + quote(script) + " --shots " + quote((dir / "shots").string()) +
                 " --trace " + quote((dir / "trace.jsonl").string()) + " " + more);
  }
  std::vector<nlohmann::json> trace() const {
    std::vector<nlohmann::json> lines;
    std::ifstream in(dir / "trace.jsonl");
    for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
    return lines;
  }
  // Text with the test's folder shown as DIR.
  std::string shown(std::string text) const {
    const std::string d = dir.string();
    for (size_t at; (at = text.find(d)) != std::string::npos;) text.replace(at, d.size(), "DIR");
    return text;
  }
  std::filesystem::path dir;
};

}  // namespace box_run
