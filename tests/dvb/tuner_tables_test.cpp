// The scan's table handling on sections captured from the kernel's virtual
// tuner (tests/data/vidtv, made by scripts/vidtv.sh capture), on damaged and
// multi-section variants of them, and on sections built here as real
// transponders send them.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "box/dvb/real/tables.h"

namespace real = box::real;

namespace {

// The sections of a captured file; the test stops if it does not split.
std::vector<std::vector<uint8_t>> sectionsOf(const std::string& name) {
  std::ifstream in(std::string(VANTREL_SOURCE_DIR "/tests/data/vidtv/") + name, std::ios::binary);
  std::vector<std::vector<uint8_t>> sections;
  std::string why;
  EXPECT_TRUE(real::splitSections({std::istreambuf_iterator<char>(in), {}}, &sections, &why)) << name << why;
  EXPECT_FALSE(sections.empty()) << name;
  return sections;
}

// CRC-32/MPEG-2 of a section without its last four bytes, written into them.
std::vector<uint8_t> resealed(std::vector<uint8_t> s) {
  uint32_t crc = 0xffffffff;
  for (size_t i = 0; i + 4 < s.size(); ++i) {
    crc ^= uint32_t(s[i]) << 24;
    for (int b = 0; b < 8; ++b) crc = crc & 0x80000000 ? (crc << 1) ^ 0x04c11db7 : crc << 1;
  }
  for (int i = 0; i < 4; ++i) s[s.size() - 4 + size_t(i)] = uint8_t(crc >> (24 - 8 * i));
  return s;
}

// What the tables say, in one line.
std::string line(const real::TransponderTables& t) {
  std::ostringstream out;
  out << t.tsid << "/" << t.onid << " '" << t.network << "':";
  for (const auto& s : t.services)
    out << " " << s.sid << " '" << s.name << "' '" << s.provider << "' " << s.type
        << (s.scrambled ? " $;" : ";");
  return out.str();
}

using Bytes = std::vector<uint8_t>;

// A section of table 0x1234 version 1 (current unless said) holding loop.
Bytes section(uint8_t table, const std::string& loop, uint8_t number = 0, uint8_t last = 0,
              bool current = true) {
  Bytes s = {table, 0xf0, 0, 0x12, 0x34, uint8_t(0xc2 | current), number, last};
  s.insert(s.end(), loop.begin(), loop.end());
  s.resize(s.size() + 4);
  s[2] = uint8_t(s.size() - 3);
  return resealed(s);
}
std::string u16(int v) {
  return {char(v >> 8), char(v)};
}
// An SDT's service sid with a service descriptor (type 1, provider P).
std::string service(int sid, const std::string& name) {
  const std::string d = "\x01\x01P" + std::string(1, char(name.size())) + name;
  return u16(sid) + "\xfc" + u16(0x8000 | int(d.size() + 2)) + "\x48" + char(d.size()) + d;
}
Bytes sdt(const std::string& services, uint8_t table = real::kSdtTable, uint8_t number = 0, uint8_t last = 0,
          bool current = true) {
  return section(table, std::string("\x00\x01\xff", 3) + services, number, last, current);
}

}  // namespace

TEST(TunerTables, VidtvsMultiplexGivesBeethovenFromLinuxTvOrgAndThePatAloneTheProgramsIds) {
  // vidtv's NIT understates its transport loop (see the data's README): it
  // still parses, and names the network. The name arrives ISO 8859-15 coded
  // (a 0x0B prefix) and leaves as UTF-8. Without an SDT the PAT still names
  // each program by its id.
  const std::pair<const char*, const char*> cases[] = {
      {"pat sdt nit", "16513/65348 'LinuxTV.org': 2176 'Beethoven' 'LinuxTV.org' 2;"},
      {"pat", "16513/-1 '': 2176 'SID 2176' '' 0;"},
      {"", "-1/-1 '':"},
  };
  for (const auto& [files, tables] : cases) {
    real::SectionSet sets[] = {real::SectionSet(real::kPatTable), real::SectionSet(real::kSdtTable),
                               real::SectionSet(real::kNitTable)};
    std::istringstream captured(files);
    for (std::string name; captured >> name;) {
      real::SectionSet& set = sets[name == "pat" ? 0 : name == "sdt" ? 1 : 2];
      std::string why;
      for (const auto& s : sectionsOf(name + ".bin")) EXPECT_TRUE(set.add(s.data(), s.size(), &why)) << why;
      EXPECT_TRUE(set.complete()) << name;
    }
    EXPECT_EQ(line(real::readTables(sets[0], sets[1], sets[2])), tables) << files;
  }
}

TEST(TunerTables, DamagedSectionsAreRefusedWithAReasonAndWholeOnesCompleteTheirTable) {
  const std::vector<uint8_t> good = sectionsOf("sdt.bin").at(0);
  std::vector<uint8_t> flipped = good, cut(good.begin(), good.end() - 1), longer = good, otherTable = good,
                       pastLast = good, first = good, second = good, newer = good;
  flipped[20] ^= 0x01;
  longer.push_back(0);
  otherTable[0] = real::kNitTable;
  pastLast[6] = 2;           // section 2 of 0..0
  first[7] = second[7] = 1;  // sections 0 and 1 of 0..1
  second[6] = 1;
  newer[5] = uint8_t((newer[5] & 0xc1) | (5 << 1));  // version 5
  const std::string size = " bytes is cut or too long: empty";
  // A refused section leaves the set as it was; a repeat is passed over; a
  // new version starts over.
  const std::pair<std::vector<uint8_t>, std::string> steps[] = {
      {flipped, "a section fails its CRC: empty"},
      {cut, "a section of " + std::to_string(cut.size()) + size},
      {longer, "a section of " + std::to_string(longer.size()) + size},
      {resealed(otherTable), "table 64 where 66 was wanted: empty"},
      {resealed(pastLast), "section 2 past the last, 0: empty"},
      {{0x42, 0xf0, 0x00}, "a section of 3" + size},
      {resealed(second), "taken: waiting for 2"},
      {resealed(second), "taken: waiting for 2"},
      {resealed(first), "taken: complete 2"},
      {resealed(newer), "taken: complete 1"},
  };
  real::SectionSet set(real::kSdtTable);
  for (const auto& [bytes, result] : steps) {
    std::string why;
    const std::string taken = set.add(bytes.data(), bytes.size(), &why) ? "taken" : why;
    const std::string state = set.complete() ? ": complete " : set.empty() ? ": empty" : ": waiting for ";
    EXPECT_EQ(taken + state + (set.empty() ? "" : std::to_string(set.all().size())), result);
  }
  // A file that ends inside a section says where.
  std::vector<uint8_t> twoCut = good;
  twoCut.insert(twoCut.end(), good.begin(), good.begin() + 10);
  std::vector<std::vector<uint8_t>> sections;
  std::string why;
  EXPECT_EQ(real::splitSections(twoCut, &sections, &why) ? "split" : why,
            "the section at byte " + std::to_string(good.size()) + " is cut");
}

TEST(TunerTables, NamesAreDecodedAsBroadcastAndOnlyCurrentWholeSectionsOfTheActualTablesCount) {
  const Bytes pat12 = section(real::kPatTable, std::string("\0\0\xe0\x10\0\x01\xff\xff\0\x02\xe1\0", 12));
  Bytes crcError = sdt(service(1, "X")), cut = crcError;
  crcError[12] ^= 1;
  cut.pop_back();
  const std::pair<std::vector<Bytes>, std::string> rows[] = {
      {{sdt(service(1, "Caf\xc2\x65 \xa4"))}, "4660/1 '': 1 'Café €' 'P' 1;"},  // ISO 6937 by default
      {{sdt(service(1, "\x01\xbc\xde\xe1\xda\xd2\xd0")),
        section(real::kNitTable, "\xf0\x06\x40\x04\x03\xc5\xd1\xd4")},
       "4660/1 'ΕΡΤ': 1 'Москва' 'P' 1;"},  // ISO 8859-5 and, in the NIT, 8859-7
      {{sdt(service(1, std::string("\x10\0\x02\xa3\xf3\x64\xbc", 7)))}, "4660/1 '': 1 'Łódź' 'P' 1;"},
      {{sdt(service(1, "\x15Москва A\xff"))}, "4660/1 '': 1 'Москва A\uFFFD' 'P' 1;"},  // UTF-8
      {{sdt(service(1, std::string("\x11\x04\x1c\x04\x3e\xe0\x8a\0A\xe0\x86\x04", 12)))},
       "4660/1 '': 1 'Мо A\uFFFD' 'P' 1;"},  // UCS-2, its CR/LF and emphasis, a cut character
      {{sdt(service(1, "\x86News\x87\x8aOne\x9f"))}, "4660/1 '': 1 'News One' 'P' 1;"},  // control codes
      {{sdt(service(1, "\x1f\x01\xc1\xe2"))}, "4660/1 '': 1 'SID 1' 'P' 1;"},  // compressed: unreadable
      {{pat12}, "4660/-1 '': 1 'SID 1' '' 0; 2 'SID 2' '' 0;"},  // program 1 has no PMT (0x1fff)
      {{sdt(service(1, "A"), real::kSdtTable, 0, 1), sdt(service(1, "O") + service(3, "O"), 0x46),
        sdt(service(2, "B"), real::kSdtTable, 1, 1)},
       "4660/1 '': 1 'A' 'P' 1; 2 'B' 'P' 1;"},  // two sections; SDT other ignored
      {{pat12, sdt(service(1, "N"), real::kSdtTable, 0, 0, false)},
       "4660/-1 '': 1 'SID 1' '' 0; 2 'SID 2' '' 0;"},  // next version
      {{pat12, crcError, cut}, "4660/-1 '': 1 'SID 1' '' 0; 2 'SID 2' '' 0;"},
      {{sdt(service(1, "A") + service(2, "B").substr(0, 9))}, "4660/1 '': 1 'A' 'P' 1; 2 'SID 2' '' 0;"},
  };
  for (const auto& [sections, expected] : rows) {
    real::SectionSet sets[] = {real::SectionSet(real::kPatTable), real::SectionSet(real::kSdtTable),
                               real::SectionSet(real::kNitTable)};
    std::string why;
    for (const Bytes& s : sections)
      for (auto& set : sets) set.add(s.data(), s.size(), &why);
    EXPECT_EQ(line(real::readTables(sets[0], sets[1], sets[2])), expected);
  }
}
