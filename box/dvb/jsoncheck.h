#pragma once
// Checks on a JSON document read from a file, for the box's strict input
// files (band files, hunt plans): the first fault is kept as a message that
// names the file, the line, the JSON path and what is wrong.
#include <nlohmann/json.hpp>

#include <exception>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "box/base/fileio.h"
#include "box/base/jsonpos.h"
#include "box/base/tr.h"

namespace box::jsoncheck {

using json = nlohmann::json;

constexpr size_t kQuotedPath = 100;  // of a key path, in a message

inline std::string join(const std::string& path, const std::string& key) {
  return path.empty() ? key : path + "." + key;
}

class Checker {
 public:
  Checker(const std::string& file, const JsonPositions& positions) : file(file), positions(positions) {}

  bool fail(const std::string& path, const std::string& what) {
    if (message.empty())
      message = trf("%s: line %d: %s: %s", file.c_str(), positions.line(path),
                    path.empty() ? tr("top level") : printable(path, kQuotedPath).c_str(), what.c_str());
    return false;
  }
  const std::string& error() const { return message; }

  // An object whose keys are all among allowed and which has all of required.
  bool object(const json& v, const std::string& path, const std::set<std::string>& allowed,
              const std::set<std::string>& required) {
    if (!v.is_object()) return fail(path, tr("must be an object"));
    for (auto it = v.begin(); it != v.end(); ++it)
      if (!allowed.count(it.key())) return fail(join(path, it.key()), tr("unknown key"));
    for (const std::string& key : required)
      if (!v.contains(key)) return fail(join(path, key), tr("missing"));
    return true;
  }

  bool number(const json& obj, const std::string& path, const char* key, double lo, double hi, double* out) {
    return ranged(obj, path, key, false, lo, hi, out);
  }

  bool integer(const json& obj, const std::string& path, const char* key, double lo, double hi, int* out) {
    double d = *out;
    if (!ranged(obj, path, key, true, lo, hi, &d)) return false;
    *out = int(d);
    return true;
  }

  bool text(const json& obj, const std::string& path, const char* key, size_t minLen, size_t maxLen,
            std::string* out) {
    if (!obj.contains(key)) return true;
    const json& v = obj[key];
    std::string p = join(path, key);
    if (!v.is_string()) return fail(p, tr("must be a string"));
    const std::string& s = v.get_ref<const std::string&>();
    if (s.size() < minLen) return fail(p, tr("must not be empty"));
    if (s.size() > maxLen) return fail(p, trf("must be at most %zu bytes", maxLen));
    *out = s;
    return true;
  }

  bool boolean(const json& obj, const std::string& path, const char* key, bool* out) {
    if (!obj.contains(key)) return true;
    const json& v = obj[key];
    if (!v.is_boolean()) return fail(join(path, key), tr("must be true or false"));
    *out = v.get<bool>();
    return true;
  }

  // One of a few words; *out gets its index.
  bool choice(const json& obj, const std::string& path, const char* key,
              const std::vector<std::string>& words, int* out) {
    if (!obj.contains(key)) return true;
    const json& v = obj[key];
    for (size_t i = 0; v.is_string() && i < words.size(); ++i)
      if (v.get_ref<const std::string&>() == words[i]) {
        *out = int(i);
        return true;
      }
    // "a", "b" or "c": the last two joined as the language joins them.
    std::string list = "\"" + words[0] + "\"";
    for (size_t i = 1; i < words.size(); ++i) {
      const std::string word = "\"" + words[i] + "\"";
      list = i + 1 == words.size() ? trf("%s or %s", list.c_str(), word.c_str()) : list + ", " + word;
    }
    return fail(join(path, key), trf("must be %s", list.c_str()));
  }

 private:
  // A number between lo and hi, whole where asked; left alone when absent.
  bool ranged(const json& obj, const std::string& path, const char* key, bool whole, double lo, double hi,
              double* out) {
    if (!obj.contains(key)) return true;
    const json& v = obj[key];
    const std::string p = join(path, key);
    if (whole && !v.is_number_integer()) return fail(p, tr("must be a whole number"));
    if (!v.is_number()) return fail(p, tr("must be a number"));
    const double d = v.get<double>();
    if (!(d >= lo && d <= hi)) return fail(p, trf("must be between %g and %g", lo, hi));
    *out = d;
    return true;
  }

  const std::string& file;
  const JsonPositions& positions;
  std::string message;
};

// Reads a strict input file's text (a byte order mark, as some editors write,
// passed over) as JSON nested at most maxDepth deep and hands it to
// read(Checker&, const JsonPositions&, const json&). False with the first
// fault in *error: the parser's, or the one read names with its place.
template <typename Read>
bool checkDocument(const std::string& fileText, const std::string& fileName, int maxDepth, std::string* error,
                   Read read) {
  const std::string_view text = withoutBom(fileText);
  JsonReadOptions options;
  options.maxDepth = maxDepth;
  json root;
  if (!readJson(text, fileName, options, &root, error)) return false;
  JsonPositions positions(text);
  Checker checker(fileName, positions);
  bool ok = false;
  try {
    ok = read(checker, positions, root);
  } catch (const std::exception& e) {
    ok = checker.fail("", e.what());
  }
  if (!ok && error) *error = checker.error();
  return ok;
}

}  // namespace box::jsoncheck
