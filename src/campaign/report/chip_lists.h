// Lists of chips, a table row each, split into pages of at most 1,000
// chips: the index of all chips, and the chips that are not A, worst first.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "campaign/model/chip_summary.h"

namespace qavrel::campaign {

constexpr std::size_t chips_per_page = 1000;

// The table of the chips at order[first, last), whose pages are under
// root + "chips/".
std::string chip_table(const std::vector<ChipSummary>& chips, const std::vector<std::size_t>& order,
                       std::size_t first, std::size_t last, const std::vector<FileResult>& results,
                       const std::string& root);

// The pages of the chips in order, titled title, as stem-1.html,
// stem-2.html, ... for the index/ folder: (file name, page) each.
std::vector<std::pair<std::string, std::string>> chip_list_pages(
    const std::string& title, const std::string& stem, const std::vector<ChipSummary>& chips,
    const std::vector<std::size_t>& order, const std::vector<FileResult>& results);

// The name of page number `page` (from 1) of a list.
std::string list_page_name(const std::string& stem, std::size_t page);

}  // namespace qavrel::campaign
