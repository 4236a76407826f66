// What a run makes of its arguments: where the log goes and which parity
// carried the pulse. qavrel.exe and the campaign decide both alike.
#pragma once

#include <string>

// The log lives in the data file's directory; a path without "/" is taken
// whole as that directory.
std::string log_path_for(const std::string& data_path, const std::string& chip,
                         const std::string& config);

// The parity named in config: "odd" is looked for first, so a name holding
// both words selects odd. False when it names neither.
bool select_parity(const std::string& config, bool& even_selected);

// The message for a configuration that names no parity.
extern const char* const parity_error;
