#include "box/dvb/real/tables.h"

#include <libdvbv5/desc_network_name.h>
#include <libdvbv5/desc_service.h>
#include <libdvbv5/descriptors.h>
#include <libdvbv5/dvb-fe.h>
#include <libdvbv5/nit.h>
#include <libdvbv5/pat.h>
#include <libdvbv5/sdt.h>

#include <cstdarg>
#include <map>

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

// The parsers want front-end parameters for their log and character sets
// only; one set without a device serves every parse.
dvb_v5_fe_parms* parserParms() {
  static dvb_v5_fe_parms* parms = [] {
    dvb_v5_fe_parms* p = dvb_fe_dummy();
    if (p) p->logfunc = quiet;
    return p;
  }();
  return parms;
}

// Parses every section of a set into one table (libdvbv5 appends to a table
// it is handed); the parser may change its buffer, so each gets a copy.
template <typename Table, typename Init>
Table* parse(const SectionSet& set, Init init) {
  Table* table = nullptr;
  for (const auto& s : set.all()) {
    if (s.empty()) continue;
    std::vector<uint8_t> copy = s;
    if (init(parserParms(), copy.data(), ssize_t(copy.size()), &table) < 0) break;
  }
  return table;
}

std::string text(const char* s) {
  return s ? s : "";
}

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

TransponderTables readTables(const SectionSet& patSet, const SectionSet& sdtSet, const SectionSet& nitSet) {
  TransponderTables t;
  std::map<int, TableService> bySid;  // in the order of their ids
  if (dvb_table_pat* pat = parse<dvb_table_pat>(patSet, dvb_table_pat_init)) {
    t.tsid = pat->header.id;
    dvb_pat_program_foreach(program, pat) {
      // Program 0 points at the NIT, not at a service.
      if (program->service_id != 0) bySid[program->service_id].sid = program->service_id;
    }
    dvb_table_pat_free(pat);
  }
  if (dvb_table_sdt* sdt = parse<dvb_table_sdt>(sdtSet, dvb_table_sdt_init)) {
    t.tsid = sdt->header.id;
    t.onid = sdt->network_id;
    dvb_sdt_service_foreach(service, sdt) {
      TableService& s = bySid[service->service_id];
      s.sid = service->service_id;
      s.scrambled = service->free_CA_mode;
      dvb_desc_find(struct dvb_desc_service, desc, service, service_descriptor) {
        s.name = text(desc->name);
        s.provider = text(desc->provider);
        s.type = desc->service_type;
      }
    }
    dvb_table_sdt_free(sdt);
  }
  if (dvb_table_nit* nit = parse<dvb_table_nit>(nitSet, dvb_table_nit_init)) {
    dvb_desc_find(struct dvb_desc_network_name, desc, nit, network_name_descriptor) {
      t.network = text(desc->network_name);
    }
    dvb_table_nit_free(nit);
  }
  for (auto& [sid, s] : bySid) {
    if (s.name.empty()) s.name = "SID " + std::to_string(sid);
    t.services.push_back(s);
  }
  return t;
}

}  // namespace box::real
