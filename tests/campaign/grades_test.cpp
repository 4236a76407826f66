// Grades: the limits, the worst channel and its standard error, and the
// limits as a user writes them.
#include "campaign/model/grades.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "campaign/model/chip_yield.h"
#include "campaign/model/grading.h"
#include "campaign/report/html_page.h"

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
  EXPECT_TRUE(parse_grade_limits("0.005,0.01,0.1", limits).ok());
  EXPECT_EQ(limits.c, 0.1);
  EXPECT_TRUE(parse_grade_limits("1%,2%,5%", limits).ok());
  EXPECT_EQ(limits.a, 0.01);
  EXPECT_EQ(limits.c, 0.05);
  EXPECT_TRUE(parse_grade_limits("0.5%,0.01,150%", limits).ok());
  EXPECT_EQ(limits.c, 1.5);
  for (const char* bad : {"0.01,0.02", "0.02,0.01,0.05", "0,0.01,0.02", "a,b,c", "0.01,0.02,0.05,1",
                          "0.01;0.02;0.05", "1%,2%,", "%,2%,5%", "0.01,0.02,inf%", ""})
    EXPECT_FALSE(parse_grade_limits(bad, limits).ok()) << bad;
  // A percentage written without its sign would grade everything A.
  // A percentage is the very limit its fraction written out gives.
  const std::pair<const char*, const char*> same[] = {{"0.7%", "0.007"}, {"1.1%", "0.011"},
                                                      {"1.3%", "0.013"}, {"2.2%", "0.022"},
                                                      {"2.9%", "0.029"}, {"12.34%", "0.1234"}};
  for (const auto& [percent, fraction] : same) {
    GradeLimits as_fraction;
    ASSERT_TRUE(parse_grade_limits(std::string("0.1%,") + percent + ",99%", limits).ok());
    ASSERT_TRUE(parse_grade_limits(std::string("0.001,") + fraction + ",0.99", as_fraction).ok());
    EXPECT_EQ(limits.b, as_fraction.b) << percent;
  }
  EXPECT_EQ(parse_grade_limits("1,2,5", limits).reason(),
            "--grades 1,2,5: a limit of 1 or more allows a ratio of 100% or more; for "
            "percentages write them with %, as 1%,2%,5%");
  EXPECT_FALSE(parse_grade_limits("0.01,0.02,1", limits).ok());
}

// A mean that lands on a limit, give or take the rounding of its last
// digits, takes the better grade, and reads as the limit beside it.
TEST(CampaignGrades, AValueAtALimitTakesTheBetterGrade) {
  RatioTable at_c;
  for (auto& peak : at_c.values)
    for (double& ratio : peak) ratio = -0.05;
  Analysis analysis;
  analysis.has_ratios = true;
  analysis.train_rows = 2 * train_length;
  analysis.worst = worst_channel(at_c);
  EXPECT_GT(analysis.worst.abs_mean, 0.05);  // the rounding this is about
  const GradeLimits limits;
  EXPECT_EQ(grade_of(analysis, limits), Grade::c);
  EXPECT_EQ(graded_percent(analysis.worst.abs_mean, limits), "5.00%");
  GradeLimits three;
  ASSERT_TRUE(parse_grade_limits("1%,3%,5%", three).ok());
  analysis.worst.abs_mean = 0.03;
  EXPECT_EQ(grade_of(analysis, three), Grade::b);
  EXPECT_TRUE(within(0.05 * (1 + limit_tolerance), 0.05));
  EXPECT_FALSE(within(std::nextafter(0.05 * (1 + limit_tolerance), 1.0), 0.05));
  // Just beyond the tolerance is beyond the limit, and reads so.
  analysis.worst.abs_mean = 0.0500001;
  EXPECT_EQ(grade_of(analysis, limits), Grade::fail);
  EXPECT_EQ(graded_percent(0.0500001, limits), "5.00001%");
}

// Whatever the limits and the value, the grade that the numbers on a page
// give (the value shown against the limits shown) is the grade given.
TEST(CampaignGrades, TheNumbersShownAndTheGradeNeverDisagree) {
  const auto shown = [](const std::string& text) { return std::stod(text) / 100; };
  std::mt19937_64 random(7);  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same cases every run
  for (const char* text : {"1%,2%,5%", "0.5%,1%,2%", "1.2345%,2%,3.05%", "0.001,0.0025,0.004"}) {
    GradeLimits limits;
    ASSERT_TRUE(parse_grade_limits(text, limits).ok()) << text;
    const double all[] = {limits.a, limits.b, limits.c};
    for (int i = 0; i < 20000; ++i) {
      const double limit = all[random() % 3];
      // Near a limit: within the tolerance, just beyond it, and a little
      // further either way.
      const double scale = std::pow(10.0, -static_cast<double>(random() % 16));
      const double value =
          limit * (1 + scale * (std::uniform_real_distribution<double>(-1, 1)(random)));
      Analysis analysis;
      analysis.has_ratios = true;
      analysis.train_rows = 2 * train_length;
      analysis.worst.abs_mean = value;
      const double on_page = shown(graded_percent(value, limits));
      Grade read = Grade::fail;
      if (on_page <= shown(limit_percent(limits.c, limits))) read = Grade::c;
      if (on_page <= shown(limit_percent(limits.b, limits))) read = Grade::b;
      if (on_page <= shown(limit_percent(limits.a, limits))) read = Grade::a;
      ASSERT_EQ(read, grade_of(analysis, limits))
          << text << ": " << value << " shown as " << graded_percent(value, limits);
    }
  }
}

// A chip takes the worst grade of its current measurements, whichever
// comes first, and its superseded ones decide nothing.
TEST(CampaignGrades, AChipTakesTheWorstGradeOfItsCurrentMeasurements) {
  // A measurement of each grade, best to worst.
  const auto measured = [](int grade) {
    CampaignFile file;
    Analysis& analysis = file.analysis;
    analysis.chip = "7";
    analysis.ok = true;
    analysis.has_ratios = grade != 5;
    analysis.parity = Parity::odd;
    analysis.train_rows = grade == 3 ? 100 : 2 * train_length;
    const double worst[] = {0.004, 0.015, 0.03, 0.0, 0.09, 0.0};
    analysis.worst.abs_mean = worst[grade];
    return file;
  };
  const Grade order[] = {Grade::a,       Grade::b,    Grade::c,
                         Grade::no_data, Grade::fail, Grade::not_analysed};
  for (int first = 0; first < 6; ++first)
    for (int second = 0; second < 6; ++second) {
      std::vector<CampaignFile> files{measured(first), measured(second), measured(0)};
      files[0].analysis.config = "a";
      files[1].analysis.config = "b";
      // A superseded measurement, better or worse, decides nothing.
      files[2] = measured(first == 5 ? 0 : 5);
      files[2].analysis.config = "a";
      files[2].superseded_by = 0;
      const Grading grading = grade_campaign(files, GradeLimits());
      ASSERT_EQ(grading.chips.size(), 1u);
      EXPECT_EQ(grading.of_file[0], order[first]);
      EXPECT_EQ(grading.chips[0].grade, std::max(order[first], order[second]))
          << first << " " << second;
      EXPECT_EQ(grading.chips[0].worst_config, first >= second ? "a" : "b") << first << second;
      // The file to look at is the one that decided, not the one measured
      // last (the superseded one, last by path).
      EXPECT_EQ(grading.chips[0].worst_file, first >= second ? 0u : 1u) << first << second;
      EXPECT_EQ(grading.chips[0].latest, 2u);
    }
}

// A gate's grade is read by its name in any case, "-" for a space, and
// counts the chips of that grade and every worse one.
TEST(CampaignGrades, AGateCountsTheChipsOfItsGradeAndWorse) {
  Grade grade = Grade::a;
  const std::pair<const char*, Grade> names[] = {{"A", Grade::a},
                                                 {"b", Grade::b},
                                                 {"C", Grade::c},
                                                 {"no data", Grade::no_data},
                                                 {"No-Data", Grade::no_data},
                                                 {"FAIL", Grade::fail},
                                                 {"not analysed", Grade::not_analysed},
                                                 {"not-ANALYSED", Grade::not_analysed}};
  for (const auto& [text, expected] : names) {
    ASSERT_TRUE(parse_grade(text, grade).ok()) << text;
    EXPECT_EQ(grade, expected) << text;
  }
  for (const char* wrong : {"", "D", "nodata", "A,B", "failed", "not analyzed"})
    EXPECT_FALSE(parse_grade(wrong, grade).ok()) << wrong;
  EXPECT_EQ(parse_grade("D", grade).reason(),
            "\"D\" is no grade; give one of A, B, C, \"no data\", fail, \"not analysed\"");

  // Two chips of each grade.
  Grading grading;
  for (const Grade each :
       {Grade::a, Grade::b, Grade::c, Grade::no_data, Grade::fail, Grade::not_analysed})
    for (int copy = 0; copy < 2; ++copy) {
      ChipSummary chip;
      chip.grade = each;
      grading.chips.push_back(chip);
    }
  EXPECT_EQ(chips_at_least(grading, Grade::a), 12u);
  EXPECT_EQ(chips_at_least(grading, Grade::b), 10u);
  EXPECT_EQ(chips_at_least(grading, Grade::c), 8u);
  EXPECT_EQ(chips_at_least(grading, Grade::no_data), 6u);
  EXPECT_EQ(chips_at_least(grading, Grade::fail), 4u);
  EXPECT_EQ(chips_at_least(grading, Grade::not_analysed), 2u);
  EXPECT_EQ(chips_at_least(Grading(), Grade::a), 0u);
}

// The yield counts the chips that pass against every chip, and is never
// rounded up to a whole pass.
TEST(CampaignGrades, YieldCountsEveryChipThatDoesNotPassAgainstIt) {
  Grading grading;
  for (const Grade grade :
       {Grade::a, Grade::b, Grade::c, Grade::no_data, Grade::fail, Grade::not_analysed}) {
    ChipSummary chip;
    chip.grade = grade;
    grading.chips.push_back(chip);
  }
  const ChipYield all = chip_yield(grading);
  EXPECT_EQ(all.passed, 3u);
  EXPECT_EQ(all.chips, 6u);
  EXPECT_EQ(yield_percent(all), "50.0%");
  EXPECT_EQ(yield_percent(chip_yield(grading, {0, 1, 4})), "66.6%");
  EXPECT_EQ(yield_percent(chip_yield(grading, {3})), "0.0%");
  EXPECT_EQ(yield_percent(chip_yield(grading, {})), "-");
  EXPECT_EQ(yield_percent({1999, 2000}), "99.9%");
  EXPECT_EQ(yield_percent({2000, 2000}), "100.0%");
}

}  // namespace
