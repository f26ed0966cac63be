// The scan's table handling on sections captured from the kernel's virtual
// tuner (tests/data/vidtv, made by scripts/vidtv.sh capture), and on damaged
// and multi-section variants of them.
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

}  // namespace

TEST(TunerTables, VidtvsMultiplexGivesBeethovenFromLinuxTvOrgAndThePatAloneTheProgramsIds) {
  // vidtv's NIT understates its transport loop (see the data's README): it
  // still parses, and names the network. The name arrives ISO 8859-15 coded
  // (a 0x0B prefix) and leaves as UTF-8. Without an SDT the PAT still names
  // each program by its id.
  const std::pair<const char*, const char*> cases[] = {
      {"pat sdt nit",
       "tsid 16513 onid 65348 network 'LinuxTV.org', 2176 'Beethoven' 'LinuxTV.org' type 2 free, "},
      {"pat", "tsid 16513 onid -1 network '', 2176 'SID 2176' '' type 0 free, "},
      {"", "tsid -1 onid -1 network '', "},
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
    const real::TransponderTables t = real::readTables(sets[0], sets[1], sets[2]);
    std::ostringstream out;
    out << "tsid " << t.tsid << " onid " << t.onid << " network '" << t.network << "', ";
    for (const auto& s : t.services)
      out << s.sid << " '" << s.name << "' '" << s.provider << "' type " << s.type
          << (s.scrambled ? " scrambled, " : " free, ");
    EXPECT_EQ(out.str(), tables) << files;
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
