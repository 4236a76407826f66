// Grading a measurement's cross-talk: the largest absolute mean ratio of
// an observed channel over the 15 peaks, against three limits.
#pragma once

#include <string>

#include "campaign/model/analysis.h"
#include "core/status.h"

namespace qavrel::campaign {

struct GradeLimits {
  double a = 0.01;
  double b = 0.02;
  double c = 0.05;
};

// Worst last: a chip takes the worst grade of its files, and a file that
// could not be analysed at all needs a look before one that failed.
enum class Grade { a, b, c, no_data, fail, not_analysed };

const char* grade_name(Grade grade);  // "A", "B", "C", "no data", "fail", "not analysed"

// Reads a grade by its name, in any case, with "-" for a space
// ("no-data"). Fails with the grades it knows otherwise.
Status parse_grade(const std::string& text, Grade& grade);

// Whether the grade comes from the ratios (A, B, C or fail).
inline bool from_ratios(Grade grade) {
  return grade != Grade::no_data && grade != Grade::not_analysed;
}

// How far above a limit a value may lie and still count as at the limit:
// a mean of exact percentages picks up a rounding error in its last digits
// (fifteen ratios of -0.05 have a mean of 0.05000000000000001).
constexpr double limit_tolerance = 1e-9;

// Whether value is at most limit, within the tolerance. Not-a-number never is.
bool within(double value, double limit);

// A file whose ratios were never computed (it could not be read, or its
// configuration names no parity) is not analysed; one without a complete
// pedestal window (or any train) has no data; otherwise A when every
// channel's absolute mean is within limits.a, B within b, C within c, and
// fail above that. A not-a-number never passes. A file whose log could not
// be written keeps the grade of what was read.
Grade grade_of(const Analysis& analysis, const GradeLimits& limits);

// The grade of a measurement whose largest |mean ratio| is worst: A, B, C
// or fail.
Grade grade_of_worst(double worst, const GradeLimits& limits);

// Reads "A,B,C", three increasing positive ratios below 1, or percentages
// ("1%,2%,5%"). A bare limit of 1 or more is refused as a likely percentage
// without its sign. Fails with the reason otherwise.
Status parse_grade_limits(const std::string& text, GradeLimits& limits);

}  // namespace qavrel::campaign
