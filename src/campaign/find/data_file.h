// A data file of the campaign, as the search finds it: the one type that
// stands for a file until the plan pairs it with its analysis.
#pragma once

#include <cstdint>
#include <string>

namespace qavrel::campaign {

// A file's size and the times it last changed, as the store keeps them:
// of its content (mtime, which a copy may keep) and of the file itself
// (ctime, which a rename, a rewrite or a swap of two files of one size and
// mtime all change, and which no program sets back). -1 for each when the
// file can't be looked at or is not there.
struct FileState {
  std::int64_t size = -1;
  std::int64_t mtime_ns = -1;
  std::int64_t ctime_ns = -1;

  bool operator==(const FileState& other) const {
    return size == other.size && mtime_ns == other.mtime_ns && ctime_ns == other.ctime_ns;
  }
  bool operator!=(const FileState& other) const { return !(*this == other); }
};

// The file's state, or -1 for both when it can't be looked at.
FileState state_of(const std::string& path);

// Where a file's measurement time came from, most trusted first.
enum class MeasuredFrom { manifest, pattern, name, mtime };

// When the file was measured, as the bench's clock showed it.
struct MeasurementTime {
  std::string at;  // "YYYY-MM-DDTHH:MM:SS", local time
  MeasuredFrom from = MeasuredFrom::mtime;
  // What measurements are ordered by: the modification time itself where
  // the time came from it (local time repeats an hour in autumn), else the
  // text read as local time; nanoseconds since 1970.
  std::int64_t instant_ns = 0;

  bool operator==(const MeasurementTime& other) const {
    return at == other.at && from == other.from;
  }
  bool operator!=(const MeasurementTime& other) const { return !(*this == other); }
};

struct DataFile {
  std::string path;  // canonical; the log goes beside it
  std::string chip;
  std::string config;
  MeasurementTime measured;  // empty until named or looked at
  FileState state;           // as the search saw it
  FileState log;             // of the log its chip and configuration name
  bool unsearched = false;   // in a folder that could not be searched: stands as last stored
};

}  // namespace qavrel::campaign
