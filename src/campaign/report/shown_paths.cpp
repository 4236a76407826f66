#include "campaign/report/shown_paths.h"

#include "campaign/report/markup.h"

namespace qavrel::campaign {

std::string shown_path(const std::string& path, const std::vector<std::string>& folders) {
  std::size_t deepest = 0;
  for (const std::string& folder : folders) {
    // "/" ends in its separator already; every other folder is followed by one.
    const std::size_t cut =
        !folder.empty() && folder.back() == '/' ? folder.size() : folder.size() + 1;
    if (folder.empty() || cut <= deepest || path.size() <= cut ||
        path.compare(0, folder.size(), folder) != 0 || path[cut - 1] != '/')
      continue;
    deepest = cut;
  }
  return path.substr(deepest);
}

std::string path_markup(const std::string& path, const std::vector<std::string>& folders) {
  std::string html = "<span title=\"";
  html += markup_escaped(path);
  html += "\">";
  html += markup_escaped(shown_path(path, folders));
  return html + "</span>";
}

}  // namespace qavrel::campaign
