// Writes realistic sample files: a start marker, pedestals with noise and
// 15-pulse trains on one parity, with a chosen cross-talk on the other.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

struct SampleRecipe {
  static constexpr int channels = 32;

  int trains = 3;            // complete pulse trains
  int cut_rows = 0;          // rows of an unfinished last train, 0 for none
  int lead_rows = 5;         // baseline rows before the start marker
  bool marker = true;        // without it, no train is ever found
  int gap_rows = 20;         // baseline rows after a train, its closing row included
  bool even_pulsed = false;  // which parity carries the pulse
  int pulse = 420;           // downward pulse height on the pulsed channels
  double noise = 0.0;        // standard deviation of the Gaussian ADC noise
  std::uint32_t seed = 1;
  std::array<int, channels> pedestal{};  // baseline level of each channel
  std::array<double, channels>
      cross_talk{};  // response of the unpulsed channels, as a fraction of the pulse
  std::string value_separator = " ";
  std::string row_separator = "\n";

  // A recipe with the default pedestals and cross-talk pattern filled in.
  static SampleRecipe realistic();
};

// The cross-talk of the default pattern on an unpulsed channel: 1% to 4%.
double default_cross_talk(int channel);

// Writes the sample file described by recipe to out; false when a write fails.
bool write_samples(const SampleRecipe& recipe, std::FILE* out);

// The sample file described by recipe, as text.
std::string samples_text(const SampleRecipe& recipe);
