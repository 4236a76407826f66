// The first step of a campaign run: from the files found and the analyses
// stored, what each file's outputs will show, and which files must be read
// (again). A pure function: it looks at nothing but its arguments.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "campaign/find/data_files.h"
#include "campaign/model/file_result.h"
#include "campaign/store/results_store.h"

namespace qavrel::campaign {

struct PlanSettings {
  bool force = false;        // read every file again
  bool write_logs = true;    // each log's owner writes it
  std::string tool_version;  // of this run; another one's analyses don't stand
};

struct Plan {
  // One per file found, in path order: who owns each log, which file each
  // measurement was superseded by, the map names, and the stored analysis
  // wherever it still stands.
  std::vector<FileResult> results;
  std::vector<std::size_t> to_analyse;  // indices into results
  std::uint64_t bytes_to_read = 0;
  std::size_t reused = 0;  // results whose stored analysis stands
};

// found is in path order, each path once; stored[i].analysis is the latest
// analysis the store holds of found[i] (id 0 where it holds none), and the
// plan's results are made of stored, in place. writers tells who last wrote
// each log.
Plan plan_campaign(std::vector<FoundFile> found, std::vector<FileResult> stored,
                   const LogWriters& writers, const PlanSettings& settings);

// Puts each analysis that keep_stored is handed (in path order) in the
// result of its file, when it is one of found (in path order too).
class StoredOfFound {
 public:
  StoredOfFound(const std::vector<FoundFile>& found, std::vector<FileResult>& results)
      : found_(found), results_(results) {}
  void operator()(Analysis& stored);

 private:
  const std::vector<FoundFile>& found_;
  std::vector<FileResult>& results_;
  std::size_t next_ = 0;
};

}  // namespace qavrel::campaign
