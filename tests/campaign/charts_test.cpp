// What the charts show: the histogram's bins and colours, the channel
// profile's error bars, the maps' scale, and the trends' groups.
#include "campaign/report/charts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "campaign/find/naming.h"
#include "campaign/model/grading.h"
#include "campaign/model/trend_groups.h"
#include "campaign/report/channel_profile.h"
#include "campaign/report/colour_map.h"
#include "campaign/report/output_names.h"

namespace {

using namespace qavrel::campaign;
using qavrel::npeaks;
using qavrel::observed_channels;
using qavrel::Parity;
using qavrel::train_length;

const char* const a_colour = "#1a7f37";
const char* const b_colour = "#6a9a1f";
const char* const c_colour = "#b08800";
const char* const fail_colour = "#c0392b";

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::size_t count_of(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

TEST(CampaignCharts, TheOverflowBinCountsEverythingAboveTheAxis) {
  const GradeLimits limits;  // the axis ends at 10%, in bins of 0.25%
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<double> worst = {0.0, 0.0025,    0.0026, 0.01, 0.0100001,
                                     0.1, 0.1000001, 0.5,    inf,  std::nan("")};
  const WorstHistogram histogram = worst_histogram(worst, limits);
  ASSERT_EQ(histogram.bins.size(), 41u);
  EXPECT_EQ(histogram.end, 0.1);
  const auto total = [&](std::size_t bin) {
    long sum = 0;
    for (const long count : histogram.bins[bin]) sum += count;
    return sum;
  };
  EXPECT_EQ(total(0), 2);   // 0, and 0.25% on the bin's upper edge
  EXPECT_EQ(total(1), 1);   // just above it
  EXPECT_EQ(total(3), 1);   // 1%, the A limit, below it as grading counts it
  EXPECT_EQ(total(4), 1);   // just above the A limit
  EXPECT_EQ(total(39), 1);  // the axis's end itself
  EXPECT_EQ(total(40), 4);  // above it, infinity and not-a-number
  long all = 0;
  for (std::size_t bin = 0; bin < histogram.bins.size(); ++bin) all += total(bin);
  EXPECT_EQ(all, static_cast<long>(worst.size()));

  const std::string svg = worst_ratio_histogram(worst, limits);
  EXPECT_TRUE(has(svg, ">&gt; 10.0%</text>"));
  EXPECT_TRUE(has(svg, ">4</text>"));  // the overflow's count, over its bar
  EXPECT_TRUE(has(svg, "above 10.00% or not a number: 4 measurements graded fail"));
  EXPECT_TRUE(has(svg, ">current measurements</text>"));
  EXPECT_TRUE(has(svg, "worst |mean ratio| of a current measurement (%)"));
}

// Limits that fall inside bins: a bar holding values of two grades shows
// both, and anything above the C limit is fail-coloured wherever it falls.
TEST(CampaignCharts, ABarIsColouredByTheGradesOfItsValues) {
  const GradeLimits limits{0.015, 0.03, 0.07};  // bins of 0.35%, to 14%
  const std::vector<double> worst = {0.0145, 0.016, 0.069, 0.0705, 0.2};
  const WorstHistogram histogram = worst_histogram(worst, limits);
  using Counts = std::array<long, ratio_grade_count>;
  EXPECT_EQ(histogram.bins[4], (Counts{1, 1, 0, 0}));   // 1.40% to 1.75%, astride A
  EXPECT_EQ(histogram.bins[19], (Counts{0, 0, 1, 0}));  // 6.65% to 7.00%
  EXPECT_EQ(histogram.bins[20], (Counts{0, 0, 0, 1}));  // 7.00% to 7.35%, just above C
  EXPECT_EQ(histogram.bins[40], (Counts{0, 0, 0, 1}));

  const std::string svg = worst_ratio_histogram(worst, limits);
  EXPECT_TRUE(
      has(svg, std::string(a_colour) + "\"><title>1.40% to 1.75%: 1 measurements graded A"));
  EXPECT_TRUE(
      has(svg, std::string(b_colour) + "\"><title>1.40% to 1.75%: 1 measurements graded B"));
  EXPECT_TRUE(
      has(svg, std::string(c_colour) + "\"><title>6.65% to 7.00%: 1 measurements graded C"));
  EXPECT_TRUE(
      has(svg, std::string(fail_colour) + "\"><title>7.00% to 7.35%: 1 measurements graded fail"));
  EXPECT_TRUE(has(svg, std::string(fail_colour) + "\"><title>above 14.00% or not a number: 1"));
  EXPECT_EQ(count_of(svg, "<rect"), 5u);  // one per grade of a bin, none for empty ones
}

TEST(CampaignCharts, TheProfileShowsEachMeanWithItsStandardError) {
  RatioTable ratios;
  for (int peak = 0; peak < npeaks; ++peak) {
    for (int column = 0; column < observed_channels; ++column) ratios.values[peak][column] = 0.0;
    ratios.values[peak][0] = 0.001 * peak;  // mean 0.7%
    ratios.values[peak][3] = -0.04;         // the largest in size, below zero
    ratios.values[peak][5] = 0.03;
  }
  ratios.values[6][7] = std::nan("");
  const auto means = mean_ratios(ratios);
  EXPECT_NEAR(means[0].mean, 0.007, 1e-15);
  // The peaks' sample variance, sum (p - 7)^2 / 14 of 0.001^2, over 15.
  EXPECT_NEAR(means[0].standard_error, std::sqrt(280e-6 / 14 / 15), 1e-15);
  EXPECT_NEAR(means[3].mean, -0.04, 1e-15);
  EXPECT_NEAR(means[3].standard_error, 0.0, 1e-15);
  EXPECT_TRUE(std::isnan(means[7].mean));
  // Grading reads the same numbers.
  const WorstChannel worst = worst_channel(ratios);
  EXPECT_EQ(worst.column, 7);  // not-a-number counts as the largest
  ratios.values[6][7] = 0.0;
  EXPECT_EQ(worst_channel(ratios).column, 3);
  EXPECT_EQ(worst_channel(ratios).standard_error, mean_ratios(ratios)[3].standard_error);

  const std::string svg = channel_profile_svg({{"odd", Parity::odd, means}}, GradeLimits());
  const std::string ch0 = std::to_string(qavrel::observed_channel(0, Parity::odd));
  const std::string ch3 = std::to_string(qavrel::observed_channel(3, Parity::odd));
  EXPECT_TRUE(has(svg, "<title>odd, ch " + ch0 + ": +0.70% &#177; 0.12%</title>"));
  // The worst channel ringed: among those with a mean, the largest in size.
  EXPECT_EQ(count_of(svg, "class=\"worst\""), 1u);
  const std::size_t worst_point = svg.find("<title>odd, ch " + ch3 + ": -4.00%");
  ASSERT_NE(worst_point, std::string::npos);
  EXPECT_EQ(svg.find("<circle class=\"worst\""), svg.find("<circle", worst_point + 1));
  EXPECT_TRUE(has(svg, ">nan</text>"));
  for (const char* limit : {"+1.00% A", "-1.00% A", "+2.00% B", "-2.00% B", "+5.00% C", "-5.00% C"})
    EXPECT_TRUE(has(svg, std::string(">") + limit + "</text>")) << limit;
  EXPECT_TRUE(has(svg, ">mean ratio (%)</text>"));
  EXPECT_TRUE(has(svg, ">channel</text>"));
}

// Whatever its largest ratio, a map shows that cell at the end of its
// scale, outlined, with the grade limits that fit marked on the legend.
TEST(CampaignCharts, AMapScaleKeepsTheWorstCellAtFullColourAndMarksIt) {
  Analysis analysis;
  analysis.chip = "1";
  analysis.config = "odd";
  analysis.parity = Parity::odd;
  const GradeLimits limits;
  RatioTable ratios;
  for (auto& peak : ratios.values)
    for (double& ratio : peak) ratio = 0.002;
  ratios.values[4][7] = 0.004;  // within A: the scale is linear to it
  std::string svg = colour_map_svg(analysis, ratios, limits);
  const std::string ch7 = std::to_string(qavrel::observed_channel(7, Parity::odd));
  EXPECT_TRUE(has(svg, "fill=\"#b2182b\"><title>peak 4, ch " + ch7 + ": 0.400%"));
  EXPECT_EQ(count_of(svg, "#b2182b\"><title>peak"), 1u);
  EXPECT_TRUE(has(svg, "<rect class=\"worst\" x=\"275\" y=\"117\""));
  EXPECT_FALSE(has(svg, "% A</text>"));  // the A limit lies beyond this scale
  EXPECT_TRUE(has(svg, ">+0.40%</text>"));

  ratios.values[4][7] = 0.002;
  ratios.values[9][2] = -0.3;  // a failure, below zero: the blue end
  svg = colour_map_svg(analysis, ratios, limits);
  const std::string ch2 = std::to_string(qavrel::observed_channel(2, Parity::odd));
  EXPECT_TRUE(has(svg, "fill=\"#2166ac\"><title>peak 9, ch " + ch2 + ": -30.000%"));
  EXPECT_TRUE(has(svg, "<rect class=\"worst\" x=\"125\" y=\"207\""));
  for (const char* label : {"+1.00% A", "-1.00% A", "+2.00% B", "-5.00% C", "-30.00%"})
    EXPECT_TRUE(has(svg, std::string(">") + label + "</text>")) << label;

  // Linear to the A limit, then logarithmic: each limit further along,
  // the A limit still clear of white, and the end at full colour.
  const MapScale scale = map_scale(ratios, limits);
  EXPECT_EQ(scale.end, 0.3);
  EXPECT_NEAR(scale_position(0.01, scale), 1 / (1 + std::log(30.0)), 1e-12);
  EXPECT_NEAR(scale_position(0.005, scale), 0.5 / (1 + std::log(30.0)), 1e-12);
  EXPECT_LT(scale_position(0.02, scale), scale_position(0.05, scale));
  EXPECT_EQ(scale_position(-0.3, scale), -1.0);
  EXPECT_EQ(scale_position(0.9, scale), 1.0);

  // Its record changes with each limit, which shapes the scale, and with
  // its analysis, whose ratios end it.
  Analysis stored = analysis;
  stored.id = 7;
  const std::uint64_t made_from = map_made_from(stored, limits);
  for (const GradeLimits other : {GradeLimits{0.011, 0.02, 0.05}, GradeLimits{0.01, 0.021, 0.05},
                                  GradeLimits{0.01, 0.02, 0.051}})
    EXPECT_NE(map_made_from(stored, other), made_from);
  stored.id = 8;
  EXPECT_NE(map_made_from(stored, limits), made_from);

  // No finite ratio: nothing outlined.
  EXPECT_FALSE(has(colour_map_svg(analysis, RatioTable(), limits), "class=\"worst\""));
}

CampaignFile measured(const std::string& path, const std::string& chip, const std::string& config,
                      const std::string& at, double worst) {
  CampaignFile file;
  file.analysis.path = path;
  file.analysis.chip = chip;
  file.analysis.config = config;
  file.analysis.parity = Parity::odd;
  file.analysis.has_ratios = true;
  file.analysis.ok = true;
  file.analysis.train_rows = 3 * train_length;
  file.analysis.worst.abs_mean = worst;
  file.measured = {at, MeasuredFrom::name};
  return file;
}

// A chip counts in each group that holds one of its current measurements;
// a file whose name gives no board or link is in the unknown group.
TEST(CampaignTrends, ChipsCountInEachGroupOfTheirCurrentMeasurements) {
  std::vector<CampaignFile> files = {
      measured("/b1/d/100000_vemraX_zorik01_link02_odd_adc.txt", "X", "odd", "2026-12-07T10:00:00",
               0.004),
      measured("/b2/d/110000_vemraX_zorik01_link03_even_adc.txt.zst", "X", "even",
               "2026-12-08T11:00:00", 0.03),
      measured("/b2/d/Y_odd_adc.txt", "Y", "odd", "2026-12-08T12:00:00", 0.08),
      measured("/b1/d/090000_vemraZ_zorik02_link02_odd_adc.txt", "Z", "odd", "2026-12-06T09:00:00",
               0.2),
      measured("/b1/d/120000_vemraZ_zorik02_link02_odd_adc.txt", "Z", "odd", "2026-12-08T09:00:00",
               0.001),
  };
  files[3].superseded_by = 4;  // Z's retest decides; its first measurement is history
  const Grading grading = grade_campaign(files, GradeLimits());
  ASSERT_EQ(grading.chips.size(), 3u);  // X, Y, Z

  const std::vector<TrendGroup> days = trend_groups(files, grading, day_of);
  ASSERT_EQ(days.size(), 2u);  // the superseded day is no group
  EXPECT_EQ(days[0].key, "2026-12-07");
  EXPECT_EQ(days[0].chips, (std::vector<std::size_t>{0}));
  EXPECT_EQ(days[1].key, "2026-12-08");
  EXPECT_EQ(days[1].chips, (std::vector<std::size_t>{0, 1, 2}));
  EXPECT_EQ(days[1].worst, (std::vector<double>{0.03, 0.08, 0.001}));

  const std::vector<TrendGroup> boards = trend_groups(files, grading, board_of);
  ASSERT_EQ(boards.size(), 3u);
  EXPECT_EQ(boards[0].key, "zorik01");
  EXPECT_EQ(boards[0].chips, (std::vector<std::size_t>{0}));  // once, for two measurements
  EXPECT_EQ(boards[0].worst.size(), 2u);
  EXPECT_EQ(boards[1].key, "zorik02");
  EXPECT_EQ(boards[2].key, "unknown");  // last, whatever sorts after it
  EXPECT_EQ(boards[2].chips, (std::vector<std::size_t>{1}));
  const std::vector<TrendGroup> links = trend_groups(files, grading, link_of);
  ASSERT_EQ(links.size(), 3u);
  EXPECT_EQ(links[0].key, "link02");
  EXPECT_EQ(links[0].chips, (std::vector<std::size_t>{0, 2}));

  // Benches by the bench that analysed each file; an analysis of none is
  // in the unknown group.
  for (CampaignFile& file : files)
    file.analysis.bench = file.analysis.path.substr(1, file.analysis.path.find('/', 1) - 1);
  files[4].analysis.bench.clear();
  EXPECT_EQ(bench_of(files[0]), "b1");
  EXPECT_EQ(bench_of(files[4]), "unknown");
  const auto benches = trend_groups(files, grading, bench_of);
  ASSERT_EQ(benches.size(), 3u);
  EXPECT_EQ(benches[1].key, "b2");
  EXPECT_EQ(benches[1].chips, (std::vector<std::size_t>{0, 1}));
  EXPECT_EQ(benches[2].key, "unknown");
  EXPECT_EQ(benches[2].chips, (std::vector<std::size_t>{2}));

  // Each group's yield, by its chips' grades: X is C, Y fails, Z is A.
  const std::string chart = trend_chart(days, grading, "day");
  EXPECT_TRUE(has(chart, "<title>66.6%: 2 of 3 chips</title>"));
  EXPECT_TRUE(has(chart, "<title>100.0%: 1 of 1 chips</title>"));
  EXPECT_TRUE(has(chart, ">2026-12-07</text>"));

  EXPECT_FALSE(board_and_link("Y_odd_adc.txt"));
  EXPECT_FALSE(board_and_link("1_vemraX_zorik01_adc.txt"));  // no configuration after them
  const auto place = board_and_link("1_vemraX_zorik01_link02_a_b_adc.txt.gz");
  ASSERT_TRUE(place);
  EXPECT_EQ(place->board, "zorik01");
  EXPECT_EQ(place->link, "link02");
}

TEST(CampaignTrends, QuantilesAreByNearestRank) {
  const std::vector<double> ten = {0.10, 0.02, 0.03, 0.04, 0.05, 0.06, 0.07, 0.08, 0.09, 0.01};
  EXPECT_EQ(quantile(ten, 0.5), 0.05);
  EXPECT_EQ(quantile(ten, 0.9), 0.09);
  EXPECT_EQ(quantile(ten, 1.0), 0.10);
  EXPECT_EQ(quantile(ten, 0.0), 0.01);
  EXPECT_EQ(quantile({0.01}, 0.9), 0.01);
  EXPECT_TRUE(std::isnan(quantile({0.01, std::nan("")}, 0.9)));  // not-a-number ranks last
  EXPECT_EQ(quantile({std::nan(""), 0.01}, 0.5), 0.01);
  EXPECT_TRUE(std::isnan(quantile({}, 0.5)));
}

}  // namespace
