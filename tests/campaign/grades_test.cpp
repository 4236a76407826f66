// Grades: the limits, the worst channel and its standard error, and the
// limits as a user writes them.
#include "campaign/model/grades.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using namespace qavrel::campaign;

using qavrel::npeaks;
using qavrel::observed_channels;
using qavrel::Parity;
using qavrel::train_length;

TEST(CampaignGrades, LimitsAreInclusiveAndNotANumberFails) {
  Analysis analysis;
  analysis.ok = true;
  analysis.has_ratios = true;
  analysis.train_rows = 2 * train_length;
  const GradeLimits limits;
  const auto grade_at = [&](double worst) {
    analysis.worst.abs_mean = worst;
    return grade_of(analysis, limits);
  };
  EXPECT_EQ(grade_at(0.01), Grade::a);
  EXPECT_EQ(grade_at(0.0100001), Grade::b);
  EXPECT_EQ(grade_at(0.02), Grade::b);
  EXPECT_EQ(grade_at(0.05), Grade::c);
  EXPECT_EQ(grade_at(0.0500001), Grade::fail);
  EXPECT_EQ(grade_at(std::nan("")), Grade::fail);
  EXPECT_EQ(grade_at(std::numeric_limits<double>::infinity()), Grade::fail);
  analysis.train_rows = 214;  // the pedestal window of the first train is not complete
  EXPECT_EQ(grade_at(0.0), Grade::no_data);
  // A log that could not be written leaves the grade of what was read;
  // a file that was never read has none.
  analysis.train_rows = 2 * train_length;
  analysis.ok = false;
  EXPECT_EQ(grade_at(0.03), Grade::c);
  analysis.has_ratios = false;
  EXPECT_EQ(grade_at(0.0), Grade::not_analysed);
}

TEST(CampaignGrades, WorstChannelIsTheLargestMeanInSize) {
  RatioTable ratios;
  for (auto& peak : ratios.values)
    for (int column = 0; column < observed_channels; ++column) peak[column] = 0.001 * column;
  for (int peak = 0; peak < npeaks; ++peak) ratios.values[peak][3] = peak % 2 == 0 ? -0.03 : -0.02;
  WorstChannel worst = worst_channel(ratios);
  EXPECT_EQ(worst.column, 3);
  EXPECT_NEAR(worst.abs_mean, (8 * 0.03 + 7 * 0.02) / 15, 1e-12);
  // Eight peaks 0.005 below the mean and seven 0.005 above, near enough:
  // the sample deviation (over n - 1) of the peaks, over the root of n.
  const double mean = (8 * 0.03 + 7 * 0.02) / 15;
  const double squares = 8 * (0.03 - mean) * (0.03 - mean) + 7 * (0.02 - mean) * (0.02 - mean);
  EXPECT_DOUBLE_EQ(worst.standard_error, std::sqrt(squares / 14 / 15));
  ratios.values[5][9] = std::nan("");
  worst = worst_channel(ratios);
  EXPECT_EQ(worst.column, 9);
  EXPECT_TRUE(std::isnan(worst.abs_mean));
}

TEST(CampaignGrades, LimitsParseAsRatiosOrPercentages) {
  GradeLimits limits;
  std::string error;
  EXPECT_TRUE(parse_grade_limits("0.005,0.01,0.1", limits, error));
  EXPECT_EQ(limits.c, 0.1);
  EXPECT_TRUE(parse_grade_limits("1%,2%,5%", limits, error)) << error;
  EXPECT_EQ(limits.a, 0.01);
  EXPECT_EQ(limits.c, 0.05);
  EXPECT_TRUE(parse_grade_limits("0.5%,0.01,150%", limits, error)) << error;
  EXPECT_EQ(limits.c, 1.5);
  for (const char* bad : {"0.01,0.02", "0.02,0.01,0.05", "0,0.01,0.02", "a,b,c", "0.01,0.02,0.05,1",
                          "0.01;0.02;0.05", "1%,2%,", "%,2%,5%", "0.01,0.02,inf%", ""})
    EXPECT_FALSE(parse_grade_limits(bad, limits, error)) << bad;
  // A percentage written without its sign would grade everything A.
  EXPECT_FALSE(parse_grade_limits("1,2,5", limits, error));
  EXPECT_EQ(error,
            "--grades 1,2,5: a limit of 1 or more allows a ratio of 100% or more; for "
            "percentages write them with %, as 1%,2%,5%");
  EXPECT_FALSE(parse_grade_limits("0.01,0.02,1", limits, error));
}

}  // namespace
