// What the outputs show: the report's order and flags, the colour maps,
// the tables' quoting, and markup that stays well-formed whatever a name
// holds.
#include <gtest/gtest.h>

#include <cmath>

#include "campaign/model/chip_summary.h"
#include "campaign/report/chip_page.h"
#include "campaign/report/colour_map.h"
#include "campaign/report/csv_tables.h"
#include "campaign/report/front_page.h"
#include "campaign/report/markup.h"

namespace {

using namespace qavrel::campaign;

using qavrel::npeaks;
using qavrel::observed_channels;
using qavrel::Parity;
using qavrel::train_length;

// A table that is written a row at a time, whole.
template <typename Table, typename... Arguments>
std::string whole(Table table, const Arguments&... arguments) {
  std::string text;
  table(arguments..., [&text](const std::string& row) { text += row; });
  return text;
}

TEST(CampaignTables, FieldsAreQuotedAndNumbersReadBack) {
  FileResult result;
  result.analysis.path = "a,\"b\"_adc.txt";
  result.analysis.ok = true;
  const std::string summary = whole(summary_csv, std::vector<FileResult>{result});
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

// Five chips: 1 A; 2 failed, then passed on its retest; 3 A but damaged;
// 4 never read; 5 fail.
std::vector<FileResult> campaign() {
  std::vector<FileResult> results(6);
  results[0].analysis = graded_analysis("1", 0.004);
  results[1].analysis = graded_analysis("2", 0.09);
  results[1].analysis.path = "/d1/2_adc.txt";
  results[1].superseded_by = 2;
  results[2].analysis = graded_analysis("2", 0.003);
  results[2].analysis.path = "/d2/2_adc.txt";
  results[3].analysis = graded_analysis("3", 0.004);
  results[3].analysis.ended_on_token = true;
  results[3].analysis.token_offset = 77;
  results[4].analysis = graded_analysis("4", 0.0);
  results[4].analysis.ok = false;
  results[4].analysis.has_ratios = false;
  results[4].analysis.error = "Cannot open file named x.";
  results[5].analysis = graded_analysis("5", 0.09);
  for (FileResult& result : results) result.grade = grade_of(result.analysis, GradeLimits());
  return results;
}

TEST(CampaignReport, AChipIsGradedByItsCurrentMeasurementsWorstFirst) {
  const std::vector<FileResult> results = campaign();
  const std::vector<ChipSummary> chips = summarise_chips(results);
  ASSERT_EQ(chips.size(), 5u);
  EXPECT_EQ(chips[1].grade, Grade::a);  // its retest passed
  EXPECT_EQ(chips[1].current, std::vector<std::size_t>{2});
  EXPECT_EQ(chips[1].superseded, std::vector<std::size_t>{1});
  EXPECT_EQ(chips[1].worst, 0.003);
  // Not analysed, then fail, then the A chips by their worst ratio.
  EXPECT_EQ(worst_first(chips), (std::vector<std::size_t>{3, 4, 0, 2, 1}));

  const std::string table = whole(chips_csv, chips, results);
  EXPECT_NE(table.find("\n2,A,odd,0.003,0,1,1,/d2/2_adc.txt\n"), std::string::npos) << table;
  // Not analysed: the configuration that decided so, and no ratio.
  EXPECT_NE(table.find("\n4,not analysed,odd,,,1,0,"), std::string::npos) << table;
  const std::string summary = whole(summary_csv, results);
  EXPECT_NE(summary.find(",/d2/2_adc.txt\n/d2/2_adc.txt,"), std::string::npos) << summary;
  EXPECT_NE(summary.find(",failed,not analysed,,,,"), std::string::npos) << summary;
}

TEST(CampaignReport, AChipPageShowsItsCurrentMapsThenItsHistory) {
  const std::vector<FileResult> results = campaign();
  const std::vector<ChipSummary> chips = summarise_chips(results);
  const auto map = [&results](std::size_t i) -> std::string {
    if (!results[i].analysis.has_ratios) return {};
    return "<svg class=\"map\" id=\"" + std::to_string(i) + "\"/>";
  };
  const std::string page = chip_page(chips[1], results, map);
  const auto at = [&page](const std::string& text) { return page.find(text); };
  EXPECT_LT(at("id=\"2\""), at("History"));
  EXPECT_LT(at("History"), at("id=\"1\""));
  EXPECT_NE(at("superseded by the later measurement /d2/2_adc.txt"), std::string::npos);
  EXPECT_EQ(page.find("<script"), std::string::npos);
  const std::string damaged = chip_page(chips[2], results, map);
  EXPECT_NE(damaged.find("damaged: the input ended at byte 77"), std::string::npos);
  EXPECT_EQ(damaged.find("<&>"), std::string::npos);
  EXPECT_NE(damaged.find("3&lt;&amp;&gt;_adc.txt"), std::string::npos);
  const std::string failed = chip_page(chips[3], results, map);
  EXPECT_NE(failed.find("Cannot open file named x."), std::string::npos);
  EXPECT_EQ(failed.find("class=\"map\""), std::string::npos);
}

TEST(CampaignReport, TheFrontPageListsWhatNeedsALookAndLinksEveryChip) {
  const std::vector<FileResult> results = campaign();
  const std::vector<ChipSummary> chips = summarise_chips(results);
  ReportContext context;
  context.skipped.push_back({"/d/notes_adc.txt", "no field of the name starts with \"vemra\""});
  FrontPageFacts facts;
  facts.worst_first = worst_first(chips);
  facts.channel_means[4] = {0.03, 2};
  const std::string page = front_page(results, chips, context, facts);
  const auto at = [&page](const std::string& text) { return page.find(text); };
  EXPECT_NE(at("<a href=\"chips/4.html\">4</a>"), std::string::npos);
  EXPECT_NE(at("<a href=\"chips/5.html\">5</a>"), std::string::npos);
  EXPECT_EQ(at("<a href=\"chips/1.html\">"), std::string::npos);  // A: only in the index
  EXPECT_NE(at("<a href=\"index/chips-1.html\">1 to 5</a> (5 chips)"), std::string::npos);
  EXPECT_NE(at("Cannot open file named x."), std::string::npos);
  EXPECT_NE(at("/d/notes_adc.txt"), std::string::npos);
  EXPECT_NE(at("ch 4 (odd pulsed): 1.50% over 2 measurements"), std::string::npos);
  EXPECT_NE(at("9.00% to 9.25%: 1 measurements"), std::string::npos);
  EXPECT_EQ(page.find("<script"), std::string::npos);
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
