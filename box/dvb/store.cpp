#include "box/dvb/store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "box/dvb/band.h"
#include "box/dvb/jsonpos.h"
#include "host/dvb.h"

namespace box {
namespace {

using nlohmann::json;

json toJson(const eTransponderList& list) {
  json tps = json::array();
  for (const eTransponder& tp : list.getKnownTransponders()) {
    const auto& s = tp.satellite;
    tps.push_back({{"frequency_khz", s.frequency},
                   {"symbol_rate", s.symbol_rate},
                   {"polarisation", s.polarisation},
                   {"fec", s.fec},
                   {"orbital_position", s.orbital_position},
                   {"inversion", s.inversion}});
  }
  json services = json::array();
  for (const auto& [ref, record] : list.getServices()) {
    json data = json::array();
    for (int d : ref.data) data.push_back(d);
    services.push_back({{"data", data},
                        {"flags", ref.flags},
                        {"name", record.service_name},
                        {"provider", record.service_provider},
                        {"service_type", record.service_type},
                        {"scrambled", record.scrambled}});
  }
  return {{"version", 1}, {"transponders", tps}, {"services", services}};
}

// Reads a whole number field; throws with the field's path.
int intField(const json& obj, const std::string& path, const char* key) {
  if (!obj.contains(key) || !obj[key].is_number_integer())
    throw std::runtime_error(path + "." + key + ": missing or not a whole number");
  return obj[key].get<int>();
}

std::string textField(const json& obj, const std::string& path, const char* key) {
  if (!obj.contains(key) || !obj[key].is_string())
    throw std::runtime_error(path + "." + key + ": missing or not a string");
  return obj[key].get<std::string>();
}

}  // namespace

bool loadServiceList(const std::string& path, eTransponderList* list, std::string* error) {
  std::string text;
  struct stat st;
  if (stat(path.c_str(), &st) != 0 && errno == ENOENT) return true;
  if (!readWholeFile(path, &text, error, kMaxServiceListBytes)) return false;
  json root = json::parse(text, nullptr, false);
  if (root.is_discarded()) {
    if (error) *error = path + ": not valid JSON (remove it to start with an empty service list)";
    return false;
  }
  JsonPositions positions(text);
  std::string where;
  try {
    if (!root.is_object() || !root.contains("transponders") || !root["transponders"].is_array() ||
        !root.contains("services") || !root["services"].is_array())
      throw std::runtime_error(": needs the arrays \"transponders\" and \"services\"");
    std::vector<eTransponder> tps;
    const json& jt = root["transponders"];
    for (size_t i = 0; i < jt.size(); ++i) {
      where = "transponders[" + std::to_string(i) + "]";
      eTransponder tp(*list);
      tp.satellite.valid = true;
      tp.satellite.frequency = intField(jt[i], where, "frequency_khz");
      tp.satellite.symbol_rate = intField(jt[i], where, "symbol_rate");
      tp.satellite.polarisation = intField(jt[i], where, "polarisation");
      tp.satellite.fec = intField(jt[i], where, "fec");
      tp.satellite.orbital_position = intField(jt[i], where, "orbital_position");
      tp.satellite.inversion = intField(jt[i], where, "inversion");
      tps.push_back(tp);
    }
    std::vector<std::pair<eServiceReferenceDVB, eServiceDVB>> services;
    const json& js = root["services"];
    for (size_t i = 0; i < js.size(); ++i) {
      where = "services[" + std::to_string(i) + "]";
      const json& s = js[i];
      if (!s.is_object() || !s.contains("data") || !s["data"].is_array() || s["data"].size() != 8)
        throw std::runtime_error(where + ".data: must be an array of 8 whole numbers");
      eServiceReferenceDVB ref;
      for (int d = 0; d < 8; ++d) {
        if (!s["data"][size_t(d)].is_number_integer())
          throw std::runtime_error(where + ".data: must be an array of 8 whole numbers");
        ref.data[d] = s["data"][size_t(d)].get<int>();
      }
      ref.flags = intField(s, where, "flags");
      eServiceDVB record;
      record.service_name = textField(s, where, "name");
      record.service_provider = textField(s, where, "provider");
      record.service_type = intField(s, where, "service_type");
      if (!s.contains("scrambled") || !s["scrambled"].is_boolean())
        throw std::runtime_error(where + ".scrambled: missing or not true/false");
      record.scrambled = s["scrambled"].get<bool>();
      ref.descr = record.service_name;
      services.emplace_back(ref, record);
    }
    // Only a list read completely reaches the transponder list.
    for (const eTransponder& tp : tps) list->addTransponder(tp);
    for (const auto& [ref, record] : services) list->addService(ref, record);
  } catch (const std::exception& e) {
    std::string what = e.what();
    if (error)
      *error = path + ": line " + std::to_string(positions.line(where)) + ": " +
               (what.rfind(":", 0) == 0 ? "top level" + what : what);
    return false;
  }
  return true;
}

bool saveServiceList(const std::string& path, const eTransponderList& list, std::string* error) {
  return writeFileAtomic(path, toJson(list).dump(2) + "\n", error);
}

}  // namespace box
