// The run's spectrum: readings paired into rows, the CSV written and read
// back strictly, and the columns a picture draws.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "box/export/spectrum_columns.h"
#include "box/export/spectrum_recorder.h"

namespace {

constexpr auto S = box::FrontendReading::strength;
constexpr auto N = box::FrontendReading::snr;
constexpr int sr = 27500000;

TEST(SpectrumRecorder, ReadingsOfOneTuningPairIntoRowsAndOthersStartNewOnes) {
  // At 11766 the strength comes first, at 11766.5 an SNR alone, at 11767
  // the SNR is read twice (two rows), 11768 is the last and alone.
  const box::FrontendReading heard[] = {{10700000, sr, 0, N, 3000, false}, {10700000, sr, 0, S, 16000, false},
                                        {11766000, sr, 0, S, 30000, true}, {11766000, sr, 0, N, 42000, true},
                                        {11766500, sr, 0, N, 41000, true}, {11767000, sr, 1, N, 100, false},
                                        {11767000, sr, 1, N, 200, false},  {11767000, sr, 1, S, 65535, false},
                                        {11768000, sr, 1, S, 0, false}};
  box::SpectrumRecorder rec;
  rec.start();
  // Through the front end's seam, as both backends report.
  for (const box::FrontendReading& r : heard) box::reportReading(r);
  rec.stop();
  box::reportReading({12000000, sr, 0, S, 1, false});  // not listened to any more
  EXPECT_EQ(box::spectrumCsv(rec.rows()),
            "frequency_mhz,polarisation,symbol_rate_ks,strength,snr,locked\n"
            "10700,H,27500,16000,3000,0\n"
            "11766,H,27500,30000,42000,1\n"
            "11766.5,H,27500,,41000,1\n"
            "11767,V,27500,,100,0\n"
            "11767,V,27500,65535,200,0\n"
            "11768,V,27500,0,,0\n");
}

// Each text read strictly and written again, or the fault named by line.
TEST(SpectrumCsv, WhatIsWrittenIsReadBackAndFaultsAreNamedByLine) {
  const std::string header = "frequency_mhz,polarisation,symbol_rate_ks,strength,snr,locked";
  const std::string rows = "10700.125,V,4340,0,65535,0\n12750,H,27500,20000,,1\n11000.001,H,1,,5,0\n";
  struct Case {
    std::string text, result;
  } cases[] = {
      {header + "\n" + rows, header + "\n" + rows},
      // Windows line ends and a blank last line are taken.
      {header + "\r\n11766,V,27500,1,2,1\r\n\r\n", header + "\n11766,V,27500,1,2,1\n"},
      {"", "s.csv: line 1: expected the header " + header},
      {header + "\n11766,H,27500,1,2,1\n11766,X,27500,1,2,1\n",
       "s.csv: line 3: polarisation: must be H or V"},
      {header + "\n11766,H,27500,1,2\n", "s.csv: line 2: expected 6 fields, not 5"},
      {header + "\n11766.1234,H,27500,1,2,0\n", "s.csv: line 2: frequency_mhz: not a frequency"},
      {header + "\n-5,H,27500,1,2,0\n", "s.csv: line 2: frequency_mhz: not a frequency"},
      {header + "\n11766,H,fast,1,2,0\n", "s.csv: line 2: symbol_rate_ks: not a symbol rate"},
      {header + "\n11766,H,27500,65536,2,0\n", "s.csv: line 2: strength: must be empty or 0 to 65535"},
      {header + "\n11766,H,27500,1,2x,0\n", "s.csv: line 2: snr: must be empty or 0 to 65535"},
      {header + "\n11766,H,27500,1,2,yes\n", "s.csv: line 2: locked: must be 0 or 1"},
  };
  for (const Case& c : cases) {
    std::vector<box::SpectrumRow> back;
    std::string error;
    EXPECT_EQ(box::parseSpectrumCsv(c.text, "s.csv", &back, &error) ? box::spectrumCsv(back) : error,
              c.result);
  }
}

TEST(SpectrumColumns, EachColumnKeepsTheHighestReadingsOfItsPolarisation) {
  std::vector<box::SpectrumRow> rows = {
      {10700000, 27500000, 0, 100, 200, false}, {10700900, 27500000, 0, 300, 50, true},
      {10701000, 27500000, 1, 999, 999, true},  {10702500, 27500000, 0, 7, -1, false},
      {10699999, 27500000, 0, 5, 5, false},     {10710000, 27500000, 0, 5, 5, false},
  };
  auto dump = [](const std::vector<box::SpectrumColumn>& cols) {
    std::string s;
    for (const box::SpectrumColumn& c : cols)
      s += c.present ? std::to_string(c.strength) + "/" + std::to_string(c.snr) + (c.locked ? "L " : " ")
                     : "- ";
    return s;
  };
  EXPECT_EQ(dump(box::spectrumColumns(rows, 0, 10700, 4, 1)), "300/200L - 7/-1 - ");
  EXPECT_EQ(dump(box::spectrumColumns(rows, 1, 10700, 4, 1)), "- 999/999L - - ");
  // Two columns a MHz: 10702.5 falls in the sixth.
  EXPECT_EQ(dump(box::spectrumColumns(rows, 0, 10700, 6, 2)), "100/200 300/50L - - - 7/-1 ");
}

}  // namespace
