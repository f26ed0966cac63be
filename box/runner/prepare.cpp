#include "box/runner/prepare.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "box/gui/fileio.h"
#include "box/gui/paths.h"
#include "box/gui/tr.h"

namespace box {
namespace {

bool makeDirs(const std::string& dir, std::string* why) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (!ec && !std::filesystem::is_directory(dir, ec)) ec = std::make_error_code(std::errc::not_a_directory);
  if (ec) *why = ec.message();
  return !ec;
}

}  // namespace

namespace {

bool takesFiles(const std::string& option, const std::string& dir, std::string* error) {
  const std::string shown = printable(dir, 200);
  std::string why;
  if (!makeDirs(dir, &why)) {
    *error = option + ": " + trf("cannot create the folder %s: %s", shown.c_str(), why.c_str());
    return false;
  }
  // Permission bits alone do not tell (root ignores them, a read-only mount
  // does not): only creating a file does.
  std::string probe = dir + "/.vantrel-probe-XXXXXX";
  int fd = ::mkstemp(probe.data());
  if (fd < 0) {
    *error = option + ": " + trf("cannot create files in %s: %s", shown.c_str(), std::strerror(errno));
    return false;
  }
  ::close(fd);
  ::unlink(probe.c_str());
  return true;
}

}  // namespace

bool prepareShotsFolder(const std::string& dir, std::string* error) {
  return takesFiles("--shots", dir, error);
}

bool prepareOutputFile(const std::string& option, const std::string& path, std::string* error) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    *error = option + ": " + trf("%s is a folder", printable(path, 200).c_str());
    return false;
  }
  const std::string dir = std::filesystem::path(path).parent_path().string();
  return takesFiles(option, dir.empty() ? "." : dir, error);
}

bool prepareRoot(const std::string& dir, std::string* error) {
  const std::string shown = printable(dir, 200);
  const std::string skin = dir + kPluginSkin;
  std::string why;
  if (!makeDirs(std::filesystem::path(skin).parent_path().string(), &why)) {
    *error = "--root: " + trf("cannot set up %s: %s", shown.c_str(), why.c_str());
    return false;
  }
  std::error_code ec;
  if (std::filesystem::exists(skin, ec)) return true;
  std::string content;
  if (!readWholeFile(dataFile("skins/vantrel.esml"), &content, &why, kMaxSkinBytes) ||
      !writeFileAtomic(skin, content, &why)) {
    *error = "--root: " + trf("cannot set up %s: %s", shown.c_str(), printable(why, 300).c_str());
    return false;
  }
  return true;
}

}  // namespace box
