#include "example_campaign.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "sample_gen.h"

namespace fs = std::filesystem;

namespace {

struct ExampleChip {
  const char* chip;
  const char* time;
  double cross_talk;
};

constexpr ExampleChip chips[] = {
    {"100001", "101500", 0.004}, {"100002", "102000", 0.015}, {"100003", "102500", 0.035},
    {"100004", "103000", 0.08},  {"100005", "103500", 0.004}, {"100006", "104000", 0.004},
};
const char* const date = "20261208";
const char* const damaged_chip = "100005";
const char* const markerless_chip = "100006";
// Where the damaged file stops making sense: after two of its trains.
const char* const damage = "12 ?? 7\n";

bool write_file(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  return static_cast<bool>(out.flush());
}

}  // namespace

bool write_example_campaign(const std::string& directory, int trains) {
  std::error_code error;
  for (const ExampleChip& chip : chips) {
    const std::string name = std::string(chip.time) + "_vemra" + chip.chip;
    const fs::path folder = fs::path(directory) / date / name;
    fs::create_directories(folder, error);
    if (error) return false;
    for (const bool even : {false, true}) {
      SampleRecipe recipe = SampleRecipe::realistic();
      recipe.trains = trains;
      recipe.noise = 2;
      recipe.even_pulsed = even;
      recipe.cross_talk.fill(chip.cross_talk);
      recipe.seed = static_cast<std::uint32_t>(std::stoul(chip.chip)) * 2 + (even ? 1 : 0);
      const bool odd_file = !even;
      recipe.marker = !(odd_file && std::string(chip.chip) == markerless_chip);
      std::string text = samples_text(recipe);
      if (odd_file && std::string(chip.chip) == damaged_chip) {
        // Cut at a row boundary past the second train: 5 lead rows, the
        // marker, a baseline row and two trains with their gaps.
        std::size_t cut = 0;
        for (int line = 0; line < 5 + 3 + 2 * (218 + 20); ++line) cut = text.find('\n', cut) + 1;
        text.insert(cut, damage);
      }
      const std::string file =
          name + "_zorik00_link00_20mV_calib-" + (even ? "even" : "odd") + "_adc.txt";
      if (!write_file(folder / file, text)) return false;
    }
  }
  return write_file(fs::path(directory) / date / "calibration_notes_adc.txt",
                    "not a sample file\n");
}

bool write_scale_campaign(const std::string& directory, long files) {
  // Cross-talk levels that give each grade, A to fail.
  constexpr double levels[] = {0.004, 0.006, 0.008, 0.012, 0.015, 0.03, 0.04, 0.08};
  constexpr long files_per_folder = 100;
  std::vector<std::string> texts;  // a level's odd text, then its even one
  for (const double level : levels)
    for (const bool even : {false, true}) {
      SampleRecipe recipe = SampleRecipe::realistic();
      recipe.trains = 2;
      recipe.noise = 2;
      recipe.even_pulsed = even;
      recipe.cross_talk.fill(level);
      recipe.seed = static_cast<std::uint32_t>(texts.size() + 1);
      texts.push_back(samples_text(recipe));
    }
  std::error_code error;
  for (long i = 0; i < files; ++i) {
    const long chip = 200000 + i / 2;
    const bool even = i % 2 == 1;
    char folder[32];
    std::snprintf(folder, sizeof folder, "d%04ld", i / files_per_folder);
    const fs::path path = fs::path(directory) / folder;
    if (i % files_per_folder == 0) fs::create_directories(path, error);
    if (error) return false;
    const std::string name = std::to_string(100000 + i % files_per_folder) + "_vemra" +
                             std::to_string(chip) + "_zorik00_link00_20mV_calib-" +
                             (even ? "even" : "odd") + "_adc.txt";
    const std::size_t level = static_cast<std::size_t>(chip * 7919 % 8);
    if (!write_file(path / name, texts[2 * level + (even ? 1 : 0)])) return false;
  }
  return true;
}
