// The formats libdvbv5 writes right: the dvbv5 channel file and initial
// tuning data ("channel" in its names). Its writer takes a file name, so it
// writes to a temporary file beside the target, which then goes into place
// through the box's atomic write like every other file the box keeps.
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "box/export/export.h"
#include "box/gui/fileio.h"
#include "box/gui/tr.h"

#ifdef VANTREL_HAVE_DVBV5
#include <libdvbv5/dvb-file.h>
#include <libdvbv5/dvb-v5-std.h>
#endif

namespace box {

#ifdef VANTREL_HAVE_DVBV5
namespace {

fe_code_rate fecCode(int fec) {
  static const fe_code_rate codes[] = {FEC_AUTO, FEC_1_2, FEC_2_3, FEC_3_4, FEC_5_6,
                                       FEC_7_8,  FEC_8_9, FEC_3_5, FEC_4_5, FEC_9_10};
  return fec >= 0 && fec < int(std::size(codes)) ? codes[fec] : FEC_AUTO;
}

// -1 when the box does not know it: the property is then left out.
int modulationCode(const std::string& m) {
  if (m == "QPSK") return QPSK;
  if (m == "8PSK") return PSK_8;
  if (m == "16APSK") return APSK_16;
  if (m == "32APSK") return APSK_32;
  return -1;
}

// dvbv5 names run to the first ']'; control bytes would end the line.
char* entryName(const std::string& name) {
  std::string s = name;
  for (char& c : s)
    if ((unsigned char)c < 0x20 || c == 0x7f)
      c = ' ';
    else if (c == ']')
      c = ')';
  return strdup(s.c_str());
}

// The tuning values of t. Values the box does not know are left out or
// AUTO, as the dvbv5 tools read "not known"; no PIDs are stored.
dvb_entry* newEntry(const ExportTransponder& t) {
  auto* e = static_cast<dvb_entry*>(calloc(1, sizeof(dvb_entry)));
  if (!e) return nullptr;
  e->sat_number = -1;
  dvb_store_entry_prop(e, DTV_DELIVERY_SYSTEM, t.dvbs2 ? SYS_DVBS2 : SYS_DVBS);
  dvb_store_entry_prop(e, DTV_FREQUENCY, uint32_t(t.freqKHz));
  dvb_store_entry_prop(e, DTV_POLARIZATION, t.pol ? POLARIZATION_V : POLARIZATION_H);
  dvb_store_entry_prop(e, DTV_SYMBOL_RATE, uint32_t(t.srSym));
  dvb_store_entry_prop(e, DTV_INNER_FEC, fecCode(t.fec));
  if (int m = modulationCode(t.modulation); m >= 0) dvb_store_entry_prop(e, DTV_MODULATION, uint32_t(m));
  // DVB-S's roll-off is fixed at 0.35; a DVB-S2 carrier's is not known.
  dvb_store_entry_prop(e, DTV_ROLLOFF, t.dvbs2 ? ROLLOFF_AUTO : ROLLOFF_35);
  if (t.dvbs2) dvb_store_entry_prop(e, DTV_PILOT, PILOT_AUTO);
  dvb_store_entry_prop(e, DTV_INVERSION, INVERSION_AUTO);
  return e;
}

// One entry a service (dvbv5) or a transponder (scan), in order.
dvb_file* buildFile(const ChannelList& channels, ExportFormat format) {
  auto* file = static_cast<dvb_file*>(calloc(1, sizeof(dvb_file)));
  if (!file) return nullptr;
  dvb_entry** tail = &file->first_entry;
  auto add = [&](dvb_entry* e) {
    if (!e) return false;
    *tail = e;
    tail = &e->next;
    ++file->n_entries;
    return true;
  };
  if (format == ExportFormat::scan) {
    for (const ExportTransponder& t : channels.transponders)
      if (!add(newEntry(t))) return dvb_file_free(file), nullptr;
    return file;
  }
  for (const ExportService& s : channels.services) {
    dvb_entry* e = newEntry(channels.transponders[s.transponder]);
    if (!add(e)) return dvb_file_free(file), nullptr;
    e->channel = entryName(s.name);
    e->service_id = uint16_t(s.sid);
    e->network_id = uint16_t(s.onid);
    e->transport_id = uint16_t(s.tsid);
  }
  return file;
}

}  // namespace

bool formatAvailable(ExportFormat) {
  return true;
}

bool writeLibraryFormat(const ChannelList& channels, ExportFormat format, const std::string& path,
                        std::string* error) {
  dvb_file* file = buildFile(channels, format);
  if (!file) {
    *error = path + ": " + tr("out of memory");
    return false;
  }
  // Folders on the way are made, as for the formats written by the box.
  std::error_code ec;
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  if (!folder.empty()) std::filesystem::create_directories(folder, ec);
  std::string tmp = path + ".XXXXXX";
  const int fd = ::mkstemp(tmp.data());
  if (fd < 0) {
    *error = path + ": " + std::strerror(errno);
    dvb_file_free(file);
    return false;
  }
  ::close(fd);
  const int written = dvb_write_file_format(tmp.c_str(), file, SYS_DVBS,
                                            format == ExportFormat::scan ? FILE_CHANNEL : FILE_DVBV5);
  dvb_file_free(file);
  std::string text;
  bool ok = written == 0 && readWholeFile(tmp, &text, error, size_t(1) << 30);
  if (written != 0) *error = path + ": " + trf("libdvbv5 could not write the %s file", formatName(format));
  ::unlink(tmp.c_str());
  return ok && writeFileAtomic(path, text, error);
}

#else

bool formatAvailable(ExportFormat format) {
  return format == ExportFormat::vdr || format == ExportFormat::zap;
}

bool writeLibraryFormat(const ChannelList&, ExportFormat format, const std::string& path,
                        std::string* error) {
  *error = path + ": " + trf("the %s format is not available in this build", formatName(format));
  return false;
}

#endif

}  // namespace box
