#include "campaign/report/summary_json.h"

#include <array>
#include <cmath>
#include <cstdio>

#include "campaign/common/text.h"
#include "campaign/model/analysis.h"
#include "campaign/model/chip_yield.h"

namespace qavrel::campaign {

namespace {

constexpr std::array<Grade, 6> every_grade{Grade::a,       Grade::b,    Grade::c,
                                           Grade::no_data, Grade::fail, Grade::not_analysed};

// JSON has no not-a-number nor infinity: those are null.
std::string json_number(double value) {
  return std::isfinite(value) ? full_precision(value) : "null";
}

// {"A": 2, "B": 0, ...}, every grade named, best first.
std::string counts_by_grade(const std::array<std::size_t, every_grade.size()>& counts) {
  std::string text = "{";
  for (std::size_t g = 0; g < every_grade.size(); ++g) {
    if (g > 0) text += ", ";
    text += json_string(grade_name(every_grade[g]));
    text += ": ";
    text += std::to_string(counts[g]);
  }
  return text + "}";
}

std::string chip_not_a(const ReportInputs& inputs, const ChipSummary& chip) {
  std::string text = "    {\"chip\": " + json_string(chip.chip);
  text += ", \"grade\": " + json_string(grade_name(chip.grade));
  text += ", \"worst_config\": " + json_string(chip.worst_config);
  text += ", \"worst_abs_mean_ratio\": ";
  text += chip.has_worst ? json_number(chip.worst) : "null";
  text += ", \"worst_channel\": ";
  text += chip.has_worst ? std::to_string(chip.worst_channel) : "null";
  text += ", \"data_file\": " + json_string(inputs.files[chip.worst_file].analysis.path);
  return text + "}";
}

std::string failed_file(const Analysis& analysis) {
  std::string text = "    {\"path\": " + json_string(analysis.path);
  text += ", \"chip\": " + json_string(analysis.chip);
  text += ", \"config\": " + json_string(analysis.config);
  text += ", \"reason\": " + json_string(analysis.error);
  return text + "}";
}

// "[\n    item,\n    item\n  ]", or "[]".
template <typename Items, typename Show>
std::string list(const Items& items, const Show& show) {
  std::string text = "[";
  const char* separator = "\n";
  for (const auto& item : items) {
    text += separator;
    text += show(item);
    separator = ",\n";
  }
  return text + (text.size() > 1 ? "\n  ]" : "]");
}

}  // namespace

std::string json_string(std::string_view text) {
  const std::string shown = is_utf8(text) ? std::string(text) : utf8_shown(text);
  std::string quoted = "\"";
  for (const char c : shown) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (byte < 0x20) {
      std::array<char, 8> escaped{};
      std::snprintf(escaped.data(), escaped.size(), "\\u%04x", byte);
      quoted += escaped.data();
    } else {
      quoted += c;
    }
  }
  return quoted + '"';
}

std::string summary_json(const ReportInputs& inputs) {
  const Grading& grading = inputs.grading;
  std::array<std::size_t, every_grade.size()> chips{};
  for (const ChipSummary& chip : grading.chips) ++chips[static_cast<std::size_t>(chip.grade)];
  std::array<std::size_t, every_grade.size()> files{};
  for (const Grade grade : grading.of_file) ++files[static_cast<std::size_t>(grade)];
  const ChipYield yield = chip_yield(grading);
  std::vector<const ChipSummary*> not_a;
  for (const std::size_t c : grading.worst_first)
    if (grading.chips[c].grade != Grade::a) not_a.push_back(&grading.chips[c]);
  std::vector<const Analysis*> failed;
  for (const CampaignFile& file : inputs.files)
    if (!file.analysis.ok) failed.push_back(&file.analysis);

  std::string text = "{\n  \"tool_version\": " + json_string(tool_version);
  const GradeLimits& limits = grading.limits;
  text += ",\n  \"grade_limits\": {\"A\": " + json_number(limits.a) +
          ", \"B\": " + json_number(limits.b) + ", \"C\": " + json_number(limits.c) + "}";
  text += ",\n  \"data_files\": " + std::to_string(inputs.files.size());
  text += ",\n  \"chips\": " + std::to_string(grading.chips.size());
  text += ",\n  \"chips_by_grade\": " + counts_by_grade(chips);
  text += ",\n  \"files_by_grade\": " + counts_by_grade(files);
  text += ",\n  \"yield\": {\"passed\": " + std::to_string(yield.passed) +
          ", \"chips\": " + std::to_string(yield.chips) + ", \"fraction\": ";
  text += yield.chips == 0
              ? "null"
              : json_number(static_cast<double>(yield.passed) / static_cast<double>(yield.chips));
  text += "}";
  text += ",\n  \"chips_not_a\": " +
          list(not_a, [&inputs](const ChipSummary* chip) { return chip_not_a(inputs, *chip); });
  text += ",\n  \"failed_files\": " +
          list(failed, [](const Analysis* analysis) { return failed_file(*analysis); });
  text += ",\n  \"folders_not_searched\": " +
          list(inputs.search.search_failures,
               [](const std::string& failure) { return "    " + json_string(failure); });
  return text + "\n}\n";
}

}  // namespace qavrel::campaign
