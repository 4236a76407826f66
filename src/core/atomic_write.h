// Writes whole files so that anyone reading them, during a run or after a
// failed or interrupted one, finds either the old content or the new one in
// full, never a truncated or mixed file.
#pragma once

#include <sys/stat.h>

#include <csignal>
#include <string>
#include <string_view>

#include "core/status.h"

namespace qavrel {

// A file being replaced. The text goes to a hidden temporary file beside
// it, named after it, which commit() syncs and renames over it. A symbolic
// link is followed and its target replaced, the link kept. A path that
// names something other than a regular file (a device, a FIFO) is written
// directly. A new file gets mode 0666 less the umask; a replaced one keeps
// its mode. Until the temporary file is renamed or removed, SIGINT,
// SIGTERM, SIGHUP and SIGQUIT are held in the thread that opened it, so that
// a stopped run leaves none behind; they take effect right after.
class AtomicFile {
 public:
  AtomicFile() = default;
  // Removes the temporary file unless it was committed.
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // How far the new file is safe once committed: synced to disk, so that a
  // power cut can't undo it (a log), or only renamed into place, which a
  // crash of the program can't undo (an output the program can make again).
  enum class Durability { synced, renamed };

  // Starts replacing the file at path; fails with the step that failed.
  Status open(const char* path, Durability durability = Durability::synced);
  // Appends text; fails with the first write that failed, as every later
  // call does too.
  Status write(std::string_view text);
  // Puts the new file in place. When that fails the temporary file is gone
  // and the old file is untouched.
  Status commit();

 private:
  int start(const char* path, Durability durability);
  int flush();
  void abandon();

  std::string target_;
  std::string temporary_;  // empty when writing in place
  struct stat replaced_ {};
  bool replacing_ = false;  // a file is there already
  Durability durability_ = Durability::synced;
  int fd_ = -1;
  int error_ = 0;  // the errno of the first step that failed
  std::string buffer_;
  bool signals_held_ = false;
  sigset_t previous_signals_{};
};

// The name of a temporary file for the file of the given name, made by the
// process pid: .<name>.<pid>-<count>.tmp, with name cut short where the
// whole would be longer than a file name may be.
std::string temporary_name(const std::string& name, long pid, unsigned count);

// Whether name is that of a temporary file whose process no longer runs,
// left by a run that was killed: one of another process that is gone, or
// one of this process's own id that this process never made (an earlier
// process had the id, as each run in a container may).
bool is_stale_temporary(std::string_view name);

// Whether name is that of a temporary file this process did not make,
// whichever process did and whether it still runs.
bool is_foreign_temporary(std::string_view name);

// Removes from directory every temporary file that this process did not
// make: for a folder that no other process writes while this one holds a
// lock on it, where a process id says nothing (a run in a container is
// process 1 every time, and ids are reused). Returns how many it removed.
std::size_t remove_foreign_temporaries(const std::string& directory);

// Removes from directory the temporary files whose names start with
// "." + prefix and whose process no longer runs, left by a run that was
// killed. Returns how many it removed.
std::size_t remove_stale_temporaries(const std::string& directory, std::string_view prefix);

// Replaces the file at path with text, as AtomicFile does.
Status write_atomically(const char* path, std::string_view text);

}  // namespace qavrel
