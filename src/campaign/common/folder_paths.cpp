#include "campaign/common/folder_paths.h"

namespace qavrel::campaign {

const std::string* deepest_folder_holding(const std::string& path,
                                          const std::vector<std::string>& folders) {
  const std::string* deepest = nullptr;
  for (const std::string& folder : folders) {
    // "/" ends in its separator already; every other folder is followed by one.
    const std::size_t cut =
        !folder.empty() && folder.back() == '/' ? folder.size() : folder.size() + 1;
    if (folder.empty() || path.size() <= cut || path.compare(0, folder.size(), folder) != 0 ||
        path[cut - 1] != '/')
      continue;
    if (deepest == nullptr || folder.size() > deepest->size()) deepest = &folder;
  }
  return deepest;
}

}  // namespace qavrel::campaign
