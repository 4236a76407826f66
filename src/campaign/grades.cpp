#include "campaign/grades.h"

#include <cmath>
#include <cstdlib>
#include <limits>
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

Assessment assess(const Analysis& analysis, const GradeLimits& limits) {
  Assessment result;
  if (!analysis.ok) return result;
  result.grade = Grade::no_data;
  if (!analysis.has_data()) return result;
  for (int column = 0; column < observed_channels; ++column) {
    double sum = 0.0;
    for (int peak = 0; peak < npeaks; ++peak) sum += analysis.ratios[peak][column];
    const double mean = sum / npeaks;
    double squares = 0.0;
    for (int peak = 0; peak < npeaks; ++peak) {
      const double deviation = analysis.ratios[peak][column] - mean;
      squares += deviation * deviation;
    }
    result.means[column] = mean;
    result.standard_errors[column] = std::sqrt(squares / (npeaks - 1) / npeaks);
    const double magnitude =
        std::isfinite(mean) ? std::fabs(mean) : std::numeric_limits<double>::infinity();
    if (magnitude > result.worst_abs_mean || column == 0) {
      result.worst_abs_mean = std::isnan(mean) ? mean : magnitude;
      result.worst_column = column;
    }
  }
  const double worst = result.worst_abs_mean;
  // Comparisons with not-a-number are false, so it falls through to fail.
  if (worst <= limits.a)
    result.grade = Grade::a;
  else if (worst <= limits.b)
    result.grade = Grade::b;
  else if (worst <= limits.c)
    result.grade = Grade::c;
  else
    result.grade = Grade::fail;
  return result;
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
