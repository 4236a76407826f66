// Grading a chip's cross-talk: the mean ratio of each observed channel over
// the 15 peaks, with its standard error, against three limits.
#pragma once

#include <string>

#include "campaign/model/analysis.h"

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

// Whether the grade comes from the ratios (A, B, C or fail).
inline bool from_ratios(Grade grade) {
  return grade != Grade::no_data && grade != Grade::not_analysed;
}

// A file whose ratios were never computed (it could not be read, or its
// configuration names no parity) is not analysed; one without a complete
// pedestal window (or any train) has no data; otherwise A when every
// channel's absolute mean is at most limits.a, B at most b, C at most c, and
// fail above that. A not-a-number never passes. A file whose log could not
// be written keeps the grade of what was read.
Grade grade_of(const Analysis& analysis, const GradeLimits& limits);

// Reads "A,B,C", three increasing positive ratios below 1, or percentages
// ("1%,2%,5%"). A bare limit of 1 or more is refused as a likely percentage
// without its sign. False, with the reason, otherwise.
bool parse_grade_limits(const std::string& text, GradeLimits& limits, std::string& error);

}  // namespace qavrel::campaign
