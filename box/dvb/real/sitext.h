#pragma once
// Text as DVB service information sends it (the names of services,
// providers and networks), decoded into UTF-8 by the rules of EN 300 468
// Annex A: the leading bytes choose the character table, none meaning
// ISO 6937.
#include <cstddef>
#include <cstdint>
#include <string>

namespace box::real {

// The text of size bytes as broadcast, as UTF-8. Emphasis marks and other
// control codes are dropped and a line break becomes a space, so a name
// stays one line; what the table does not hold comes out as U+FFFD. Never
// the raw bytes: a table iconv does not know is read as the default one.
std::string siText(const uint8_t* data, size_t size);

}  // namespace box::real
