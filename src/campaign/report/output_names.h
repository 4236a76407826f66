// The names of the files in the output folder that stand for a data file or
// a chip: safe on any file system, never hidden, and different for
// different data files or chips, whatever bytes their names hold.
#pragma once

#include <string>

#include "campaign/model/analysis.h"

namespace qavrel::campaign {

// A data file's map in plots/: its chip and configuration, made safe, and a
// hash of its path.
std::string plot_name(const Analysis& analysis);

// Whether a file name is one that plot_name gives.
bool is_plot_name(const std::string& name);

// A chip's page in chips/: the chip itself where it is a plain name,
// otherwise a safe name with a hash of the chip.
std::string chip_page_name(const std::string& chip);

}  // namespace qavrel::campaign
