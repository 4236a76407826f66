// Which of several folders a path lies in.
#pragma once

#include <string>
#include <vector>

namespace qavrel::campaign {

// The deepest of folders (canonical, as paths are) that holds path, below
// it; nullptr when none does.
const std::string* deepest_folder_holding(const std::string& path,
                                          const std::vector<std::string>& folders);

}  // namespace qavrel::campaign
