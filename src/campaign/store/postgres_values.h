// What the PostgreSQL backend does to SQL and values without a server:
// numbering the parameters, telling a statement that returns no rows, and
// the text forms of numbers that it sends and reads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qavrel::campaign {

// The SQL with each ? made $1, $2, ... in order; count is set to their
// number. Our SQL never holds a ? inside a string literal.
std::string numbered_parameters(const std::string& sql, int& count);

// Whether it is an INSERT, UPDATE or DELETE.
bool changes_rows(const std::string& sql);

// Whether the statement may return rows: anything but an INSERT, UPDATE or
// DELETE without RETURNING. The others can be sent without waiting.
bool returns_rows(const std::string& sql);

// A real as PostgreSQL reads it back exactly: 17 significant digits,
// Infinity and -Infinity; no value (NULL) for not-a-number.
std::optional<std::string> real_text(double value);

// A column as an array literal, {1,2,NULL}, for unnest.
std::string integer_array(const std::vector<std::int64_t>& values);
std::string real_array(const std::vector<double>& values);

// Values as the server writes them in text: integers, and booleans as 1
// and 0; reals, with Infinity and NaN.
std::int64_t integer_from_text(const char* text);
double real_from_text(const char* text);

}  // namespace qavrel::campaign
