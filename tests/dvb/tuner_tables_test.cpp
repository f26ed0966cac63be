// The scan's table handling on sections captured from the kernel's virtual
// tuner (tests/data/vidtv, made by scripts/vidtv.sh capture), and on damaged
// and multi-section variants of them.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "box/dvb/real/tables.h"

using box::real::SectionSet;

namespace {

std::vector<uint8_t> captured(const std::string& name) {
  std::ifstream in(std::string(VANTREL_SOURCE_DIR "/tests/data/vidtv/") + name, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Fills set with the sections of a captured file; the test stops if any is refused.
void load(const std::string& name, SectionSet* set) {
  std::vector<std::vector<uint8_t>> sections;
  std::string why;
  ASSERT_TRUE(box::real::splitSections(captured(name), &sections, &why)) << name << ": " << why;
  ASSERT_FALSE(sections.empty()) << name;
  for (const auto& s : sections) ASSERT_TRUE(set->add(s.data(), s.size(), &why)) << name << ": " << why;
}

std::string dump(const box::real::TransponderTables& t) {
  std::ostringstream out;
  out << "tsid " << t.tsid << " onid " << t.onid << " network '" << t.network << "'\n";
  for (const auto& s : t.services)
    out << "  " << s.sid << " '" << s.name << "' '" << s.provider << "' type " << s.type
        << (s.scrambled ? " scrambled" : " free") << "\n";
  return out.str();
}

// CRC-32/MPEG-2 of a section without its last four bytes, written into them.
void reseal(std::vector<uint8_t>* s) {
  uint32_t crc = 0xffffffff;
  for (size_t i = 0; i + 4 < s->size(); ++i) {
    crc ^= uint32_t((*s)[i]) << 24;
    for (int b = 0; b < 8; ++b) crc = crc & 0x80000000 ? (crc << 1) ^ 0x04c11db7 : crc << 1;
  }
  for (int i = 0; i < 4; ++i) (*s)[s->size() - 4 + size_t(i)] = uint8_t(crc >> (24 - 8 * i));
}

}  // namespace

TEST(TunerTables, VidtvsMultiplexGivesBeethovenFromLinuxTvOrg) {
  SectionSet pat(box::real::kPatTable), sdt(box::real::kSdtTable), nit(box::real::kNitTable);
  ASSERT_NO_FATAL_FAILURE(load("pat.bin", &pat));
  ASSERT_NO_FATAL_FAILURE(load("sdt.bin", &sdt));
  // vidtv's NIT understates its transport loop (see the data's README): it
  // still parses, and names the network.
  ASSERT_NO_FATAL_FAILURE(load("nit.bin", &nit));
  EXPECT_TRUE(pat.complete() && sdt.complete() && nit.complete());
  // The name arrives ISO 8859-15 coded (a 0x0B prefix) and leaves as UTF-8.
  EXPECT_EQ(dump(box::real::readTables(pat, sdt, nit)),
            "tsid 16513 onid 65348 network 'LinuxTV.org'\n"
            "  2176 'Beethoven' 'LinuxTV.org' type 2 free\n");
}

TEST(TunerTables, WithoutAnSdtThePatStillNamesEachProgramByItsId) {
  SectionSet pat(box::real::kPatTable), none(box::real::kSdtTable), nit(box::real::kNitTable);
  ASSERT_NO_FATAL_FAILURE(load("pat.bin", &pat));
  EXPECT_EQ(dump(box::real::readTables(pat, none, nit)),
            "tsid 16513 onid -1 network ''\n"
            "  2176 'SID 2176' '' type 0 free\n");
  EXPECT_EQ(dump(box::real::readTables(none, none, nit)), "tsid -1 onid -1 network ''\n");
}

TEST(TunerTables, DamagedSectionsAreRefusedWithAReasonAndLeaveTheSetAsItWas) {
  std::vector<std::vector<uint8_t>> sections;
  std::string why;
  ASSERT_TRUE(box::real::splitSections(captured("sdt.bin"), &sections, &why)) << why;
  const std::vector<uint8_t> good = sections.at(0);
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    std::string reason;
  };
  std::vector<uint8_t> flipped = good, cut(good.begin(), good.end() - 1), longer = good, wrongTable = good;
  flipped[20] ^= 0x01;
  longer.push_back(0);
  wrongTable[0] = box::real::kNitTable;
  reseal(&wrongTable);
  std::vector<uint8_t> pastLast = good;
  pastLast[6] = 2;  // section 2 of 0..0
  reseal(&pastLast);
  const Case cases[] = {
      {"a flipped bit", flipped, "a section fails its CRC"},
      {"one byte short", cut, "a section of " + std::to_string(cut.size()) + " bytes is cut or too long"},
      {"a byte too many", longer,
       "a section of " + std::to_string(longer.size()) + " bytes is cut or too long"},
      {"another table", wrongTable, "table 64 where 66 was wanted"},
      {"a section past the last", pastLast, "section 2 past the last, 0"},
      {"three bytes", {0x42, 0xf0, 0x00}, "a section of 3 bytes is cut or too long"},
  };
  for (const Case& c : cases) {
    SectionSet set(box::real::kSdtTable);
    why.clear();
    EXPECT_FALSE(set.add(c.bytes.data(), c.bytes.size(), &why)) << c.what;
    EXPECT_EQ(why, c.reason) << c.what;
    EXPECT_TRUE(set.empty()) << c.what;
  }
  // A file that ends inside a section says where.
  std::vector<uint8_t> twoCut = good;
  twoCut.insert(twoCut.end(), good.begin(), good.begin() + 10);
  sections.clear();
  EXPECT_FALSE(box::real::splitSections(twoCut, &sections, &why));
  EXPECT_EQ(why, "the section at byte " + std::to_string(good.size()) + " is cut");
}

TEST(TunerTables, ATableIsCompleteOnlyWithAllItsSectionsAndANewVersionStartsOver) {
  std::vector<std::vector<uint8_t>> sections;
  std::string why;
  ASSERT_TRUE(box::real::splitSections(captured("sdt.bin"), &sections, &why)) << why;
  // The captured SDT made into sections 0 and 1 of 1, then a version 5.
  std::vector<uint8_t> first = sections.at(0), second = first, newer = first;
  first[7] = second[7] = 1;
  second[6] = 1;
  newer[5] = uint8_t((newer[5] & 0xc1) | (5 << 1));
  for (auto* s : {&first, &second, &newer}) reseal(s);
  SectionSet set(box::real::kSdtTable);
  std::string trail;
  auto add = [&](const std::vector<uint8_t>& s, const char* name) {
    EXPECT_TRUE(set.add(s.data(), s.size(), &why)) << name << ": " << why;
    trail += std::string(name) + (set.complete() ? ": complete\n" : ": waiting\n");
  };
  add(second, "section 1");
  add(second, "section 1 again");
  add(first, "section 0");
  add(newer, "version 5, one section");
  EXPECT_EQ(trail,
            "section 1: waiting\n"
            "section 1 again: waiting\n"
            "section 0: complete\n"
            "version 5, one section: complete\n");
  EXPECT_EQ(set.all().size(), 1u);
}
