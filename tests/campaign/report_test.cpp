// What the outputs show: the report's order and flags, the colour maps,
// the tables' quoting and text, and markup that stays well-formed whatever
// a name holds.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <random>

#include "campaign/common/hashing.h"
#include "campaign/common/text.h"
#include "campaign/model/grading.h"
#include "campaign/report/chip_lists.h"
#include "campaign/report/chip_page.h"
#include "campaign/report/colour_map.h"
#include "campaign/report/csv_tables.h"
#include "campaign/report/front_page.h"
#include "campaign/report/markup.h"
#include "campaign/report/output_names.h"
#include "campaign/report/publish.h"
#include "campaign/report/summary_json.h"
#include "campaign/report/summary_line.h"

namespace {

using namespace qavrel::campaign;
using qavrel::npeaks;
using qavrel::observed_channels;
using qavrel::Parity;
using qavrel::train_length;

// A table that is written a row at a time, whole.
template <typename Table>
std::string whole(Table table, const ReportInputs& inputs) {
  std::string text;
  table(inputs, [&text](const std::string& row) { text += row; });
  return text;
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
std::vector<CampaignFile> campaign() {
  std::vector<CampaignFile> files(6);
  files[0].analysis = graded_analysis("1", 0.004);
  files[1].analysis = graded_analysis("2", 0.09);
  files[1].analysis.path = "/d1/2_adc.txt";
  files[1].measured = {"2026-12-07T10:00:00", MeasuredFrom::name};
  files[1].superseded_by = 2;
  files[2].analysis = graded_analysis("2", 0.003);
  files[2].analysis.path = "/d2/2_adc.txt";
  files[2].measured = {"2026-12-08T09:00:00", MeasuredFrom::manifest};
  files[3].analysis = graded_analysis("3", 0.004);
  files[3].analysis.ended_on_token = true;
  files[3].analysis.token_offset = 77;
  files[4].analysis = graded_analysis("4", 0.0);
  files[4].analysis.ok = false;
  files[4].analysis.has_ratios = false;
  files[4].analysis.error = "Cannot open file named x.";
  files[5].analysis = graded_analysis("5", 0.09);
  return files;
}

// The inputs of the outputs, over files that outlive them.
struct Inputs {
  std::vector<CampaignFile> files = campaign();
  Grading grading = grade_campaign(files, GradeLimits());
  SearchReport search;
  ReportInputs inputs{files, grading, search};
};

TEST(CampaignTables, FieldsAreQuotedAndNumbersReadBack) {
  Inputs made;
  made.files.resize(1);
  made.files[0].analysis.path = "a,\"b\"\n_adc.txt";
  made.files[0].analysis.ok = true;
  // cppcheck-suppress unreadVariable ; read through made.inputs
  made.grading = grade_campaign(made.files, GradeLimits());
  const std::string summary = whole(summary_csv, made.inputs);
  EXPECT_EQ(summary.substr(summary.find('\n') + 1, 19), "\"a,\"\"b\"\"\n_adc.txt\",");
  // Each character that needs quoting, on its own.
  for (const char* special : {",", "\"", "\r", "\n"}) {
    made.files[0].analysis.path = std::string("a") + special + "b";
    const std::string table = whole(summary_csv, made.inputs);
    const std::string quoted = std::string("\"a") + (special[0] == '"' ? "\"\"" : special) + "b\",";
    EXPECT_EQ(table.substr(table.find('\n') + 1, quoted.size()), quoted) << special;
  }
  EXPECT_EQ(std::stod(full_precision(0.1 + 0.2)), 0.1 + 0.2);
  EXPECT_EQ(full_precision(std::nan("")), "nan");
}

// Every field is UTF-8, as Python's csv module and pandas read them by
// default; a path that is not keeps its exact bytes in path_bytes.
TEST(CampaignTables, NamesThatAreNotUtf8ReadAsUtf8WithTheirBytesKept) {
  Inputs made;
  made.files.resize(1);
  made.files[0].analysis = graded_analysis("\xff", 0.004);
  made.files[0].analysis.path = "/d/caf\xe9 50%_adc.txt";
  // cppcheck-suppress unreadVariable ; read through made.inputs
  made.grading = grade_campaign(made.files, GradeLimits());
  for (const std::string& table : {whole(summary_csv, made.inputs), whole(chips_csv, made.inputs),
                                   ratios_csv_rows(made.files[0].analysis, RatioTable())})
    EXPECT_TRUE(is_utf8(table)) << table;
  const std::string summary = whole(summary_csv, made.inputs);
  EXPECT_NE(summary.find(
                ",superseded_by,path_bytes,measured_at,measured_from,bench,superseded_by_bench\n"),
            std::string::npos);
  EXPECT_NE(summary.find("/d/caf\xEF\xBF\xBD 50%_adc.txt,\xEF\xBF\xBD,"), std::string::npos);
  const std::string exact = ",/d/caf%E9 50%25_adc.txt,,mtime,,\n";
  EXPECT_EQ(summary.substr(summary.size() - exact.size()), exact);
  EXPECT_EQ(percent_escaped("a\x01\x7f%\xc3\xa9"), "a%01%7F%25%C3%A9");
}

TEST(CampaignReport, AChipIsGradedByItsCurrentMeasurementsWorstFirst) {
  const Inputs made;
  const std::vector<ChipSummary>& chips = made.grading.chips;
  ASSERT_EQ(chips.size(), 5u);
  EXPECT_EQ(chips[1].grade, Grade::a);  // its retest passed
  EXPECT_EQ(chips[1].current, std::vector<std::size_t>{2});
  EXPECT_EQ(chips[1].superseded, std::vector<std::size_t>{1});
  EXPECT_EQ(chips[1].worst, 0.003);
  // Not analysed, then fail, then the A chips by their worst ratio.
  EXPECT_EQ(made.grading.worst_first, (std::vector<std::size_t>{3, 4, 0, 2, 1}));

  const std::string table = whole(chips_csv, made.inputs);
  EXPECT_NE(table.find("\n2,A,odd,0.003,0,1,1,/d2/2_adc.txt,2026-12-08T09:00:00,\n"),
            std::string::npos)
      << table;
  // Not analysed: the configuration that decided so, and no ratio.
  EXPECT_NE(table.find("\n4,not analysed,odd,,,1,0,"), std::string::npos) << table;
  const std::string summary = whole(summary_csv, made.inputs);
  EXPECT_NE(summary.find(",/d2/2_adc.txt,,2026-12-07T10:00:00,name,,\n/d2/2_adc.txt,"),
            std::string::npos)
      << summary;
  EXPECT_NE(summary.find(",2026-12-08T09:00:00,manifest,,\n"), std::string::npos) << summary;
  EXPECT_NE(summary.find(",failed,not analysed,,,,"), std::string::npos) << summary;
}

// The fields of a CSV without quoted fields, by column name.
std::vector<std::map<std::string, std::string>> plain_csv(const std::string& table) {
  std::vector<std::vector<std::string>> rows;
  std::string field;
  rows.emplace_back();
  for (const char c : table) {
    if (c == ',' || c == '\n') {
      rows.back().push_back(field);
      field.clear();
      if (c == '\n') rows.emplace_back();
    } else {
      field += c;
    }
  }
  std::vector<std::map<std::string, std::string>> records;
  for (std::size_t r = 1; r < rows.size() && !rows[r].empty(); ++r) {
    std::map<std::string, std::string> record;
    for (std::size_t c = 0; c < rows[0].size() && c < rows[r].size(); ++c)
      record[rows[0][c]] = rows[r][c];
    records.push_back(record);
  }
  return records;
}

// Benches of one store may use the same paths: every place that names
// another measurement's file names its bench too.
TEST(CampaignTables, OnePathOnTwoBenchesIsToldApartByBench) {
  Inputs made;
  made.files[1].analysis.path = made.files[2].analysis.path = "/d/2_adc.txt";
  made.files[1].analysis.bench = "north";
  made.files[2].analysis.bench = "south";
  const auto summary = plain_csv(whole(summary_csv, made.inputs));
  EXPECT_EQ(summary[1].at("superseded_by") + " " + summary[1].at("superseded_by_bench"),
            "/d/2_adc.txt south");
  EXPECT_EQ(summary[2].at("superseded_by_bench"), "");
  const auto chips = plain_csv(whole(chips_csv, made.inputs));
  EXPECT_EQ(chips[1].at("latest_data_file_bench"), "south");
  const std::string ratios = ratios_csv_rows(made.files[1].analysis, RatioTable());
  EXPECT_EQ(ratios.substr(ratios.size() - 7), ",north\n");

  const auto none = [](std::size_t) { return std::string(); };
  const auto no_profile = [](const std::vector<std::size_t>&) { return std::string(); };
  const std::string page = chip_page(made.grading.chips[1], made.inputs, none, no_profile);
  const std::string path = "<span title=\"/d/2_adc.txt\">/d/2_adc.txt</span>";
  EXPECT_NE(page.find("superseded by the later measurement " + path + " on bench south</p>"),
            std::string::npos)
      << page;
  EXPECT_NE(page.find(path + " on bench north<br>measured 2026-12-07"), std::string::npos);
}

// Yes-or-no columns read as booleans; a chip's data file is that of the
// measurement that decided its grade, not the one measured last.
TEST(CampaignTables, BooleansAndTheFileThatDecidedTheGrade) {
  Inputs made;
  made.files[0].analysis.marker_found = true;
  made.files[0].writes_log = true;
  made.files[0].analysis.log_written = true;
  made.files[3].writes_log = true;  // but its analysis wrote none
  const auto summary = plain_csv(whole(summary_csv, made.inputs));
  ASSERT_EQ(summary.size(), 6u);
  EXPECT_EQ(summary[0].at("marker_found"), "true");
  EXPECT_EQ(summary[0].at("log_written"), "true");
  EXPECT_EQ(summary[3].at("marker_found"), "false");
  EXPECT_EQ(summary[3].at("log_written"), "false");
  EXPECT_EQ(summary[5].at("log_written"), "false");

  // Chip 8 passes its odd measurement, whose path sorts first and which
  // was measured last, and fails its even one.
  made.files.assign(2, CampaignFile());
  made.files[0].analysis = graded_analysis("8", 0.004);
  made.files[0].analysis.path = "/d/8_a_odd_adc.txt";
  made.files[0].measured = {"2026-12-08T10:00:00", MeasuredFrom::name, 2};
  made.files[1].analysis = graded_analysis("8", 0.09);
  made.files[1].analysis.path = "/d/8_b_even_adc.txt";
  made.files[1].analysis.config = "even";
  made.files[1].measured = {"2026-12-08T09:00:00", MeasuredFrom::name, 1};
  // cppcheck-suppress unreadVariable ; read through made.inputs
  made.grading = grade_campaign(made.files, GradeLimits());
  const auto chips = plain_csv(whole(chips_csv, made.inputs));
  ASSERT_EQ(chips.size(), 1u);
  EXPECT_EQ(chips[0].at("grade"), "fail");
  EXPECT_EQ(chips[0].at("worst_config"), "even");
  EXPECT_EQ(chips[0].at("latest_data_file"), "/d/8_b_even_adc.txt");
  EXPECT_EQ(chips[0].at("latest_measured_at"), "2026-12-08T10:00:00");
  const std::string listed = chip_table(made.inputs, {0}, 0, 1, "");
  EXPECT_NE(
      listed.find(
          "<td class=\"path\"><span title=\"/d/8_b_even_adc.txt\">/d/8_b_even_adc.txt</span></td>"),
      std::string::npos)
      << listed;
}

// summary.json counts chips and files by grade apart, lists the chips that
// are not A worst first with the file that decided each, and stays JSON
// whatever a name holds.
TEST(CampaignTables, SummaryJsonCountsListsAndEscapes) {
  Inputs made;
  made.files[5].analysis.path = "/d/5\"\\\n\x01\xff_adc.txt";
  made.search.search_failures = {"/closed: Permission denied"};
  const std::string json = summary_json(made.inputs);
  const auto has = [&json](const std::string& part) {
    EXPECT_NE(json.find(part), std::string::npos) << part << "\n" << json;
  };
  has("\"grade_limits\": {\"A\": 0.01, \"B\": 0.02, \"C\": 0.05}");
  has("\"data_files\": 6,\n  \"chips\": 5,");
  has("\"chips_by_grade\": {\"A\": 3, \"B\": 0, \"C\": 0, \"no data\": 0, \"fail\": 1, "
      "\"not analysed\": 1}");
  has("\"files_by_grade\": {\"A\": 3, \"B\": 0, \"C\": 0, \"no data\": 0, \"fail\": 2, "
      "\"not analysed\": 1}");
  has("\"yield\": {\"passed\": 3, \"chips\": 5, \"fraction\": 0.6}");
  has("\"chips_not_a\": [\n    {\"chip\": \"4\", \"grade\": \"not analysed\", \"worst_config\": "
      "\"odd\", \"worst_abs_mean_ratio\": null, \"worst_channel\": null, \"data_file\": "
      "\"4<&>_adc.txt\"},\n    {\"chip\": \"5\", \"grade\": \"fail\", \"worst_config\": \"odd\", "
      "\"worst_abs_mean_ratio\": 0.09, \"worst_channel\": 0, \"data_file\": "
      "\"/d/5\\\"\\\\\\u000a\\u0001\xEF\xBF\xBD_adc.txt\"}\n  ]");
  has("\"failed_files\": [\n    {\"path\": \"4<&>_adc.txt\", \"chip\": \"4\", \"config\": "
      "\"odd\", \"reason\": \"Cannot open file named x.\"}\n  ]");
  has("\"folders_not_searched\": [\n    \"/closed: Permission denied\"\n  ]");
  EXPECT_TRUE(is_utf8(json));
  // Not-a-number has no JSON number.
  made.files[5].analysis.worst.abs_mean = std::nan("");
  made.grading = grade_campaign(made.files, GradeLimits());
  EXPECT_NE(summary_json(made.inputs).find("\"worst_abs_mean_ratio\": null, \"worst_channel\": 0"),
            std::string::npos);
  // Without chips there is no yield to give.
  made.files.clear();
  made.grading = grade_campaign(made.files, GradeLimits());
  EXPECT_NE(summary_json(made.inputs).find("\"fraction\": null}"), std::string::npos);
  EXPECT_NE(summary_json(made.inputs).find("\"chips_not_a\": [],"), std::string::npos);
}

// Chips and files are counted by grade apart, each labelled, best first:
// the superseded failure counts as a file but grades no chip.
TEST(CampaignReport, TheSummaryLineCountsChipsAndFilesByGradeApart) {
  const Inputs made;
  EXPECT_EQ(summary_line(made.files, made.grading, 2, 1),
            "6 data files (2 unchanged), 5 chips; chips graded 3 A, 1 fail, 1 not analysed; "
            "files graded 3 A, 2 fail, 1 not analysed; 1 failed.");
  EXPECT_EQ(summary_line(made.files, made.grading, 0, 0, 3),
            "6 data files (0 unchanged), 5 chips; chips graded 3 A, 1 fail, 1 not analysed; "
            "files graded 3 A, 2 fail, 1 not analysed; 0 failed; 3 still being written.");
  const Grading none = grade_campaign({}, GradeLimits());
  EXPECT_EQ(summary_line({}, none, 0, 1), "0 data files (0 unchanged), 0 chips; 1 failed.");
}

TEST(CampaignReport, AChipPageShowsItsCurrentMapsThenItsHistory) {
  const Inputs made;
  const auto map = [&made](std::size_t i) -> std::string {
    if (!made.files[i].analysis.has_ratios) return {};
    return "<svg class=\"map\" id=\"" + std::to_string(i) + "\"/>";
  };
  const auto profile = [](const std::vector<std::size_t>&) { return std::string("<profile>"); };
  const std::string page = chip_page(made.grading.chips[1], made.inputs, map, profile);
  const auto at = [&page](const std::string& text) { return page.find(text); };
  EXPECT_LT(at("id=\"2\""), at("History"));
  EXPECT_LT(at("History"), at("id=\"1\""));
  EXPECT_NE(at("superseded by the later measurement <span title=\"/d2/2_adc.txt\">/d2/2_adc.txt"),
            std::string::npos);
  // No script of its own: only the report's, which adds to the page.
  EXPECT_EQ(page.find("<script"), page.rfind("<script"));
  EXPECT_NE(at("<script defer src=\"../index/report.js\"></script>"), std::string::npos);
  const std::string damaged = chip_page(made.grading.chips[2], made.inputs, map, profile);
  EXPECT_NE(damaged.find("damaged: the input ended at byte 77"), std::string::npos);
  EXPECT_EQ(damaged.find("<&>"), std::string::npos);
  EXPECT_NE(damaged.find("3&lt;&amp;&gt;_adc.txt"), std::string::npos);
  const std::string failed = chip_page(made.grading.chips[3], made.inputs, map, profile);
  EXPECT_NE(failed.find("Cannot open file named x."), std::string::npos);
  EXPECT_EQ(failed.find("class=\"map\""), std::string::npos);
}

// A chip's page is made from its own files alone: others coming and going
// leave it as it was, anchors and all.
TEST(CampaignReport, AChipPageDoesNotChangeWithOtherChips) {
  Inputs made;
  const auto none = [](std::size_t) { return std::string(); };
  const auto no_profile = [](const std::vector<std::size_t>&) { return std::string(); };
  const std::string before = chip_page(made.grading.chips[1], made.inputs, none, no_profile);
  EXPECT_NE(before.find("href=\"#m2\""), std::string::npos);
  made.files.erase(made.files.begin());
  made.files[0].superseded_by = 1;
  made.grading = grade_campaign(made.files, GradeLimits());
  EXPECT_EQ(chip_page(made.grading.chips[0], made.inputs, none, no_profile), before);
}

TEST(CampaignReport, TheFrontPageListsWhatNeedsALookAndLinksEveryChip) {
  Inputs made;
  made.search.skipped.push_back({"/d/notes_adc.txt", "no field of the name starts with \"vemra\""});
  std::array<ChannelMean, qavrel::nchan> means{};
  means[4] = {0.03, 2};
  const std::string page = front_page(made.inputs, means);
  const auto at = [&page](const std::string& text) { return page.find(text); };
  EXPECT_NE(at("<a class=\"name\" href=\"chips/4.html\" title=\"4\">4</a>"), std::string::npos);
  EXPECT_NE(at("<a class=\"name\" href=\"chips/5.html\" title=\"5\">5</a>"), std::string::npos);
  EXPECT_EQ(at("href=\"chips/1.html\""), std::string::npos);  // A: only in the index
  EXPECT_NE(at("<a href=\"index/chips-1.html\">1 to 5</a> (5 chips)"), std::string::npos);
  EXPECT_NE(at("Cannot open file named x."), std::string::npos);
  EXPECT_NE(at("/d/notes_adc.txt"), std::string::npos);
  EXPECT_NE(at("ch 4 (odd pulsed): 1.50% over 2 measurements"), std::string::npos);
  EXPECT_NE(at("8.75% to 9.00%: 1 measurements graded fail"), std::string::npos);
  EXPECT_EQ(page.find("<script"), page.rfind("<script"));
  EXPECT_NE(at("<script defer src=\"index/report.js\"></script>"), std::string::npos);
}

// However many chips, each list's pages are named by one rule and link to
// each other in order, and the front page links to every page of all chips.
TEST(CampaignReport, ListsOfChipsSplitIntoPagesByOneRule) {
  EXPECT_EQ(list_page_count(0), 0u);
  EXPECT_EQ(list_page_count(1), 1u);
  EXPECT_EQ(list_page_count(chips_per_page), 1u);
  EXPECT_EQ(list_page_count(chips_per_page + 1), 2u);
  EXPECT_TRUE(is_list_page_name(list_page_name("not-a", 12)));
  EXPECT_FALSE(is_list_page_name("chips-.html"));
  EXPECT_FALSE(is_list_page_name("problems.html"));
  Inputs made;
  made.files.clear();
  for (std::size_t chip = 0; chip < 2 * chips_per_page + 1; ++chip) {
    CampaignFile file;
    file.analysis = graded_analysis(std::to_string(100000 + chip), 0.004);
    made.files.push_back(file);
  }
  made.grading = grade_campaign(made.files, GradeLimits());
  const std::vector<std::size_t> order = all_chips(made.grading);
  const std::string front = front_page(made.inputs, {});
  for (std::size_t page = 1; page <= 3; ++page) {
    const std::string html = chip_list_page(made.inputs, "All chips", "chips", order, page);
    EXPECT_NE(html.find("page " + std::to_string(page) + " of 3"), std::string::npos);
    EXPECT_EQ(html.find("href=\"chips-" + std::to_string(page - 1) + ".html\">previous") !=
                  std::string::npos,
              page > 1);
    EXPECT_EQ(
        html.find("href=\"chips-" + std::to_string(page + 1) + ".html\">next") != std::string::npos,
        page < 3);
    EXPECT_NE(front.find("href=\"index/chips-" + std::to_string(page) + ".html\""),
              std::string::npos);
  }
  EXPECT_EQ(front.find("index/chips-4.html"), std::string::npos);
  EXPECT_NE(chip_list_page(made.inputs, "All chips", "chips", order, 3).find("102000"),
            std::string::npos);
}

TEST(CampaignReport, ColourMapHasEveryCellAndReachesItsEndsAtItsLargestRatio) {
  Analysis analysis = graded_analysis("1", 0.0);
  RatioTable ratios;
  for (auto& peak : ratios.values)
    for (double& ratio : peak) ratio = 0.0;
  ratios.values[0][0] = 1.0;   // the largest: the red end
  ratios.values[0][1] = -1.0;  // as large, below zero: the blue end
  ratios.values[5][2] = std::nan("");
  const std::string svg = colour_map_svg(analysis, ratios, GradeLimits());
  std::size_t cells = 0;
  for (std::size_t at = svg.find("<title>peak"); at != std::string::npos;
       at = svg.find("<title>peak", at + 1))
    ++cells;
  EXPECT_EQ(cells, static_cast<std::size_t>(npeaks * observed_channels));
  EXPECT_NE(svg.find("fill=\"#b2182b\"><title>peak 0, ch 0: 100.000%"), std::string::npos);
  EXPECT_NE(svg.find("fill=\"#2166ac\"><title>peak 0, ch 2: -100.000%"), std::string::npos);
  EXPECT_NE(svg.find("fill=\"#b0b0b0\"><title>peak 5, ch 4: nan"), std::string::npos);
}

// A name may hold any byte; markup holds only characters XML allows, so
// that an SVG file opens on its own, and UTF-8 that is valid stays as it is.
TEST(CampaignReport, MarkupIsWellFormedWhateverANameHolds) {
  EXPECT_EQ(markup_escaped("a<b>&\"c"), "a&lt;b&gt;&amp;&quot;c");
  EXPECT_EQ(markup_escaped("\xff\x01\t\xc3\xbc\xe2\x82\xac\xf0\x9f\x98\x80"),
            "\xEF\xBF\xBD\xEF\xBF\xBD\t\xc3\xbc\xe2\x82\xac\xf0\x9f\x98\x80");
  // Cut, overlong and surrogate sequences, and U+FFFF.
  for (const char* bad :
       {"\xc3", "\xe2\x82", "\xc0\xaf", "\xed\xa0\x80", "\xef\xbf\xbf", "\xf5\x80\x80\x80"})
    EXPECT_EQ(markup_escaped(bad).substr(0, 3), "\xEF\xBF\xBD") << bad;
  // Every byte a name may hold, in random names: what comes out is UTF-8
  // with no character XML forbids and nothing unescaped.
  std::mt19937 random(3);  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same cases every run
  for (int i = 0; i < 2000; ++i) {
    std::string name(1 + random() % 12, ' ');
    for (char& c : name) c = static_cast<char>(random() % 256);
    const std::string escaped = markup_escaped(name);
    ASSERT_TRUE(is_utf8(escaped));
    for (std::size_t at = 0; at < escaped.size(); ++at) {
      const auto byte = static_cast<unsigned char>(escaped[at]);
      ASSERT_FALSE(byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r') << at;
      ASSERT_TRUE(byte != '<' && byte != '>' && byte != '"');
      if (byte == '&') {
        ASSERT_TRUE(escaped.compare(at, 5, "&amp;") == 0 || escaped.compare(at, 4, "&lt;") == 0 ||
                    escaped.compare(at, 4, "&gt;") == 0 || escaped.compare(at, 6, "&quot;") == 0);
      }
      ASSERT_FALSE(escaped.compare(at, 3, "\xef\xbf\xbe") == 0 ||
                   escaped.compare(at, 3, "\xef\xbf\xbf") == 0);
    }
  }
  Analysis analysis = graded_analysis("\xff\x01", 0.0);
  const std::string svg = colour_map_svg(analysis, RatioTable(), GradeLimits());
  EXPECT_EQ(svg.find('\xff'), std::string::npos);
  EXPECT_EQ(svg.find('\x01'), std::string::npos);
}

// UTF-8 as the standard draws it, at every boundary of a lead byte and
// the byte after it; markup leaves out only what XML forbids beyond that.
TEST(CampaignReport, Utf8IsValidExactlyWhereTheStandardSaysSo) {
  const std::pair<const char*, std::size_t> cases[] = {{"\x7f", 1},
                                                       {"\x80", 0},
                                                       {"\xc1\xbf", 0},
                                                       {"\xc2\x80", 2},
                                                       {"\xdf\xbf", 2},
                                                       {"\xc2\x7f", 0},
                                                       {"\xc2\xc0", 0},
                                                       {"\xe0\x9f\xbf", 0},
                                                       {"\xe0\xa0\x80", 3},
                                                       {"\xed\x9f\xbf", 3},
                                                       {"\xed\xa0\x80", 0},
                                                       {"\xef\xbf\xbf", 3},
                                                       {"\xf0\x8f\xbf\xbf", 0},
                                                       {"\xf0\x90\x80\x80", 4},
                                                       {"\xf4\x8f\xbf\xbf", 4},
                                                       {"\xf4\x90\x80\x80", 0},
                                                       {"\xf5\x80\x80\x80", 0},
                                                       {"\xe2\x82", 0}};
  for (const auto& [bytes, length] : cases)
    EXPECT_EQ(utf8_sequence_length(bytes, 0), length) << percent_escaped(bytes);
  EXPECT_EQ(utf8_shown("a\xff"
                       "b"),
            "a\xEF\xBF\xBD"
            "b");
  // U+FFFD stays; the noncharacters U+FFFE and U+FFFF do not.
  EXPECT_EQ(markup_escaped("\xef\xbf\xbd"), "\xef\xbf\xbd");
  EXPECT_EQ(markup_escaped("\xef\xbf\xbe"), "\xEF\xBF\xBD");
  EXPECT_EQ(markup_escaped("\xef\xbf\xbf"), "\xEF\xBF\xBD");
}

// What the output folder is made from changes with each input of each
// output, alone: a rerun that misses one would leave outputs behind.
TEST(CampaignReport, TheFolderIsMadeFromEveryInputOfItsOutputs) {
  const auto made_from_after = [](const std::function<void(Inputs&)>& change) {
    Inputs made;
    made.search.skipped.push_back({"/d/notes_adc.txt", "no chip"});
    made.search.search_failures.push_back("/d/closed: Permission denied");
    change(made);
    return outputs_made_from(made.inputs);
  };
  const std::vector<std::pair<const char*, std::function<void(Inputs&)>>> changes = {
      {"nothing", [](Inputs&) {}},
      {"an analysis", [](Inputs& m) { m.files[2].analysis.id = 77; }},
      {"a path", [](Inputs& m) { m.files[2].analysis.path += "x"; }},
      {"a retest", [](Inputs& m) { m.files[1].superseded_by = CampaignFile::current; }},
      {"a shared log", [](Inputs& m) { m.files[0].shares_log_with = "/d/other_adc.txt"; }},
      {"a log's owner", [](Inputs& m) { m.files[0].owns_log = false; }},
      {"logs written", [](Inputs& m) { m.files[0].writes_log = false; }},
      {"limit A", [](Inputs& m) { m.grading.limits.a = 0.011; }},
      {"limit B", [](Inputs& m) { m.grading.limits.b = 0.021; }},
      {"limit C", [](Inputs& m) { m.grading.limits.c = 0.051; }},
      {"ratios.csv", [](Inputs& m) { m.inputs.ratios_csv = true; }},
      {"a skipped name", [](Inputs& m) { m.search.skipped[0].path += "x"; }},
      {"why it was skipped", [](Inputs& m) { m.search.skipped[0].reason += "x"; }},
      {"a search failure",
       [](Inputs& m) { m.search.search_failures[0] = "/d/other: Permission denied"; }},
      {"one file fewer", [](Inputs& m) { m.files.pop_back(); }},
      {"the folders given, and so the benches", [](Inputs& m) { m.inputs.folders = {"/bench1"}; }},
      {"other folders given", [](Inputs& m) { m.inputs.folders = {"/bench2"}; }},
  };
  std::map<std::uint64_t, const char*> seen;
  for (const auto& [what, change] : changes) {
    const auto [other, fresh] = seen.emplace(made_from_after(change), what);
    EXPECT_TRUE(fresh) << what << " is made from what " << other->second << " is";
  }
  EXPECT_EQ(made_from_after([](Inputs&) {}), made_from_after([](Inputs&) {}));
}

// Pieces of a fingerprint are kept apart: moving text from one piece to
// the next changes it.
TEST(CampaignReport, FingerprintsKeepTheirPiecesApart) {
  EXPECT_NE(Fingerprint().add("ab").add("c").value(), Fingerprint().add("a").add("bc").value());
  EXPECT_NE(Fingerprint().add("").add("x").value(), Fingerprint().add("x").add("").value());
  EXPECT_EQ(Fingerprint().add("ab").add("c").value(), Fingerprint().add("ab").add("c").value());
  EXPECT_EQ(Fingerprint().add("x").text().size(), 16u);
}

}  // namespace
