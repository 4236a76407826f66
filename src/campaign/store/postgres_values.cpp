#include "campaign/store/postgres_values.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace qavrel::campaign {

namespace {

// The statement's first word, in upper case.
std::string first_word(const std::string& sql) {
  std::size_t at = 0;
  while (at < sql.size() && std::isspace(static_cast<unsigned char>(sql[at]))) ++at;
  std::string word;
  while (at < sql.size() && std::isalpha(static_cast<unsigned char>(sql[at])))
    word += static_cast<char>(std::toupper(static_cast<unsigned char>(sql[at++])));
  return word;
}

bool has_word(const std::string& sql, const std::string& word) {
  std::string upper;
  upper.reserve(sql.size());
  for (const char c : sql) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const auto is_word_char = [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
  };
  for (std::size_t at = upper.find(word); at != std::string::npos; at = upper.find(word, at + 1)) {
    const std::size_t end = at + word.size();
    if ((at == 0 || !is_word_char(upper[at - 1])) &&
        (end == upper.size() || !is_word_char(upper[end])))
      return true;
  }
  return false;
}

template <typename Value, typename Format>
std::string array_of(const std::vector<Value>& values, Format format) {
  std::string out = "{";
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0) out += ',';
    out += format(values[i]);
  }
  out += '}';
  return out;
}

}  // namespace

std::string numbered_parameters(const std::string& sql, int& count) {
  std::string out;
  out.reserve(sql.size() + 8);
  count = 0;
  for (const char c : sql) {
    if (c == '?') {
      out += '$';
      out += std::to_string(++count);
    } else {
      out += c;
    }
  }
  return out;
}

bool changes_rows(const std::string& sql) {
  const std::string word = first_word(sql);
  return word == "INSERT" || word == "UPDATE" || word == "DELETE";
}

bool returns_rows(const std::string& sql) {
  return !changes_rows(sql) || has_word(sql, "RETURNING");
}

std::optional<std::string> real_text(double value) {
  if (std::isnan(value)) return std::nullopt;
  if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", value);
  return std::string(text);
}

std::string integer_array(const std::vector<std::int64_t>& values) {
  return array_of(values, [](std::int64_t value) { return std::to_string(value); });
}

std::string real_array(const std::vector<double>& values) {
  return array_of(values, [](double value) { return real_text(value).value_or("NULL"); });
}

std::int64_t integer_from_text(const char* text) {
  if (text[0] == 't' && text[1] == '\0') return 1;
  if (text[0] == 'f' && text[1] == '\0') return 0;
  return std::strtoll(text, nullptr, 10);
}

double real_from_text(const char* text) { return std::strtod(text, nullptr); }

}  // namespace qavrel::campaign
