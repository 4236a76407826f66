// Finding a campaign's sample files, and looking at them before any
// analysis.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "campaign/find/data_file.h"
#include "campaign/find/naming.h"

namespace qavrel::campaign {

// A file whose name gave no chip and configuration, or that is not a
// sample file: listed, not analysed.
struct SkippedFile {
  std::string path;
  std::string reason;
};

struct SearchRules {
  const NamePattern* pattern = nullptr;  // names by the robot's rule when there is none
  std::string output_folder;             // canonical; nothing in it is data
};

// What a search found, and what it could not look into.
struct Search {
  std::vector<DataFile> files;                 // sorted by path, each path once
  std::vector<SkippedFile> skipped;            // sorted by path
  std::vector<std::string> failures;           // what could not be searched, with why; sorted
  std::vector<std::string> notes;              // what was taken one way rather than another
  std::vector<std::string> unsearched;         // folders that could not be searched
  std::vector<std::string> stale_temporaries;  // of logs, left by runs that were killed
  // What the listings of folders showed, by hashes of paths, so that files
  // need not be looked at one by one: the folders listed, and the states
  // of the data files and of the logs in them.
  std::unordered_set<std::uint64_t> listed_folders;
  std::unordered_map<std::uint64_t, FileState> states;
  std::unordered_map<std::uint64_t, FileState> log_states;
};

// Whether path lies below folder (both canonical); false for an empty folder.
bool inside(const std::string& path, const std::string& folder);

// The path with its folder's symbolic links, "." and ".." resolved, so that
// one file has one path however it is named; the file itself need not exist.
std::string canonical_path(const std::string& path);

// Lists one canonical folder into found: its data files (named, with their
// states), the states of its logs, the temporaries killed runs left, what
// it skips, and the folders in it (added to subfolders). A folder that
// can't be listed, or whose files can't be looked at, is a failure, and
// unsearched.
void list_folder(const std::string& folder, const SearchRules& rules, Search& found,
                 std::vector<std::string>& subfolders);

// Lists a canonical folder and every folder below it, links to folders not
// followed, the output folder left out.
void search_below(const std::string& top, const SearchRules& rules, Search& found);

// How a folder given as a path is searched, where not by search_below.
using SearchBelow = std::function<void(const std::string& top, Search& found)>;

// Takes each path: a file as it is (a FIFO too), a directory searched
// recursively (by search_folder, where given) for regular files with
// sample names ("_adc.txt", ".gz" or ".zst" after it, or matching
// rules.pattern). Names come from the pattern or the rule. Logs and their
// temporaries, and whatever lies in the output folder, are never data. A
// path that is not there is a failure; one that can't be looked into is
// unsearched as well.
Search find_data_files(const std::vector<std::string>& paths, const SearchRules& rules,
                       const SearchBelow& search_folder = nullptr);

// Adds a file whose chip and configuration are known (from a manifest) to
// the search, or lists it as skipped when it can't be data.
void take_named(DataFile file, const SearchRules& rules, Search& search);

// Sorts the files and skipped names by path, each path once (the first
// taken stays), and the failures.
void sort_and_merge(Search& search);

// Whether path lies in a folder that the search could not list.
bool lies_unsearched(const std::string& path, const Search& search);

// Adds the files of folders the search could not list, as the last search
// that listed them saw them (unsearched, their states as stored), unless
// found otherwise.
void take_unsearched(std::vector<DataFile> last_seen, Search& search);

// Fills each file's state and its log's, from what the listing of its
// folder showed where it was listed, or by looking, and its measurement
// time where its naming gave none; files in folders that could not be
// searched keep the states and times they were taken with.
void look_at(Search& search);

}  // namespace qavrel::campaign
