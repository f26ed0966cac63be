#include "box/export/spectrum_csv.h"

#include <charconv>
#include <cstdio>

#include "box/base/tr.h"

namespace box {
namespace {

constexpr const char* kHeader = "frequency_mhz,polarisation,symbol_rate_ks,strength,snr,locked";

// "11766", "11766.5", "11766.125": thousandths, without trailing zeros.
void appendThousandths(std::string* out, long long v) {
  if (v < 0) {
    out->push_back('-');
    v = -v;
  }
  *out += std::to_string(v / 1000);
  if (long long frac = v % 1000) {
    char buf[8];
    std::snprintf(buf, sizeof buf, ".%03lld", frac);
    std::string f = buf;
    while (f.back() == '0') f.pop_back();
    *out += f;
  }
}

void appendReading(std::string* out, int v) {
  if (v >= 0) *out += std::to_string(v);
}

// A number with up to three decimals, as thousandths, within lo..hi.
bool thousandths(std::string_view s, long long lo, long long hi, long long* out) {
  const size_t dot = s.find('.');
  std::string_view whole = s.substr(0, dot), frac = dot == std::string_view::npos ? "" : s.substr(dot + 1);
  if (whole.empty() || frac.size() > 3 || (dot != std::string_view::npos && frac.empty())) return false;
  long long w = 0;
  auto [p, ec] = std::from_chars(whole.data(), whole.data() + whole.size(), w);
  if (ec != std::errc() || p != whole.data() + whole.size() || w < 0 || w > hi / 1000) return false;
  long long f = 0;
  for (size_t i = 0; i < 3; ++i) {
    if (i < frac.size() && (frac[i] < '0' || frac[i] > '9')) return false;
    f = f * 10 + (i < frac.size() ? frac[i] - '0' : 0);
  }
  *out = w * 1000 + f;
  return *out >= lo && *out <= hi;
}

bool reading(std::string_view s, int* out) {
  if (s.empty()) {
    *out = -1;
    return true;
  }
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), *out);
  return ec == std::errc() && p == s.data() + s.size() && *out >= 0 && *out <= 65535;
}

// The row's fields, or a message saying which is wrong.
std::string parseRow(std::string_view line, SpectrumRow* row) {
  std::vector<std::string_view> f;
  for (size_t start = 0;;) {
    size_t comma = line.find(',', start);
    f.push_back(line.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  if (f.size() != 6) return trf("expected 6 fields, not %zu", f.size());
  long long v = 0;
  if (!thousandths(f[0], 1, 1000000000LL, &v)) return std::string("frequency_mhz: ") + tr("not a frequency");
  row->freqKHz = int(v);
  if (f[1] != "H" && f[1] != "V") return std::string("polarisation: ") + tr("must be H or V");
  row->pol = f[1] == "V";
  if (!thousandths(f[2], 1, 1000000000LL, &v))
    return std::string("symbol_rate_ks: ") + tr("not a symbol rate");
  row->srSym = int(v);
  if (!reading(f[3], &row->strength)) return std::string("strength: ") + tr("must be empty or 0 to 65535");
  if (!reading(f[4], &row->snr)) return std::string("snr: ") + tr("must be empty or 0 to 65535");
  if (f[5] != "0" && f[5] != "1") return std::string("locked: ") + tr("must be 0 or 1");
  row->locked = f[5] == "1";
  return "";
}

}  // namespace

std::string spectrumCsv(const std::vector<SpectrumRow>& rows) {
  std::string out = std::string(kHeader) + "\n";
  out.reserve(out.size() + rows.size() * 36);
  for (const SpectrumRow& r : rows) {
    appendThousandths(&out, r.freqKHz);
    out += r.pol ? ",V," : ",H,";
    appendThousandths(&out, r.srSym);
    out += ',';
    appendReading(&out, r.strength);
    out += ',';
    appendReading(&out, r.snr);
    out += r.locked ? ",1\n" : ",0\n";
  }
  return out;
}

bool parseSpectrumCsv(std::string_view text, const std::string& fileName, std::vector<SpectrumRow>* rows,
                      std::string* error) {
  std::vector<SpectrumRow> out;
  size_t lineNo = 0;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::string what;
    SpectrumRow row;
    if (lineNo == 1)
      what = line == kHeader ? "" : trf("expected the header %s", kHeader);
    else if (!line.empty())
      what = parseRow(line, &row);
    else
      continue;
    if (!what.empty()) {
      *error = fileName + ": " + trf("line %zu: %s", lineNo, what.c_str());
      return false;
    }
    if (lineNo > 1) out.push_back(row);
  }
  if (lineNo == 0) {
    *error = fileName + ": " + trf("line %zu: %s", size_t(1), trf("expected the header %s", kHeader).c_str());
    return false;
  }
  *rows = std::move(out);
  return true;
}

}  // namespace box
