// The words that report a failed analysis: qavrel.exe prints them, and
// qavrel-campaign repeats them, so that both programs say one thing alike.
#pragma once

#include <string>

#include "core/status.h"

namespace qavrel {

// A configuration that names no parity.
extern const char* const parity_error;

// A data file that could not be opened.
std::string open_failure(const std::string& data_path);
// A data file whose reading failed part way.
std::string read_failure(const std::string& data_path, const Status& why);
// A log file that could not be written in full.
std::string log_write_failure(const std::string& log_path, const Status& why);

}  // namespace qavrel
