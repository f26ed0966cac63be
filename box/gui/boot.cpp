// Bringing the box's GUI up: loop, paths, the box skin and its palette, the
// message catalogue and the auto-init levels.
#include "box/gui/boot.h"

#include <libintl.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "box/gui/fonts.h"
#include "box/gui/loop.h"
#include "box/gui/paths.h"
#include "box/gui/screen.h"
#include "host/einit.h"
#include "host/eskin.h"

namespace box {
namespace {

std::unique_ptr<eSkin>& boxSkin() {
  static std::unique_ptr<eSkin> skin;
  return skin;
}

// The plug-in's texts are Italian; the catalogue holds Italian for its few
// English texts. Without a locale of its own the box speaks Italian too,
// unless VANTREL_LANG says otherwise.
void bindCatalogue() {
  const char* current = std::setlocale(LC_ALL, "");
  if (!current || !std::strcmp(current, "C") || !std::strcmp(current, "POSIX"))
    std::setlocale(LC_ALL, "C.UTF-8");
  const char* lang = std::getenv("VANTREL_LANG");
  if (lang && *lang)
    setenv("LANGUAGE", lang, 1);
  else if (!std::getenv("LANGUAGE"))
    setenv("LANGUAGE", "it", 1);
  bindtextdomain("vantrel", VANTREL_LOCALE_DIR);
  bind_textdomain_codeset("vantrel", "UTF-8");
  textdomain("vantrel");
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
    if (error) *error = "cannot read the box skin " + skinFile;
    destroyMainloop();
    return false;
  }
  skin->makeActive();
  boxSkin() = std::move(skin);
  setRoot(options.root);
  Screen::instance().reset();
  Screen::instance().setPalette(boxSkin()->palette());
  bindCatalogue();
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
