#pragma once
// Reading JSON files the one way the box does it: nesting has a limit (so no
// input can exhaust the stack or build a pathological tree), a number too
// large for a double, a key given twice or a syntax error is refused with its
// line and column, a UTF-8 byte order mark at the start is skipped, and the
// text quoted from the file is cut and escaped. Large arrays can be handed
// over one element at a time instead of being kept, so that a big file never
// becomes a big tree.
#include <nlohmann/json.hpp>

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace box {

struct JsonReadOptions {
  int maxDepth = 32;  // objects and arrays open at once
  int firstLine = 1;  // the text's first line in its file (a line cut out of a file)
  // Longest string, number or word; a longer one is refused before parsing,
  // which would otherwise copy it over and over to say what is wrong with it.
  size_t maxTokenBytes = 65536;
  // When set, the elements of every array opened at this depth (the root
  // object or array is depth 1) go to onElement as each is complete, and the
  // array stays empty in the result. onElement gets the array's path, the
  // element's index and the offset where it starts; false (with *error set)
  // stops the read.
  int streamDepth = 0;
  std::function<bool(const std::string& arrayPath, size_t index, nlohmann::json& element, size_t offset,
                     std::string* error)>
      onElement;
};

// The text without a leading UTF-8 byte order mark; offsets, lines and
// columns everywhere here count from there.
std::string_view withoutBom(std::string_view text);

// Parses text (already without its byte order mark). On a fault: false and
// *error "FILE: line L, column C: what" ("FILE: line L: PATH: given twice"
// for a repeated key), or what onElement said.
bool readJson(std::string_view text, const std::string& fileName, const JsonReadOptions& options,
              nlohmann::json* root, std::string* error);

// Where each value of a JSON text starts, by path, so that a fault found after
// parsing can still name its line. Looked up on demand, by walking the text
// again: only a fault needs it, and a table of every path of a large file
// would cost more than the file.
class JsonPositions {
 public:
  // text must be JSON that readJson accepted. Paths look like
  // "carriers[2].polarisation"; the root is "".
  explicit JsonPositions(std::string_view text) : text(text) {}

  // Line (1-based) where the value at path starts; the closest enclosing
  // value's line when path is not there (a missing key: its object's line).
  int line(const std::string& path) const;

 private:
  int find(const std::string& path) const;  // 0: not there

  std::string_view text;
};

// Line and column (1-based) of a byte offset.
void lineAndColumn(std::string_view text, size_t offset, int* line, int* column);

}  // namespace box
