#include "campaign/report/chip_lists.h"

#include "campaign/report/html_page.h"
#include "campaign/report/markup.h"

namespace qavrel::campaign {

std::string list_page_name(const std::string& stem, std::size_t page) {
  return stem + "-" + std::to_string(page) + ".html";
}

std::string chip_table(const std::vector<ChipSummary>& chips, const std::vector<std::size_t>& order,
                       std::size_t first, std::size_t last, const std::vector<FileResult>& results,
                       const std::string& root) {
  std::string html =
      "<table>\n<tr><th>chip</th><th>grade</th><th>largest |mean ratio|</th><th>where</th>"
      "<th>current</th><th>superseded</th><th>latest data file</th></tr>\n";
  for (std::size_t i = first; i < last && i < order.size(); ++i) {
    const ChipSummary& chip = chips[order[i]];
    html += "<tr><td>" + link(root + "chips/" + chip.page, chip.chip) + "</td><td>" +
            grade_badge(chip.grade) + "</td><td class=\"number\">" +
            (chip.has_worst ? percent(chip.worst) : "") + "</td><td>" +
            markup_escaped(chip.worst_config) +
            (chip.has_worst ? ", ch " + std::to_string(chip.worst_channel) : "") +
            "</td><td class=\"number\">" + std::to_string(chip.current.size()) +
            "</td><td class=\"number\">" + std::to_string(chip.superseded.size()) +
            "</td><td class=\"path\">" + markup_escaped(results[chip.latest].analysis.path) +
            "</td></tr>\n";
  }
  return html + "</table>\n";
}

std::vector<std::pair<std::string, std::string>> chip_list_pages(
    const std::string& title, const std::string& stem, const std::vector<ChipSummary>& chips,
    const std::vector<std::size_t>& order, const std::vector<FileResult>& results) {
  std::vector<std::pair<std::string, std::string>> pages;
  const std::size_t count = (order.size() + chips_per_page - 1) / chips_per_page;
  for (std::size_t page = 1; page <= count; ++page) {
    std::string nav = "<nav>";
    if (page > 1) nav += link(list_page_name(stem, page - 1), "previous") + " ";
    nav += "page " + std::to_string(page) + " of " + std::to_string(count);
    if (page < count) nav += " " + link(list_page_name(stem, page + 1), "next");
    nav += "</nav>\n";
    const std::size_t first = (page - 1) * chips_per_page;
    std::string html = page_start(title + ", page " + std::to_string(page), "../");
    html += nav;
    html += chip_table(chips, order, first, first + chips_per_page, results, "../");
    html += nav;
    html += page_end();
    pages.emplace_back(list_page_name(stem, page), std::move(html));
  }
  return pages;
}

}  // namespace qavrel::campaign
