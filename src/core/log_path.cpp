#include "core/log_path.h"

namespace qavrel {

std::string log_path_for(const std::string& data_path, const std::string& chip,
                         const std::string& config) {
  const std::size_t slash = data_path.rfind('/');
  const std::string directory = slash == std::string::npos ? data_path : data_path.substr(0, slash);
  return directory + "/xtalk_vemra" + chip + "_" + config + ".log";
}

}  // namespace qavrel
