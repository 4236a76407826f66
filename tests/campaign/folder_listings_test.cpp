// A watch lists again only the folders where something changed: after any
// changes, said as the system says them, the search from the kept
// listings must be the one a walk of the folders gives. A listing kept
// too long grades a file that is gone, or misses one that came.
#include "campaign/find/folder_listings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "test_files.h"

namespace {

using namespace qavrel::campaign;
namespace fs = std::filesystem;

// What a search found, as text that tells any difference.
std::string shown(Search search) {
  sort_and_merge(search);
  std::string text;
  for (const DataFile& file : search.files)
    text += file.path + " " + file.chip + " " + file.config + "\n";
  for (const SkippedFile& skipped : search.skipped) text += "skip " + skipped.path + "\n";
  for (const std::string& failure : search.failures) text += "fail " + failure + "\n";
  std::vector<std::string> states;
  for (const auto& [path, state] : search.states)
    states.push_back(std::to_string(path) + " " + std::to_string(state.size) + " " +
                     std::to_string(state.mtime_ns));
  for (const auto& [path, state] : search.log_states)
    states.push_back("log " + std::to_string(path) + " " + std::to_string(state.size) + " " +
                     std::to_string(state.mtime_ns));
  std::sort(states.begin(), states.end());
  for (const std::string& state : states) text += state + "\n";
  return text + std::to_string(search.listed_folders.size()) + " folders listed\n";
}

TEST(FolderListings, AfterAnyChangesTheSearchIsThatOfAFreshWalk) {
  const ScratchDir dir;
  const std::string top = fs::canonical(dir.file("")).string() + "/tree";
  fs::create_directories(top);
  const SearchRules rules;
  FolderListings listings(rules);
  std::mt19937 random(7);  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same changes every run
  std::vector<std::string> folders{top};
  const auto pick = [&random](const std::vector<std::string>& from) {
    return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(random)];
  };
  const auto files_in = [](const std::string& folder) {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
      if (entry.is_regular_file()) files.push_back(entry.path().string());
    return files;
  };
  int made = 0;
  for (int step = 0; step < 300; ++step) {
    const std::string name = std::to_string(++made);
    std::vector<std::string> said;  // as inotify says them
    switch (random() % 7) {
      case 0:  // a folder made, now and then with a file in it already
      {
        const std::string folder = pick(folders) + "/d" + name;
        fs::create_directory(folder);
        if (random() % 2 != 0)
          std::ofstream(
              std::string(folder).append("/1_vemra").append(name).append("_b_l_odd_adc.txt"))
              << "1\n";
        folders.push_back(folder);
        said.push_back(folder);
        break;
      }
      case 1:  // a folder removed, or moved elsewhere in the tree
      {
        const std::string folder = pick(folders);
        if (folder == top) break;
        if (random() % 2 != 0) {
          fs::remove_all(folder);
          said.push_back(folder);
        } else {
          const std::string target = std::string(top).append("/m").append(name);
          fs::rename(folder, target);
          said.push_back(folder);
          said.push_back(target);
        }
        folders.clear();
        folders.push_back(top);
        for (const auto& entry : fs::recursive_directory_iterator(top))
          if (entry.is_directory()) folders.push_back(entry.path().string());
        break;
      }
      case 2:
      case 3:  // a data file written, or a name that doesn't fit
      {
        const std::string file =
            pick(folders) + (random() % 5 == 0 ? "/x" : "/1_vemra") + name + "_b_l_odd_adc.txt";
        std::ofstream(file) << std::string(random() % 100, '1') << "\n";
        said.push_back(file);
        break;
      }
      case 4:  // a data file removed or renamed
      {
        const std::vector<std::string> files = files_in(top);
        if (files.empty()) break;
        const std::string file = pick(files);
        if (random() % 2 != 0) {
          fs::remove(file);
        } else {
          const std::string renamed = pick(folders) + "/2_vemra" + name + "_b_l_even_adc.txt";
          fs::rename(file, renamed);
          said.push_back(renamed);
        }
        said.push_back(file);
        break;
      }
      case 5:  // a log written
      {
        const std::string log = pick(folders) + "/xtalk_vemra" + name + "_odd.log";
        std::ofstream(log) << "table\n";
        said.push_back(log);
        break;
      }
      default:  // nothing said: a search between changes
        break;
    }
    for (const std::string& path : said) listings.changed(path);
    Search kept;
    listings.search_below(top, kept);
    Search fresh;
    search_below(top, rules, fresh);
    ASSERT_EQ(shown(kept), shown(fresh)) << "after step " << step;
  }
  // Everything forgotten: listed again, the same.
  listings.forget_all();
  Search again;
  listings.search_below(top, again);
  Search fresh;
  search_below(top, rules, fresh);
  EXPECT_EQ(shown(again), shown(fresh));
}

}  // namespace
