#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <sstream>
#include <string>

#include "qavrel/qavrel.h"
#include "test_files.h"

namespace {

// Fills peaks with pulsed channels at pulsed and the others at observed.
void set_peaks(bool even_pulsed, double pulsed, double observed) {
  for (auto& peak : peaks)
    for (int channel = 0; channel < nchan; ++channel)
      peak[channel] = (channel % 2 == 0) == even_pulsed ? pulsed : observed;
}

std::string table_for(bool even_selected) {
  const ScratchDir dir;
  EXPECT_TRUE(print_cross_talk(dir.file("table.log").c_str(), even_selected));
  return dir.read("table.log");
}

std::string repeated(const std::string& cell, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += cell;
  return text;
}

std::string line(int peak, const std::string& cells) {
  char number[16];
  std::snprintf(number, sizeof number, "%6d", peak);
  return number + cells + "\n";
}

TEST(PrintCrossTalk, HeaderAndRatioLinesOfNineCharacterCells) {
  set_peaks(false, -50, 1);
  std::string expected =
      "Peak #    ch  0    ch  2    ch  4    ch  6    ch  8    ch 10    ch 12    ch 14"
      "    ch 16    ch 18    ch 20    ch 22    ch 24    ch 26    ch 28    ch 30\n";
  for (int peak = 0; peak < npeaks; ++peak) expected += line(peak, repeated(" -2.0e-02", 16));
  EXPECT_EQ(table_for(false), expected);

  set_peaks(true, 40, 123456);
  const std::string even = table_for(true);
  EXPECT_EQ(even.substr(0, 24), "Peak #    ch  1    ch  3");
  EXPECT_EQ(even.substr(even.size() - 10), "  3.1e+03\n");
  EXPECT_EQ(std::count(even.begin(), even.end(), '\n'), 16);
}

TEST(PrintCrossTalk, NormIsTheMeanOfTheReferenceChannels) {
  set_peaks(false, 0, 0);
  for (int channel = 1; channel < nchan; channel += 2) peaks[3][channel] = channel;  // mean 16
  peaks[3][0] = 4;
  peaks[3][30] = -8;
  const std::string table = table_for(false);
  std::istringstream lines(table);
  std::string row;
  for (int i = 0; i < 5; ++i) std::getline(lines, row);
  EXPECT_EQ(row + "\n", line(3, "  2.5e-01" + repeated("  0.0e+00", 14) + " -5.0e-01"));
}

TEST(PrintCrossTalk, NotANumberIsMinusNanWhateverItsSignAndInfinityAsPrintfShowsIt) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  set_peaks(false, 0, 1);
  peaks[0][0] = -1;
  peaks[0][2] = 0;
  peaks[1][1] = nan;
  peaks[2][2] = -nan;
  const std::string table = table_for(false);
  // 0/0 gives the processor's default not-a-number, whose sign differs
  // between processors; a positive one prints the same.
  EXPECT_EQ(table.find(line(0, "     -inf     -nan      inf").substr(0, 33)), 151u) << table;
  EXPECT_NE(table.find(line(1, repeated("     -nan", 16))), std::string::npos) << table;
  EXPECT_NE(table.find(line(2, "      inf     -nan      inf").substr(0, 33)), std::string::npos)
      << table;
}

}  // namespace
