#pragma once
// Where each value of a JSON text starts, by path, so that a fault found after
// parsing can still name its line. nlohmann-json checks the syntax; this walks
// the same (already valid) text once more and notes positions and duplicate keys.
#include <map>
#include <string>

namespace box {

class JsonPositions {
 public:
  // text must already be valid JSON. Paths look like "carriers[2].polarisation";
  // the root is "".
  explicit JsonPositions(const std::string& text);

  // Line (1-based) where the value at path starts; the closest enclosing
  // value's line when path is not there (a missing key: its object's line).
  int line(const std::string& path) const;
  // The first object key that appears twice, if any ("" when none).
  const std::string& duplicateKey() const { return duplicate; }
  int duplicateLine() const { return duplicateAt; }

 private:
  void value(const std::string& path);
  void skipSpace();
  std::string stringToken();

  const std::string& text;
  size_t pos = 0;
  int lineNo = 1;
  std::map<std::string, int> lines;
  std::string duplicate;
  int duplicateAt = 0;
};

// Line and column (1-based) of a byte offset.
void lineAndColumn(const std::string& text, size_t offset, int* line, int* column);

}  // namespace box
