#include "campaign/report/summary_line.h"

#include <map>

namespace qavrel::campaign {

std::string summary_line(const std::vector<CampaignFile>& files, const Grading& grading,
                         std::size_t reused, std::size_t failures, std::size_t still_written) {
  std::map<Grade, int> grades;
  for (const Grade grade : grading.of_file) ++grades[grade];
  std::string line = std::to_string(files.size()) + " data files (" + std::to_string(reused) +
                     " unchanged), " + std::to_string(grading.chips.size()) + " chips; ";
  const char* separator = "files graded ";
  for (const auto& [grade, count] : grades) {
    line += separator + std::to_string(count) + " " + grade_name(grade);
    separator = ", ";
  }
  if (!grades.empty()) line += "; ";
  line += std::to_string(failures) + " failed";
  if (still_written > 0) line += "; " + std::to_string(still_written) + " still being written";
  return line + ".";
}

}  // namespace qavrel::campaign
