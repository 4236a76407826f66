#include "campaign/report/chip_page.h"

#include "campaign/find/measurement_time.h"
#include "campaign/report/channel_profile.h"
#include "campaign/report/html_page.h"
#include "campaign/report/markup.h"
#include "campaign/report/output_names.h"
#include "campaign/report/shown_paths.h"

namespace qavrel::campaign {

namespace {

// Superseded measurements shown with their maps, the latest first.
constexpr std::size_t history_maps = 20;

// A measurement's anchor on its chip's page: its place on that page, so
// that the page does not change when other chips' files do.
std::string anchor(std::size_t place) { return "m" + std::to_string(place + 1); }

std::string file_section(const ReportInputs& inputs, std::size_t index, std::size_t place,
                         const std::string& map) {
  const CampaignFile& file = inputs.files[index];
  const Analysis& analysis = file.analysis;
  const bool superseded = file.superseded_by != CampaignFile::current;
  std::string html = "<section class=\"file" + std::string(superseded ? " superseded" : "") +
                     "\" id=\"" + anchor(place) + "\">\n";
  html +=
      "<h3>" + markup_escaped(analysis.config) + " " + grade_badge(inputs.grade(index)) + "</h3>\n";
  // Benches of one shared store may use the same paths: the bench tells them apart.
  const auto on_bench = [](const Analysis& of) {
    return of.bench.empty() ? std::string() : " on bench " + markup_escaped(of.bench);
  };
  html += "<p class=\"note\">" + path_markup(analysis.path, inputs.folders) + on_bench(analysis) +
          "<br>measured " + markup_escaped(file.measured.at) + " (from the " +
          measured_from_name(file.measured.from) + ")<br>" +
          std::to_string(analysis.complete_trains()) + " complete trains" +
          (analysis.cut_train_rows() > 0
               ? ", the last cut short after " + std::to_string(analysis.cut_train_rows()) + " rows"
               : "") +
          "; " + std::to_string(analysis.rows_read) + " rows read" +
          (analysis.marker_found ? "" : "; no start marker") + "; analysed " +
          markup_escaped(analysis.analysed_at) + "</p>\n";
  if (superseded)
    html += "<p class=\"note\">superseded by the later measurement " +
            path_markup(inputs.files[file.superseded_by].analysis.path, inputs.folders) +
            on_bench(inputs.files[file.superseded_by].analysis) + "</p>\n";
  const std::string flag = file.flag();
  if (!flag.empty()) html += "<p class=\"flag\">" + markup_escaped(flag) + "</p>\n";
  if (analysis.has_ratios && !analysis.has_data())
    html += "<p class=\"flag\">no data: no complete pedestal window was read</p>\n";
  if (!file.shares_log_with.empty())
    html += "<p class=\"flag\">its log " + path_markup(analysis.log_path(), inputs.folders) +
            " is shared with " + path_markup(file.shares_log_with, inputs.folders) +
            "; it holds the table of the last by name" + (file.owns_log ? ", this one" : "") +
            "</p>\n";
  html += map;
  if (analysis.has_ratios)
    html +=
        "<p class=\"note\">" + link("../plots/" + plot_name(analysis), "the map as SVG") + "</p>\n";
  return html + "</section>\n";
}

std::string measurement_rows(const ReportInputs& inputs, const std::vector<std::size_t>& indices,
                             std::size_t first_place) {
  std::string rows;
  std::size_t place = first_place;
  for (const std::size_t i : indices) {
    const Analysis& analysis = inputs.files[i].analysis;
    const bool graded = from_ratios(inputs.grade(i));
    rows += "<tr><td>" + table_name_link("#" + anchor(place++), analysis.config) + "</td><td>" +
            grade_badge(inputs.grade(i)) + "</td><td class=\"number\">" +
            (graded ? graded_percent(analysis.worst.abs_mean, inputs.limits()) : "") + "</td><td>" +
            (graded ? "ch " + std::to_string(analysis.worst_channel_number()) : "") +
            "</td><td class=\"path\">" + path_markup(analysis.path, inputs.folders) +
            "</td></tr>\n";
  }
  return rows;
}

}  // namespace

std::string chip_page(
    const ChipSummary& chip, const ReportInputs& inputs,
    const std::function<std::string(std::size_t)>& map_of,
    const std::function<std::string(const std::vector<std::size_t>&)>& profile_of) {
  std::string html = page_start("chip " + chip.chip, "../");
  html += "<p>Grade " + grade_badge(chip.grade) +
          ", the worst of its current measurements, one per configuration: the latest data "
          "file of each.</p>\n<table>\n<tr><th>configuration</th><th>grade</th><th>largest "
          "|mean ratio|</th><th>channel</th><th>data file</th></tr>\n" +
          measurement_rows(inputs, chip.current, 0) + "</table>\n";
  std::vector<std::size_t> with_ratios;
  for (const std::size_t i : chip.current)
    if (inputs.files[i].analysis.has_ratios) with_ratios.push_back(i);
  if (!with_ratios.empty())
    html += "<h2>Channel profile</h2>\n" + profile_of(with_ratios) + "<p class=\"note\">" +
            channel_profile_caption + "</p>\n";
  html += "<h2>Current measurements</h2>\n";
  std::size_t place = 0;
  for (const std::size_t i : chip.current) html += file_section(inputs, i, place++, map_of(i));
  if (!chip.superseded.empty()) {
    html +=
        "<h2>History: superseded measurements</h2>\n<p class=\"note\">Earlier measurements "
        "of a configuration that was measured again; they no longer decide the grade.</p>\n"
        "<table>\n<tr><th>configuration</th><th>grade</th><th>largest |mean ratio|</th>"
        "<th>channel</th><th>data file</th></tr>\n" +
        measurement_rows(inputs, chip.superseded, chip.current.size()) + "</table>\n";
    // The latest ones with their maps; a chip measured again and again
    // keeps a page that opens.
    const std::size_t count = chip.superseded.size();
    for (std::size_t k = count; k-- > 0;)
      html +=
          file_section(inputs, chip.superseded[k], chip.current.size() + k,
                       count - 1 - k < history_maps ? map_of(chip.superseded[k]) : std::string());
  }
  return html + page_end();
}

}  // namespace qavrel::campaign
