#include "campaign/outputs.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "atomic_write.h"
#include "campaign/colour_map.h"
#include "campaign/csv_tables.h"

namespace fs = std::filesystem;

namespace {

bool same_content(const std::string& path, const std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  const std::string old((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return old == text;
}

void write_output(const std::string& path, const std::string& text,
                  std::vector<std::string>& failures) {
  if (same_content(path, text)) return;
  const int error = write_atomically(path.c_str(), text);
  if (error != 0) failures.push_back("cannot write " + path + ": " + std::strerror(error));
}

// A file name made of the chip and configuration; path separators and
// other awkward bytes become '_'.
std::string plot_stem(const Analysis& analysis) {
  std::string stem = analysis.chip + "_" + analysis.config;
  for (char& c : stem)
    if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < ' ') c = '_';
  return stem;
}

// <chip>_<config>.svg; files that share a chip and configuration (and
// their log) get ~2, ~3, ... in name order, except the one whose table the
// log holds.
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

}  // namespace

std::vector<std::string> write_outputs(const std::string& directory,
                                       std::vector<FileResult>& results,
                                       const ReportContext& context) {
  std::vector<std::string> failures;
  const fs::path plots = fs::path(directory) / "plots";
  std::error_code error;
  fs::create_directories(plots, error);
  if (error) return {"cannot create " + plots.string() + ": " + error.message()};
  name_plots(results);
  std::vector<std::string> maps;
  maps.reserve(results.size());
  for (const FileResult& result : results) {
    maps.push_back(colour_map_svg(result, context.limits.c));
    write_output((plots / result.plot_name).string(), maps.back(), failures);
  }
  write_output((fs::path(directory) / "summary.csv").string(), summary_csv(results), failures);
  write_output((fs::path(directory) / "ratios.csv").string(), ratios_csv(results), failures);
  write_output((fs::path(directory) / "report.html").string(), html_report(results, maps, context),
               failures);
  return failures;
}
