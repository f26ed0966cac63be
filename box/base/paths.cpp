// The box's root and data folder.
#include "box/base/paths.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

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

std::string parentOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string joined(const std::string& dir, const std::string& name) {
  return dir.empty() || dir.back() != '/' ? dir + "/" + name : dir + name;
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
  fallback = installPlaces().data;
  return fallback;
}

std::string dataFile(const std::string& relative) {
  return dataDir() + "/" + relative;
}

InstallPlaces installPlaces(const std::string& exe, const EnvLookup& env, const IsDir& isDir) {
  auto variable = [&](const char* name) {
    const char* value = env(name);
    return std::string(value ? value : "");
  };
  InstallPlaces p;
  const std::string bin = parentOf(exe), prefix = parentOf(bin);
  p.installed = isDir(joined(prefix, "share/vantrel"));
  if (p.installed) {
    p.data = joined(prefix, "share/vantrel");
    p.plugin = joined(prefix, "lib/vantrel/vantrel.so");
    p.locale = joined(prefix, "share/locale");
    // As the XDG base directories have it: a relative XDG_DATA_HOME is ignored.
    const std::string xdg = variable("XDG_DATA_HOME"), home = variable("HOME");
    if (!xdg.empty() && xdg[0] == '/')
      p.root = joined(xdg, "vantrel");
    else if (!home.empty())
      p.root = joined(home, ".local/share/vantrel");
  } else {
    p.data = VANTREL_DATA_DIR;
    p.plugin = joined(bin, "vantrel.so");
    p.locale = VANTREL_LOCALE_DIR;
    p.root = joined(bin, "root");
  }
  if (!variable("VANTREL_DATA").empty()) p.data = variable("VANTREL_DATA");
  return p;
}

InstallPlaces installPlaces() {
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  return installPlaces(
      n > 0 ? std::string(buf, size_t(n)) : "./x", [](const char* name) { return std::getenv(name); },
      [](const std::string& path) {
        std::error_code ec;
        return std::filesystem::is_directory(path, ec);
      });
}

}  // namespace box
