#include "campaign/analysis.h"

#include <sys/stat.h>

#include <cerrno>
#include <ctime>
#include <limits>

#include "atomic_write.h"
#include "campaign/grades.h"
#include "run_arguments.h"
#include "trains.h"

const char* const tool_version = XTALK_VERSION;

namespace {

constexpr std::int64_t nanoseconds_per_second = 1000000000;

std::string utc_now() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  gmtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

}  // namespace

FileState state_of(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return {};
  return {info.st_size, info.st_mtim.tv_sec * nanoseconds_per_second + info.st_mtim.tv_nsec};
}

// cppcheck-suppress uninitMemberVar ; filled here
RatioTable::RatioTable() {
  for (auto& peak : values)
    for (double& ratio : peak) ratio = std::numeric_limits<double>::quiet_NaN();
}

std::int64_t Analysis::complete_trains() const { return train_rows / train_length; }
std::int64_t Analysis::cut_train_rows() const { return train_rows % train_length; }
bool Analysis::has_data() const { return has_pedestals(train_rows); }

Analysis analyse_data_file(const DataFile& file, bool write_log, RatioTable& ratios) {
  Analysis analysis;
  analysis.path = file.path;
  analysis.chip = file.chip;
  analysis.config = file.config;
  analysis.log_path = log_path_for(file.path, file.chip, file.config);
  analysis.tool_version = tool_version;
  analysis.analysed_at = utc_now();
  const FileState state = state_of(file.path);
  if (state.size >= 0) {
    analysis.size = state.size;
    analysis.mtime_ns = state.mtime_ns;
  }

  // Files are analysed side by side, so each reads its own without a
  // helper thread.
  TrainSums sums = read_trains(file.path.c_str(), false);
  analysis.marker_found = sums.marker_found;
  analysis.train_rows = sums.train_rows;
  analysis.rows_read = sums.rows_read;
  analysis.ended_on_token = sums.ended_on_token;
  analysis.token_offset = static_cast<std::int64_t>(sums.token_offset);
  if (sums.status != TrainSums::Status::read) {
    analysis.error = read_failure(file.path.c_str(), sums);
    return analysis;
  }
  bool even_selected = false;
  if (!select_parity(file.config, even_selected)) {
    analysis.error = parity_error;
    return analysis;
  }
  analysis.parity = even_selected ? "even" : "odd";
  average_trains(sums.pedestals, sums.peaks, sums.train_rows);
  cross_talk_ratios(sums.peaks, even_selected, ratios.values);
  // SQLite keeps -0.0 as 0; a zero without its sign reads the same from
  // the store as it does now. Adding +0.0 turns -0.0 into 0.0 and leaves
  // every other value as it is.
  for (auto& peak : ratios.values)
    for (double& ratio : peak) ratio += 0.0;
  if (analysis.has_data()) find_worst_channel(ratios, analysis);
  if (write_log) {
    const int error =
        write_atomically(analysis.log_path.c_str(), cross_talk_table(sums.peaks, even_selected));
    if (error != 0) {
      analysis.error = log_write_failure(analysis.log_path.c_str(), error);
      return analysis;
    }
    analysis.log_written = true;
  }
  analysis.ok = true;
  return analysis;
}
