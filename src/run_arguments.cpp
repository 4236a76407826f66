#include "run_arguments.h"

const char* const parity_error = "Parity must be either 'even' or 'odd'";

std::string log_path_for(const std::string& data_path, const std::string& chip,
                         const std::string& config) {
  const std::size_t slash = data_path.rfind('/');
  const std::string directory = slash == std::string::npos ? data_path : data_path.substr(0, slash);
  return directory + "/xtalk_vemra" + chip + "_" + config + ".log";
}

bool select_parity(const std::string& config, bool& even_selected) {
  if (config.find("odd") != std::string::npos) {
    even_selected = false;
    return true;
  }
  if (config.find("even") != std::string::npos) {
    even_selected = true;
    return true;
  }
  return false;
}
