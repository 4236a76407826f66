#include "campaign/model/trend_groups.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

#include "campaign/find/naming.h"

namespace qavrel::campaign {

const char* const unknown_group = "unknown";

namespace {

constexpr std::size_t date_length = 10;  // "YYYY-MM-DD"

std::string file_name_of(const std::string& path) { return path.substr(path.rfind('/') + 1); }

}  // namespace

std::string day_of(const CampaignFile& file) {
  return file.measured.at.size() >= date_length ? file.measured.at.substr(0, date_length)
                                                : unknown_group;
}

std::string board_of(const CampaignFile& file) {
  const auto place = board_and_link(file_name_of(file.analysis.path));
  return place ? place->board : unknown_group;
}

std::string link_of(const CampaignFile& file) {
  const auto place = board_and_link(file_name_of(file.analysis.path));
  return place ? place->link : unknown_group;
}

std::string bench_of(const CampaignFile& file) {
  return file.analysis.bench.empty() ? unknown_group : file.analysis.bench;
}

std::vector<TrendGroup> trend_groups(const std::vector<CampaignFile>& files, const Grading& grading,
                                     const GroupKey& key) {
  std::map<std::string, TrendGroup> groups;
  for (std::size_t c = 0; c < grading.chips.size(); ++c)
    for (const std::size_t i : grading.chips[c].current) {
      const std::string group_key = key(files[i]);
      TrendGroup& group = groups[group_key];
      group.key = group_key;
      // A chip's current measurements are listed together, so a repeat
      // in a group is its last entry.
      if (group.chips.empty() || group.chips.back() != c) group.chips.push_back(c);
      if (from_ratios(grading.of_file[i])) group.worst.push_back(files[i].analysis.worst.abs_mean);
    }
  std::vector<TrendGroup> ordered;
  ordered.reserve(groups.size());
  for (auto& [group_key, group] : groups)
    if (group_key != unknown_group) ordered.push_back(std::move(group));
  if (const auto unknown = groups.find(unknown_group); unknown != groups.end())
    ordered.push_back(std::move(unknown->second));
  return ordered;
}

double quantile(std::vector<double> values, double q) {
  if (values.empty()) return std::numeric_limits<double>::quiet_NaN();
  const auto rank = static_cast<std::size_t>(
      std::max(0.0, std::ceil(q * static_cast<double>(values.size())) - 1));
  const auto nan_last = [](double a, double b) {
    return !std::isnan(a) && (std::isnan(b) || a < b);
  };
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(rank), values.end(),
                   nan_last);
  return values[rank];
}

}  // namespace qavrel::campaign
