#include "campaign/find/folder_listings.h"

#include <algorithm>

namespace qavrel::campaign {

namespace {

// Appends what one folder's listing holds to the search.
void add_listing(const Search& listing, Search& found) {
  found.files.insert(found.files.end(), listing.files.begin(), listing.files.end());
  found.skipped.insert(found.skipped.end(), listing.skipped.begin(), listing.skipped.end());
  found.failures.insert(found.failures.end(), listing.failures.begin(), listing.failures.end());
  found.notes.insert(found.notes.end(), listing.notes.begin(), listing.notes.end());
  found.unsearched.insert(found.unsearched.end(), listing.unsearched.begin(),
                          listing.unsearched.end());
  found.stale_temporaries.insert(found.stale_temporaries.end(), listing.stale_temporaries.begin(),
                                 listing.stale_temporaries.end());
  found.listed_folders.insert(listing.listed_folders.begin(), listing.listed_folders.end());
  found.states.insert(listing.states.begin(), listing.states.end());
  found.log_states.insert(listing.log_states.begin(), listing.log_states.end());
}

}  // namespace

const FolderListings::Listing& FolderListings::list(const std::string& folder) {
  Listing fresh;
  list_folder(folder, rules_, fresh.found, fresh.subfolders);
  std::sort(fresh.subfolders.begin(), fresh.subfolders.end());
  Listing& kept = listings_[folder];
  // Folders that were below this one and are gone, with all below them.
  for (const std::string& gone : kept.subfolders) {
    if (std::binary_search(fresh.subfolders.begin(), fresh.subfolders.end(), gone)) continue;
    const auto first = listings_.lower_bound(gone);
    auto last = first;
    while (last != listings_.end() && (last->first == gone || inside(last->first, gone))) ++last;
    listings_.erase(first, last);
  }
  kept = std::move(fresh);
  stale_.erase(folder);
  return kept;
}

void FolderListings::search_below(const std::string& top, Search& found) {
  std::vector<std::string> folders{top};
  while (!folders.empty()) {
    const std::string folder = std::move(folders.back());
    folders.pop_back();
    if (folder == rules_.output_folder || inside(folder, rules_.output_folder)) continue;
    const auto kept = listings_.find(folder);
    const Listing& listing =
        kept != listings_.end() && stale_.count(folder) == 0 ? kept->second : list(folder);
    add_listing(listing.found, found);
    folders.insert(folders.end(), listing.subfolders.begin(), listing.subfolders.end());
  }
}

void FolderListings::changed(const std::string& path) {
  if (listings_.count(path) != 0) stale_.insert(path);
  // The nearest folder above that was listed: the change shows in its
  // listing, or in that of a folder new below it.
  for (std::string folder = path; !folder.empty();) {
    const std::size_t slash = folder.rfind('/');
    folder = slash == std::string::npos || slash == 0 ? std::string() : folder.substr(0, slash);
    if (listings_.count(folder) != 0) {
      stale_.insert(folder);
      return;
    }
  }
}

void FolderListings::forget_all() {
  listings_.clear();
  stale_.clear();
}

}  // namespace qavrel::campaign
