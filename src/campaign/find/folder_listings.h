// The listings of a campaign's folders, kept between the batches of a
// watch, so that a batch lists again only the folders where something
// changed; the search it gives is the one a walk of the folders would give.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "campaign/find/data_files.h"

namespace qavrel::campaign {

class FolderListings {
 public:
  explicit FolderListings(const SearchRules& rules) : rules_(rules) {}

  // Adds to found what top and every folder below it hold: as kept, for
  // folders listed before and unchanged since, else as listed now.
  void search_below(const std::string& top, Search& found);

  // Something changed at path (a file, a folder, a log): its folder, and
  // the folder itself where it is one, are listed again at the next search.
  void changed(const std::string& path);
  // Every folder is listed again at the next search.
  void forget_all();

 private:
  struct Listing {
    Search found;
    std::vector<std::string> subfolders;
  };

  // Lists folder again, and forgets the folders below it that are gone.
  const Listing& list(const std::string& folder);

  const SearchRules& rules_;
  std::map<std::string, Listing> listings_;  // by folder
  std::set<std::string> stale_;              // folders to list again
};

}  // namespace qavrel::campaign
