#pragma once
// The tables a scan reads from a locked transponder (PAT, SDT actual, NIT
// actual): collecting a table's sections as the demux hands them over, and
// turning them into the services the scan reports, their names decoded from
// the bytes as sent (sitext.h).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace box::real {

constexpr uint8_t kPatTable = 0x00, kSdtTable = 0x42, kNitTable = 0x40;
constexpr uint16_t kPatPid = 0x0000, kSdtPid = 0x0011, kNitPid = 0x0010;
constexpr size_t kMaxSectionBytes = 4096;

// One table's sections (of one version) until every section is in.
class SectionSet {
 public:
  explicit SectionSet(uint8_t tableId) : table(tableId) {}
  // Takes one whole section. False, with *why, for a section that is cut,
  // fails its CRC, belongs to another table or is not yet current (a next
  // version sent ahead); such a section is dropped.
  // A section seen before is passed over; a new version starts over.
  bool add(const uint8_t* data, size_t size, std::string* why);
  bool complete() const;
  bool empty() const { return sections.empty(); }
  uint8_t tableId() const { return table; }
  const std::vector<std::vector<uint8_t>>& all() const { return sections; }

 private:
  uint8_t table;
  int version = -1, last = -1;
  std::vector<std::vector<uint8_t>> sections;  // by section number; empty: not yet in
};

// Splits bytes holding whole sections one after another (as captured into
// files) into sections; false with *why where one is cut.
bool splitSections(const std::vector<uint8_t>& bytes, std::vector<std::vector<uint8_t>>* out,
                   std::string* why);

struct TableService {
  int sid = 0;
  std::string name, provider;  // UTF-8
  int type = 0;                // the DVB service type; 0 when the SDT tells none
  bool scrambled = false;
  bool operator==(const TableService& o) const {
    return sid == o.sid && name == o.name && provider == o.provider && type == o.type &&
           scrambled == o.scrambled;
  }
};

struct TransponderTables {
  int tsid = -1, onid = -1;  // -1: no table told it
  std::string network;       // the NIT's network name
  std::vector<TableService> services;
};

// What the tables say. The SDT names the services; a program of the PAT that
// the SDT leaves out (feeds often carry no SDT) is still a service, named by
// its id. Any of the sets may be empty (its read timed out). Damaged tables
// give what could be read of them.
TransponderTables readTables(const SectionSet& pat, const SectionSet& sdt, const SectionSet& nit);

// libdvbv5's log function for the box's devices: it says
// nothing, as the box reports what goes wrong itself.
void quiet(int level, const char* format, ...);

}  // namespace box::real
