#include "campaign/report/summary_line.h"

#include <map>

namespace qavrel::campaign {

namespace {

// "; LABEL 3 A, 1 B" with the grades best first, or nothing when there
// are none to count.
std::string counted(const char* label, const std::map<Grade, std::size_t>& grades) {
  if (grades.empty()) return {};
  std::string text = "; ";
  text += label;
  const char* separator = " ";
  for (const auto& [grade, count] : grades) {
    text += separator;
    text += std::to_string(count);
    text += ' ';
    text += grade_name(grade);
    separator = ", ";
  }
  return text;
}

}  // namespace

std::string summary_line(const std::vector<CampaignFile>& files, const Grading& grading,
                         std::size_t reused, std::size_t failures, std::size_t still_written) {
  std::map<Grade, std::size_t> file_grades;
  for (const Grade grade : grading.of_file) ++file_grades[grade];
  std::map<Grade, std::size_t> chip_grades;
  for (const ChipSummary& chip : grading.chips) ++chip_grades[chip.grade];
  std::string line = std::to_string(files.size()) + " data files (" + std::to_string(reused) +
                     " unchanged), " + std::to_string(grading.chips.size()) + " chips";
  line += counted("chips graded", chip_grades);
  line += counted("files graded", file_grades);
  line += "; " + std::to_string(failures) + " failed";
  if (still_written > 0) line += "; " + std::to_string(still_written) + " still being written";
  return line + ".";
}

}  // namespace qavrel::campaign
