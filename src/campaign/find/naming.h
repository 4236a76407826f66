// A data file's chip and configuration, from its name: by the test robot's
// rule, or by a regular expression.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "campaign/find/data_file.h"
#include "core/status.h"

namespace qavrel::campaign {

// Whether a name ends as a sample file's does: "_adc.txt", and ".gz" or
// ".zst" after it.
bool is_sample_name(const std::string& file_name);

// The robot's rule: strip "_adc.txt" (and ".gz" or ".zst"), split at "_";
// the first field that starts with "vemra" gives the chip (the rest of it),
// the next two (board and link) are skipped, and the fields after them,
// joined again with "_", are the configuration. Fills the file's chip and
// configuration, or fails with the reason the name doesn't fit.
Status name_by_rule(const std::string& file_name, DataFile& file);

// Where the robot measured a file: the board and the link its name gives.
struct BoardAndLink {
  std::string board;
  std::string link;
};

// The two fields the robot's rule skips after the chip's, as board and
// link; none for a name that does not fit the rule.
std::optional<BoardAndLink> board_and_link(const std::string& file_name);

// A regular expression (PCRE2) with the named groups "chip" and "config",
// searched for in a file's name; the groups "date" and "time", where it
// has them and they match, give the measurement time.
class NamePattern {
 public:
  NamePattern();
  ~NamePattern();
  NamePattern(const NamePattern&) = delete;
  NamePattern& operator=(const NamePattern&) = delete;

  // Fails, with the reason, for an expression that doesn't compile or
  // lacks one of the groups.
  Status compile(const std::string& expression);
  bool matches(const std::string& file_name) const;
  // Fills the file's chip and configuration, and its measurement time
  // where the date or time group matched, or fails with the reason: the
  // name doesn't match, a group is empty, or a date or time is not one.
  Status name(const std::string& file_name, DataFile& file) const;

 private:
  struct Compiled;
  std::unique_ptr<Compiled> compiled_;
};

}  // namespace qavrel::campaign
