// What every page of the report shares: its head and style, the search
// box in its header, the grade badges and the way numbers are shown. Pages
// fetch nothing; their one script, index/report.js, only adds to them
// (see page_script.h).
#pragma once

#include <string>

#include "campaign/model/grades.h"

namespace qavrel::campaign {

// The start of a page titled title, whose links to other pages of the
// report start with root ("" on the front page, "../" one folder down).
// Its search box stays hidden until the script shows it.
std::string page_start(const std::string& title, const std::string& root);
std::string page_end();

std::string grade_badge(Grade grade);
// A ratio as a percentage with that many decimals; "nan" for not-a-number.
std::string percent(double ratio, int decimals = 2);

// Grade limits and the values graded by them are shown with as many
// decimals as the most exact limit needs (two for 1%,2%,5%), so that a
// value below a limit never reads as above it.
int limit_decimals(const GradeLimits& limits);
std::string limit_percent(double limit, const GradeLimits& limits);
// A value graded by limits, as it reads beside them: at a limit within
// the tolerance it reads as the limit; above one, with decimals enough
// that it never reads as equal to it. So the number shown and the grade
// never disagree.
std::string graded_percent(double value, const GradeLimits& limits);

// A link to href with text, both escaped.
std::string link(const std::string& href, const std::string& text);

// A name in a table (a chip, a configuration), elided past a width with
// the whole name on hover, so that a long one does not widen the table.
std::string table_name(const std::string& text);
// The same as a link to href.
std::string table_name_link(const std::string& href, const std::string& text);

}  // namespace qavrel::campaign
