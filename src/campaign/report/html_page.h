// What every page of the report shares: its head and style, the grade
// badges and the way numbers are shown. Pages have no script and fetch
// nothing.
#pragma once

#include <string>

#include "campaign/model/grades.h"

namespace qavrel::campaign {

// The start of a page titled title, whose links to other pages of the
// report start with root ("" on the front page, "../" one folder down).
std::string page_start(const std::string& title, const std::string& root);
std::string page_end();

std::string grade_badge(Grade grade);
// A ratio as a percentage with two decimals; "nan" for not-a-number.
std::string percent(double ratio);
// For ranking, not-a-number counts as worse than any number.
double severity(double worst);
// A link to href with text, both escaped.
std::string link(const std::string& href, const std::string& text);

}  // namespace qavrel::campaign
