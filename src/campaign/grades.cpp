#include "campaign/grades.h"

#include <cmath>
#include <sstream>

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
  if (!analysis.ok) return Grade::not_analysed;
  if (!analysis.has_data()) return Grade::no_data;
  const double worst = analysis.worst.abs_mean;
  // Comparisons with not-a-number are false, so it falls through to fail.
  if (worst <= limits.a) return Grade::a;
  if (worst <= limits.b) return Grade::b;
  if (worst <= limits.c) return Grade::c;
  return Grade::fail;
}

bool parse_grade_limits(const std::string& text, GradeLimits& limits, std::string& error) {
  std::istringstream in(text);
  double values[3] = {};
  char comma = 0;
  const bool read = (in >> values[0] >> comma) && comma == ',' && (in >> values[1] >> comma) &&
                    comma == ',' && (in >> values[2]) && (in >> std::ws).eof();
  if (!read || !(values[0] > 0 && values[0] < values[1] && values[1] < values[2]) ||
      !std::isfinite(values[2])) {
    error = "--grades takes three increasing positive limits, as 0.01,0.02,0.05";
    return false;
  }
  limits = {values[0], values[1], values[2]};
  return true;
}
