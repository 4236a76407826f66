// qavrel-campaign: analyses a whole campaign of sample files at once, as
// qavrel.exe would one by one, keeps every analysis in a results store,
// grades each chip and shows it all in a report. A run finds the files,
// plans what to read, runs the analyses, grades and publishes the outputs;
// with --watch it then runs again for each batch of files that changed.
// main parses the options and wires those together.
#include <csignal>
#include <cstdio>
#include <new>

#include "campaign/campaign_run.h"
#include "campaign/options.h"
#include "campaign/store/connection_text.h"
#include "campaign/watch/watch.h"

namespace qavrel::campaign {
namespace {

int fail(const std::string& line) {
  std::fprintf(stderr, "qavrel-campaign: %s\n", line.c_str());
  return 1;
}

int run_campaign(const Options& options) {
  CampaignRun run(options);
  if (const std::optional<int> ended = run.prepare()) return *ended;
  const RunEnd first = run.run();
  // A watch on a shared store outlasts the server's restarts.
  const bool store_away = first.store_failed && !options.store.empty();
  if (!options.watch || (!first.can_go_on && !store_away)) return first.status;
  return watch_campaign(options, run, store_away);
}

}  // namespace
}  // namespace qavrel::campaign

int main(int argc, char** argv) {
  // Past a file-size limit a write then fails, and is reported, rather
  // than the signal ending the run with temporary files left behind.
  std::signal(SIGXFSZ, SIG_IGN);
  // The libraries report what can't go on (no memory, a broken file
  // system) by exceptions; the campaign then ends with that reason.
  try {
    qavrel::campaign::Options options;
    if (const std::optional<int> ended = qavrel::campaign::parse_options(argc, argv, options))
      return *ended;
    qavrel::campaign::hide_password_in_arguments(argc, argv, options.store);
    return qavrel::campaign::run_campaign(options);
  } catch (const std::bad_alloc&) {
    return qavrel::campaign::fail(
        "out of memory; run again with fewer workers (-j) or more memory");
  } catch (const std::exception& error) {
    return qavrel::campaign::fail(error.what());
  }
}
