#pragma once
// Each test writes only into a folder of its own, made afresh when it starts:
// ctest runs tests as separate processes at once, and one test's files must
// never be another's.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace vantrel_test {

// build/test-output/SUITE/NAME for the running test, emptied and created.
inline std::filesystem::path testDir() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::filesystem::path dir = std::filesystem::path(VANTREL_BINARY_DIR) / "test-output";
  if (info) {
    std::string name = info->name();
    for (char& c : name)
      if (c == '/') c = '_';  // parameterised tests
    std::string suite = info->test_suite_name();
    for (char& c : suite)
      if (c == '/') c = '_';
    dir = dir / suite / name;
  }
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

// The names of the entries of dir, sorted.
inline std::vector<std::string> filesIn(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace vantrel_test
