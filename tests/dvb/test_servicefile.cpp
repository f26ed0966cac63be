// The kept service list's text: every fault named with its file, line and
// path; whatever the list holds written so that it reads back the same; the
// format an older box wrote still read; journal lines cut short passed over.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "box/dvb/servicefile.h"

namespace {

const char* kList = R"({"version": 1,
 "transponders": [
  {"frequency_khz": 11000000, "symbol_rate": 27500000, "polarisation": 0, "fec": 3, "orbital_position": 130, "inversion": 0}],
 "services": [
  {"data": [1, 1, 1, 1, 130, 11000, 0, 0], "flags": 0, "name": "Uno", "provider": "P1", "service_type": 1, "scrambled": false},
  {"data": [1, 2, 1, 1, 130, 11000, 0, 0], "flags": 0, "name": "Due", "provider": "P2", "service_type": 2, "scrambled": true}]}
)";

const std::string kFile = "kept/services.json";

std::string listWith(const std::string& from, const std::string& to) {
  std::string s = kList;
  size_t at = s.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) s.replace(at, from.size(), to);
  return s;
}

// What a reader collects, one line per entry.
struct Collected {
  std::vector<std::string> lines;
  box::ServiceListReader reader() {
    box::ServiceListReader r;
    r.transponder = [this](const box::Satellite& s) {
      std::string line;
      box::appendTransponder(&line, s);
      lines.push_back(line);
    };
    r.service = [this](const eServiceReferenceDVB& ref, const eServiceDVB& record) {
      std::string line;
      box::appendService(&line, ref, record);
      lines.push_back(line);
    };
    return r;
  }
};

std::string readError(const std::string& text) {
  Collected c;
  std::string error;
  EXPECT_FALSE(box::readServiceList(text, kFile, c.reader(), &error)) << "accepted: " << text.substr(0, 200);
  return error;
}

}  // namespace

TEST(ServiceFile, EachFaultIsNamedWithFileLineAndPath) {
  struct Case {
    std::string text, message;
  };
  const std::string deep = R"({"version": 1, "x": )" + std::string(50000, '[') + std::string(50000, ']') +
                           R"(, "transponders": [], "services": []})";
  const std::string open =
      R"({"version": 1, "transponders": [], "services": [{"name": ")" + std::string(60000, 'a');
  const Case cases[] = {
      {listWith("11000000", "99999999999"),
       "line 3: transponders[0].frequency_khz: must be between 0 and 2147483647"},
      {listWith("\"polarisation\": 0", "\"polarisation\": 2"),
       "line 3: transponders[0].polarisation: must be between 0 and 1"},
      {listWith("\"fec\": 3", "\"fec\": \"3\""), "line 3: transponders[0].fec: must be a whole number"},
      {listWith("\"fec\": 3", "\"fec\": 3, \"first_seen\": \"2026-02-30T00:00:00Z\""),
       "line 3: transponders[0].first_seen: must be a UTC time such as \"2026-12-08T21:04:05Z\""},
      {listWith("\"P2\"", "\"P2\", \"last_seen\": \"2026-12-08 21:04:05\""),
       "line 6: services[1].last_seen: must be a UTC time such as \"2026-12-08T21:04:05Z\""},
      {listWith("\"P2\"", "\"P2\", \"times_seen\": -1"),
       "line 6: services[1].times_seen: must be between 0 and 2147483647"},
      {listWith("27500000", "2.75e7"), "line 3: transponders[0].symbol_rate: must be a whole number"},
      {listWith("\"orbital_position\": 130", "\"orbital_position\": 1801"),
       "line 3: transponders[0].orbital_position: must be between -1800 and 1800"},
      {listWith(", \"inversion\": 0", ""), "line 3: transponders[0].inversion: missing"},
      {listWith("[1, 1, 1, 1, 130, 11000, 0, 0]", "[1, 1, 1, 130, 11000, 0, 0]"),
       "line 5: services[0].data: must be an array of 8 whole numbers"},
      {listWith("[1, 2, 1, 1, 130", "[1, 2, 1, 1, 4294967296"),
       "line 6: services[1].data[4]: must be between -2147483648 and 2147483647"},
      // Service, transport stream and original network ids are 16 bits.
      {listWith("[1, 2, 1, 1, 130", "[1, 65536, 1, 1, 130"),
       "line 6: services[1].data[1]: must be between 0 and 65535"},
      {listWith("[1, 2, 1, 1, 130", "[1, 2, -1, 1, 130"),
       "line 6: services[1].data[2]: must be between 0 and 65535"},
      {listWith("[1, 2, 1, 1, 130", "[1, 2, 1, 4294967296, 130"),
       "line 6: services[1].data[3]: must be between 0 and 65535"},
      {listWith("\"flags\": 0, \"name\": \"Due\"", "\"flags\": -2147483649, \"name\": \"Due\""),
       "line 6: services[1].flags: must be between -2147483648 and 2147483647"},
      {listWith("\"Uno\"", "\"" + std::string(256, 'x') + "\""),
       "line 5: services[0].name: must be at most 255 bytes"},
      {listWith("\"P2\"", "5"), "line 6: services[1].provider: must be a string"},
      {listWith("\"service_type\": 2", "\"service_type\": 256"),
       "line 6: services[1].service_type: must be between 0 and 255"},
      {listWith("\"scrambled\": true", "\"scrambled\": 1"),
       "line 6: services[1].scrambled: must be true or false"},
      {listWith(
           R"({"data": [1, 1, 1, 1, 130, 11000, 0, 0], "flags": 0, "name": "Uno", "provider": "P1", "service_type": 1, "scrambled": false})",
           "5"),
       "line 5: services[0]: must be an object"},
      {listWith("\"version\": 1", "\"version\": 2"),
       "line 1: version: must be 1, the only version this box reads"},
      {R"({"transponders": []})", "line 1: services: missing"},
      {R"({"transponders": [], "services": {}})", "line 1: services: must be an array"},
      // 50 000 arrays nested in an unknown key once took gigabytes and the stack.
      {deep, "line 1, column 52: nested more than 32 levels deep"},
      // Long strings are refused before parsing, which would copy them over and over.
      {open + std::string(5 << 20, 'a'), "line 1, column 58: a string longer than 65536 bytes"},
      {"{\"version\": 1, \"x\": \"\\\"" + std::string(65534, 'b') + "\", \"y\": " + std::string(65537, '9') +
           "}",
       "line 1, column 65566: a value longer than 65536 bytes"},
  };
  for (const Case& c : cases) EXPECT_EQ(readError(c.text), kFile + ": " + c.message);
}

TEST(ServiceFile, WhatTheListHoldsIsWrittenSoThatItReadsBackTheSame) {
  struct Entry {
    std::vector<int> data;
    int flags, type;
    bool scrambled;
    std::string name, provider, nameBack = "", providerBack = "";  // "": read back as written
  };
  // Not UTF-8, and longer than a name can be: as close as the reader takes.
  const std::string x254(254, 'x');
  const Entry entries[] = {
      {{INT_MIN, 65535, 0, 65535, -1800, INT_MAX, 7, -1}, INT_MIN, 0, true, "Quote \" back \\ slash", ""},
      {{1, 2, 3, 4, 5, 6, 7, 8}, INT_MAX, 255, false, "Ctrl \n\t\x01 é € 😀", std::string(255, 'p')},
      {{}, 0, 12, false, "bad \xFF byte", x254 + "é", "bad \xEF\xBF\xBD byte", x254}};
  box::Satellite tp;
  tp.frequency = INT_MAX;
  tp.symbol_rate = 0;
  tp.polarisation = 1;
  tp.fec = 9;
  tp.orbital_position = -1800;
  tp.inversion = 2;
  std::string text = "{\"version\": 1, \"transponders\": [", want, out, error;
  box::appendTransponder(&text, tp);
  box::appendTransponder(&want, tp);
  text += "], \"services\": [";
  for (const Entry& e : entries)
    for (bool back : {false, true}) {
      const bool changed = back && !e.nameBack.empty();
      eServiceReferenceDVB ref;
      std::copy(e.data.begin(), e.data.end(), ref.data);
      ref.flags = e.flags;
      eServiceDVB record;
      record.service_name = ref.descr = changed ? e.nameBack : e.name;
      record.service_provider = changed ? e.providerBack : e.provider;
      record.service_type = e.type;
      record.scrambled = e.scrambled;
      box::appendService(back ? &want : &text, ref, record);
      *(back ? &want : &text) += back ? " " + ref.descr : ",";
    }
  text.back() = ']';
  box::ServiceListReader reader{[&](const box::Satellite& s) { box::appendTransponder(&out, s); },
                                [&](const eServiceReferenceDVB& r, const eServiceDVB& s) {
                                  box::appendService(&out, r, s);
                                  out += " " + r.descr;
                                }};
  ASSERT_TRUE(box::readServiceList(text + "}", kFile, reader, &error)) << error;
  EXPECT_EQ(out, want);
}

TEST(ServiceFile, AListAnOlderBoxWroteIsRead) {
  // Pretty-printed, keys sorted (the services first), with a byte order mark an editor added.
  nlohmann::json old = nlohmann::json::parse(kList);
  Collected c, want;
  std::string error;
  ASSERT_TRUE(box::readServiceList("\xEF\xBB\xBF" + old.dump(2) + "\n", kFile, c.reader(), &error)) << error;
  ASSERT_TRUE(box::readServiceList(kList, kFile, want.reader(), &error)) << error;
  std::rotate(want.lines.begin(), want.lines.begin() + 1, want.lines.end());
  EXPECT_EQ(c.lines, want.lines);
  // A fault in it names the line of the key itself.
  old["services"][0]["flags"] = 1e10;
  EXPECT_EQ(readError(old.dump(2)), kFile + ": line 14: services[0].flags: must be a whole number");
}

TEST(ServiceFile, JournalLinesAreReadInOrderAndALineCutShortIsPassedOver) {
  const std::string tp =
      R"({"frequency_khz": 11000000, "symbol_rate": 27500000, "polarisation": 0, "fec": 3, "orbital_position": 130, "inversion": 0})";
  const std::string uno =
      R"({"data": [1, 1, 1, 1, 130, 11000, 0, 0], "flags": 0, "name": "Uno", "provider": "P1", "service_type": 1, "scrambled": false})";
  const std::string journal = "{\"transponders\": [" + tp + "], \"services\": []}\n\n" +
                              "{\"transponders\": [], \"services\": [" + uno + "]}\n" +
                              "{\"transponders\": [], \"services\": [{\"data\": [1, 2";
  Collected c;
  std::string error;
  ASSERT_TRUE(box::readServiceJournal(journal, kFile + ".journal", c.reader(), &error)) << error;
  EXPECT_EQ(c.lines, (std::vector<std::string>{tp, uno}));
  // A fault is named with the line in the journal, blank lines counted.
  EXPECT_FALSE(
      box::readServiceJournal("\n\n{\"transponders\": [], \"services\": [}\n", "j", c.reader(), &error));
  EXPECT_EQ(error.substr(0, error.find("; expected")), "j: line 3, column 35: syntax error: unexpected '}'");
}
