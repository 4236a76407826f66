#include "campaign/report/summary_line.h"

#include <map>

namespace qavrel::campaign {

std::string summary_line(const std::vector<FileResult>& results, std::size_t reused,
                         std::size_t failures) {
  std::map<Grade, int> grades;
  std::map<std::string, Grade> chips;
  for (const FileResult& result : results) {
    ++grades[result.grade];
    Grade& chip = chips.emplace(result.analysis.chip, Grade::a).first->second;
    chip = std::max(chip, result.grade);
  }
  std::string line = std::to_string(results.size()) + " data files (" + std::to_string(reused) +
                     " unchanged), " + std::to_string(chips.size()) + " chips;";
  const char* separator = " files graded ";
  for (const auto& [grade, count] : grades) {
    line += separator + std::to_string(count) + " " + grade_name(grade);
    separator = ", ";
  }
  return line + "; " + std::to_string(failures) + " failed.";
}

}  // namespace qavrel::campaign
