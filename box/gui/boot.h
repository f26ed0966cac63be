#pragma once
// Bringing the box's GUI up and down: the main loop, paths, the box's own
// skin (which sets the screen's palette), fonts, the language and the
// auto-init levels.
#include <string>

#include "box/base/tr.h"

namespace box {

struct GuiOptions {
  bool realtime = false;
  std::string root;     // "" : the real file system
  std::string dataDir;  // "" : the default data folder
  std::string skin;     // "" : dataDir/skins/box.esml
};

// Returns false with a message in *error when the box skin cannot be read.
bool bootGui(const GuiOptions& options, std::string* error);
// Takes the auto-init levels down, hides and forgets every window, destroys eApp.
void shutdownGui();

// Init levels the box brings up: the GUI reaches guiLevel, the DVB layer
// dvbLevel; plug-ins register at levels in between.
constexpr int guiLevel = 20;
constexpr int dvbLevel = 30;

}  // namespace box
