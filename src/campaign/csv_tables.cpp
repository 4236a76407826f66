#include "campaign/csv_tables.h"

#include <cmath>
#include <cstdio>

namespace {

// A CSV field, quoted when it holds a comma, a quote or a line break.
std::string field(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

std::string row(std::initializer_list<std::string> fields) {
  std::string line;
  const char* separator = "";
  for (const std::string& text : fields) {
    line += separator + field(text);
    separator = ",";
  }
  return line + '\n';
}

}  // namespace

std::string full_precision(double value) {
  if (std::isnan(value)) return "nan";
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

std::string summary_csv(const std::vector<FileResult>& results) {
  std::string text = row({"path",
                          "chip",
                          "config",
                          "parity",
                          "status",
                          "grade",
                          "max_abs_mean_ratio",
                          "channel",
                          "standard_error",
                          "trains",
                          "cut_train_rows",
                          "rows_read",
                          "marker_found",
                          "input_end",
                          "message",
                          "log_path",
                          "log_written",
                          "shares_log_with",
                          "analysed_at",
                          "tool_version"});
  for (const FileResult& result : results) {
    const Analysis& analysis = result.analysis;
    const Assessment& assessment = result.assessment;
    const bool graded = analysis.ok && analysis.has_data();
    const int column = assessment.worst_column;
    text += row({analysis.path,
                 analysis.chip,
                 analysis.config,
                 analysis.parity,
                 analysis.ok ? "ok" : "failed",
                 grade_name(assessment.grade),
                 graded ? full_precision(assessment.worst_abs_mean) : "",
                 graded ? std::to_string(observed_channel(column, analysis.parity == "even")) : "",
                 graded ? full_precision(assessment.standard_errors[column]) : "",
                 std::to_string(analysis.complete_trains()),
                 std::to_string(analysis.cut_train_rows()),
                 std::to_string(analysis.rows_read),
                 analysis.marker_found ? "yes" : "no",
                 analysis.ended_on_token ? "token at byte " + std::to_string(analysis.token_offset)
                                         : "end of file",
                 result.flag(),
                 analysis.log_path,
                 analysis.log_written ? "yes" : "no",
                 result.shares_log_with,
                 analysis.analysed_at,
                 analysis.tool_version});
  }
  return text;
}

std::string ratios_csv(const std::vector<FileResult>& results) {
  std::string text = row({"path", "chip", "config", "peak", "channel", "ratio"});
  for (const FileResult& result : results) {
    const Analysis& analysis = result.analysis;
    if (analysis.parity.empty()) continue;  // nothing was computed
    for (int peak = 0; peak < npeaks; ++peak)
      for (int column = 0; column < observed_channels; ++column)
        text += row({analysis.path, analysis.chip, analysis.config, std::to_string(peak),
                     std::to_string(observed_channel(column, analysis.parity == "even")),
                     full_precision(analysis.ratios[peak][column])});
  }
  return text;
}
