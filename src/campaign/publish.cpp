#include "campaign/publish.h"

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "campaign/colour_map.h"
#include "campaign/csv_tables.h"
#include "core/atomic_write.h"

namespace fs = std::filesystem;

namespace {

bool same_content(const std::string& path, const std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream old;
  old << in.rdbuf();
  return old.str() == text;
}

// Outputs are renamed into place but not synced: the store they are made
// from is, and a run after a power cut makes them again.
class Output {
 public:
  // Nothing is put in place once stop is set: the output stays as it was.
  Output(std::string path, const std::atomic<bool>& stop)
      : path_(std::move(path)),
        stop_(stop),
        status_(file_.open(path_.c_str(), qavrel::AtomicFile::Durability::renamed)) {}
  void write(const std::string& text) {
    if (status_.ok()) status_ = file_.write(text);
  }
  void finish(std::vector<std::string>& failures) {
    if (stop_) return;
    if (status_.ok()) status_ = file_.commit();
    if (!status_.ok()) failures.push_back("cannot write " + path_ + ": " + status_.reason());
  }

 private:
  std::string path_;
  const std::atomic<bool>& stop_;
  qavrel::AtomicFile file_;
  qavrel::Status status_;
};

void write_output(const std::string& path, const std::string& text,
                  std::vector<std::string>& failures, const std::atomic<bool>& stop) {
  Output output(path, stop);
  output.write(text);
  output.finish(failures);
}

}  // namespace

std::string write_plot(const std::string& path, const Analysis& analysis, const RatioTable& ratios,
                       double scale) {
  const std::string map = colour_map_svg(analysis, ratios, scale);
  if (same_content(path, map)) return {};
  std::vector<std::string> failures;
  static const std::atomic<bool> never{false};
  write_output(path, map, failures, never);
  return failures.empty() ? std::string() : failures.front();
}

namespace {

std::vector<std::string> write_outputs(const std::string& directory,
                                       const std::vector<FileResult>& results,
                                       const ReportContext& context, ResultsStore& store,
                                       const std::atomic<bool>& stop) {
  std::vector<std::string> failures;
  const fs::path plots = fs::path(directory) / "plots";
  std::error_code made;
  fs::create_directories(plots, made);
  if (made) return {"cannot create " + plots.string() + ": " + made.message()};

  RatioTable ratios;
  std::string error;
  Output ratio_table((fs::path(directory) / "ratios.csv").string(), stop);
  ratio_table.write(ratios_csv_header());
  // One pass, in the report's order, makes each file's map, plot and rows
  // of ratios.csv from its stored ratios.
  const auto map_of = [&](std::size_t i) {
    const FileResult& result = results[i];
    ratios = RatioTable();
    if (result.analysis.id != 0 && !store.load_ratios(result.analysis, ratios, error))
      failures.push_back("cannot read the ratios of " + result.analysis.path + ": " + error);
    if (result.analysis.has_ratios) ratio_table.write(ratios_csv_rows(result.analysis, ratios));
    std::string map = colour_map_svg(result.analysis, ratios, context.limits.c);
    const std::string plot = (plots / result.plot_name).string();
    if (!result.plot_written && !same_content(plot, map)) write_output(plot, map, failures, stop);
    return map;
  };
  Output report((fs::path(directory) / "report.html").string(), stop);
  html_report(results, context, map_of, [&report](const std::string& text) { report.write(text); });
  report.finish(failures);
  ratio_table.finish(failures);
  write_output((fs::path(directory) / "summary.csv").string(), summary_csv(results), failures,
               stop);
  return failures;
}

// What the outputs are made from: every result's analysis and standing,
// and what else the report shows. Outputs made from the same need not be
// made again.
std::string outputs_fingerprint(const std::vector<FileResult>& results,
                                const ReportContext& context) {
  std::uint64_t hash = 14695981039346656037u;  // 64-bit FNV-1a
  const auto add = [&hash](const std::string& text) {
    for (const char c : text + '\0') hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211u;
  };
  add(tool_version);
  add(std::to_string(context.limits.a) + "," + std::to_string(context.limits.b) + "," +
      std::to_string(context.limits.c));
  for (const FileResult& result : results) {
    add(result.analysis.path);
    add(std::to_string(result.analysis.id));
    add(result.shares_log_with);
    add(result.plot_name);
  }
  for (const SkippedFile& skipped : context.skipped) add(skipped.path + ": " + skipped.reason);
  for (const std::string& failure : context.search_failures) add(failure);
  return std::to_string(hash);
}

// An output cut short by a power cut before it reached the disk is empty.
bool outputs_exist(const std::string& directory, const std::vector<FileResult>& results) {
  struct stat info {};
  for (const char* name : {"summary.csv", "ratios.csv", "report.html"})
    if (::stat((directory + "/" + name).c_str(), &info) != 0 || info.st_size == 0) return false;
  for (const FileResult& result : results)
    if (::stat((directory + "/plots/" + result.plot_name).c_str(), &info) != 0 || info.st_size == 0)
      return false;
  return true;
}

}  // namespace

std::vector<std::string> publish(const std::string& directory, std::vector<FileResult>& results,
                                 ReportContext& context, ResultsStore& store,
                                 const std::atomic<bool>& stop) {
  for (FileResult& result : results) {
    result.grade = grade_of(result.analysis, context.limits);
    context.latest_analysis = std::max(context.latest_analysis, result.analysis.analysed_at);
  }
  const std::string made_from = outputs_fingerprint(results, context);
  if (made_from == store.outputs_made_from() && outputs_exist(directory, results)) return {};
  std::vector<std::string> failures = write_outputs(directory, results, context, store, stop);
  std::string error;
  if (failures.empty() && !stop && !store.set_outputs_made_from(made_from, error))
    failures.push_back("results store: " + error);
  return failures;
}
