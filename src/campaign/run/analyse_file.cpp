#include "campaign/run/analyse_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>

#include "campaign/common/stop_points.h"
#include "core/atomic_write.h"
#include "core/byte_stream.h"
#include "core/log_path.h"
#include "core/messages.h"
#include "core/trains.h"

namespace qavrel::campaign {

namespace {

std::string utc_now() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  gmtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

// The canonical path a write through the link at path lands on, even
// when the file it names is not there yet (a write would create it); as
// the links name it when its folder is not there either.
std::string link_destination(std::string path) {
  // As many links as the system follows in one path.
  for (int links = 0; links < 40; ++links) {
    char target[PATH_MAX];
    const ssize_t length = ::readlink(path.c_str(), target, sizeof target - 1);
    if (length < 0) break;
    target[length] = '\0';
    path = target[0] == '/' ? std::string(target) : path.substr(0, path.rfind('/') + 1) + target;
  }
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  char folder[PATH_MAX];
  if (::realpath(slash == 0 ? "/" : path.substr(0, slash).c_str(), folder) == nullptr) return path;
  return (std::strcmp(folder, "/") == 0 ? "" : std::string(folder)) + path.substr(slash);
}

// Why the campaign won't write a log at log_path, or empty when it will.
std::string refused_log(const std::string& log_path, const LinkRefused& link_refused) {
  struct stat log {};
  if (::lstat(log_path.c_str(), &log) != 0) return {};
  if (S_ISLNK(log.st_mode)) {
    const std::string destination = link_destination(log_path);
    if (!destination.empty()) {
      std::string why = link_refused(destination);
      if (!why.empty()) return why;
    }
    if (::stat(log_path.c_str(), &log) != 0) return {};
  }
  // A folder is refused by the writing itself, in the system's words.
  return S_ISREG(log.st_mode) || S_ISDIR(log.st_mode) ? std::string() : "not a regular file";
}

// Whether the file at path holds text already, so that writing it again
// would change nothing but its time.
bool holds(const std::string& path, const std::string& text) {
  std::ifstream in(path, std::ios::binary);
  std::string held(text.size() + 1, '\0');
  in.read(held.data(), static_cast<std::streamsize>(held.size()));
  return in.gcount() == static_cast<std::streamsize>(text.size()) &&
         held.compare(0, text.size(), text) == 0;
}

std::int64_t now_ns() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Whether a file of size bytes, read as sums, ends as one still being
// written does: in the middle of a line or of a train, with its compressed
// stream cut short, or before its first byte (a file just opened). One that
// ends on a token that is no number is damaged, not unfinished.
bool looks_unfinished(const qavrel::TrainSums& sums, std::int64_t size) {
  if (qavrel::is_cut_short(sums.read)) return true;
  if (!sums.ok() || sums.ended_on_token) return false;
  // A FIFO has no size, but its rows.
  return sums.ended_mid_line || sums.train_rows % qavrel::train_length != 0 ||
         (size == 0 && sums.rows_read == 0);
}

// Whether a file that looks unfinished is still being written: it changed
// within the settle time before it was read (a clock set back, or a file
// dated ahead, counts only within it too), or while it was read.
bool still_changing(const std::string& path, const FileState& before, std::int64_t read_at_ns,
                    std::int64_t settle_ns) {
  const std::int64_t age_ns = read_at_ns - before.mtime_ns;
  return (age_ns < settle_ns && age_ns > -settle_ns) || state_of(path) != before;
}

}  // namespace

bool still_being_written(const DataFile& file, std::int64_t settle_ns) {
  const std::int64_t age_ns = now_ns() - file.state.mtime_ns;
  if (settle_ns <= 0 || file.state.size < 0 || age_ns >= settle_ns || age_ns <= -settle_ns)
    return false;
  const std::int64_t read_at_ns = now_ns();
  const FileState before = state_of(file.path);
  const qavrel::TrainSums sums = qavrel::read_trains(file.path.c_str(), false);
  return sums.opened.ok() && looks_unfinished(sums, before.size) &&
         still_changing(file.path, before, read_at_ns, settle_ns);
}

FileAnalysis analyse_data_file(const DataFile& file, const AnalyseSettings& settings,
                               RatioTable& ratios) {
  FileAnalysis made;
  Analysis& analysis = made.analysis;
  analysis.path = file.path;
  analysis.chip = file.chip;
  analysis.config = file.config;
  analysis.tool_version = tool_version;
  analysis.analysed_at = utc_now();
  const std::int64_t read_at_ns = now_ns();
  const FileState state = state_of(file.path);
  if (state.size >= 0) {
    analysis.size = state.size;
    analysis.mtime_ns = state.mtime_ns;
    analysis.ctime_ns = state.ctime_ns;
  }

  // Files are analysed side by side, so each reads its own without a
  // helper thread.
  qavrel::TrainSums sums = qavrel::read_trains(file.path.c_str(), false);
  analysis.marker_found = sums.marker_found;
  analysis.train_rows = sums.train_rows;
  analysis.rows_read = sums.rows_read;
  analysis.ended_on_token = sums.ended_on_token;
  analysis.token_offset = static_cast<std::int64_t>(sums.token_offset);
  if (!sums.opened.ok()) {
    analysis.failure = Failure::open;
    analysis.error = qavrel::open_failure(file.path);
    return made;
  }
  if (settings.settle_ns > 0 && looks_unfinished(sums, state.size)) {
    made.still_written = still_changing(file.path, state, read_at_ns, settings.settle_ns);
    if (made.still_written) return made;
  }
  if (!sums.read.ok()) {
    analysis.failure = Failure::read;
    analysis.error = qavrel::read_failure(file.path, sums.read);
    return made;
  }
  analysis.parity = qavrel::parity_named_in(file.config);
  if (!analysis.parity) {
    analysis.failure = Failure::parity;
    analysis.error = qavrel::parity_error;
    return made;
  }
  qavrel::average_trains(sums.pedestals, sums.peaks, sums.train_rows);
  qavrel::cross_talk_ratios(sums.peaks, *analysis.parity, ratios.values);
  // SQLite keeps -0.0 as 0; a zero without its sign reads the same from
  // the store as it does now. Adding +0.0 turns -0.0 into 0.0 and leaves
  // every other value as it is.
  for (auto& peak : ratios.values)
    for (double& ratio : peak) ratio += 0.0;
  analysis.has_ratios = true;
  if (analysis.has_data()) analysis.worst = worst_channel(ratios);
  if (settings.write_log) {
    const std::string log_path = analysis.log_path();
    const std::string table = qavrel::cross_talk_table(sums.peaks, *analysis.parity);
    std::string refused = refused_log(log_path, settings.link_refused);
    // A log that holds this table already keeps its time, so that another
    // campaign over the same files takes it as its own.
    Status written = !refused.empty() ? Status::failure(std::move(refused)) : Status();
    if (written.ok() && !holds(log_path, table)) {
      stop_point();
      written = qavrel::write_atomically(log_path.c_str(), table);
    }
    if (!written.ok()) {
      analysis.failure = Failure::log;
      analysis.error = qavrel::log_write_failure(log_path, written);
      return made;
    }
    analysis.log_written = true;
    analysis.log = state_of(log_path);
  }
  analysis.ok = true;
  return made;
}

}  // namespace qavrel::campaign
