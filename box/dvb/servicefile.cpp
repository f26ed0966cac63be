#include "box/dvb/servicefile.h"

#include <charconv>
#include <climits>
#include <cstdint>

#include "box/base/clock.h"
#include "box/base/fileio.h"
#include "box/base/jsonpos.h"
#include "box/base/tr.h"
#include "box/dvb/delivery.h"
#include "box/dvb/seen.h"

namespace box {
namespace {

using nlohmann::json;

constexpr int kMaxDepth = 32;
constexpr size_t kQuotedPath = 100;

struct IntField {
  const char* key;
  int64_t lo, hi;
  int Satellite::*member;
};

// What a transponder's values can be: the box tunes nothing else.
const IntField kTransponderFields[] = {
    {"frequency_khz", 0, INT_MAX, &Satellite::frequency},
    {"symbol_rate", 0, INT_MAX, &Satellite::symbol_rate},
    {"polarisation", 0, 1, &Satellite::polarisation},
    {"fec", 0, 9, &Satellite::fec},
    {"orbital_position", -1800, 1800, &Satellite::orbital_position},
    {"inversion", 0, 2, &Satellite::inversion},
};
constexpr int64_t kMaxServiceType = 255;  // one byte in DVB
// A reference's service id, transport stream id and original network id
// (data[1..3]) are 16 bits in DVB; the rest of data is any int.
constexpr int kFirstId = 1, kLastId = 3;
constexpr int64_t kMaxId = 65535;

int64_t dataLow(int i) {
  return i >= kFirstId && i <= kLastId ? 0 : INT_MIN;
}
int64_t dataHigh(int i) {
  return i >= kFirstId && i <= kLastId ? kMaxId : INT_MAX;
}

std::string rangeText(int64_t lo, int64_t hi) {
  return trf("must be between %lld and %lld", (long long)lo, (long long)hi);
}

// A fault inside one entry: its path below the entry, and what is wrong.
struct Fault {
  std::string path, what;
};

// An int from a JSON value, refused unless whole and within lo..hi.
bool wholeValue(const json& v, int64_t lo, int64_t hi, int* out, std::string* what) {
  if (!v.is_number_integer()) {
    *what = tr("must be a whole number");
    return false;
  }
  bool inRange = v.is_number_unsigned() ? v.get<uint64_t>() <= uint64_t(hi)
                                        : v.get<int64_t>() >= lo && v.get<int64_t>() <= hi;
  if (!inRange) {
    *what = rangeText(lo, hi);
    return false;
  }
  *out = int(v.get<int64_t>());
  return true;
}

bool wholeNumber(const json& obj, const char* key, int64_t lo, int64_t hi, int* out, Fault* fault) {
  auto it = obj.find(key);
  fault->path = key;
  if (it == obj.end()) {
    fault->what = tr("missing");
    return false;
  }
  return wholeValue(*it, lo, hi, out, &fault->what);
}

bool name(const json& obj, const char* key, std::string* out, Fault* fault) {
  auto it = obj.find(key);
  if (it == obj.end() || !it->is_string()) {
    *fault = {key, it == obj.end() ? tr("missing") : tr("must be a string")};
    return false;
  }
  const std::string& s = it->get_ref<const std::string&>();
  if (s.size() > kMaxNameBytes) {
    *fault = {key, trf("must be at most %zu bytes", size_t(kMaxNameBytes))};
    return false;
  }
  *out = s;
  return true;
}

// Optional, as lists written before the box kept times have none: when the
// entry was first and last seen, and by how many runs.
bool seenOf(const json& e, Seen* seen, Fault* fault) {
  for (auto [key, out] : {std::pair{"first_seen", &seen->first}, std::pair{"last_seen", &seen->last}}) {
    auto it = e.find(key);
    if (it == e.end()) continue;
    if (!it->is_string() || !parseUtc(it->get_ref<const std::string&>(), out)) {
      *fault = {key, trf("must be a UTC time such as %s", "\"2026-12-08T21:04:05Z\"")};
      return false;
    }
  }
  if (e.contains("times_seen") && !wholeNumber(e, "times_seen", 0, INT_MAX, &seen->times, fault))
    return false;
  return true;
}

void appendSeen(std::string* out, const Seen& seen) {
  if (!seen.known()) return;
  if (seen.first) out->append(", \"first_seen\": \"").append(utcText(seen.first)).push_back('"');
  if (seen.last) out->append(", \"last_seen\": \"").append(utcText(seen.last)).push_back('"');
  out->append(", \"times_seen\": ").append(std::to_string(seen.times));
}

bool toTransponder(const json& e, Satellite* s, Fault* fault) {
  if (!e.is_object()) {
    *fault = {"", tr("must be an object")};
    return false;
  }
  s->valid = true;
  for (const IntField& f : kTransponderFields)
    if (!wholeNumber(e, f.key, f.lo, f.hi, &(s->*f.member), fault)) return false;
  Seen seen;
  if (!seenOf(e, &seen, fault)) return false;
  noteTransponderSeen(*s, seen);
  // Optional: what a real tuner locked it with.
  DeliverySystem d;
  auto system = e.find("system");
  if (system == e.end()) return true;
  if (!system->is_string() || !validSystem(d.system = system->get<std::string>())) {
    *fault = {"system", trf("must be %s", trf("%s or %s", "\"DVB-S\"", "\"DVB-S2\"").c_str())};
    return false;
  }
  auto modulation = e.find("modulation");
  if (modulation != e.end() &&
      (!modulation->is_string() || !validModulation(d.modulation = modulation->get<std::string>()))) {
    *fault = {"modulation",
              trf("must be %s", trf("%s or %s", "\"QPSK\", \"8PSK\", \"16APSK\"", "\"32APSK\"").c_str())};
    return false;
  }
  noteDeliverySystem(*s, d);
  return true;
}

bool toService(const json& e, eServiceReferenceDVB* ref, eServiceDVB* record, Fault* fault) {
  if (!e.is_object()) {
    *fault = {"", tr("must be an object")};
    return false;
  }
  auto data = e.find("data");
  if (data == e.end() || !data->is_array() || data->size() != 8) {
    *fault = {"data", tr("must be an array of 8 whole numbers")};
    return false;
  }
  for (size_t i = 0; i < 8; ++i) {
    if (!wholeValue((*data)[i], dataLow(int(i)), dataHigh(int(i)), &ref->data[i], &fault->what)) {
      fault->path = "data[" + std::to_string(i) + "]";
      return false;
    }
  }
  if (!wholeNumber(e, "flags", INT_MIN, INT_MAX, &ref->flags, fault) ||
      !name(e, "name", &record->service_name, fault) ||
      !name(e, "provider", &record->service_provider, fault) ||
      !wholeNumber(e, "service_type", 0, kMaxServiceType, &record->service_type, fault))
    return false;
  auto scrambled = e.find("scrambled");
  if (scrambled == e.end() || !scrambled->is_boolean()) {
    *fault = {"scrambled", scrambled == e.end() ? tr("missing") : tr("must be true or false")};
    return false;
  }
  record->scrambled = scrambled->get<bool>();
  ref->descr = record->service_name;
  Seen seen;
  if (!seenOf(e, &seen, fault)) return false;
  noteServiceSeen(*ref, seen);
  return true;
}

// "FILE: line L: PATH: what", the line found below the entry's start.
std::string entryFault(std::string_view text, const std::string& fileName, int firstLine, size_t offset,
                       const std::string& entryPath, const Fault& fault) {
  int line = 0, column = 0;
  lineAndColumn(text, offset, &line, &column);
  if (!fault.path.empty())
    line += JsonPositions(text.substr(std::min(offset, text.size()))).line(fault.path) - 1;
  std::string path = fault.path.empty() ? entryPath : entryPath + "." + fault.path;
  return trf("%s: line %d: %s: %s", fileName.c_str(), line + firstLine - 1,
             printable(path, kQuotedPath).c_str(), fault.what.c_str());
}

// One list's text (a file, or a journal line starting at firstLine).
bool readEntries(std::string_view text, const std::string& fileName, int firstLine,
                 const ServiceListReader& reader, std::string* error) {
  JsonReadOptions options;
  options.maxDepth = kMaxDepth;
  options.streamDepth = 2;
  options.firstLine = firstLine;
  options.onElement = [&](const std::string& array, size_t index, json& e, size_t offset,
                          std::string* message) {
    const bool tps = array == "transponders";
    if (!tps && array != "services") return true;  // a newer box's: passed over
    const std::string path = array + "[" + std::to_string(index) + "]";
    Fault fault;
    if (index >= (tps ? kMaxKeptTransponders : kMaxKeptServices)) {
      fault.what =
          tps ? trf("more than %zu transponders, the most the box keeps", size_t(kMaxKeptTransponders))
              : trf("more than %zu services, the most the box keeps", size_t(kMaxKeptServices));
    } else if (tps) {
      Satellite s;
      if (toTransponder(e, &s, &fault)) {
        reader.transponder(s);
        return true;
      }
    } else {
      eServiceReferenceDVB ref;
      eServiceDVB record;
      if (toService(e, &ref, &record, &fault)) {
        reader.service(ref, record);
        return true;
      }
    }
    *message = entryFault(text, fileName, firstLine, offset, path, fault);
    return false;
  };
  json root;
  if (!readJson(text, fileName, options, &root, error)) return false;
  auto topFault = [&](const std::string& path, const std::string& what) {
    if (error)
      *error = trf("%s: line %d: %s: %s", fileName.c_str(), firstLine - 1 + JsonPositions(text).line(path),
                   path == "top level" ? tr("top level") : path.c_str(), what.c_str());
    return false;
  };
  if (!root.is_object()) return topFault("top level", tr("must be an object"));
  for (const char* key : {"transponders", "services"}) {
    auto it = root.find(key);
    if (it == root.end()) return topFault(key, tr("missing"));
    if (!it->is_array()) return topFault(key, tr("must be an array"));
  }
  auto version = root.find("version");
  if (version != root.end() && !(version->is_number_integer() && version->get<int64_t>() == 1))
    return topFault("version", tr("must be 1, the only version this box reads"));
  return true;
}

// A JSON string of at most kMaxNameBytes once read back.
void appendName(std::string* out, std::string_view s) {
  static const char kHex[] = "0123456789abcdef";
  out->push_back('"');
  size_t kept = 0;
  for (size_t i = 0; i < s.size();) {
    size_t n = utf8Length(s, i);
    std::string_view piece = n ? s.substr(i, n) : std::string_view("\xEF\xBF\xBD");
    if (kept + piece.size() > kMaxNameBytes) break;
    kept += piece.size();
    i += n ? n : 1;
    unsigned char c = piece[0];
    if (c == '"' || c == '\\') {
      out->push_back('\\');
      out->push_back(char(c));
    } else if (c < 0x20) {
      out->append("\\u00");
      out->push_back(kHex[c >> 4]);
      out->push_back(kHex[c & 15]);
    } else {
      out->append(piece);
    }
  }
  out->push_back('"');
}

void appendInt(std::string* out, int v) {
  char buf[16];
  auto end = std::to_chars(buf, buf + sizeof buf, v).ptr;
  out->append(buf, size_t(end - buf));
}

}  // namespace

bool readServiceList(std::string_view text, const std::string& fileName, const ServiceListReader& reader,
                     std::string* error) {
  return readEntries(withoutBom(text), fileName, 1, reader, error);
}

bool readServiceJournal(std::string_view text, const std::string& fileName, const ServiceListReader& reader,
                        std::string* error) {
  int lineNo = 1;
  for (size_t pos = 0; pos < text.size(); ++lineNo) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) break;  // cut short while it was written
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    if (line.find_first_not_of(" \t\r") == std::string_view::npos) continue;
    if (!readEntries(line, fileName, lineNo, reader, error)) return false;
  }
  return true;
}

void appendTransponder(std::string* out, const Satellite& s) {
  const char* sep = "{\"";
  for (const IntField& f : kTransponderFields) {
    out->append(sep).append(f.key).append("\": ");
    appendInt(out, s.*f.member);
    sep = ", \"";
  }
  // Only values the reader takes back are written.
  if (const DeliverySystem* d = deliverySystem(s); d && validSystem(d->system)) {
    out->append(", \"system\": \"").append(d->system).push_back('"');
    if (!d->modulation.empty() && validModulation(d->modulation))
      out->append(", \"modulation\": \"").append(d->modulation).push_back('"');
  }
  appendSeen(out, transponderSeen(s));
  out->push_back('}');
}

void appendService(std::string* out, const eServiceReferenceDVB& ref, const eServiceDVB& record) {
  out->append("{\"data\": [");
  for (int i = 0; i < 8; ++i) {
    if (i) out->append(", ");
    appendInt(out, ref.data[i]);
  }
  out->append("], \"flags\": ");
  appendInt(out, ref.flags);
  out->append(", \"name\": ");
  appendName(out, record.service_name);
  out->append(", \"provider\": ");
  appendName(out, record.service_provider);
  out->append(", \"service_type\": ");
  appendInt(out, record.service_type);
  out->append(record.scrambled ? ", \"scrambled\": true" : ", \"scrambled\": false");
  appendSeen(out, serviceSeen(ref));
  out->push_back('}');
}

std::string checkTransponder(const Satellite& s) {
  for (const IntField& f : kTransponderFields)
    if (s.*f.member < f.lo || s.*f.member > f.hi) return std::string(f.key) + ": " + rangeText(f.lo, f.hi);
  return "";
}

std::string checkService(const eServiceReferenceDVB& ref, const eServiceDVB& record) {
  for (int i = kFirstId; i <= kLastId; ++i)
    if (ref.data[i] < 0 || ref.data[i] > kMaxId)
      return "data[" + std::to_string(i) + "]: " + rangeText(0, kMaxId);
  if (record.service_type < 0 || record.service_type > kMaxServiceType)
    return "service_type: " + rangeText(0, kMaxServiceType);
  return "";
}

}  // namespace box
