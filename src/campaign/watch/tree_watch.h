// Linux inotify over the campaign's folders: which data files appeared,
// changed or went, including those in folders made after the start. Only
// says where to look; what is there is found by the run itself.
#pragma once

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "campaign/find/data_files.h"
#include "core/status.h"

namespace qavrel::campaign {

struct WatchEvents {
  std::vector<std::string> changed;  // data files, or folders, that changed, came or went
  std::vector<std::string> logs;     // logs (and their temporaries) that changed
  bool overflowed = false;           // the system dropped events: look at everything
};

class TreeWatch {
 public:
  // Data files are named as rules say (any file, with a manifest); logs
  // and the output folder are never watched for.
  TreeWatch(const SearchRules& rules, bool any_file);
  ~TreeWatch();
  TreeWatch(const TreeWatch&) = delete;
  TreeWatch& operator=(const TreeWatch&) = delete;

  // Opens the watch; fails, with the reason, where the system has none.
  Status open();
  int fd() const { return fd_; }

  // Watches folder and every folder below it (links to folders not
  // followed). Files already in a folder new to the watch are added to
  // changed, as they may have come before it.
  void add_tree(const std::string& folder, std::vector<std::string>& changed);
  // Watches folder alone, where it is not watched yet; says whether it
  // was not.
  bool add_folder(const std::string& folder);
  // Watches the folder above a root given as a PATH for that root alone,
  // so that a root removed, or moved away, and made again is watched again.
  void add_root(const std::string& root);

  // Reads the events that are waiting, without blocking.
  WatchEvents read();

  // Whether the system's limit of watches kept a folder from being
  // watched; the caller must then look at everything now and then.
  bool limit_reached() const { return limit_reached_; }

 private:
  bool watch(const std::string& folder);
  bool counts(const std::string& name) const;
  // Stops watching folder and every folder below it.
  void forget(const std::string& folder);

  const SearchRules& rules_;
  bool any_file_;
  int fd_ = -1;
  std::unordered_map<int, std::string> folders_;      // by watch descriptor
  std::unordered_map<std::string, int> descriptors_;  // by folder
  std::unordered_set<std::string> roots_;
  std::unordered_set<int> above_roots_;  // watched for the roots in them alone
  bool limit_reached_ = false;
};

}  // namespace qavrel::campaign
