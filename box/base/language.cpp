// Choosing the language of the box's and the plug-in's texts, and binding
// their message catalogue.
#include <libintl.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>

#include "box/base/paths.h"
#include "box/base/tr.h"

namespace box {
namespace {

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
  bindtextdomain("vantrel", installPlaces().locale.c_str());
  bind_textdomain_codeset("vantrel", "UTF-8");
  textdomain("vantrel");
}

bool& languageChosen() {
  static bool chosen = false;
  return chosen;
}

}  // namespace

void chooseLanguage(const std::string& lang) {
  bindCatalogue(lang);
  languageChosen() = true;
}

void chooseDefaultLanguage() {
  if (!languageChosen()) bindCatalogue("");
}

}  // namespace box
