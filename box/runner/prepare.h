#pragma once
// What the box checks and sets up before anything runs, so that a fault in
// a folder given on the command line shows at once (exit 2) rather than as
// a lost picture at the end of a long run.
#include <string>

#include "box/runner/options.h"

namespace box {

// No two of the run's outputs (--export files, --spectrum, --trace) are one
// file, and none is one of its inputs (--band, --keys @FILE, the plug-in) or
// a file the box keeps under root (the service list, its journal and lock,
// the plug-in's skin): writing one would lose the other. Files that exist
// are compared by device and inode, others by the path they resolve to.
// False with a message naming both.
bool checkDistinctFiles(const Options& o, const std::string& plugin, const std::string& root,
                        std::string* error);

// Creates the --shots folder if needed and makes sure a file can be created
// in it (a probe file, removed at once). False with a message.
bool prepareShotsFolder(const std::string& dir, std::string* error);

// For a file written at exit (--export, --spectrum): a name the file system
// can take, not a folder, and the folder of the file it leads to (made if
// missing) takes new files; a device or FIFO is written into as it is. False
// with a message that starts with option.
bool prepareOutputFile(const std::string& option, const std::string& path, std::string* error);

// Sets dir up as the box's root the way an installation would: the plug-in's
// skin file in /var/tuxbox/plugins, copied from the box's data folder when it
// is missing (one that is there is kept). False with a message.
bool prepareRoot(const std::string& dir, std::string* error);

// Where the plug-in's skin file lies under a root.
constexpr const char* kPluginSkin = "/var/tuxbox/plugins/vantrel.esml";

}  // namespace box
