#include "core/messages.h"

namespace qavrel {

const char* const parity_error = "Parity must be either 'even' or 'odd'";

std::string open_failure(const std::string& data_path) {
  return "Cannot open file named " + data_path + ".";
}

std::string read_failure(const std::string& data_path, const Status& why) {
  return "Cannot read file named " + data_path + ": " + why.reason();
}

std::string log_write_failure(const std::string& log_path, const Status& why) {
  return "Cannot write log file named " + log_path + ": " + why.reason();
}

}  // namespace qavrel
