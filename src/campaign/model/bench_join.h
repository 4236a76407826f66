// One campaign from the files of several benches that share a store: this
// bench's, as its run found and analysed them, and the others', as the
// store holds them.
#pragma once

#include <cstddef>
#include <vector>

#include "campaign/model/campaign_file.h"

namespace qavrel::campaign {

struct JoinedBenches {
  // In path order, then bench order, whichever bench's run joins them, so
  // that every bench and every report of the store sees one campaign;
  // which measurements are current is marked over all of them.
  std::vector<CampaignFile> files;
  std::vector<std::size_t> own_places;    // where each of own went
  std::vector<std::size_t> other_places;  // where each of others went
};

// own and others are each in path order (others then in bench order).
JoinedBenches join_benches(std::vector<CampaignFile> own, std::vector<CampaignFile> others);

// Items of own and of others, put at the places join_benches gave them.
template <typename T>
std::vector<T> joined(const JoinedBenches& joined_benches, const std::vector<T>& own,
                      const std::vector<T>& others) {
  std::vector<T> items(joined_benches.files.size());
  for (std::size_t i = 0; i < own.size() && i < joined_benches.own_places.size(); ++i)
    items[joined_benches.own_places[i]] = own[i];
  for (std::size_t i = 0; i < others.size() && i < joined_benches.other_places.size(); ++i)
    items[joined_benches.other_places[i]] = others[i];
  return items;
}

}  // namespace qavrel::campaign
