#include "campaign/report/output_names.h"

#include <algorithm>

#include "campaign/common/hashing.h"
#include "campaign/common/text.h"

namespace qavrel::campaign {

namespace {

constexpr std::size_t max_stem_length = 100;

bool plain(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == '.';
}

// text cut short, with every byte that is not plain, and a leading dot,
// made '_'.
std::string safe_stem(const std::string& text) {
  std::string stem = text.substr(0, max_stem_length);
  std::replace_if(
      stem.begin(), stem.end(), [](char c) { return !plain(c); }, '_');
  if (!stem.empty() && stem.front() == '.') stem.front() = '_';
  return stem;
}

}  // namespace

std::string plot_name(const Analysis& analysis) {
  return safe_stem(analysis.chip + "_" + analysis.config) + "-" +
         Fingerprint().add(analysis.bench).add(analysis.path).text() + ".svg";
}

bool is_plot_name(const std::string& name) {
  // <stem>-<16 hexadecimal digits>.svg
  constexpr std::size_t ending = 1 + 16 + 4;
  if (name.size() <= ending || name.compare(name.size() - 4, 4, ".svg") != 0 ||
      name[name.size() - ending] != '-')
    return false;
  return std::all_of(name.end() - ending + 1, name.end() - 4,
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

std::uint64_t map_made_from(const Analysis& analysis, const GradeLimits& limits) {
  Fingerprint made_from;
  made_from.add(tool_version).add(analysis.id);
  for (const double limit : {limits.a, limits.b, limits.c}) made_from.add(full_precision(limit));
  return made_from.value();
}

std::string chip_page_name(const std::string& chip) {
  if (!chip.empty() && safe_stem(chip) == chip) return chip + ".html";
  // A "~" never stands in a plain name, so the two kinds never meet.
  return safe_stem(chip) + "~" + Fingerprint().add(chip).text() + ".html";
}

std::size_t list_page_count(std::size_t chips) {
  return (chips + chips_per_page - 1) / chips_per_page;
}

std::string list_page_name(const std::string& stem, std::size_t page) {
  return stem + "-" + std::to_string(page) + ".html";
}

bool is_list_page_name(const std::string& name) {
  const std::size_t dash = name.rfind('-');
  if (dash == std::string::npos || name.size() < 5 ||
      name.compare(name.size() - 5, 5, ".html") != 0)
    return false;
  const std::string number = name.substr(dash + 1, name.size() - 5 - dash - 1);
  return !number.empty() &&
         std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace qavrel::campaign
