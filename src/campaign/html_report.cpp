#include "campaign/html_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>

#include "campaign/markup.h"

namespace {

const char* const style = R"css(
body { font-family: sans-serif; margin: 2em; color: #222; max-width: 1100px; }
h1 { margin-bottom: 0.2em; }
table { border-collapse: collapse; margin: 1em 0; }
th, td { border: 1px solid #ccc; padding: 0.3em 0.7em; text-align: left; }
th { background: #f0f0f0; }
.grade { font-weight: bold; padding: 0.1em 0.5em; border-radius: 0.3em; color: #fff; }
.grade-A { background: #1a7f37; } .grade-B { background: #6a9a1f; }
.grade-C { background: #b08800; } .grade-fail { background: #c0392b; }
.grade-no-data, .grade-not-analysed { background: #777; }
.flag { color: #c0392b; font-weight: bold; }
.note { color: #555; }
section.file { border-top: 1px solid #ddd; padding-top: 0.5em; margin-top: 1.5em; }
)css";

struct ChipSummary {
  std::string chip;
  Grade grade = Grade::a;
  double worst = 0.0;  // largest absolute mean over its graded files
  std::string worst_where;
  std::vector<std::size_t> files;  // indices into the results
};

std::string percent(double ratio) {
  if (std::isnan(ratio)) return "nan";
  char text[32];
  std::snprintf(text, sizeof text, "%.2f%%", 100.0 * ratio);
  return text;
}

std::string grade_badge(Grade grade) {
  std::string css = grade_name(grade);
  std::replace(css.begin(), css.end(), ' ', '-');
  return "<span class=\"grade grade-" + css + "\">" + grade_name(grade) + "</span>";
}

// For ranking, not-a-number counts as worse than any number.
double severity(double worst) {
  return std::isnan(worst) ? std::numeric_limits<double>::infinity() : worst;
}

std::vector<ChipSummary> chips_worst_first(const std::vector<FileResult>& results) {
  std::map<std::string, ChipSummary> by_chip;
  for (std::size_t i = 0; i < results.size(); ++i) {
    const FileResult& result = results[i];
    ChipSummary& chip = by_chip[result.analysis.chip];
    chip.chip = result.analysis.chip;
    chip.files.push_back(i);
    chip.grade = std::max(chip.grade, result.grade);
    const Analysis& analysis = result.analysis;
    if (from_ratios(result.grade) &&
        (chip.worst_where.empty() || severity(analysis.worst.abs_mean) > severity(chip.worst))) {
      chip.worst = analysis.worst.abs_mean;
      chip.worst_where =
          analysis.config + ", ch " + std::to_string(analysis.worst_channel_number());
    }
  }
  std::vector<ChipSummary> chips;
  chips.reserve(by_chip.size());
  for (auto& entry : by_chip) chips.push_back(entry.second);
  std::stable_sort(chips.begin(), chips.end(), [](const ChipSummary& a, const ChipSummary& b) {
    if (a.grade != b.grade) return a.grade > b.grade;
    return severity(a.worst) > severity(b.worst);
  });
  return chips;
}

std::string overview(const std::vector<FileResult>& results, const std::vector<ChipSummary>& chips,
                     const ReportContext& context) {
  std::map<Grade, int> counts;
  int failures = 0;
  for (const FileResult& result : results) {
    ++counts[result.grade];
    failures += result.analysis.ok ? 0 : 1;
  }
  std::string html = "<h2>Overview</h2>\n<table>\n<tr><th>data files</th><td>" +
                     std::to_string(results.size()) + "</td></tr>\n<tr><th>chips</th><td>" +
                     std::to_string(chips.size()) + "</td></tr>\n";
  for (const Grade grade :
       {Grade::a, Grade::b, Grade::c, Grade::fail, Grade::no_data, Grade::not_analysed})
    html += "<tr><th>" + grade_badge(grade) + "</th><td>" + std::to_string(counts[grade]) +
            "</td></tr>\n";
  html += "<tr><th>failures</th><td>" + std::to_string(failures) + "</td></tr>\n</table>\n";
  html +=
      "<p class=\"note\">Grade of a file: the largest absolute mean ratio of an observed "
      "channel over the 15 peaks; A up to " +
      percent(context.limits.a) + ", B up to " + percent(context.limits.b) + ", C up to " +
      percent(context.limits.c) +
      ", fail above (and for not-a-number). A chip takes the "
      "worst grade of its files.</p>\n";

  std::string problems;
  for (std::size_t i = 0; i < results.size(); ++i)
    if (!results[i].analysis.ok)
      problems += "<li><a href=\"#file-" + std::to_string(i) + "\">" +
                  markup_escaped(results[i].analysis.path) +
                  "</a>: " + markup_escaped(results[i].analysis.error) + "</li>\n";
  for (const std::string& failure : context.search_failures)
    problems += "<li>" + markup_escaped(failure) + "</li>\n";
  if (!problems.empty()) html += "<h3>Failures</h3>\n<ul>\n" + problems + "</ul>\n";
  if (!context.skipped.empty()) {
    html += "<h3>Skipped: names that give no chip and configuration</h3>\n<ul>\n";
    for (const SkippedFile& skipped : context.skipped)
      html +=
          "<li>" + markup_escaped(skipped.path) + ": " + markup_escaped(skipped.reason) + "</li>\n";
    html += "</ul>\n";
  }
  return html;
}

std::string chip_table(const std::vector<FileResult>& results,
                       const std::vector<ChipSummary>& chips) {
  std::string html =
      "<h2>Chips, worst first</h2>\n<table>\n<tr><th>chip</th><th>grade</th><th>largest "
      "|mean ratio|</th><th>where</th><th>data files</th></tr>\n";
  for (const ChipSummary& chip : chips) {
    std::string links;
    for (const std::size_t i : chip.files)
      links += "<a href=\"#file-" + std::to_string(i) + "\">" +
               markup_escaped(results[i].analysis.config) + "</a> ";
    html += "<tr><td>" + markup_escaped(chip.chip) + "</td><td>" + grade_badge(chip.grade) +
            "</td><td>" + (chip.worst_where.empty() ? "" : percent(chip.worst)) + "</td><td>" +
            markup_escaped(chip.worst_where) + "</td><td>" + links + "</td></tr>\n";
  }
  return html + "</table>\n";
}

std::string file_section(const FileResult& result, std::size_t index, const std::string& map) {
  const Analysis& analysis = result.analysis;
  std::string html = "<section class=\"file\" id=\"file-" + std::to_string(index) + "\">\n";
  html += "<h3>chip " + markup_escaped(analysis.chip) + ", " + markup_escaped(analysis.config) +
          " " + grade_badge(result.grade) + "</h3>\n";
  html += "<p class=\"note\">" + markup_escaped(analysis.path) + "<br>" +
          std::to_string(analysis.complete_trains()) + " complete trains" +
          (analysis.cut_train_rows() > 0
               ? ", the last cut short after " + std::to_string(analysis.cut_train_rows()) + " rows"
               : "") +
          "; " + std::to_string(analysis.rows_read) + " rows read" +
          (analysis.marker_found ? "" : "; no start marker") + "; analysed " +
          markup_escaped(analysis.analysed_at) + "</p>\n";
  const std::string flag = result.flag();
  if (!flag.empty()) html += "<p class=\"flag\">" + markup_escaped(flag) + "</p>\n";
  if (analysis.ok && !analysis.has_data())
    html += "<p class=\"flag\">no data: no complete pedestal window was read</p>\n";
  if (!result.shares_log_with.empty())
    html += "<p class=\"flag\">its log " + markup_escaped(analysis.log_path) + " is shared with " +
            markup_escaped(result.shares_log_with) + "; it holds the table of the last by name" +
            (result.owns_log ? ", this one" : "") + "</p>\n";
  return html + map + "</section>\n";
}

}  // namespace

void html_report(const std::vector<FileResult>& results, const ReportContext& context,
                 const std::function<std::string(std::size_t)>& map_of,
                 const std::function<void(const std::string&)>& emit) {
  const std::vector<ChipSummary> chips = chips_worst_first(results);
  emit(
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<title>Cross-talk campaign</title>\n<style>" +
      std::string(style) + "</style>\n</head>\n<body>\n<h1>Cross-talk campaign</h1>\n" +
      "<p class=\"note\">Results as of the latest analysis, " +
      markup_escaped(context.latest_analysis) + ", by qavrel-campaign " + tool_version + ".</p>\n");
  emit(overview(results, chips, context));
  emit(chip_table(results, chips));
  emit("<h2>Data files</h2>\n");
  for (const ChipSummary& chip : chips)
    for (const std::size_t i : chip.files) emit(file_section(results[i], i, map_of(i)));
  emit("</body>\n</html>\n");
}
