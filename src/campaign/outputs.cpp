#include "campaign/outputs.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "atomic_write.h"
#include "campaign/colour_map.h"
#include "campaign/csv_tables.h"

namespace fs = std::filesystem;

namespace {

bool same_content(const std::string& path, const std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream old;
  old << in.rdbuf();
  return old.str() == text;
}

std::string failure(const std::string& path, int error) {
  return "cannot write " + path + ": " + std::strerror(error);
}

// Outputs are renamed into place but not synced: the store they are made
// from is, and a run after a power cut makes them again.
class Output {
 public:
  explicit Output(std::string path) : path_(std::move(path)) {
    error_ = file_.open(path_.c_str(), AtomicFile::Durability::renamed);
  }
  void write(const std::string& text) {
    if (error_ == 0) error_ = file_.write(text);
  }
  void finish(std::vector<std::string>& failures) {
    if (error_ == 0) error_ = file_.commit();
    if (error_ != 0) failures.push_back(failure(path_, error_));
  }

 private:
  std::string path_;
  AtomicFile file_;
  int error_ = 0;
};

void write_output(const std::string& path, const std::string& text,
                  std::vector<std::string>& failures) {
  Output output(path);
  output.write(text);
  output.finish(failures);
}

// A file name made of the chip and configuration; path separators and
// other awkward bytes become '_'.
std::string plot_stem(const Analysis& analysis) {
  std::string stem = analysis.chip + "_" + analysis.config;
  for (char& c : stem)
    if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < ' ') c = '_';
  return stem;
}

}  // namespace

void name_plots(std::vector<FileResult>& results) {
  std::set<std::string> taken;
  for (FileResult& result : results)
    if (result.owns_log) {
      result.plot_name = plot_stem(result.analysis) + ".svg";
      taken.insert(result.plot_name);
    }
  for (FileResult& result : results) {
    if (result.owns_log) continue;
    for (int copy = 2; result.plot_name.empty() || !taken.insert(result.plot_name).second; ++copy)
      result.plot_name = plot_stem(result.analysis) + "~" + std::to_string(copy) + ".svg";
  }
}

std::string write_plot(const std::string& path, const Analysis& analysis, const RatioTable& ratios,
                       double scale) {
  const std::string map = colour_map_svg(analysis, ratios, scale);
  if (same_content(path, map)) return {};
  std::vector<std::string> failures;
  write_output(path, map, failures);
  return failures.empty() ? std::string() : failures.front();
}

std::vector<std::string> write_outputs(const std::string& directory,
                                       const std::vector<FileResult>& results,
                                       const ReportContext& context, ResultsStore& store) {
  std::vector<std::string> failures;
  const fs::path plots = fs::path(directory) / "plots";
  std::error_code made;
  fs::create_directories(plots, made);
  if (made) return {"cannot create " + plots.string() + ": " + made.message()};

  RatioTable ratios;
  std::string error;
  Output ratio_table((fs::path(directory) / "ratios.csv").string());
  ratio_table.write(ratios_csv_header());
  // One pass, in the report's order, makes each file's map, plot and rows
  // of ratios.csv from its stored ratios.
  const auto map_of = [&](std::size_t i) {
    const FileResult& result = results[i];
    ratios = RatioTable();
    if (result.analysis.id != 0 && !store.load_ratios(result.analysis, ratios, error))
      failures.push_back("cannot read the ratios of " + result.analysis.path + ": " + error);
    if (!result.analysis.parity.empty())
      ratio_table.write(ratios_csv_rows(result.analysis, ratios));
    std::string map = colour_map_svg(result.analysis, ratios, context.limits.c);
    const std::string plot = (plots / result.plot_name).string();
    if (!result.plot_written && !same_content(plot, map)) write_output(plot, map, failures);
    return map;
  };
  Output report((fs::path(directory) / "report.html").string());
  html_report(results, context, map_of, [&report](const std::string& text) { report.write(text); });
  report.finish(failures);
  ratio_table.finish(failures);
  write_output((fs::path(directory) / "summary.csv").string(), summary_csv(results), failures);
  return failures;
}
