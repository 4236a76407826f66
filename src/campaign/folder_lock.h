// Keeps two campaign runs from writing one output folder at once.
#pragma once

#include <string>

namespace qavrel::campaign {

// An advisory lock on a folder, held until it goes out of scope. Programs
// that don't ask for it are not kept out.
class FolderLock {
 public:
  FolderLock() = default;
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  // Takes the lock without waiting. False, with the reason, when another
  // process holds it or the folder can't be opened.
  bool take(const std::string& folder, std::string& error);

 private:
  int fd_ = -1;
};

}  // namespace qavrel::campaign
