// Keeps two campaign runs from writing one output folder at once.
#pragma once

#include <string>

#include "core/status.h"

namespace qavrel::campaign {

// An advisory lock on a folder, held until it goes out of scope. Programs
// that don't ask for it are not kept out.
class FolderLock {
 public:
  FolderLock() = default;
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  // Takes the lock without waiting. Fails, with the reason, when another
  // process holds it or the folder can't be opened.
  Status take(const std::string& folder);

 private:
  int fd_ = -1;
};

}  // namespace qavrel::campaign
