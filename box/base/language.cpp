// Choosing the language of the box's and the plug-in's texts, and binding
// their message catalogue.
#include <libintl.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "box/base/paths.h"
#include "box/base/tr.h"

namespace box {
namespace {

// The catalogue's language as gettext's LANGUAGE wants it: "en_GB.UTF-8"
// becomes "en_GB"; the C locale (C.UTF-8 too) asks for the texts as written.
std::string languageOf(const char* value) {
  std::string lang = value ? value : "";
  lang = lang.substr(0, lang.find_first_of(".@"));
  return lang == "POSIX" ? "C" : lang;
}

// The plug-in's texts are Italian; the catalogues hold each language's
// texts for them and for the box's own. The language chosen wins (--lang,
// or VANTREL_LANG, where "C" means the texts as written), then the
// environment's; without one the box speaks Italian, as the plug-in's users do.
void bindCatalogue(const std::string& chosen) {
  const char* current = std::setlocale(LC_ALL, "");
  if (!current || !std::strcmp(current, "C") || !std::strcmp(current, "POSIX"))
    std::setlocale(LC_ALL, "C.UTF-8");
  const std::string lang = !chosen.empty() ? chosen : environmentLanguage(std::getenv);
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

std::string environmentLanguage(const std::function<const char*(const char*)>& env) {
  const char* vantrel = env("VANTREL_LANG");
  if (vantrel && *vantrel) return vantrel;
  // The first variable set decides, as for the locale itself: a C locale
  // asks for English, not for the box's default.
  for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = env(name);
    if (value && *value) return name == std::string("LANGUAGE") ? value : languageOf(value);
  }
  return "it";
}

bool knownLanguage(const std::string& lang) {
  for (const char* known : {"it", "en", "de", "C"})
    if (lang == known) return true;
  return false;
}

void chooseLanguage(const std::string& lang) {
  bindCatalogue(lang);
  languageChosen() = true;
}

void chooseDefaultLanguage() {
  if (!languageChosen()) bindCatalogue("");
}

}  // namespace box
