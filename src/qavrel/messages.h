// qavrel.exe's own words: its usage text and the lines that report a
// failure. qavrel-campaign reports the same failures in the same words.
#pragma once

#include <string>

#include "core/status.h"

// The usage text, for a run with argc arguments (the program's name among them).
std::string usage_text(int argc);

// A configuration that names no parity.
extern const char* const parity_error;

// A data file that could not be opened.
std::string open_failure(const std::string& data_path);
// A data file whose reading failed part way.
std::string read_failure(const std::string& data_path, const qavrel::Status& why);
// A log file that could not be written in full.
std::string log_write_failure(const std::string& log_path, const qavrel::Status& why);
