#include "box/base/jsonpos.h"

#include <algorithm>
#include <iterator>
#include <vector>

#include "box/base/fileio.h"
#include "box/base/tr.h"

namespace box {
namespace {

using nlohmann::json;

// How much of a key path or of the file's text a message quotes.
constexpr size_t kQuotedChars = 40, kPathChars = 100;

// Hands the text to nlohmann's parser a byte at a time and counts the bytes
// taken, so that the handler knows where in the text each event happens.
class CountingIterator {
 public:
  using iterator_category = std::input_iterator_tag;
  using value_type = char;
  using difference_type = std::ptrdiff_t;
  using pointer = const char*;
  using reference = const char&;

  CountingIterator(const char* at, size_t* taken) : at(at), taken(taken) {}
  reference operator*() const { return *at; }
  CountingIterator& operator++() {
    ++at;
    ++*taken;
    return *this;
  }
  bool operator==(const CountingIterator& o) const { return at == o.at; }
  bool operator!=(const CountingIterator& o) const { return at != o.at; }

 private:
  const char* at;
  size_t* taken;
};

// Builds the tree from the parser's events with an explicit stack (the depth
// is bounded before anything is pushed), streaming the elements of arrays at
// the chosen depth.
class Builder {
 public:
  Builder(std::string_view text, const std::string& file, const JsonReadOptions& options, json* root,
          std::string* error)
      : text(text), file(file), options(options), root(root), error(error) {}

  size_t taken = 0;  // bytes the parser has read

  bool null() { return put(json()); }
  bool boolean(bool v) { return put(json(v)); }
  bool number_integer(json::number_integer_t v) { return put(json(v)); }
  bool number_unsigned(json::number_unsigned_t v) { return put(json(v)); }
  bool number_float(json::number_float_t v, const json::string_t&) { return put(json(v)); }
  bool string(json::string_t& v) { return put(json(std::move(v))); }
  bool binary(json::binary_t& v) { return put(json::binary(std::move(v))); }
  bool start_object(std::size_t) { return open(json::object()); }
  bool start_array(std::size_t) { return open(json::array()); }
  bool end_object() { return close(); }
  bool end_array() { return close(); }

  bool key(json::string_t& k) {
    Frame& f = frames.back();
    if (f.value->contains(k)) {
      f.key = std::move(k);
      int line = 0, column = 0;
      lineAndColumn(text, taken ? taken - 1 : 0, &line, &column);
      return fail(trf("%s: line %d: %s: given twice", file.c_str(), line + options.firstLine - 1,
                      printable(pathTo(frames.size()), kPathChars).c_str()));
    }
    f.key = std::move(k);
    return true;
  }

  bool parse_error(std::size_t position, const std::string& lastToken, const json::exception& ex) {
    std::string what = ex.what();
    size_t cut = what.find("] ");
    if (cut != std::string::npos) what.erase(0, cut + 2);
    size_t at = position ? position - 1 : 0;
    const std::string quoted = printable(lastToken, kQuotedChars);
    if (what.rfind("number overflow", 0) == 0) {
      // The parser stands just past the number: point at its first digit.
      at = position >= lastToken.size() ? position - lastToken.size() : 0;
      what = trf("number out of range: %s", quoted.c_str());
    } else {
      cut = what.find(" - ");
      const bool framed = cut != std::string::npos;
      if (framed) what = what.substr(cut + 3);
      // The token read last may be the rest of the file: quote only its start.
      const std::string lastRead = "last read: '" + lastToken + "'";
      cut = what.find(lastRead);
      if (cut != std::string::npos) what.replace(cut, lastRead.size(), "last read: '" + quoted + "'");
      // The parser's own words stay English; the frame around them is ours.
      if (framed) what = trf("syntax error: %s", what.c_str());
    }
    return failAt(at, what);
  }

  bool failed() const { return stopped; }

 private:
  struct Frame {
    json* value;
    bool streams;      // its elements go to onElement
    size_t count = 0;  // members started so far
    std::string key;   // of the member being read (objects)
    std::string path;  // its own path (streaming arrays)
  };

  bool fail(const std::string& message) {
    if (error) *error = message;
    stopped = true;
    return false;
  }

  bool failAt(size_t offset, const std::string& what) {
    int line = 0, column = 0;
    lineAndColumn(text, offset, &line, &column);
    return fail(
        trf("%s: line %d, column %d: %s", file.c_str(), line + options.firstLine - 1, column, what.c_str()));
  }

  // The path of the member being read in frames[n - 1].
  std::string pathTo(size_t n) const {
    std::string p;
    for (size_t i = 0; i < n; ++i) {
      const Frame& f = frames[i];
      if (f.value->is_object())
        p += (p.empty() ? "" : ".") + f.key;
      else
        p += "[" + std::to_string(f.count ? f.count - 1 : 0) + "]";
    }
    return p;
  }

  // Where a new value goes; a streaming array's element is built aside.
  json* place(json&& v, size_t start) {
    if (frames.empty()) {
      *root = std::move(v);
      return root;
    }
    Frame& f = frames.back();
    ++f.count;
    if (f.streams) {
      element = std::move(v);
      elementStart = start;
      return &element;
    }
    if (f.value->is_array()) {
      f.value->push_back(std::move(v));
      return &f.value->back();
    }
    json& slot = (*f.value)[f.key];
    slot = std::move(v);
    return &slot;
  }

  bool put(json&& v) {
    const bool streamed = !frames.empty() && frames.back().streams;
    // The parser has read the scalar and perhaps the byte after it.
    place(std::move(v), taken ? taken - 1 : 0);
    return streamed ? deliver() : true;
  }

  bool open(json&& v) {
    const size_t start = taken ? taken - 1 : 0;
    const int depth = int(frames.size()) + 1;
    if (depth > options.maxDepth)
      return failAt(start, trf("nested more than %d levels deep", options.maxDepth));
    const bool streams = v.is_array() && options.onElement && depth == options.streamDepth;
    json* slot = place(std::move(v), start);
    frames.push_back({slot, streams, 0, {}, {}});
    if (streams) frames.back().path = pathTo(frames.size() - 1);
    return true;
  }

  bool close() {
    frames.pop_back();
    return !frames.empty() && frames.back().streams ? deliver() : true;
  }

  bool deliver() {
    const Frame& f = frames.back();
    std::string message;
    bool ok = options.onElement(f.path, f.count - 1, element, elementStart, &message);
    element = json();
    return ok ? true : fail(message);
  }

  std::string_view text;
  const std::string& file;
  const JsonReadOptions& options;
  json* root;
  std::string* error;
  std::vector<Frame> frames;
  json element;
  size_t elementStart = 0;
  bool stopped = false;
};

// Where the first string, number or word longer than maxBytes starts, if
// any, and whether it is a string. An escape is skipped as a pair, so an
// escaped quote does not end a string; one never closed runs to the end.
bool longToken(std::string_view text, size_t maxBytes, size_t* start, bool* isString) {
  auto delimiter = [](char c) {
    return c == '"' || c == '{' || c == '}' || c == '[' || c == ']' || c == ',' || c == ':' || c == ' ' ||
           c == '\t' || c == '\r' || c == '\n';
  };
  for (size_t i = 0; i < text.size();) {
    const size_t from = i;
    size_t length = 0;
    if (text[i] == '"') {
      for (++i; i < text.size() && text[i] != '"';) i += text[i] == '\\' ? 2 : 1;
      length = std::min(i, text.size()) - from - 1;
      ++i;  // the closing quote
    } else if (delimiter(text[i])) {
      ++i;
      continue;
    } else {
      while (i < text.size() && !delimiter(text[i])) ++i;
      length = i - from;
    }
    if (length > maxBytes) {
      *start = from;
      *isString = text[from] == '"';
      return true;
    }
  }
  return false;
}

}  // namespace

std::string_view withoutBom(std::string_view text) {
  return text.substr(0, 3) == "\xEF\xBB\xBF" ? text.substr(3) : text;
}

bool readJson(std::string_view text, const std::string& fileName, const JsonReadOptions& options, json* root,
              std::string* error) {
  size_t start = 0;
  bool isString = false;
  if (longToken(text, options.maxTokenBytes, &start, &isString)) {
    int line = 0, column = 0;
    lineAndColumn(text, start, &line, &column);
    if (error)
      *error = isString ? trf("%s: line %d, column %d: a string longer than %zu bytes", fileName.c_str(),
                              line + options.firstLine - 1, column, options.maxTokenBytes)
                        : trf("%s: line %d, column %d: a value longer than %zu bytes", fileName.c_str(),
                              line + options.firstLine - 1, column, options.maxTokenBytes);
    return false;
  }
  json result;
  Builder builder(text, fileName, options, &result, error);
  bool ok = false;
  try {
    ok = json::sax_parse(CountingIterator(text.data(), &builder.taken),
                         CountingIterator(text.data() + text.size(), &builder.taken), &builder);
  } catch (const std::exception& e) {
    // Only running out of memory gets here: the handler reports the rest.
    if (error) *error = fileName + ": " + e.what();
    return false;
  }
  if (!ok || builder.failed()) {
    if (error && error->empty()) *error = trf("%s: not valid JSON", fileName.c_str());
    return false;
  }
  *root = std::move(result);
  return true;
}

int JsonPositions::line(const std::string& path) const {
  std::string p = path;
  for (;;) {
    if (int l = find(p)) return l;
    if (p.empty()) return 1;
    size_t cut = p.find_last_of(".[");
    p = cut == std::string::npos ? std::string() : p.substr(0, cut);
  }
}

// One pass over the text with an explicit stack, building each value's path
// until it is the one wanted. Keys stay as written, escapes included.
int JsonPositions::find(const std::string& want) const {
  struct Frame {
    bool array;
    size_t index;
    size_t pathLength;  // of the container's own path
  };
  std::vector<Frame> frames;
  std::string path;
  size_t pos = 0;
  int lineNo = 1;
  auto skipSpace = [&] {
    for (; pos < text.size(); ++pos) {
      char c = text[pos];
      if (c == '\n')
        ++lineNo;
      else if (c != ' ' && c != '\t' && c != '\r')
        return;
    }
  };
  auto skipString = [&] {
    size_t from = ++pos;
    while (pos < text.size() && text[pos] != '"') pos += text[pos] == '\\' ? 2 : 1;
    std::string_view s = text.substr(from, std::min(pos, text.size()) - from);
    ++pos;
    return s;
  };
  skipSpace();
  bool atValue = pos < text.size();
  while (pos < text.size()) {
    if (atValue) {
      if (path == want) return lineNo;
      char c = text[pos];
      if (c == '{' || c == '[') {
        frames.push_back({c == '[', 0, path.size()});
        ++pos;
      } else if (c == '"') {
        skipString();
      } else {
        while (pos < text.size() && std::string_view(",}] \t\r\n").find(text[pos]) == std::string_view::npos)
          ++pos;
      }
      atValue = false;
      continue;
    }
    // Between the members of the innermost container.
    if (frames.empty()) return 0;
    path.resize(frames.back().pathLength);
    skipSpace();
    if (pos >= text.size()) break;
    char c = text[pos];
    if (c == '}' || c == ']') {
      ++pos;
      frames.pop_back();
      continue;
    }
    if (c == ',') {
      ++pos;
      continue;
    }
    Frame& f = frames.back();
    if (f.array) {
      path += "[" + std::to_string(f.index++) + "]";
    } else {
      std::string_view key = skipString();
      path += path.empty() ? "" : ".";
      path += key;
      skipSpace();
      if (pos < text.size() && text[pos] == ':') ++pos;
    }
    skipSpace();
    atValue = true;
  }
  return 0;
}

void lineAndColumn(std::string_view text, size_t offset, int* line, int* column) {
  int l = 1, c = 1;
  for (size_t i = 0; i < offset && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++l;
      c = 1;
    } else {
      ++c;
    }
  }
  *line = l;
  *column = c;
}

}  // namespace box
