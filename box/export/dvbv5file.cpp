// The formats libdvbv5 writes right: the dvbv5 channel file and initial
// tuning data ("channel" in its names). Its writer takes a file name and
// does not report a failed write, so it never writes to the disk: it writes
// into memory (a memfd, named through /proc), its text is read back and
// checked, and the whole goes into place through the box's atomic write,
// which checks every write, like every other file the box keeps. Its
// entries are large (kilobytes each): they are made and written a chunk at
// a time, so that memory follows the text, not the number of services.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "box/base/fileio.h"
#include "box/base/tr.h"
#include "box/export/export.h"

#ifdef VANTREL_HAVE_DVBV5
#include <libdvbv5/dvb-file.h>
#include <libdvbv5/dvb-v5-std.h>
#endif

namespace box {

#ifdef VANTREL_HAVE_DVBV5
namespace {

constexpr size_t kChunkEntries = 1000;

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

// dvbv5 names run to the first ']'.
char* entryName(std::string name) {
  std::replace(name.begin(), name.end(), ']', ')');
  return strdup(name.c_str());
}

// The tuning values of t. Values the box does not know are left out or
// AUTO, as the dvbv5 tools read "not known"; no PIDs are stored. Neither
// format has a key for conditional access: a scrambled service is written
// as a free one (the CSV and VDR's file say which are scrambled).
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

// Entries [from, to): one a service (dvbv5) or a transponder (scan), in order.
dvb_file* buildFile(const ChannelList& channels, ExportFormat format, size_t from, size_t to) {
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
  for (size_t i = from; i < to; ++i) {
    if (format == ExportFormat::scan) {
      if (!add(newEntry(channels.transponders[i]))) return dvb_file_free(file), nullptr;
      continue;
    }
    const ExportService& s = channels.services[i];
    dvb_entry* e = newEntry(channels.transponders[s.transponder]);
    if (!add(e)) return dvb_file_free(file), nullptr;
    e->channel = entryName(exportName(s));
    e->service_id = uint16_t(s.sid);
    e->network_id = uint16_t(s.onid);
    e->transport_id = uint16_t(s.tsid);
  }
  return file;
}

// Reads all of fd (from its start) onto the end of *text.
bool appendAll(int fd, std::string* text) {
  const off_t size = ::lseek(fd, 0, SEEK_END);
  if (size < 0) return false;
  const size_t start = text->size();
  text->resize(start + size_t(size));
  for (size_t done = 0; done < size_t(size);) {
    const ssize_t n = ::pread(fd, &(*text)[start + done], size_t(size) - done, off_t(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

// Whether a chunk of the library's text holds its n entries whole: a dvbv5
// entry is a "[name]" line and its values, ending in a blank line; a scan
// entry is one line. Comment lines at the start are a header (its length in
// *header).
bool whole(std::string_view text, ExportFormat format, size_t n, size_t* header) {
  *header = 0;
  for (size_t end; *header < text.size() && text[*header] == '#'; *header = end + 1)
    if ((end = text.find('\n', *header)) == std::string_view::npos) return false;
  size_t count = 0;
  for (size_t line = *header; line < text.size(); line = text.find('\n', line) + 1) {
    if (text.find('\n', line) == std::string_view::npos) return false;  // cut in a line
    count += format == ExportFormat::scan ? text[line] != '#' : text[line] == '[';
  }
  const std::string_view end = format == ExportFormat::scan ? "\n" : "\n\n";
  return count == n && text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

}  // namespace

bool formatAvailable(ExportFormat) {
  return true;
}

bool libraryFormatText(const ChannelList& channels, ExportFormat format, std::string* text,
                       std::string* error) {
  text->clear();
  const int fd = ::memfd_create("vantrel-export", MFD_CLOEXEC);
  if (fd < 0) {
    *error = std::strerror(errno);
    return false;
  }
  char name[40];
  std::snprintf(name, sizeof name, "/proc/self/fd/%d", fd);
  const size_t total = format == ExportFormat::scan ? channels.transponders.size() : channels.services.size();
  bool ok = true;
  for (size_t from = 0; ok && from < total; from += kChunkEntries) {
    const size_t to = std::min(total, from + kChunkEntries);
    dvb_file* file = buildFile(channels, format, from, to);
    if (!file) {
      *error = tr("out of memory");
      ::close(fd);
      return false;
    }
    const size_t start = text->size();
    ok = ::ftruncate(fd, 0) == 0 &&
         dvb_write_file_format(name, file, SYS_DVBS,
                               format == ExportFormat::scan ? FILE_CHANNEL : FILE_DVBV5) == 0 &&
         appendAll(fd, text);
    dvb_file_free(file);
    // Every entry must be there, whole: the library does not say when a
    // write fails. A header repeated by each chunk is kept once.
    size_t header = 0;
    ok = ok && whole(std::string_view(*text).substr(start), format, to - from, &header);
    if (ok && from > 0) text->erase(start, header);
    // Room for the rest at the first chunk's length an entry and some, so
    // that the text is not copied (twice its size at once) as it grows.
    if (ok && from == 0 && to < total) text->reserve(text->size() / (to - from) * total * 9 / 8);
  }
  ::close(fd);
  if (!ok) {
    text->clear();
    *error = trf("libdvbv5 could not write the %s file", formatName(format));
  }
  return ok;
}

bool writeLibraryFormat(const ChannelList& channels, ExportFormat format, const std::string& path,
                        std::string* error) {
  std::string text, why;
  if (!libraryFormatText(channels, format, &text, &why)) {
    *error = path + ": " + why;
    return false;
  }
  return writeFileAtomic(path, text, error);
}

#else

bool formatAvailable(ExportFormat format) {
  return format == ExportFormat::vdr || format == ExportFormat::zap || format == ExportFormat::csv;
}

bool libraryFormatText(const ChannelList&, ExportFormat format, std::string* text, std::string* error) {
  text->clear();
  *error = trf("the %s format is not available in this build", formatName(format));
  return false;
}

bool writeLibraryFormat(const ChannelList& channels, ExportFormat format, const std::string& path,
                        std::string* error) {
  std::string text, why;
  libraryFormatText(channels, format, &text, &why);
  *error = path + ": " + why;
  return false;
}

#endif

}  // namespace box
