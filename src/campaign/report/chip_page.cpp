#include "campaign/report/chip_page.h"

#include "campaign/report/html_page.h"
#include "campaign/report/markup.h"
#include "campaign/report/output_names.h"

namespace qavrel::campaign {

namespace {

// Superseded measurements shown with their maps, the latest first.
constexpr std::size_t history_maps = 20;

std::string file_section(const std::vector<FileResult>& results, std::size_t index,
                         const std::string& map) {
  const FileResult& result = results[index];
  const Analysis& analysis = result.analysis;
  const bool superseded = result.superseded_by != FileResult::current;
  std::string html = "<section class=\"file" + std::string(superseded ? " superseded" : "") +
                     "\" id=\"file-" + std::to_string(index) + "\">\n";
  html += "<h3>" + markup_escaped(analysis.config) + " " + grade_badge(result.grade) + "</h3>\n";
  html += "<p class=\"note\">" + markup_escaped(analysis.path) + "<br>" +
          std::to_string(analysis.complete_trains()) + " complete trains" +
          (analysis.cut_train_rows() > 0
               ? ", the last cut short after " + std::to_string(analysis.cut_train_rows()) + " rows"
               : "") +
          "; " + std::to_string(analysis.rows_read) + " rows read" +
          (analysis.marker_found ? "" : "; no start marker") + "; analysed " +
          markup_escaped(analysis.analysed_at) + "</p>\n";
  if (superseded)
    html += "<p class=\"note\">superseded by the later measurement " +
            markup_escaped(results[result.superseded_by].analysis.path) + "</p>\n";
  const std::string flag = result.flag();
  if (!flag.empty()) html += "<p class=\"flag\">" + markup_escaped(flag) + "</p>\n";
  if (analysis.has_ratios && !analysis.has_data())
    html += "<p class=\"flag\">no data: no complete pedestal window was read</p>\n";
  if (!result.shares_log_with.empty())
    html += "<p class=\"flag\">its log " + markup_escaped(analysis.log_path()) +
            " is shared with " + markup_escaped(result.shares_log_with) +
            "; it holds the table of the last by name" + (result.owns_log ? ", this one" : "") +
            "</p>\n";
  html += map;
  if (analysis.has_ratios)
    html += "<p class=\"note\">" +
            link("../plots/" + plot_name(result.analysis), "the map as SVG") + "</p>\n";
  return html + "</section>\n";
}

std::string measurement_rows(const std::vector<FileResult>& results,
                             const std::vector<std::size_t>& indices) {
  std::string rows;
  for (const std::size_t i : indices) {
    const FileResult& result = results[i];
    const Analysis& analysis = result.analysis;
    const bool graded = from_ratios(result.grade);
    rows += "<tr><td><a href=\"#file-" + std::to_string(i) + "\">" +
            markup_escaped(analysis.config) + "</a></td><td>" + grade_badge(result.grade) +
            "</td><td class=\"number\">" + (graded ? percent(analysis.worst.abs_mean) : "") +
            "</td><td>" + (graded ? "ch " + std::to_string(analysis.worst_channel_number()) : "") +
            "</td><td class=\"path\">" + markup_escaped(analysis.path) + "</td></tr>\n";
  }
  return rows;
}

}  // namespace

std::string chip_page(const ChipSummary& chip, const std::vector<FileResult>& results,
                      const std::function<std::string(std::size_t)>& map_of) {
  std::string html = page_start("chip " + chip.chip, "../");
  html += "<p>Grade " + grade_badge(chip.grade) +
          ", the worst of its current measurements, one per configuration: the latest data "
          "file of each.</p>\n<table>\n<tr><th>configuration</th><th>grade</th><th>largest "
          "|mean ratio|</th><th>channel</th><th>data file</th></tr>\n" +
          measurement_rows(results, chip.current) + "</table>\n";
  html += "<h2>Current measurements</h2>\n";
  for (const std::size_t i : chip.current) html += file_section(results, i, map_of(i));
  if (!chip.superseded.empty()) {
    html +=
        "<h2>History: superseded measurements</h2>\n<p class=\"note\">Earlier measurements "
        "of a configuration that was measured again; they no longer decide the grade.</p>\n"
        "<table>\n<tr><th>configuration</th><th>grade</th><th>largest |mean ratio|</th>"
        "<th>channel</th><th>data file</th></tr>\n" +
        measurement_rows(results, chip.superseded) + "</table>\n";
    // The latest ones with their maps; a chip measured again and again
    // keeps a page that opens.
    std::size_t shown = 0;
    for (auto i = chip.superseded.rbegin(); i != chip.superseded.rend(); ++i)
      html += file_section(results, *i, shown++ < history_maps ? map_of(*i) : std::string());
  }
  return html + page_end();
}

}  // namespace qavrel::campaign
