// Finding a campaign's sample files, and looking at them before any
// analysis.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "campaign/find/naming.h"

namespace qavrel::campaign {

// A file whose name gave no chip and configuration, or that is not a
// sample file: listed, not analysed.
struct SkippedFile {
  std::string path;
  std::string reason;
};

// A data file's size and modification time, as the store keeps them; -1
// for both when the file can't be looked at.
struct FileState {
  std::int64_t size = -1;
  std::int64_t mtime_ns = -1;
};
FileState state_of(const std::string& path);

struct FoundFiles {
  std::vector<DataFile> files;  // sorted by path, each path once
  std::vector<SkippedFile> skipped;
  std::vector<std::string> failures;  // paths that can't be searched, with why
  std::vector<std::string> notes;     // what was taken one way rather than another
  // What the search of folders saw, by hashes of paths: the folders it
  // listed, the logs in them, and the data files' states.
  std::unordered_set<std::uint64_t> listed_folders;
  std::unordered_set<std::uint64_t> logs_listed;
  std::unordered_map<std::uint64_t, FileState> states;
  std::vector<std::string> stale_temporaries;  // of logs, left by runs that were killed
  // Folders that could not be listed, and the logs in them as last stored.
  std::vector<std::string> unsearched;
  std::unordered_map<std::uint64_t, FileState> stored_logs;
};

struct SearchRules {
  const NamePattern* pattern = nullptr;  // names by the robot's rule when there is none
  std::string output_folder;             // canonical; nothing in it is data
};

// Whether path lies below folder (both canonical); false for an empty folder.
bool inside(const std::string& path, const std::string& folder);

// The path with its folder's symbolic links, "." and ".." resolved, so that
// one file has one path however it is named; the file itself need not exist.
std::string canonical_path(const std::string& path);

// Takes each path: a file as it is (a FIFO too), a directory searched
// recursively for regular files with sample names ("_adc.txt", ".gz" or
// ".zst" after it, or matching rules.pattern). Names come from the pattern
// or the rule. Logs and their temporaries, and whatever lies in the output
// folder, are never data.
FoundFiles find_data_files(const std::vector<std::string>& paths, const SearchRules& rules);

// Adds a file whose chip and configuration are known (from a manifest) to
// found, or lists it as skipped when it can't be data.
void take_named(DataFile file, const SearchRules& rules, FoundFiles& found);

// Sorts found by path, each path once: the first taken stays.
void sort_and_merge(FoundFiles& found);

// Whether path lies in a folder that the search could not list.
bool lies_unsearched(const std::string& path, const FoundFiles& found);

// A data file as a run finds it, before any analysis.
struct FoundFile {
  DataFile file;
  FileState state;
  FileState log;            // of the log its chip and configuration name; -1 when it is not there
  bool unsearched = false;  // in a folder that could not be searched: stands as stored
};

// Looks at each file and at its log, which the listing of a folder that
// was searched already shows, or the store for one that could not be.
// found's files, states and logs are taken.
std::vector<FoundFile> look_at(FoundFiles& found);

}  // namespace qavrel::campaign
