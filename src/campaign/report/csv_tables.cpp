#include "campaign/report/csv_tables.h"

#include <charconv>
#include <cmath>

namespace qavrel::campaign {

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
  // The shortest text that reads back as the very same double.
  char text[32];
  return {text, std::to_chars(text, text + sizeof text, value).ptr};
}

void summary_csv(const std::vector<FileResult>& results, const EmitText& emit) {
  emit(row({"path",
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
            "tool_version",
            "superseded_by"}));
  for (const FileResult& result : results) {
    const Analysis& analysis = result.analysis;
    const bool superseded = result.superseded_by != FileResult::current;
    const bool graded = from_ratios(result.grade);
    emit(row({analysis.path,
              analysis.chip,
              analysis.config,
              analysis.parity ? qavrel::parity_name(*analysis.parity) : "",
              analysis.ok ? "ok" : "failed",
              grade_name(result.grade),
              graded ? full_precision(analysis.worst.abs_mean) : "",
              graded ? std::to_string(analysis.worst_channel_number()) : "",
              graded ? full_precision(analysis.worst.standard_error) : "",
              std::to_string(analysis.complete_trains()),
              std::to_string(analysis.cut_train_rows()),
              std::to_string(analysis.rows_read),
              analysis.marker_found ? "yes" : "no",
              analysis.ended_on_token ? "token at byte " + std::to_string(analysis.token_offset)
                                      : "end of file",
              result.flag(),
              analysis.log_path(),
              analysis.log_written ? "yes" : "no",
              result.shares_log_with,
              analysis.analysed_at,
              analysis.tool_version,
              superseded ? results[result.superseded_by].analysis.path : ""}));
  }
}

void chips_csv(const std::vector<ChipSummary>& chips, const std::vector<FileResult>& results,
               const EmitText& emit) {
  emit(row({"chip", "grade", "worst_config", "worst_abs_mean_ratio", "worst_channel",
            "current_measurements", "superseded_measurements", "latest_data_file"}));
  for (const ChipSummary& chip : chips)
    emit(row({chip.chip, grade_name(chip.grade), chip.worst_config,
              chip.has_worst ? full_precision(chip.worst) : "",
              chip.has_worst ? std::to_string(chip.worst_channel) : "",
              std::to_string(chip.current.size()), std::to_string(chip.superseded.size()),
              results[chip.latest].analysis.path}));
}

std::string ratios_csv_header() {
  return row({"path", "chip", "config", "peak", "channel", "ratio"});
}

std::string ratios_csv_rows(const Analysis& analysis, const RatioTable& ratios) {
  std::string text;
  for (int peak = 0; peak < qavrel::npeaks; ++peak)
    for (int column = 0; column < qavrel::observed_channels; ++column)
      text += row({analysis.path, analysis.chip, analysis.config, std::to_string(peak),
                   std::to_string(qavrel::observed_channel(column, *analysis.parity)),
                   full_precision(ratios.values[peak][column])});
  return text;
}

}  // namespace qavrel::campaign
