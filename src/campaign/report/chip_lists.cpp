#include "campaign/report/chip_lists.h"

#include <numeric>

#include "campaign/report/html_page.h"
#include "campaign/report/markup.h"
#include "campaign/report/output_names.h"
#include "campaign/report/shown_paths.h"

namespace qavrel::campaign {

std::string chip_table(const ReportInputs& inputs, const std::vector<std::size_t>& order,
                       std::size_t first, std::size_t last, const std::string& root) {
  std::string html =
      "<table class=\"sortable\">\n<thead><tr><th>chip</th><th>grade</th><th>largest |mean "
      "ratio|</th><th>where</th><th>current</th><th>superseded</th><th>data file of that "
      "configuration</th></tr>"
      "</thead>\n<tbody>\n";
  for (std::size_t i = first; i < last && i < order.size(); ++i) {
    const ChipSummary& chip = inputs.grading.chips[order[i]];
    html += "<tr><td>" + table_name_link(root + "chips/" + chip_page_name(chip.chip), chip.chip) +
            "</td><td data-sort=\"" + std::to_string(static_cast<int>(chip.grade)) + "\">" +
            grade_badge(chip.grade) + "</td><td class=\"number\">" +
            (chip.has_worst ? graded_percent(chip.worst, inputs.limits()) : "") + "</td><td>" +
            table_name(chip.worst_config) +
            (chip.has_worst ? ", ch&nbsp;" + std::to_string(chip.worst_channel) : "") +
            "</td><td class=\"number\">" + std::to_string(chip.current.size()) +
            "</td><td class=\"number\">" + std::to_string(chip.superseded.size()) +
            "</td><td class=\"path\">" +
            path_markup(inputs.files[chip.worst_file].analysis.path, inputs.folders) +
            "</td></tr>\n";
  }
  return html + "</tbody>\n</table>\n";
}

std::string chip_list_page(const ReportInputs& inputs, const std::string& title,
                           const std::string& stem, const std::vector<std::size_t>& order,
                           std::size_t page) {
  const std::size_t count = list_page_count(order.size());
  std::string nav = "<nav>";
  if (page > 1) nav += link(list_page_name(stem, page - 1), "previous") + " ";
  nav += "page " + std::to_string(page) + " of " + std::to_string(count);
  if (page < count) nav += " " + link(list_page_name(stem, page + 1), "next");
  nav += "</nav>\n";
  const std::size_t first = (page - 1) * chips_per_page;
  std::string html = page_start(title + ", page " + std::to_string(page), "../");
  // The filters choose among every chip of the list, from index/chips.js;
  // while one is set, the list's own pages give way to what it chose.
  html += "<form class=\"filters\" data-list=\"" + markup_escaped(stem) +
          "\" hidden><label>grade <select name=\"grade\"><option value=\"\">any</option>"
          "</select></label><label>worst configuration <select name=\"config\"><option "
          "value=\"\">any</option></select></label><label>day of the latest measurement <select "
          "name=\"day\"><option value=\"\">any</option></select></label></form>\n"
          "<div class=\"filtered\"></div>\n<div class=\"list-page\">\n";
  html += nav;
  html += chip_table(inputs, order, first, first + chips_per_page, "../");
  html += nav;
  return html + "</div>\n" + page_end();
}

std::vector<std::size_t> all_chips(const Grading& grading) {
  std::vector<std::size_t> order(grading.chips.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  return order;
}

std::vector<std::size_t> chips_not_a(const Grading& grading) {
  std::vector<std::size_t> order;
  for (const std::size_t i : grading.worst_first)
    if (grading.chips[i].grade != Grade::a) order.push_back(i);
  return order;
}

}  // namespace qavrel::campaign
