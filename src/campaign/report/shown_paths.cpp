#include "campaign/report/shown_paths.h"

#include "campaign/common/folder_paths.h"
#include "campaign/report/markup.h"

namespace qavrel::campaign {

std::string shown_path(const std::string& path, const std::vector<std::string>& folders) {
  const std::string* folder = deepest_folder_holding(path, folders);
  if (folder == nullptr) return path;
  return path.substr(folder->back() == '/' ? folder->size() : folder->size() + 1);
}

std::string path_markup(const std::string& path, const std::vector<std::string>& folders) {
  std::string html = "<span title=\"";
  html += markup_escaped(path);
  html += "\">";
  html += markup_escaped(shown_path(path, folders));
  return html + "</span>";
}

}  // namespace qavrel::campaign
