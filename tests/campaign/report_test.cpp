// What the outputs show: the report's order and flags, the colour maps,
// the tables' quoting, and markup that stays well-formed whatever a name
// holds.
#include <gtest/gtest.h>

#include <cmath>

#include "campaign/colour_map.h"
#include "campaign/csv_tables.h"
#include "campaign/html_report.h"
#include "campaign/markup.h"

namespace {

using qavrel::npeaks;
using qavrel::observed_channels;
using qavrel::Parity;
using qavrel::train_length;

TEST(CampaignTables, FieldsAreQuotedAndNumbersReadBack) {
  FileResult result;
  result.analysis.path = "a,\"b\"_adc.txt";
  result.analysis.ok = true;
  const std::string summary = summary_csv({result});
  EXPECT_EQ(summary.substr(summary.find('\n') + 1, 18), "\"a,\"\"b\"\"_adc.txt\",");
  EXPECT_EQ(std::stod(full_precision(0.1 + 0.2)), 0.1 + 0.2);
  EXPECT_EQ(full_precision(std::nan("")), "nan");
}

Analysis graded_analysis(const std::string& chip, double worst) {
  Analysis analysis;
  analysis.path = chip + "<&>_adc.txt";
  analysis.chip = chip;
  analysis.config = "odd";
  analysis.parity = Parity::odd;
  analysis.has_ratios = true;
  analysis.ok = true;
  analysis.train_rows = 3 * train_length;
  analysis.worst.abs_mean = worst;
  return analysis;
}

TEST(CampaignReport, ChipsWorstFirstFlagsAndOneMapPerFile) {
  std::vector<FileResult> results(4);
  const GradeLimits limits;
  results[0].analysis = graded_analysis("1", 0.004);
  results[1].analysis = graded_analysis("2", 0.09);
  results[2].analysis = graded_analysis("3", 0.004);
  results[2].analysis.ended_on_token = true;
  results[2].analysis.token_offset = 77;
  results[3].analysis = graded_analysis("4", 0.0);
  results[3].analysis.ok = false;
  results[3].analysis.has_ratios = false;
  results[3].analysis.error = "Cannot open file named x.";
  for (FileResult& result : results) result.grade = grade_of(result.analysis, limits);
  ReportContext context;
  std::string page;
  html_report(
      results, context,
      [](std::size_t i) { return "<svg class=\"map\" id=\"" + std::to_string(i) + "\"/>"; },
      [&page](const std::string& text) { page += text; });
  // Not analysed, then fail, then the two A chips in name order.
  const auto at = [&page](const std::string& text) { return page.find(text); };
  EXPECT_LT(at("id=\"3\""), at("id=\"1\""));
  EXPECT_LT(at("id=\"1\""), at("id=\"0\""));
  EXPECT_LT(at("id=\"0\""), at("id=\"2\""));
  EXPECT_NE(at("damaged: the input ended at byte 77"), std::string::npos);
  EXPECT_NE(at("Cannot open file named x."), std::string::npos);
  EXPECT_EQ(at("<&>"), std::string::npos);
  EXPECT_NE(at("1&lt;&amp;&gt;_adc.txt"), std::string::npos);
  EXPECT_EQ(page.find("<script"), std::string::npos);

  const std::string summary = summary_csv(results);
  EXPECT_NE(summary.find(",failed,not analysed,,,,"), std::string::npos) << summary;
}

TEST(CampaignReport, ColourMapHasEveryCellAndClipsBeyondTheScale) {
  Analysis analysis = graded_analysis("1", 0.0);
  RatioTable ratios;
  for (auto& peak : ratios.values)
    for (double& ratio : peak) ratio = 0.0;
  ratios.values[0][0] = 1.0;    // far beyond the scale: the red end
  ratios.values[0][1] = -0.05;  // the scale itself: the blue end
  ratios.values[5][2] = std::nan("");
  const std::string svg = colour_map_svg(analysis, ratios, 0.05);
  std::size_t cells = 0;
  for (std::size_t at = svg.find("<title>peak"); at != std::string::npos;
       at = svg.find("<title>peak", at + 1))
    ++cells;
  EXPECT_EQ(cells, static_cast<std::size_t>(npeaks * observed_channels));
  EXPECT_NE(svg.find("fill=\"#b2182b\"><title>peak 0, ch 0: 1.000e+00"), std::string::npos);
  EXPECT_NE(svg.find("fill=\"#2166ac\"><title>peak 0, ch 2: -5.000e-02"), std::string::npos);
  EXPECT_NE(svg.find("fill=\"#b0b0b0\"><title>peak 5, ch 4: nan"), std::string::npos);
}

// A name may hold any byte; markup holds only characters XML allows, so
// that an SVG file opens on its own.
TEST(CampaignReport, MarkupIsWellFormedWhateverANameHolds) {
  EXPECT_EQ(markup_escaped("a<b>&\"c"), "a&lt;b&gt;&amp;&quot;c");
  EXPECT_EQ(markup_escaped("\xff\x01\t\xc3\xbc\xe2\x82\xac\xf0\x9f\x98\x80"),
            "\xEF\xBF\xBD\xEF\xBF\xBD\t\xc3\xbc\xe2\x82\xac\xf0\x9f\x98\x80");
  // Cut, overlong and surrogate sequences, and U+FFFF.
  for (const char* bad :
       {"\xc3", "\xe2\x82", "\xc0\xaf", "\xed\xa0\x80", "\xef\xbf\xbf", "\xf5\x80\x80\x80"})
    EXPECT_EQ(markup_escaped(bad).substr(0, 3), "\xEF\xBF\xBD") << bad;
  Analysis analysis = graded_analysis("\xff\x01", 0.0);
  const std::string svg = colour_map_svg(analysis, RatioTable(), 0.05);
  EXPECT_EQ(svg.find('\xff'), std::string::npos);
  EXPECT_EQ(svg.find('\x01'), std::string::npos);
}

}  // namespace
