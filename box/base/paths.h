#pragma once
// Where the box finds its files: the plug-in's absolute paths resolve under
// the box's root; the box's own data (skin, fonts, catalogue, bands) lies in
// its data folder.
#include <functional>
#include <string>

namespace box {

void setRoot(const std::string& dir);  // "" : the real file system
const std::string& root();
// "/var/tuxbox/plugins/x" -> root + "/var/tuxbox/plugins/x"; relative paths unchanged.
std::string resolve(const std::string& path);

void setDataDir(const std::string& dir);
// The box's data folder: set explicitly, else where installPlaces() says.
const std::string& dataDir();
std::string dataFile(const std::string& relative);

// Where the box's own files are, told by where its executable lies. Installed
// (PREFIX/bin/x with PREFIX/share/vantrel beside it) they are under that
// prefix, wherever it was unpacked, and what the box keeps goes to the
// user's data folder; else the box runs from its build tree, as it was built.
struct InstallPlaces {
  bool installed = false;
  std::string data;    // skins, bands, key scripts, hunts; $VANTREL_DATA wins
  std::string plugin;  // the plug-in's vantrel.so
  std::string locale;  // the compiled catalogues
  std::string root;    // the default root; "" : an installed box with nowhere to keep it
};
using EnvLookup = std::function<const char*(const char* name)>;
using IsDir = std::function<bool(const std::string& path)>;
InstallPlaces installPlaces(const std::string& exe, const EnvLookup& env, const IsDir& isDir);
// The same for this process.
InstallPlaces installPlaces();

}  // namespace box
