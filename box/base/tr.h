#pragma once
// The box's own texts in the chosen language (box::chooseLanguage in
// below binds the catalogue). Apart from the GUI, so that the file
// and band parsers built alone (fuzz targets) have it too.
#include <functional>
#include <string>

namespace box {

// A text of the box's own, in the chosen language. A format string stays one
// (the compiler checks the arguments given to the translation against it).
const char* tr(const char* text) __attribute__((format_arg(1)));
// tr(text), then formatted as printf does: a message keeps its placeholders
// in one whole text, so that a translator may put the values where the
// language wants them.
std::string trf(const char* text, ...) __attribute__((format(printf, 1, 2)));
// The same for a text that names a count n: singular or plural (or another
// of the language's forms) as n asks, then formatted with the arguments
// (which repeat n where the text shows it).
std::string trnf(const char* singular, const char* plural, unsigned long n, ...)
    __attribute__((format(printf, 2, 4)));
// Marks a text in a table for the catalogue; tr() translates it where it is
// shown (the language is chosen after static tables are made).
constexpr const char* trLater(const char* text) {
  return text;
}

// Chooses the language of the box's and the plug-in's texts: lang (a
// catalogue's code such as "en" or "de", or "C" for the texts as written),
// or when empty VANTREL_LANG, then the environment's, else Italian. Before
// bootGui, so that messages given before the box is up are translated too;
// bootGui otherwise chooses as with an empty lang
// (chooseDefaultLanguage).
void chooseLanguage(const std::string& lang);
void chooseDefaultLanguage();
// The language an empty lang stands for, from the environment env reads
// (getenv): VANTREL_LANG, then LANGUAGE, LC_ALL, LC_MESSAGES and LANG, else
// Italian; a C or POSIX locale gives "C".
std::string environmentLanguage(const std::function<const char*(const char*)>& env);
// Whether lang names a language the box has texts in (it, en, de, or C).
bool knownLanguage(const std::string& lang);

}  // namespace box
