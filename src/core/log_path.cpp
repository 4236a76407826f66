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
  std::string log_path;
  // A bare file name lies in the current folder, and so does its log.
  const std::size_t slash = data_path.rfind('/');
  if (slash != std::string::npos) log_path = data_path.substr(0, slash + 1);
  log_path.append(log_start).append(chip).append("_").append(config).append(log_ending);
  return log_path;
}

bool is_log_name(std::string_view file_name) {
  if (starts_with(file_name, log_start)) return ends_with(file_name, log_ending);
  // Temporaries are hidden, and their names cut short where long.
  return file_name.size() > 1 && file_name[0] == '.' &&
         starts_with(file_name.substr(1), log_start) && ends_with(file_name, temporary_ending);
}

}  // namespace qavrel
