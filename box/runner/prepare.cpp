#include "box/runner/prepare.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

#include "box/base/fileio.h"
#include "box/base/paths.h"
#include "box/base/tr.h"
#include "box/dvb/boot.h"
#include "box/dvb/store.h"

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

namespace {

namespace fs = std::filesystem;

// Where writing to path ends up: links followed, a link to a file not made
// yet too (writing through it makes that file), then every folder on the way
// resolved, a linked one before its "..", so that "./x", "a/../x" and a
// linked folder all come to one name.
std::string resolved(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::absolute(path, ec);
  for (int hops = 0; hops < 40 && fs::is_symlink(p, ec); ++hops) {
    const fs::path target = fs::read_symlink(p, ec);
    if (ec) break;
    p = target.is_absolute() ? target : p.parent_path() / target;
  }
  const fs::path real = fs::weakly_canonical(p, ec);
  return (ec ? p.lexically_normal() : real).string();
}

struct NamedFile {
  std::string option;  // "" : one the box keeps
  std::string name;    // as given
  bool exists = false;
  dev_t dev = 0;
  ino_t ino = 0;
  std::string path;  // resolved

  NamedFile(std::string option, std::string name) : option(std::move(option)), name(std::move(name)) {
    struct stat st;
    exists = ::stat(this->name.c_str(), &st) == 0;
    if (exists) dev = st.st_dev, ino = st.st_ino;
    path = resolved(this->name);
  }
  bool sameAs(const NamedFile& other) const {
    return exists && other.exists ? dev == other.dev && ino == other.ino : path == other.path;
  }
};

}  // namespace

bool checkDistinctFiles(const Options& o, const std::string& plugin, const std::string& root,
                        std::string* error) {
  std::vector<NamedFile> outputs, inputs;
  for (const ExportTarget& t : o.exports) outputs.emplace_back("--export", t.file);
  if (!o.spectrum.empty()) outputs.emplace_back("--spectrum", o.spectrum);
  if (!o.trace.empty()) outputs.emplace_back("--trace", o.trace);
  if (!o.band.empty()) inputs.emplace_back("--band", o.band);
  for (const std::string& band : o.moreBands) inputs.emplace_back("--band", band);
  if (!o.hunt.empty()) inputs.emplace_back("--hunt", o.hunt);
  if (!o.keysFile.empty()) inputs.emplace_back("--keys", o.keysFile);
  inputs.emplace_back("--plugin", plugin);
  const std::string list = root + DvbOptions().serviceList;
  for (const std::string& kept : {list, serviceJournalPath(list), serviceLockPath(list), root + kPluginSkin})
    inputs.emplace_back("", kept);
  for (size_t i = 0; i < outputs.size(); ++i) {
    const NamedFile& out = outputs[i];
    const NamedFile* other = nullptr;
    for (size_t j = 0; j < i && !other; ++j)
      if (out.sameAs(outputs[j])) other = &outputs[j];
    for (size_t j = 0; j < inputs.size() && !other; ++j)
      if (out.sameAs(inputs[j])) other = &inputs[j];
    if (!other) continue;
    const std::string name = printable(out.name, 200), otherName = printable(other->name, 200);
    *error = out.option + ": " +
             (other->option.empty()
                  ? trf("'%s' is the same file as the box's own '%s'", name.c_str(), otherName.c_str())
                  : trf("'%s' is the same file as %s '%s'", name.c_str(), other->option.c_str(),
                        otherName.c_str()));
    return false;
  }
  return true;
}

bool prepareShotsFolder(const std::string& dir, std::string* error) {
  return takesFiles("--shots", dir, error);
}

bool prepareOutputFile(const std::string& option, const std::string& path, std::string* error) {
  // A device or a FIFO is written into as it is: its folder takes no files.
  std::string replaced;
  if (!outputNameFits(path, error, &replaced)) {
    *error = option + ": " + *error;
    return false;
  }
  if (replaced.empty()) return true;
  std::error_code ec;
  if (std::filesystem::is_directory(replaced, ec)) {
    *error = option + ": " + trf("%s is a folder", printable(path, 200).c_str());
    return false;
  }
  // The temporary file goes beside the file a link leads to.
  const std::string dir = std::filesystem::path(replaced).parent_path().string();
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
