// Lists of chips, a table row each, split into pages (see
// output_names.h): the index of all chips, and the chips that are not A,
// worst first.
#pragma once

#include <string>
#include <vector>

#include "campaign/report/report_inputs.h"

namespace qavrel::campaign {

// The table of the chips at order[first, last) (indices into the
// grading's chips), whose pages are under root + "chips/".
std::string chip_table(const ReportInputs& inputs, const std::vector<std::size_t>& order,
                       std::size_t first, std::size_t last, const std::string& root);

// Page number `page` (from 1) of the list of the chips in order, titled
// title, for the index/ folder, linked to the list's other pages as the
// list rule names them after stem.
std::string chip_list_page(const ReportInputs& inputs, const std::string& title,
                           const std::string& stem, const std::vector<std::size_t>& order,
                           std::size_t page);

// Indices into the grading's chips: every chip by name, and the chips
// that are not A, worst first.
std::vector<std::size_t> all_chips(const Grading& grading);
std::vector<std::size_t> chips_not_a(const Grading& grading);

}  // namespace qavrel::campaign
