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
  const struct {
    bool pat, sdt, nit;
    const char* tables;
  } cases[] = {
      {true, true, true,
       "tsid 16513 onid 65348 network 'LinuxTV.org'\n  2176 'Beethoven' 'LinuxTV.org' type 2 free\n"},
      {true, false, false, "tsid 16513 onid -1 network ''\n  2176 'SID 2176' '' type 0 free\n"},
      {false, false, false, "tsid -1 onid -1 network ''\n"},
  };
  for (const auto& c : cases) {
    real::SectionSet pat(real::kPatTable), sdt(real::kSdtTable), nit(real::kNitTable);
    std::string why;
    for (auto [set, name, wanted] :
         {std::make_tuple(&pat, "pat.bin", c.pat), std::make_tuple(&sdt, "sdt.bin", c.sdt),
          std::make_tuple(&nit, "nit.bin", c.nit)})
      for (const auto& s : wanted ? sectionsOf(name) : std::vector<std::vector<uint8_t>>{}) {
        EXPECT_TRUE(set->add(s.data(), s.size(), &why)) << name << ": " << why;
        EXPECT_TRUE(set->complete()) << name;
      }
    const real::TransponderTables t = real::readTables(pat, sdt, nit);
    std::ostringstream out;
    out << "tsid " << t.tsid << " onid " << t.onid << " network '" << t.network << "'\n";
    for (const auto& s : t.services)
      out << "  " << s.sid << " '" << s.name << "' '" << s.provider << "' type " << s.type
          << (s.scrambled ? " scrambled" : " free") << "\n";
    EXPECT_EQ(out.str(), c.tables);
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
  const std::string size = " bytes is cut or too long";
  // A refused section leaves the set as it was; a repeat is passed over; a
  // new version starts over.
  const struct {
    const char* what;
    std::vector<uint8_t> bytes;
    std::string result;
  } steps[] = {
      {"a flipped bit", flipped, "a section fails its CRC: empty"},
      {"one byte short", cut, "a section of " + std::to_string(cut.size()) + size + ": empty"},
      {"a byte too many", longer, "a section of " + std::to_string(longer.size()) + size + ": empty"},
      {"another table", resealed(otherTable), "table 64 where 66 was wanted: empty"},
      {"a section past the last", resealed(pastLast), "section 2 past the last, 0: empty"},
      {"three bytes", {0x42, 0xf0, 0x00}, "a section of 3" + size + ": empty"},
      {"section 1", resealed(second), "taken: waiting"},
      {"section 1 again", resealed(second), "taken: waiting"},
      {"section 0", resealed(first), "taken: complete"},
      {"version 5, one section", resealed(newer), "taken: complete"},
  };
  real::SectionSet set(real::kSdtTable);
  for (const auto& s : steps) {
    std::string why;
    const std::string taken = set.add(s.bytes.data(), s.bytes.size(), &why) ? "taken" : why;
    EXPECT_EQ(taken + (set.empty()      ? ": empty"
                       : set.complete() ? ": complete"
                                        : ": waiting"),
              s.result)
        << s.what;
  }
  EXPECT_EQ(set.all().size(), 1u);
  // A file that ends inside a section says where.
  std::vector<uint8_t> twoCut = good;
  twoCut.insert(twoCut.end(), good.begin(), good.begin() + 10);
  std::vector<std::vector<uint8_t>> sections;
  std::string why;
  EXPECT_FALSE(real::splitSections(twoCut, &sections, &why));
  EXPECT_EQ(why, "the section at byte " + std::to_string(good.size()) + " is cut");
}
