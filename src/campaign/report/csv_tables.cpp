#include "campaign/report/csv_tables.h"

#include "campaign/common/text.h"
#include "campaign/find/measurement_time.h"

namespace qavrel::campaign {

namespace {

// A CSV field, as UTF-8, quoted when it holds a comma, a quote or a line
// break.
std::string field(const std::string& text) {
  std::string shown = is_utf8(text) ? text : utf8_shown(text);
  if (shown.find_first_of(",\"\r\n") == std::string::npos) return shown;
  std::string quoted = "\"";
  for (const char c : shown) {
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

// Booleans as pandas and spreadsheets read them without being told.
const char* boolean(bool value) { return value ? "true" : "false"; }

}  // namespace

void summary_csv(const ReportInputs& inputs, const EmitText& emit) {
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
            "superseded_by",
            "path_bytes",
            "measured_at",
            "measured_from",
            "bench",
            "superseded_by_bench"}));
  for (std::size_t i = 0; i < inputs.files.size(); ++i) {
    const CampaignFile& file = inputs.files[i];
    const Analysis& analysis = file.analysis;
    const bool superseded = file.superseded_by != CampaignFile::current;
    const bool graded = from_ratios(inputs.grade(i));
    emit(row({analysis.path,
              analysis.chip,
              analysis.config,
              analysis.parity ? qavrel::parity_name(*analysis.parity) : "",
              analysis.ok ? "ok" : "failed",
              grade_name(inputs.grade(i)),
              graded ? full_precision(analysis.worst.abs_mean) : "",
              graded ? std::to_string(analysis.worst_channel_number()) : "",
              graded ? full_precision(analysis.worst.standard_error) : "",
              std::to_string(analysis.complete_trains()),
              std::to_string(analysis.cut_train_rows()),
              std::to_string(analysis.rows_read),
              boolean(analysis.marker_found),
              analysis.ended_on_token ? "token at byte " + std::to_string(analysis.token_offset)
                                      : "end of file",
              file.flag(),
              analysis.log_path(),
              boolean(file.log_written()),
              file.shares_log_with,
              analysis.analysed_at,
              analysis.tool_version,
              superseded ? inputs.files[file.superseded_by].analysis.path : "",
              is_utf8(analysis.path) ? "" : percent_escaped(analysis.path),
              file.measured.at,
              measured_from_name(file.measured.from),
              analysis.bench,
              superseded ? inputs.files[file.superseded_by].analysis.bench : ""}));
  }
}

void chips_csv(const ReportInputs& inputs, const EmitText& emit) {
  emit(row({"chip", "grade", "worst_config", "worst_abs_mean_ratio", "worst_channel",
            "current_measurements", "superseded_measurements", "latest_data_file",
            "latest_measured_at", "latest_data_file_bench"}));
  for (const ChipSummary& chip : inputs.grading.chips)
    emit(row({chip.chip, grade_name(chip.grade), chip.worst_config,
              chip.has_worst ? full_precision(chip.worst) : "",
              chip.has_worst ? std::to_string(chip.worst_channel) : "",
              std::to_string(chip.current.size()), std::to_string(chip.superseded.size()),
              inputs.files[chip.worst_file].analysis.path, inputs.files[chip.latest].measured.at,
              inputs.files[chip.worst_file].analysis.bench}));
}

std::string ratios_csv_header() {
  return row({"path", "chip", "config", "peak", "channel", "ratio", "bench"});
}

std::string ratios_csv_rows(const Analysis& analysis, const RatioTable& ratios) {
  std::string text;
  for (int peak = 0; peak < qavrel::npeaks; ++peak)
    for (int column = 0; column < qavrel::observed_channels; ++column)
      text += row({analysis.path, analysis.chip, analysis.config, std::to_string(peak),
                   std::to_string(qavrel::observed_channel(column, *analysis.parity)),
                   full_precision(ratios.values[peak][column]), analysis.bench});
  return text;
}

}  // namespace qavrel::campaign
