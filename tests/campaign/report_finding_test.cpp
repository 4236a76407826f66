// Finding a chip in the report: paths shown under the folders given, the
// list of chips as a script for the search box and the filters, and the
// markup that the page script works on.
#include <gtest/gtest.h>

#include <random>

#include "campaign/common/text.h"
#include "campaign/model/grading.h"
#include "campaign/report/chip_lists.h"
#include "campaign/report/chip_page.h"
#include "campaign/report/chips_script.h"
#include "campaign/report/front_page.h"
#include "campaign/report/output_names.h"
#include "campaign/report/shown_paths.h"

namespace {

using namespace qavrel::campaign;

// A JavaScript string literal made of plain characters and \uXXXX escapes,
// read back as UTF-8; "" when it holds anything else.
std::string read_back(const std::string& literal) {
  if (literal.size() < 2 || literal.front() != '"' || literal.back() != '"') return "";
  std::string text;
  for (std::size_t i = 1; i + 1 < literal.size(); ++i) {
    const char c = literal[i];
    if (c == '"' || c == '\n' || c == '\r') return "";
    if (c != '\\') {
      text += c;
      continue;
    }
    if (i + 6 > literal.size() - 1 || literal[i + 1] != 'u') return "";
    const unsigned code = std::stoul(literal.substr(i + 2, 4), nullptr, 16);
    i += 5;
    if (code < 0x80) {
      text += static_cast<char>(code);
    } else if (code < 0x800) {
      text += static_cast<char>(0xC0 | (code >> 6));
      text += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      text += static_cast<char>(0xE0 | (code >> 12));
      text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      text += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return text;
}

Analysis analysis_of(const std::string& chip, const std::string& config, double worst) {
  Analysis analysis;
  analysis.path = "/bench/run/" + chip + "_" + config + "_adc.txt";
  analysis.chip = chip;
  analysis.config = config;
  analysis.has_ratios = true;
  analysis.ok = true;
  analysis.train_rows = 3 * qavrel::train_length;
  analysis.worst.abs_mean = worst;
  return analysis;
}

CampaignFile file_of(const std::string& chip, const std::string& config, double worst,
                     const std::string& at) {
  CampaignFile file;
  file.analysis = analysis_of(chip, config, worst);
  // Ordered as the text reads: its digits as one number.
  std::string digits;
  for (const char c : at)
    if (c >= '0' && c <= '9') digits += c;
  file.measured = {at, MeasuredFrom::name, std::stoll(digits)};
  return file;
}

TEST(ReportPaths, PathsAreShownUnderTheDeepestFolderGiven) {
  const std::vector<std::string> folders = {"/bench", "/bench/run", "/other/b"};
  EXPECT_EQ(shown_path("/bench/run/day/1_adc.txt", folders), "day/1_adc.txt");
  EXPECT_EQ(shown_path("/bench/x_adc.txt", folders), "x_adc.txt");
  // A folder whose name only starts like another's is not inside it.
  EXPECT_EQ(shown_path("/bench/running/x_adc.txt", folders), "running/x_adc.txt");
  EXPECT_EQ(shown_path("/other/bc/x_adc.txt", folders), "/other/bc/x_adc.txt");
  EXPECT_EQ(shown_path("/elsewhere/x_adc.txt", folders), "/elsewhere/x_adc.txt");
  EXPECT_EQ(shown_path("/other/b", folders), "/other/b");
  EXPECT_EQ(shown_path("/x/y_adc.txt", {"/"}), "x/y_adc.txt");
  EXPECT_EQ(shown_path("/x/y_adc.txt", {}), "/x/y_adc.txt");
  EXPECT_EQ(shown_path("/x/y_adc.txt", {""}), "/x/y_adc.txt");
  EXPECT_EQ(
      path_markup("/bench/a\"<&>_adc.txt", folders),
      "<span title=\"/bench/a&quot;&lt;&amp;&gt;_adc.txt\">a&quot;&lt;&amp;&gt;_adc.txt</span>");
}

TEST(ReportPaths, PagesShowPathsUnderTheFoldersGivenWithTheFullPathOnHover) {
  std::vector<CampaignFile> files = {file_of("7", "odd", 0.09, "2026-12-07T10:00:00"),
                                     file_of("7", "odd", 0.004, "2026-12-08T10:00:00")};
  files[0].analysis.path = "/bench/run/day1/7_adc.txt";
  files[0].superseded_by = 1;
  files[1].analysis.path = "/bench/run/day2/7_adc.txt";
  files[1].shares_log_with = "/bench/run/day2/8_adc.txt";
  const Grading grading = grade_campaign(files, GradeLimits());
  const SearchReport search{{{"/bench/run/notes_adc.txt", "no chip"}}, {}};
  const ReportInputs inputs{files, grading, search, false, {"/bench/run"}};
  const std::string page = chip_page(
      grading.chips[0], inputs, [](std::size_t) { return ""; },
      [](const std::vector<std::size_t>&) { return std::string(); });
  const std::string current = "<span title=\"/bench/run/day2/7_adc.txt\">day2/7_adc.txt</span>";
  EXPECT_NE(page.find("<td class=\"path\">" + current), std::string::npos) << page;
  EXPECT_NE(page.find("<p class=\"note\">" + current + "<br>measured"), std::string::npos);
  EXPECT_NE(page.find("superseded by the later measurement " + current), std::string::npos);
  EXPECT_NE(page.find("is shared with <span title=\"/bench/run/day2/8_adc.txt\">day2/8_adc.txt"),
            std::string::npos);
  EXPECT_EQ(page.find(">/bench/run/"), std::string::npos) << page;
  const std::string list = chip_list_page(inputs, "All chips", "chips", all_chips(grading), 1);
  EXPECT_NE(list.find("<td class=\"path\">" + current), std::string::npos);
  const std::string front = front_page(inputs, {});
  EXPECT_NE(front.find("<span title=\"/bench/run/notes_adc.txt\">notes_adc.txt</span>: no chip"),
            std::string::npos);
}

TEST(ChipsScript, StringsAreSafeInJavaScriptAndHtmlWhateverANameHolds) {
  EXPECT_EQ(javascript_string("100001"), "\"100001\"");
  EXPECT_EQ(javascript_string("a\"b\\c"), "\"a\\u0022b\\u005cc\"");
  EXPECT_EQ(javascript_string("</script><!--&'"),
            "\"\\u003c/script\\u003e\\u003c!--\\u0026\\u0027\"");
  EXPECT_EQ(javascript_string("a\nb\x01"), "\"a\\u000ab\\u0001\"");
  EXPECT_EQ(javascript_string("caf\xe9"), "\"caf\xEF\xBF\xBD\"");
  EXPECT_EQ(javascript_string("\xE2\x80\xA8\xE2\x80\xA9\xC3\xA9"), "\"\\u2028\\u2029\xC3\xA9\"");
  // Any bytes at all: a literal of UTF-8 with nothing HTML or JavaScript
  // reads as markup or as its end, which reads back as the name does.
  std::mt19937 random(7);  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same cases every run
  for (int round = 0; round < 2000; ++round) {
    std::string name(random() % 12, ' ');
    for (char& c : name)
      c = static_cast<char>(random() % 4 == 0 ? random() % 256
                                              : "\"<\\>&\xE2\x80\xA8"[random() % 8]);
    const std::string literal = javascript_string(name);
    EXPECT_TRUE(is_utf8(literal)) << literal;
    EXPECT_EQ(literal.find_first_of("<>&\n\r'", 0), std::string::npos) << literal;
    EXPECT_EQ(literal.find('"', 1), literal.size() - 1) << literal;
    EXPECT_EQ(literal.find("\xE2\x80\xA8"), std::string::npos) << literal;
    EXPECT_EQ(read_back(literal), utf8_shown(name)) << literal;
  }
}

TEST(ChipsScript, EachChipHasItsPageGradeWorstAndTheDayOfItsLatestMeasurement) {
  std::vector<CampaignFile> files = {
      file_of("2", "odd", 0.09, "2026-12-07T10:00:00"),    // superseded by its retest
      file_of("2", "odd", 0.003, "2026-12-08T23:59:59"),   // its retest
      file_of("2", "even", 0.015, "2026-12-09T08:00:00"),  // measured last
      file_of("a\"b</c", "odd", 0.03, "2026-12-06T10:00:00"),
      file_of("9", "odd", 0.0, "2026-12-05T10:00:00")};
  files[0].superseded_by = 1;
  files[4].analysis.ok = false;
  files[4].analysis.has_ratios = false;
  const Grading grading = grade_campaign(files, GradeLimits());
  const SearchReport search{{}, {}};
  const ReportInputs inputs{files, grading, search, false, {}};
  const std::string script = chips_script(inputs);
  EXPECT_EQ(script.rfind("window.qavrelChips = [\n", 0), 0u);
  EXPECT_EQ(script.substr(script.size() - 3), "];\n");
  // By name, a row each; the worst of the current measurements, and the
  // day of the one measured last, which is not the first.
  EXPECT_NE(script.find("\n[\"2\",\"2.html\",\"B\",\"1.50%\",\"even\",0,\"2026-12-09\"],\n"),
            std::string::npos)
      << script;
  EXPECT_NE(
      script.find("\n[\"9\",\"9.html\",\"not analysed\",\"\",\"odd\",null,\"2026-12-05\"],\n"),
      std::string::npos)
      << script;
  const std::string odd_name = "[" + javascript_string("a\"b</c") + "," +
                               javascript_string(chip_page_name("a\"b</c")) + ",\"C\",\"3.00%\"";
  EXPECT_NE(script.find(odd_name), std::string::npos) << script;
  EXPECT_EQ(script.find('<'), std::string::npos);
  std::size_t rows = 0;
  for (const char c : script) rows += c == '\n' ? 1 : 0;
  EXPECT_EQ(rows, 2 + grading.chips.size());
}

TEST(ChipsScript, ListPagesCarryTheFiltersAndSortableTables) {
  std::vector<CampaignFile> files;
  for (std::size_t chip = 0; chip < chips_per_page + 1; ++chip)
    files.push_back(file_of(std::to_string(100000 + chip), "odd", chip % 2 ? 0.004 : 0.09,
                            "2026-12-08T10:00:00"));
  const Grading grading = grade_campaign(files, GradeLimits());
  const SearchReport search{{}, {}};
  const ReportInputs inputs{files, grading, search, false, {}};
  for (const std::size_t page : {1, 2}) {
    const std::string html = chip_list_page(inputs, "All chips", "chips", all_chips(grading), page);
    EXPECT_NE(html.find("<form class=\"filters\" data-list=\"chips\" hidden>"), std::string::npos)
        << page;
    EXPECT_NE(html.find("<select name=\"grade\">"), std::string::npos);
    EXPECT_NE(html.find("<select name=\"config\">"), std::string::npos);
    EXPECT_NE(html.find("<select name=\"day\">"), std::string::npos);
    // The list's own page, which a filtered list replaces, holds both
    // navigation bars and the table.
    const std::size_t part = html.find("<div class=\"list-page\">");
    EXPECT_LT(html.find("<div class=\"filtered\"></div>"), part);
    const std::size_t end = html.find("</div>\n<p class=\"note\">Made by");
    ASSERT_LT(part, end);
    const std::string own = html.substr(part, end - part);
    EXPECT_NE(own.find("<nav>"), own.rfind("<nav>"));
    EXPECT_NE(own.find(" of 2"), std::string::npos);
    EXPECT_NE(own.find("</table>"), std::string::npos);
    EXPECT_NE(html.find("<table class=\"sortable\">\n<thead><tr><th>chip</th>"), std::string::npos);
    // A grade sorts by how bad it is, not by its name.
    EXPECT_NE(html.find("<td data-sort=\"4\"><span class=\"grade grade-fail\">"),
              std::string::npos);
    EXPECT_NE(html.find("<form class=\"search\" role=\"search\" hidden>"), std::string::npos);
    EXPECT_NE(html.find("<script defer src=\"../index/report.js\"></script>"), std::string::npos);
  }
  const std::string first = chip_list_page(inputs, "All chips", "chips", all_chips(grading), 1);
  EXPECT_NE(first.find("<td data-sort=\"0\"><span class=\"grade grade-A\">"), std::string::npos);
  const std::string not_a = chip_list_page(inputs, "Not A", "not-a", chips_not_a(grading), 1);
  EXPECT_NE(not_a.find("data-list=\"not-a\""), std::string::npos);
}

}  // namespace
