// The box's root and data folder.
#include "box/base/paths.h"

#include <cstdlib>

namespace box {
namespace {
std::string& rootDir() {
  static std::string r;
  return r;
}
std::string& explicitDataDir() {
  static std::string d;
  return d;
}
}  // namespace

void setRoot(const std::string& dir) {
  rootDir() = dir;
  while (rootDir().size() > 1 && rootDir().back() == '/') rootDir().pop_back();
}

const std::string& root() {
  return rootDir();
}

std::string resolve(const std::string& path) {
  if (path.empty() || path[0] != '/' || rootDir().empty()) return path;
  return rootDir() + path;
}

void setDataDir(const std::string& dir) {
  explicitDataDir() = dir;
}

const std::string& dataDir() {
  static std::string fallback;
  if (!explicitDataDir().empty()) return explicitDataDir();
  const char* env = std::getenv("VANTREL_DATA");
  fallback = env && *env ? env : VANTREL_DATA_DIR;
  return fallback;
}

std::string dataFile(const std::string& relative) {
  return dataDir() + "/" + relative;
}

}  // namespace box
