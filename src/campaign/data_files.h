// Finding a campaign's sample files, and each one's chip and configuration:
// from the test robot's naming rule, a regular expression, or a manifest.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct DataFile {
  std::string path;  // as given or found; the log goes beside it
  std::string chip;
  std::string config;
};

// A data file's size and modification time, as the store keeps them; -1
// for both when the file can't be looked at.
struct FileState {
  std::int64_t size = -1;
  std::int64_t mtime_ns = -1;
};
FileState state_of(const std::string& path);

// A data file as a run finds it, before any analysis.
struct FoundFile {
  DataFile file;
  FileState state;
  bool log_exists = false;  // the log its chip and configuration name is there
};

// Looks at each file and at its log.
std::vector<FoundFile> look_at(std::vector<DataFile> files);

// A file whose name gave no chip and configuration: listed, not analysed.
struct SkippedFile {
  std::string path;
  std::string reason;
};

struct FoundFiles {
  std::vector<DataFile> files;  // sorted by path, each path once
  std::vector<SkippedFile> skipped;
  std::vector<std::string> failures;  // paths that can't be searched, with why
};

// The robot's rule: strip "_adc.txt" (and ".gz" or ".zst"), split at "_";
// the first field that starts with "vemra" gives the chip (the rest of it),
// the next two (board and link) are skipped, and the fields after them,
// joined again with "_", are the configuration. False, with the reason,
// for a name that doesn't fit.
bool name_by_rule(const std::string& file_name, DataFile& file, std::string& reason);

// A regular expression (PCRE2) with the named groups "chip" and "config",
// searched for in a file's name.
class NamePattern {
 public:
  NamePattern();
  ~NamePattern();
  NamePattern(const NamePattern&) = delete;
  NamePattern& operator=(const NamePattern&) = delete;

  // False, with the reason, for an expression that doesn't compile or
  // lacks one of the groups.
  bool compile(const std::string& expression, std::string& error);
  bool matches(const std::string& file_name) const;
  // False, with the reason, when the name doesn't match or a group is empty.
  bool name(const std::string& file_name, DataFile& file, std::string& reason) const;

 private:
  struct Compiled;
  std::unique_ptr<Compiled> compiled_;
};

// Takes each path: a file as it is, a directory searched recursively for
// sample files (names ending "_adc.txt", ".gz" or ".zst" after it, or
// matching pattern when there is one). Names come from pattern or the rule.
FoundFiles find_data_files(const std::vector<std::string>& paths, const NamePattern* pattern);

// Reads a CSV manifest with the columns path,chip,config (a header line
// first); relative paths are taken from the manifest's directory. False,
// with the reason, when it can't be read or has no such columns.
bool read_manifest(const std::string& manifest, FoundFiles& found, std::string& error);
