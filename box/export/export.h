#pragma once
// Channel files of what the box keeps, for other tools: VDR's channels.conf,
// the dvbv5 tools' channel file, zap's channels.conf, initial tuning data
// for scanners, and the hunt log (CSV: when each entry was seen). Files are written whole or not at all.
#include <string>

#include "box/export/channels.h"

namespace box {

enum class ExportFormat { vdr, dvbv5, zap, scan, csv };

struct ExportTarget {
  ExportFormat format = ExportFormat::vdr;
  std::string file;
};

// "FORMAT:FILE" as given on the command line. False with *error saying what
// is wrong: an unknown format, no file name, a format this build cannot write.
bool parseExportTarget(const std::string& value, ExportTarget* target, std::string* error);
const char* formatName(ExportFormat format);
// dvbv5 and scan files are written by libdvbv5, which a build may lack.
bool formatAvailable(ExportFormat format);

// The formats the box writes itself.
std::string vdrText(const ChannelList& channels);
std::string zapText(const ChannelList& channels);
// RFC 4180, a header row and a row per service (a transponder without one:
// a row with the service's fields empty).
std::string csvText(const ChannelList& channels);

// Writes channels in target's format to its file, atomically. False with
// *error naming the file and the reason.
bool writeExport(const ChannelList& channels, const ExportTarget& target, std::string* error);

// Through libdvbv5 (dvbv5 and scan); defined in dvbv5file.cpp. The text
// is checked to hold every entry whole: false with *error saying so.
bool libraryFormatText(const ChannelList& channels, ExportFormat format, std::string* text,
                       std::string* error);
bool writeLibraryFormat(const ChannelList& channels, ExportFormat format, const std::string& path,
                        std::string* error);

}  // namespace box
