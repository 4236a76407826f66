#include "campaign/model/grades.h"

#include <cctype>
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

Status parse_grade(const std::string& text, Grade& grade) {
  // A shell user writes "no-data" rather than quote a space.
  std::string key;
  for (const char c : text)
    key += c == '-' ? ' ' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const Grade each :
       {Grade::a, Grade::b, Grade::c, Grade::no_data, Grade::fail, Grade::not_analysed}) {
    std::string known = grade_name(each);
    for (char& c : known) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (key == known) {
      grade = each;
      return {};
    }
  }
  return Status::failure(
      "\"" + text + "\" is no grade; give one of A, B, C, \"no data\", fail, \"not analysed\"");
}

bool within(double value, double limit) {
  // Comparisons with not-a-number are false.
  return value <= limit * (1 + limit_tolerance);
}

Grade grade_of(const Analysis& analysis, const GradeLimits& limits) {
  if (!analysis.has_ratios) return Grade::not_analysed;
  if (!analysis.has_data()) return Grade::no_data;
  return grade_of_worst(analysis.worst.abs_mean, limits);
}

Grade grade_of_worst(double worst, const GradeLimits& limits) {
  if (within(worst, limits.a)) return Grade::a;
  if (within(worst, limits.b)) return Grade::b;
  if (within(worst, limits.c)) return Grade::c;
  return Grade::fail;
}

Status parse_grade_limits(const std::string& text, GradeLimits& limits) {
  const std::string usage =
      "--grades takes three increasing positive limits, as 0.01,0.02,0.05 or 1%,2%,5%";
  double values[3] = {};
  std::size_t start = 0;
  for (int i = 0; i < 3; ++i) {
    const std::size_t comma = text.find(',', start);
    if ((i < 2) != (comma != std::string::npos)) return Status::failure(usage);
    std::string field = text.substr(start, comma == std::string::npos ? comma : comma - start);
    start = comma + 1;
    const bool percent = !field.empty() && field.back() == '%';
    if (percent) field.pop_back();
    char* end = nullptr;
    values[i] = std::strtod(field.c_str(), &end);
    if (field.empty() || *end != '\0' || !std::isfinite(values[i])) return Status::failure(usage);
    if (!percent && values[i] >= 1)
      return Status::failure("--grades " + text +
                             ": a limit of 1 or more allows a ratio of 100% or more; " +
                             "for percentages write them with %, as 1%,2%,5%");
    // "1.1%" is read as 1.1e-2, the double that "0.011" gives too, which
    // 1.1 / 100 is not.
    if (percent && field.find_first_of("eExXnNiI") == std::string::npos)
      values[i] = std::strtod((field + "e-2").c_str(), nullptr);
    else if (percent)
      values[i] /= 100;
  }
  if (!(values[0] > 0 && values[0] < values[1] && values[1] < values[2]))
    return Status::failure(usage);
  limits = {values[0], values[1], values[2]};
  return {};
}

}  // namespace qavrel::campaign
