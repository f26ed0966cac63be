#include "box/dvb/real/sitext.h"

#include <iconv.h>

#include <cerrno>

namespace box::real {
namespace {

// DVB's default table: ISO 6937, with the euro sign at 0xa4, which glibc's
// ISO 6937 does not hold.
constexpr const char* kDefaultTable = "ISO_6937";
constexpr unsigned char kEuroByte = 0xa4;
constexpr char32_t kEuro = 0x20ac, kReplacement = 0xfffd;

struct Table {
  std::string name;  // iconv's; "": a selector this box does not know
  size_t skip;       // the selector's bytes
  size_t unit;       // bytes a character takes at least (skipped when invalid)
  bool oneByte;      // a character a byte, 0x80-0x9f control codes
};

Table tableOf(const uint8_t* d, size_t n) {
  if (n == 0 || d[0] >= 0x20) return {kDefaultTable, 0, 1, true};
  const uint8_t s = d[0];
  if (s <= 0x0b) return {s == 0 ? "" : "ISO-8859-" + std::to_string(s + 4), 1, 1, true};
  switch (s) {
    case 0x10:  // 0x10 0x00 N: ISO 8859-N
      if (n < 3) return {"", n, 1, true};
      return {d[1] == 0 && d[2] > 0 ? "ISO-8859-" + std::to_string(d[2]) : "", 3, 1, true};
    case 0x11:
      return {"UCS-2BE", 1, 2, false};
    case 0x12:
      return {"EUC-KR", 1, 1, false};  // KS X 1001
    case 0x13:
      return {"GB2312", 1, 1, false};
    case 0x14:
      return {"BIG5", 1, 1, false};
    case 0x15:
      return {"UTF-8", 1, 1, false};
    case 0x1f:
      // Compressed with an encoder's tables (the next byte says which) the
      // box does not have: its bytes read as text would be noise.
      return {"", n, 1, true};
    default:  // reserved: the rest as the default table, best effort
      return {"", 1, 1, true};
  }
}

// Appends the characters of [in, in + n) in table to out; false when iconv
// does not know the table.
bool convert(const char* table, size_t unit, const uint8_t* in, size_t n, std::u32string* out) {
  iconv_t cd = iconv_open("UTF-32BE", table);
  if (cd == iconv_t(-1)) return false;
  const bool byDefault = std::string(table) == kDefaultTable;
  char* from = reinterpret_cast<char*>(const_cast<uint8_t*>(in));
  size_t left = n;
  while (left > 0) {
    char buf[256];
    char* to = buf;
    size_t room = sizeof buf;
    const size_t r = iconv(cd, &from, &left, &to, &room);
    const int err = errno;
    for (const char* p = buf; p + 4 <= to; p += 4) {
      const auto b = [p](int i) { return char32_t(static_cast<unsigned char>(p[i])); };
      out->push_back(b(0) << 24 | b(1) << 16 | b(2) << 8 | b(3));
    }
    if (r != size_t(-1) || err == E2BIG) continue;
    // A byte the table does not hold, or a character cut at the end.
    out->push_back(byDefault && static_cast<unsigned char>(*from) == kEuroByte ? kEuro : kReplacement);
    const size_t skip = std::min(unit, left);
    from += skip;
    left -= skip;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  iconv_close(cd);
  return true;
}

void appendUtf8(char32_t c, std::string* out) {
  if (c < 0x80) {
    *out += char(c);
  } else if (c < 0x800) {
    *out += char(0xc0 | c >> 6);
    *out += char(0x80 | (c & 0x3f));
  } else if (c < 0x10000) {
    *out += char(0xe0 | c >> 12);
    *out += char(0x80 | (c >> 6 & 0x3f));
    *out += char(0x80 | (c & 0x3f));
  } else {
    *out += char(0xf0 | c >> 18);
    *out += char(0x80 | (c >> 12 & 0x3f));
    *out += char(0x80 | (c >> 6 & 0x3f));
    *out += char(0x80 | (c & 0x3f));
  }
}

}  // namespace

std::string siText(const uint8_t* data, size_t size) {
  const Table table = tableOf(data, size);
  const uint8_t* text = data + table.skip;
  const size_t n = size - table.skip;
  std::u32string chars;
  if (table.oneByte) {
    // In a one-byte table 0x80-0x9f are control codes, whatever the table
    // puts there: they go through as the C1 characters they are.
    const char* name = table.name.empty() ? kDefaultTable : table.name.c_str();
    size_t run = 0;
    for (size_t i = 0; i <= n; ++i) {
      if (i < n && (text[i] < 0x80 || text[i] > 0x9f)) continue;
      std::u32string part;
      if (!convert(name, 1, text + run, i - run, &part) &&
          !convert(kDefaultTable, 1, text + run, i - run, &part))
        for (size_t k = run; k < i; ++k) part.push_back(text[k] < 0x80 ? text[k] : kReplacement);
      chars += part;
      if (i < n) chars.push_back(text[i]);
      run = i + 1;
    }
  } else if (!convert(table.name.c_str(), table.unit, text, n, &chars)) {
    chars.assign(n ? 1 : 0, kReplacement);  // a two-byte table iconv lacks: nothing readable
  }
  std::string out;
  for (const char32_t c : chars) {
    // Two-byte tables carry the control codes at 0xe080-0xe09f.
    const char32_t code = c >= 0xe080 && c <= 0xe09f ? c - 0xe000 : c;
    if (code == 0x8a) {
      out += ' ';  // a line break inside a name
      continue;
    }
    // Emphasis on and off (0x86, 0x87), the other control codes, and C0
    // controls, which would break a name's line in a file.
    if ((code >= 0x80 && code <= 0x9f) || c < 0x20 || c == 0x7f) continue;
    appendUtf8(c, &out);
  }
  return out;
}

}  // namespace box::real
