// The names of the files in the output folder, and the one rule that
// splits a list of chips into pages: names safe on any file system, never
// hidden, and different for different data files or chips, whatever bytes
// their names hold.
#pragma once

#include <cstdint>
#include <string>

#include "campaign/model/analysis.h"
#include "campaign/model/grades.h"

namespace qavrel::campaign {

// A data file's map in plots/: its chip and configuration, made safe, and a
// hash of its path.
std::string plot_name(const Analysis& analysis);

// Whether a file name is one that plot_name gives.
bool is_plot_name(const std::string& name);

// What a map is made from: the analysis (its id stands for it in this
// store, and so for the ratios that end its colour scale), the grade
// limits that shape the scale and are marked on it, and the tool that
// draws it.
std::uint64_t map_made_from(const Analysis& analysis, const GradeLimits& limits);

// A chip's page in chips/: the chip itself where it is a plain name,
// otherwise a safe name with a hash of the chip.
std::string chip_page_name(const std::string& chip);

// Lists of chips in index/ hold at most this many a page.
constexpr std::size_t chips_per_page = 1000;

// How many pages a list of that many chips takes: none for none.
std::size_t list_page_count(std::size_t chips);

// The name of page number `page` (from 1) of the list called stem.
std::string list_page_name(const std::string& stem, std::size_t page);

// Whether a file name in index/ is a page of some list of chips.
bool is_list_page_name(const std::string& name);

}  // namespace qavrel::campaign
