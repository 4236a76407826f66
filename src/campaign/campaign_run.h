// One run of a campaign, from the files found to the outputs: what a plain
// run does once, and a watch again for every batch of files that settled.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "campaign/find/data_files.h"
#include "campaign/find/folder_listings.h"
#include "campaign/find/naming.h"
#include "campaign/folder_lock.h"
#include "campaign/model/campaign_file.h"
#include "campaign/model/grading.h"
#include "campaign/options.h"
#include "campaign/store/results_store.h"

namespace qavrel::campaign {

// How a run ended: its status, and whether a watch can go on after it (a
// file that failed, or no files yet, leave the campaign as it is; a store
// that can't be opened, or an output folder that can't be written, don't).
struct RunEnd {
  int status = 0;
  bool can_go_on = true;
  std::vector<std::string> still_written;  // files left for a later run
  // The results store failed, and was closed: a watch on a shared store
  // opens it again later, as a server that restarts comes back.
  bool store_failed = false;
};

// Says a file that this run analysed and graded.
using GradedFile =
    std::function<void(const CampaignFile& file, Grade grade, const GradeLimits& limits)>;

class CampaignRun {
 public:
  explicit CampaignRun(const Options& options);

  // Gets the run ready; for a watch, makes and locks the output folder,
  // which stays locked until the run is destroyed (a plain run does so once
  // it has found data files). Returns the status to end with at once where
  // it could not.
  std::optional<int> prepare();

  // Finds the campaign's files, leaving out those named in waiting (a
  // watch saw them change within the settle time), reads what changed,
  // and publishes. graded, where given, is told each file analysed; a
  // batch (as a watch runs it) says only the failures of those files.
  RunEnd run(const std::unordered_set<std::string>& waiting = {},
             const GradedFile& graded = nullptr, bool batch = false);

  // For a watch: something changed at path (a file, a folder, a log), so
  // the next run lists its folder again; or everything must be looked at.
  void changed(const std::string& path);
  void look_at_everything();

  // For a watch on a shared store: whether other benches changed the
  // campaign since the last run read it. A failure reads as a change, so
  // that the batch it calls for tells it.
  bool other_benches_changed();

  // The folders that hold the campaign's data files as the last run found
  // them, for a watch to look into too.
  const std::vector<std::string>& data_folders() const { return data_folders_; }

  const SearchRules& rules() const { return rules_; }

 private:
  struct Campaign;

  // Makes and locks the output folder, once.
  Status take_output_folder();
  // Opens the results store, once: a server's before anything is written,
  // the SQLite file once the output folder is taken.
  Status open_store();
  // Where the store is, for messages: "in FOLDER" or "at URL", its
  // password masked.
  std::string store_place() const;
  // Ends a run whose store failed, closing the store.
  RunEnd store_lost(int status);
  // Writes the outputs of every bench from the store alone.
  RunEnd report_only();
  // Grades the campaign, tells what the run did, and publishes.
  RunEnd grade_and_publish(Campaign& campaign, const GradedFile& graded, bool batch);
  // Whether an earlier run left a results store in the output folder.
  bool store_made() const;

  const Options& options_;
  NamePattern pattern_;
  SearchRules rules_;
  FolderLock lock_;
  bool folder_taken_ = false;
  ResultsStore store_;
  bool store_open_ = false;
  // With --watch, the folders' listings are kept between runs, and only
  // those where something changed are listed again.
  std::unique_ptr<FolderListings> listings_;
  std::vector<std::string> data_folders_;
  std::string other_benches_seen_;  // their state when the last run read them
};

}  // namespace qavrel::campaign
