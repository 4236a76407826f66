#include "campaign/report/front_page.h"

#include <map>

#include "campaign/model/chip_yield.h"
#include "campaign/model/trend_groups.h"
#include "campaign/report/charts.h"
#include "campaign/report/chip_lists.h"
#include "campaign/report/html_page.h"
#include "campaign/report/markup.h"
#include "campaign/report/output_names.h"
#include "campaign/report/shown_paths.h"

namespace qavrel::campaign {

namespace {

// Chips that are not A, shown worst first here; the rest are a link away.
constexpr std::size_t attention_shown = 100;
// Failures and skipped names shown here; all are on the problems page.
constexpr std::size_t problems_shown = 20;

const Grade all_grades[] = {Grade::a,    Grade::b,       Grade::c,
                            Grade::fail, Grade::no_data, Grade::not_analysed};

std::string share(std::size_t part, std::size_t whole) {
  return whole == 0 ? "" : percent(static_cast<double>(part) / static_cast<double>(whole));
}

std::vector<std::string> failure_lines(const ReportInputs& inputs) {
  std::vector<std::string> lines;
  for (const CampaignFile& file : inputs.files)
    if (!file.analysis.ok)
      lines.push_back(path_markup(file.analysis.path, inputs.folders) + ": " +
                      markup_escaped(file.analysis.error));
  for (const std::string& failure : inputs.search.search_failures)
    lines.push_back(markup_escaped(failure));
  return lines;
}

std::vector<std::string> skipped_lines(const ReportInputs& inputs) {
  std::vector<std::string> lines;
  for (const SkippedFile& skipped : inputs.search.skipped)
    lines.push_back(path_markup(skipped.path, inputs.folders) + ": " +
                    markup_escaped(skipped.reason));
  return lines;
}

std::string list(const std::vector<std::string>& lines, std::size_t shown) {
  std::string html = "<ul>\n";
  for (std::size_t i = 0; i < lines.size() && i < shown; ++i) html += "<li>" + lines[i] + "</li>\n";
  html += "</ul>\n";
  if (lines.size() > shown)
    html += "<p>" + link("index/problems.html", "all " + std::to_string(lines.size())) + "</p>\n";
  return html;
}

std::string overview(const ReportInputs& inputs, std::size_t failures) {
  const std::vector<CampaignFile>& results = inputs.files;
  const std::vector<ChipSummary>& chips = inputs.grading.chips;
  const GradeLimits& limits = inputs.limits();
  std::size_t superseded = 0;
  for (const CampaignFile& file : results)
    superseded += file.superseded_by != CampaignFile::current ? 1 : 0;
  std::map<Grade, std::size_t> counts;
  for (const ChipSummary& chip : chips) ++counts[chip.grade];
  std::string html = "<h2>Overview</h2>\n<table>\n<tr><th>data files</th><td class=\"number\">" +
                     std::to_string(results.size()) +
                     "</td><td></td></tr>\n<tr><th>current measurements</th><td class=\"number\">" +
                     std::to_string(results.size() - superseded) +
                     "</td><td>the latest data file of each chip and configuration</td></tr>\n"
                     "<tr><th>superseded</th><td class=\"number\">" +
                     std::to_string(superseded) +
                     "</td><td>earlier measurements, measured again since</td></tr>\n"
                     "<tr><th>chips</th><td class=\"number\">" +
                     std::to_string(chips.size()) + "</td><td></td></tr>\n";
  for (const Grade grade : all_grades)
    html += "<tr><th>" + grade_badge(grade) + "</th><td class=\"number\">" +
            std::to_string(counts[grade]) + "</td><td>" + share(counts[grade], chips.size()) +
            " of the chips</td></tr>\n";
  html += "<tr><th>failures</th><td class=\"number\">" + std::to_string(failures) +
          "</td><td></td></tr>\n<tr><th>skipped names</th><td class=\"number\">" +
          std::to_string(inputs.search.skipped.size()) + "</td><td></td></tr>\n</table>\n";
  return html +
         "<p class=\"note\">Grade of a measurement: the largest absolute mean ratio of an observed "
         "channel over the 15 peaks; A up to " +
         limit_percent(limits.a, limits) + ", B up to " + limit_percent(limits.b, limits) +
         ", C up to " + limit_percent(limits.c, limits) +
         ", fail above (and for not-a-number). A chip takes the worst grade of its current "
         "measurements: the latest data file of each configuration.</p>\n";
}

// The yield, large, and what counts in it.
std::string yield_figure(const Grading& grading) {
  const ChipYield yield = chip_yield(grading);
  return "<p class=\"yield\"><strong style=\"font-size: 2.4em\">" + yield_percent(yield) +
         "</strong> yield: " + std::to_string(yield.passed) + " of " + std::to_string(yield.chips) +
         " chips are graded A, B or C (by the worst of their current measurements); a chip that "
         "fails, has no data or could not be analysed counts against it.</p>\n";
}

// The yield and cross-talk by when and where the chips were measured.
std::string trends(const ReportInputs& inputs) {
  const std::pair<const char*, GroupKey> keys[] = {
      {"day measured", day_of}, {"bench", bench_of}, {"board", board_of}, {"link", link_of}};
  std::string html =
      "<h2>Trends</h2>\n<p class=\"note\">Each chip counts in every group that holds one of its "
      "current measurements, with its grade (the worst of all its current measurements), so a "
      "chip measured on two days counts on both; the spread is of the worst |mean ratio| of the "
      "current measurements in the group. Board and link come from the robot's file names; a "
      "file whose name gives none is in the group \"" +
      std::string(unknown_group) + "\".</p>\n";
  for (const auto& [label, key] : keys) {
    const std::vector<TrendGroup> groups = trend_groups(inputs.files, inputs.grading, key);
    html += "<h3>By " + std::string(label) + "</h3>\n" + trend_chart(groups, inputs.grading, label);
    if (groups.size() > trend_rows)
      html += "<p class=\"note\">The first " + std::to_string(trend_rows) + " of " +
              std::to_string(groups.size()) + " groups; summary.csv has every file.</p>\n";
  }
  return html;
}

std::string chip_index(const std::vector<ChipSummary>& chips) {
  std::string html = "<h2>All chips</h2>\n<ul>\n";
  // One line per page of the list of all chips, as the list rule splits it.
  for (std::size_t page = 1; page <= list_page_count(chips.size()); ++page) {
    const std::size_t first = (page - 1) * chips_per_page;
    const std::size_t last = std::min(chips.size(), first + chips_per_page) - 1;
    html += "<li>" +
            link("index/" + list_page_name("chips", page),
                 chips[first].chip + " to " + chips[last].chip) +
            " (" + std::to_string(last - first + 1) + " chips)</li>\n";
  }
  return html + "</ul>\n";
}

}  // namespace

std::string front_page(const ReportInputs& inputs,
                       const std::array<ChannelMean, qavrel::nchan>& channel_means) {
  const std::vector<ChipSummary>& chips = inputs.grading.chips;
  const std::vector<std::string> failures = failure_lines(inputs);
  const std::vector<std::string> skipped = skipped_lines(inputs);
  std::string latest_analysis;
  for (const CampaignFile& file : inputs.files)
    latest_analysis = std::max(latest_analysis, file.analysis.analysed_at);
  std::string html = page_start("Cross-talk campaign", "");
  html += "<p class=\"note\">Results as of the latest analysis, " +
          markup_escaped(latest_analysis) + ". Tables: " + link("summary.csv", "summary.csv") +
          " (a row per data file), " + link("chips.csv", "chips.csv") + " (a row per chip)" +
          (inputs.ratios_csv ? ", " + link("ratios.csv", "ratios.csv") + " (every ratio)" : "") +
          (inputs.shared_store ? "; every analysis is in the shared results store (schema "
                                 "qavrel_campaign).</p>\n"
                               : "; every analysis is in campaign.sqlite.</p>\n");
  html += yield_figure(inputs.grading);
  html += overview(inputs, failures.size());
  html += "<p>" + link("index/problems.html", "Every failure and skipped name") + "</p>\n";
  if (!failures.empty()) html += "<h3>Failures</h3>\n" + list(failures, problems_shown);
  if (!skipped.empty())
    html += "<h3>Skipped: names that give no chip and configuration, or no data</h3>\n" +
            list(skipped, problems_shown);

  std::vector<double> worst;
  for (std::size_t i = 0; i < inputs.files.size(); ++i)
    if (inputs.files[i].superseded_by == CampaignFile::current && from_ratios(inputs.grade(i)))
      worst.push_back(inputs.files[i].analysis.worst.abs_mean);
  html += "<h2>Cross-talk of the current measurements</h2>\n" +
          worst_ratio_histogram(worst, inputs.limits()) +
          "<p class=\"note\">Each bar counts the measurements whose worst |mean ratio| lies above "
          "its lower edge up to its upper one, coloured by their grades; the last bar counts "
          "every one above the axis, and not-a-number.</p>\n";
  html += trends(inputs);
  html +=
      "<h2>Each channel across the campaign: mean |ratio|</h2>\n<p class=\"note\">The mean "
      "of each observed channel's |ratio| over the peaks of every current measurement. Grades "
      "use another statistic, the |mean ratio| (the mean over the peaks, then its size), which "
      "lets ratios of opposite signs cancel; this one shows where cross-talk is picked up at "
      "all. A channel that stands out on every chip points to the layout, not to one "
      "chip.</p>\n" +
      channel_means_chart(channel_means);

  const std::vector<std::size_t> attention = chips_not_a(inputs.grading);
  html += "<h2>Chips that are not A, worst first</h2>\n";
  if (attention.empty())
    html += "<p>None.</p>\n";
  else
    html += chip_table(inputs, attention, 0, attention_shown, "");
  if (attention.size() > attention_shown)
    html += "<p>" +
            link("index/" + list_page_name("not-a", 1),
                 "all " + std::to_string(attention.size()) + " chips that are not A") +
            "</p>\n";
  return html + chip_index(chips) + page_end();
}

std::string problems_page(const ReportInputs& inputs) {
  const std::vector<std::string> failures = failure_lines(inputs);
  const std::vector<std::string> skipped = skipped_lines(inputs);
  std::string html = page_start("Failures and skipped names", "../");
  html += "<h2>Failures</h2>\n" + list(failures, failures.size());
  html += "<h2>Skipped</h2>\n" + list(skipped, skipped.size());
  return html + page_end();
}

}  // namespace qavrel::campaign
