// Paths as the report shows them: under the folder the campaign was given,
// so that a table stays narrow, with the full path on hover. The CSVs keep
// full paths.
#pragma once

#include <string>
#include <vector>

namespace qavrel::campaign {

// The path relative to the deepest of folders (canonical, as paths are)
// that holds it; the path itself when none does.
std::string shown_path(const std::string& path, const std::vector<std::string>& folders);

// The path as shown, escaped, with the full path as its title.
std::string path_markup(const std::string& path, const std::vector<std::string>& folders);

}  // namespace qavrel::campaign
