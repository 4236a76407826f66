#include "campaign/model/grades.h"

#include <cmath>
#include <cstdlib>

namespace qavrel::campaign {

const char* grade_name(Grade grade) {
  switch (grade) {
    case Grade::a:
      return "A";
    case Grade::b:
      return "B";
    case Grade::c:
      return "C";
    case Grade::fail:
      return "fail";
    case Grade::no_data:
      return "no data";
    case Grade::not_analysed:
      break;
  }
  return "not analysed";
}

Grade grade_of(const Analysis& analysis, const GradeLimits& limits) {
  if (!analysis.has_ratios) return Grade::not_analysed;
  if (!analysis.has_data()) return Grade::no_data;
  const double worst = analysis.worst.abs_mean;
  // Comparisons with not-a-number are false, so it falls through to fail.
  if (worst <= limits.a) return Grade::a;
  if (worst <= limits.b) return Grade::b;
  if (worst <= limits.c) return Grade::c;
  return Grade::fail;
}

bool parse_grade_limits(const std::string& text, GradeLimits& limits, std::string& error) {
  const std::string usage =
      "--grades takes three increasing positive limits, as 0.01,0.02,0.05 or 1%,2%,5%";
  double values[3] = {};
  std::size_t start = 0;
  for (int i = 0; i < 3; ++i) {
    const std::size_t comma = text.find(',', start);
    if ((i < 2) != (comma != std::string::npos)) {
      error = usage;
      return false;
    }
    std::string field = text.substr(start, comma == std::string::npos ? comma : comma - start);
    start = comma + 1;
    const bool percent = !field.empty() && field.back() == '%';
    if (percent) field.pop_back();
    char* end = nullptr;
    values[i] = std::strtod(field.c_str(), &end);
    if (field.empty() || *end != '\0' || !std::isfinite(values[i])) {
      error = usage;
      return false;
    }
    if (!percent && values[i] >= 1) {
      error = "--grades " + text + ": a limit of 1 or more allows a ratio of 100% or more; " +
              "for percentages write them with %, as 1%,2%,5%";
      return false;
    }
    if (percent) values[i] /= 100;
  }
  if (!(values[0] > 0 && values[0] < values[1] && values[1] < values[2])) {
    error = usage;
    return false;
  }
  limits = {values[0], values[1], values[2]};
  return true;
}

}  // namespace qavrel::campaign
