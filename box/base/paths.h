#pragma once
// Where the box finds its files: the plug-in's absolute paths resolve under
// the box's root; the box's own data (skin, fonts, catalogue, bands) lies in
// its data folder.
#include <string>

namespace box {

void setRoot(const std::string& dir);  // "" : the real file system
const std::string& root();
// "/var/tuxbox/plugins/x" -> root + "/var/tuxbox/plugins/x"; relative paths unchanged.
std::string resolve(const std::string& path);

void setDataDir(const std::string& dir);
// The box's data folder: set explicitly, else $VANTREL_DATA, else the
// folder built in at compile time.
const std::string& dataDir();
std::string dataFile(const std::string& relative);

}  // namespace box
