// Bringing the box's GUI up: loop, paths, the box skin and its palette, the
// language (unless one was chosen) and the auto-init levels.
#include "box/gui/boot.h"

#include <memory>
#include <string>

#include "box/base/fileio.h"
#include "box/base/loop.h"
#include "box/base/paths.h"
#include "box/gui/fonts.h"
#include "box/gui/screen.h"
#include "host/einit.h"
#include "host/eskin.h"

namespace box {
namespace {

std::unique_ptr<eSkin>& boxSkin() {
  static std::unique_ptr<eSkin> skin;
  return skin;
}

}  // namespace

bool bootGui(const GuiOptions& options, std::string* error) {
  mainloop(options.realtime);
  setDataDir(options.dataDir);
  // The box's own skin is read before the root is set: it belongs to the
  // box, not to the file system the plug-in sees.
  setRoot("");
  std::string skinFile = options.skin.empty() ? dataFile("skins/box.esml") : options.skin;
  auto skin = std::make_unique<eSkin>();
  if (skin->load(skinFile.c_str()) != 0) {
    if (error) *error = trf("cannot read the box skin %s", printable(skinFile, 200).c_str());
    destroyMainloop();
    return false;
  }
  skin->makeActive();
  boxSkin() = std::move(skin);
  setRoot(options.root);
  Screen::instance().reset();
  Screen::instance().setPalette(boxSkin()->palette());
  chooseDefaultLanguage();
  eInit::setRunlevel(guiLevel);
  return true;
}

void shutdownGui() {
  eInit::setRunlevel(0);
  Screen::instance().reset();
  FontEngine::instance().clear();
  boxSkin().reset();
  destroyMainloop();
  setRoot("");
}

}  // namespace box
