// Bringing the box's GUI up: loop, paths, the box skin and its palette, the
// message catalogue and the auto-init levels.
#include "box/gui/boot.h"

#include <libintl.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
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

// The catalogue's language as gettext's LANGUAGE wants it: "en_GB.UTF-8"
// becomes "en_GB"; the C locale (no language chosen) is empty.
std::string languageOf(const char* value) {
  std::string lang = value ? value : "";
  lang = lang.substr(0, lang.find_first_of(".@"));
  return lang == "C" || lang == "POSIX" ? "" : lang;
}

// The plug-in's texts are Italian; the catalogues hold each language's
// texts for them and for the box's own. The language chosen wins (--lang,
// or VANTREL_LANG, where "C" means the texts as written), then the
// environment's; without one the box speaks Italian, as the plug-in's users do.
void bindCatalogue(const std::string& chosen) {
  const char* current = std::setlocale(LC_ALL, "");
  if (!current || !std::strcmp(current, "C") || !std::strcmp(current, "POSIX"))
    std::setlocale(LC_ALL, "C.UTF-8");
  const char* vantrel = std::getenv("VANTREL_LANG");
  std::string lang = !chosen.empty() ? chosen : vantrel && *vantrel ? vantrel : "";
  if (lang.empty()) {
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
      const char* value = std::getenv(name);
      if (value && *value) {
        lang = name == std::string("LANGUAGE") ? value : languageOf(value);
        break;
      }
    }
    if (lang.empty()) lang = "it";
  }
  setenv("LANGUAGE", lang.c_str(), 1);
  bindtextdomain("vantrel", VANTREL_LOCALE_DIR);
  bind_textdomain_codeset("vantrel", "UTF-8");
  textdomain("vantrel");
}

bool& languageChosen() {
  static bool chosen = false;
  return chosen;
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
  if (!languageChosen()) bindCatalogue("");
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

void chooseLanguage(const std::string& lang) {
  bindCatalogue(lang);
  languageChosen() = true;
}

}  // namespace box
