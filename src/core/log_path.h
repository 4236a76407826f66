// Where the table of a data file goes: the log naming rule that qavrel.exe
// and the campaign share.
#pragma once

#include <string>
#include <string_view>

namespace qavrel {

// <directory of data_path>/xtalk_vemra<chip>_<config>.log; for a path
// without "/", a file in the current folder, xtalk_vemra<chip>_<config>.log.
std::string log_path_for(const std::string& data_path, const std::string& chip,
                         const std::string& config);

// Whether a file name is one the rule gives a log, or a log's temporary
// file: such a file is a table, never sample data.
bool is_log_name(std::string_view file_name);

}  // namespace qavrel
