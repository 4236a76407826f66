#include "campaign/watch/watch.h"

#include <poll.h>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "campaign/report/html_page.h"
#include "campaign/run/stop_signals.h"
#include "campaign/watch/settling.h"
#include "campaign/watch/tree_watch.h"

namespace qavrel::campaign {

namespace {

using Clock = Settling::Clock;

// Batches come at most this often while files keep arriving.
constexpr auto batch_gap = std::chrono::seconds(1);
// Where events can't be had for every folder, everything is looked at
// this often unless --rescan says otherwise.
constexpr double fallback_rescan_s = 60;
// A shared store that failed is tried again after a wait that doubles, up
// to a minute, so that a server being restarted is not pressed.
constexpr double first_retry_s = 1;
constexpr double last_retry_s = 60;
// How often a watch on a shared store asks it whether other benches
// changed the campaign, which no event of this machine tells.
constexpr double other_benches_poll_s = 10;

Clock::duration seconds(double value) {
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(value));
}

// Whether a line could not be written (the reader of standard output
// went away): the watch then ends once its batch has.
bool output_lost = false;

// "<measured> <chip> <config> <grade> <worst %> ch <channel> <path>", the
// worst "-" where the file gave no ratios.
void say_graded(const CampaignFile& file, Grade grade, const GradeLimits& limits) {
  const Analysis& analysis = file.analysis;
  const bool numbers = from_ratios(grade);
  const std::string worst = numbers ? graded_percent(analysis.worst.abs_mean, limits) : "-";
  const std::string channel = numbers ? std::to_string(analysis.worst_channel_number()) : "-";
  if (std::printf("%s %s %s %s %s ch %s %s\n", file.measured.at.c_str(), analysis.chip.c_str(),
                  analysis.config.c_str(), grade_name(grade), worst.c_str(), channel.c_str(),
                  analysis.path.c_str()) < 0 ||
      std::fflush(stdout) != 0)
    output_lost = true;
}

// The folders the watch starts from: each PATH that is a folder, whole,
// and the folder above it for the PATH itself; the folder of each file
// named, and of the manifest, alone.
void watch_paths(const Options& options, TreeWatch& tree) {
  std::vector<std::string> already_run;
  for (const std::string& path : options.paths) {
    std::error_code error;
    const std::filesystem::path real = std::filesystem::weakly_canonical(path, error);
    if (error) continue;
    if (std::filesystem::is_directory(real, error)) {
      tree.add_tree(real.string(), already_run);
      tree.add_root(real.string());
    } else if (std::filesystem::exists(real, error)) {
      tree.add_folder(real.parent_path().string());
    } else {
      tree.add_root(real.string());  // a folder to come
    }
  }
  if (!options.manifest.empty()) {
    std::error_code error;
    const std::filesystem::path real = std::filesystem::canonical(options.manifest, error);
    if (!error) tree.add_folder(real.parent_path().string());
  }
}

}  // namespace

int watch_campaign(const Options& options, CampaignRun& run, bool store_away_at_start) {
  catch_stop_signals();
  TreeWatch tree(run.rules(), !options.manifest.empty());
  if (Status opened = tree.open(); !opened.ok()) {
    std::fprintf(stderr, "qavrel-campaign: cannot watch for files: %s\n", opened.reason().c_str());
    return 1;
  }
  watch_paths(options, tree);
  for (const std::string& folder : run.data_folders()) tree.add_folder(folder);
  // The first run wrote logs before any folder was watched: the first
  // batch lists every folder again.
  run.look_at_everything();
  // A closed standard output is said once a batch ends, not by SIGPIPE.
  std::signal(SIGPIPE, SIG_IGN);
  double rescan_s = options.rescan_s;
  bool told_limit = false;
  const auto tell_limit = [&] {
    if (!tree.limit_reached() || told_limit) return;
    told_limit = true;
    if (rescan_s <= 0) rescan_s = fallback_rescan_s;
    std::fprintf(stderr,
                 "qavrel-campaign: the system's limit of watched folders is reached "
                 "(fs.inotify.max_user_watches); folders beyond it are looked at every %g s\n",
                 rescan_s);
  };
  tell_limit();
  std::fprintf(stderr,
               "qavrel-campaign: watching for new and changed data files (settle %g s); Ctrl-C "
               "to stop\n",
               options.settle_s);

  Settling settling(seconds(options.settle_s), batch_gap);
  Clock::time_point next_rescan = Clock::now() + seconds(rescan_s);
  // While the store is away, no batch runs before retry_at.
  bool store_away = false;
  Clock::time_point retry_at = Clock::now();
  double retry_s = first_retry_s;
  const bool shared_store = !options.store.empty();
  Clock::time_point next_poll = Clock::now() + seconds(other_benches_poll_s);
  // What the first run had not stored is read once the store is back.
  const auto try_again_later = [&] {
    std::fprintf(stderr, "qavrel-campaign: trying the results store again in %g s\n", retry_s);
    store_away = true;
    retry_at = Clock::now() + seconds(retry_s);
    retry_s = std::min(2 * retry_s, last_retry_s);
    settling.look_at_everything();
    run.look_at_everything();
  };
  if (store_away_at_start) try_again_later();
  for (;;) {
    const Clock::time_point now = Clock::now();
    std::optional<Clock::duration> wait = settling.wait(now);
    if (store_away && wait) wait = std::max(*wait, retry_at - now);
    if (shared_store && !store_away && (!wait || next_poll - now < *wait))
      wait = std::max(next_poll - now, Clock::duration::zero());
    if (rescan_s > 0 && (!wait || next_rescan - now < *wait))
      wait = std::max(next_rescan - now, Clock::duration::zero());
    // Rounded up, so that the wake comes when the wait is over, not before.
    const int timeout_ms =
        wait ? static_cast<int>(std::ceil(std::chrono::duration<double, std::milli>(*wait).count()))
             : -1;
    pollfd ready[2] = {{tree.fd(), POLLIN, 0}, {stop_signal_fd(), POLLIN, 0}};
    if (::poll(ready, 2, timeout_ms) < 0 && errno != EINTR) {
      std::fprintf(stderr, "qavrel-campaign: cannot wait for files: %s\n", std::strerror(errno));
      return 1;
    }
    if (stopped_by_signal()) {
      std::fprintf(stderr,
                   "qavrel-campaign: stopped watching; the outputs are up to date with "
                   "every batch that ended.\n");
      end_by_stop_signal();
    }
    const Clock::time_point seen = Clock::now();
    const WatchEvents events = tree.read();
    for (const std::string& path : events.changed) {
      settling.changed(path, seen);
      run.changed(path);
    }
    // A log changed (the runs' own writes among them): its folder is
    // listed again with the next batch, which it does not call for.
    for (const std::string& path : events.logs) run.changed(path);
    if (events.overflowed) {
      std::fprintf(stderr,
                   "qavrel-campaign: too many changes at once for the system to tell "
                   "them all; looking at every file again\n");
      settling.look_at_everything();
      run.look_at_everything();
      // Folders made while events were lost are watched from now on.
      watch_paths(options, tree);
    }
    tell_limit();
    if (rescan_s > 0 && seen >= next_rescan) {
      settling.look_at_everything();
      run.look_at_everything();
      next_rescan = seen + seconds(rescan_s);
    }
    // Other benches' files join the campaign: a batch publishes them.
    if (shared_store && !store_away && seen >= next_poll) {
      if (run.other_benches_changed()) settling.look_at_everything();
      next_poll = seen + seconds(other_benches_poll_s);
    }
    if (!settling.batch_due(seen) || (store_away && seen < retry_at)) continue;
    const RunEnd end = run.run(settling.start_batch(seen), say_graded, true);
    if (end.store_failed && shared_store) {
      // What the batch had not stored is read again once the store is
      // back: every file is looked at then.
      try_again_later();
      continue;
    }
    if (store_away) {
      std::fprintf(stderr, "qavrel-campaign: the results store is back\n");
      store_away = false;
      retry_s = first_retry_s;
    }
    if (!end.can_go_on) return end.status;
    if (output_lost) {
      std::fprintf(stderr,
                   "qavrel-campaign: cannot write to standard output: %s; stopped "
                   "watching, with the outputs up to date\n",
                   std::strerror(EPIPE));
      return 1;
    }
    // A file left as still being written may change no more (a clock
    // ahead, a writer gone): it is tried again once it has rested again.
    for (const std::string& path : end.still_written) settling.changed(path, Clock::now());
    // Folders of data not watched yet: what the batch wrote there before
    // they were is listed again with the next batch.
    for (const std::string& folder : run.data_folders())
      if (tree.add_folder(folder)) run.changed(folder);
  }
}

}  // namespace qavrel::campaign
