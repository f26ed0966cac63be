#include "box/dvb/real/tables.h"

#include <algorithm>
#include <map>

#include "box/dvb/real/sitext.h"

namespace box::real {
namespace {

size_t sectionSize(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  return 3 + (size_t(data[1] & 0x0f) << 8 | data[2]);
}

// CRC-32/MPEG-2: over a whole section, CRC included, it comes out 0.
uint32_t crc32(const uint8_t* data, size_t size) {
  uint32_t crc = 0xffffffff;
  for (size_t i = 0; i < size; ++i) {
    crc ^= uint32_t(data[i]) << 24;
    for (int b = 0; b < 8; ++b) crc = crc & 0x80000000 ? (crc << 1) ^ 0x04c11db7 : crc << 1;
  }
  return crc;
}

unsigned u16(const uint8_t* p) {
  return unsigned(p[0]) << 8 | p[1];
}

// A section's loop: the bytes between its 8-byte header and its CRC.
struct Body {
  const uint8_t *begin, *end;
};
Body body(const std::vector<uint8_t>& s) {
  return {s.data() + 8, s.data() + s.size() - 4};
}

// Calls f(tag, data, length) for each descriptor of [p, end) that is whole.
template <typename F>
void eachDescriptor(const uint8_t* p, const uint8_t* end, F f) {
  while (end - p >= 2 && end - p >= 2 + p[1]) {
    f(p[0], p + 2, size_t(p[1]));
    p += 2 + p[1];
  }
}

// The text of the length byte at d[*at] and the bytes it counts, cut to
// the n bytes there are; *at moves past it.
std::string countedText(const uint8_t* d, size_t n, size_t* at) {
  if (*at >= n) return "";
  const size_t length = std::min<size_t>(d[*at], n - *at - 1);
  const std::string text = siText(d + *at + 1, length);
  *at += 1 + length;
  return text;
}

constexpr uint8_t kServiceDescriptor = 0x48, kNetworkNameDescriptor = 0x40;

}  // namespace

bool SectionSet::add(const uint8_t* data, size_t size, std::string* why) {
  const size_t whole = sectionSize(data, size);
  if (whole == 0 || whole != size || whole < 12 || whole > kMaxSectionBytes) {
    *why = "a section of " + std::to_string(size) + " bytes is cut or too long";
    return false;
  }
  if (data[0] != table) {
    *why = "table " + std::to_string(data[0]) + " where " + std::to_string(table) + " was wanted";
    return false;
  }
  if (crc32(data, size) != 0) {
    *why = "a section fails its CRC";
    return false;
  }
  // A section of the next version is sent ahead of its time: the current
  // one is what the transponder carries now.
  if (!(data[5] & 0x01)) {
    *why = "a section of the next version";
    return false;
  }
  const int v = (data[5] >> 1) & 0x1f, number = data[6], lastNumber = data[7];
  if (number > lastNumber) {
    *why = "section " + std::to_string(number) + " past the last, " + std::to_string(lastNumber);
    return false;
  }
  if (v != version || lastNumber != last) {
    version = v;
    last = lastNumber;
    sections.assign(size_t(lastNumber) + 1, {});
  }
  if (sections[size_t(number)].empty()) sections[size_t(number)].assign(data, data + size);
  return true;
}

bool SectionSet::complete() const {
  if (sections.empty()) return false;
  for (const auto& s : sections)
    if (s.empty()) return false;
  return true;
}

bool splitSections(const std::vector<uint8_t>& bytes, std::vector<std::vector<uint8_t>>* out,
                   std::string* why) {
  size_t at = 0;
  while (at < bytes.size()) {
    const size_t whole = sectionSize(bytes.data() + at, bytes.size() - at);
    if (whole == 0 || whole > bytes.size() - at) {
      *why = "the section at byte " + std::to_string(at) + " is cut";
      return false;
    }
    out->emplace_back(bytes.begin() + long(at), bytes.begin() + long(at + whole));
    at += whole;
  }
  return true;
}

void quiet(int, const char*, ...) {}

// The tables are parsed here rather than by libdvbv5, whose parsers hand
// over names already converted (with ISO 8859-1 as the default table and
// the bytes 0x80-0x9f stripped from UTF-8) and stop the PAT at a program
// without a PMT (PID 0x1fff).
TransponderTables readTables(const SectionSet& patSet, const SectionSet& sdtSet, const SectionSet& nitSet) {
  TransponderTables t;
  std::map<int, TableService> bySid;  // in the order of their ids
  for (const auto& s : patSet.all()) {
    if (s.empty()) continue;
    t.tsid = int(u16(&s[3]));
    const auto [begin, end] = body(s);
    for (const uint8_t* p = begin; end - p >= 4; p += 4) {
      const int sid = int(u16(p));
      // Program 0 points at the NIT, not at a service.
      if (sid != 0) bySid[sid].sid = sid;
    }
  }
  for (const auto& s : sdtSet.all()) {
    if (s.empty()) continue;
    const auto [begin, end] = body(s);
    if (end - begin < 3) continue;
    t.tsid = int(u16(&s[3]));
    t.onid = int(u16(begin));
    for (const uint8_t* p = begin + 3; end - p >= 5;) {
      TableService& service = bySid[int(u16(p))];
      service.sid = int(u16(p));
      service.scrambled = p[3] & 0x10;
      const uint8_t* loopEnd = p + 5 + std::min<ptrdiff_t>(u16(p + 3) & 0xfff, end - p - 5);
      eachDescriptor(p + 5, loopEnd, [&service](uint8_t tag, const uint8_t* d, size_t n) {
        if (tag != kServiceDescriptor || n < 1) return;
        size_t at = 1;
        service.type = d[0];
        service.provider = countedText(d, n, &at);
        service.name = countedText(d, n, &at);
      });
      p = loopEnd;
    }
  }
  for (const auto& s : nitSet.all()) {
    if (s.empty() || !t.network.empty()) continue;
    const auto [begin, end] = body(s);
    if (end - begin < 2) continue;
    const uint8_t* loopEnd = begin + 2 + std::min<ptrdiff_t>(u16(begin) & 0xfff, end - begin - 2);
    eachDescriptor(begin + 2, loopEnd, [&t](uint8_t tag, const uint8_t* d, size_t n) {
      if (tag == kNetworkNameDescriptor && t.network.empty()) t.network = siText(d, n);
    });
  }
  for (auto& [sid, s] : bySid) {
    if (s.name.empty()) s.name = "SID " + std::to_string(sid);
    t.services.push_back(s);
  }
  return t;
}

}  // namespace box::real
