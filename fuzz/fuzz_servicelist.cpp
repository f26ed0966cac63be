// Feeds arbitrary bytes to the kept service list's reader, as a list and as
// a journal: it must never crash, throw or hang; it either accepts the text
// or says what is wrong (briefly, naming the file), never both; and what it
// accepts, written again, reads back as the same entries.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "box/dvb/servicefile.h"

namespace {

// Each accepted entry, as the writer puts it.
struct Entries {
  std::vector<std::string> transponders, services;

  box::ServiceListReader reader() {
    box::ServiceListReader r;
    r.transponder = [this](const box::Satellite& s) {
      if (!box::checkTransponder(s).empty()) std::abort();
      transponders.emplace_back();
      box::appendTransponder(&transponders.back(), s);
    };
    r.service = [this](const eServiceReferenceDVB& ref, const eServiceDVB& record) {
      if (!box::checkService(ref, record).empty() || record.service_name.size() > box::kMaxNameBytes ||
          record.service_provider.size() > box::kMaxNameBytes)
        std::abort();
      services.emplace_back();
      box::appendService(&services.back(), ref, record);
    };
    return r;
  }

  std::string asList() const {
    std::string text = "{\"version\": 1, \"transponders\": [";
    for (size_t i = 0; i < transponders.size(); ++i) text += (i ? ",\n" : "") + transponders[i];
    text += "], \"services\": [";
    for (size_t i = 0; i < services.size(); ++i) text += (i ? ",\n" : "") + services[i];
    return text + "]}\n";
  }
};

void checkAnswer(bool ok, const std::string& error, const std::string& file) {
  if (ok != error.empty()) std::abort();
  if (!ok && (error.rfind(file + ": ", 0) != 0 || error.size() > 400)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  Entries first;
  std::string error;
  bool ok = box::readServiceList(text, "fuzz.json", first.reader(), &error);
  checkAnswer(ok, error, "fuzz.json");
  if (ok) {
    Entries second;
    if (!box::readServiceList(first.asList(), "again.json", second.reader(), &error)) std::abort();
    if (second.transponders != first.transponders || second.services != first.services) std::abort();
  }
  Entries journal;
  error.clear();
  ok = box::readServiceJournal(text, "fuzz.journal", journal.reader(), &error);
  checkAnswer(ok, error, "fuzz.journal");
  return 0;
}
