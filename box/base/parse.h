#pragma once
// Numbers read from the command line, key scripts and skins: one strict
// reader, so that no text ever becomes a number by wrapping or truncating.
#include <cstdint>
#include <string_view>

namespace box {

// What skins may give: coordinates and sizes stay far inside int, so that
// positions, sizes and frames add up without overflowing; font sizes in
// pixels stay small enough to render.
constexpr int64_t kMaxSkinCoordinate = 10000;
constexpr int64_t kMaxFontSize = 1000;

// A decimal integer, an optional '-' then digits and nothing else, from lo
// to hi. False, with *out untouched, for anything else.
bool parseInteger(std::string_view text, int64_t lo, int64_t hi, int64_t* out);

}  // namespace box
