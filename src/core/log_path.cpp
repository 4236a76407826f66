#include "core/log_path.h"

namespace qavrel {
namespace {

constexpr std::string_view log_start = "xtalk_vemra";
constexpr std::string_view log_ending = ".log";
constexpr std::string_view temporary_ending = ".tmp";

bool starts_with(std::string_view text, std::string_view start) {
  return text.substr(0, start.size()) == start;
}

bool ends_with(std::string_view text, std::string_view ending) {
  return text.size() >= ending.size() && text.substr(text.size() - ending.size()) == ending;
}

}  // namespace

std::string log_path_for(const std::string& data_path, const std::string& chip,
                         const std::string& config) {
  const std::size_t slash = data_path.rfind('/');
  const std::string directory = slash == std::string::npos ? data_path : data_path.substr(0, slash);
  return directory + "/" + std::string(log_start) + chip + "_" + config + std::string(log_ending);
}

bool is_log_name(std::string_view file_name) {
  if (starts_with(file_name, log_start)) return ends_with(file_name, log_ending);
  // Temporaries are hidden, and their names cut short where long.
  return file_name.size() > 1 && file_name[0] == '.' &&
         starts_with(file_name.substr(1), log_start) && ends_with(file_name, temporary_ending);
}

}  // namespace qavrel
