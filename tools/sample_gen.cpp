#include "sample_gen.h"

#include <charconv>
#include <cmath>
#include <random>

namespace {

constexpr int train_length = 218;
constexpr int peak_spacing = 14;
constexpr int peak_count = 15;

// Builds rows as text and hands them to a sink in large pieces.
template <typename Sink>
class RowWriter {
 public:
  RowWriter(const SampleRecipe& recipe, Sink sink)
      : recipe_(recipe),
        sink_(sink),
        random_(recipe.seed),
        noise_(0.0, recipe.noise > 0 ? recipe.noise : 1.0) {}

  bool baseline_row() { return row(false); }
  bool pulse_row() { return row(true); }

  bool zero_row() {
    for (int channel = 0; channel < SampleRecipe::channels; ++channel) value(channel, 0);
    return end_row();
  }

  bool flush() {
    const bool ok = sink_(text_);
    text_.clear();
    return ok;
  }

 private:
  bool row(bool pulsed) {
    for (int channel = 0; channel < SampleRecipe::channels; ++channel) {
      double level = recipe_.pedestal[channel];
      if (pulsed) {
        const bool is_pulsed = (channel % 2 == 0) == recipe_.even_pulsed;
        level -= recipe_.pulse * (is_pulsed ? 1.0 : recipe_.cross_talk[channel]);
      }
      if (recipe_.noise > 0) level += noise_(random_);
      value(channel, static_cast<int>(std::lround(level)));
    }
    return end_row();
  }

  void value(int channel, int number) {
    if (channel > 0) text_ += recipe_.value_separator;
    char digits[16];
    const auto result = std::to_chars(digits, digits + sizeof digits, number);
    text_.append(digits, result.ptr);
  }

  bool end_row() {
    text_ += recipe_.row_separator;
    return text_.size() < (1u << 16) || flush();
  }

  const SampleRecipe& recipe_;
  Sink sink_;
  std::mt19937 random_;
  std::normal_distribution<double> noise_;
  std::string text_;
};

template <typename Sink>
bool generate(const SampleRecipe& recipe, Sink sink) {
  RowWriter<Sink> out(recipe, sink);
  bool ok = true;
  for (int row = 0; row < recipe.lead_rows; ++row) ok = ok && out.baseline_row();
  // Start marker: a low row, then a row of zeros; a baseline row then lets
  // the first train open on its first pulse.
  if (recipe.marker) ok = ok && out.zero_row() && out.zero_row();
  ok = ok && out.baseline_row();
  const int last = recipe.cut_rows > 0 ? recipe.trains + 1 : recipe.trains;
  for (int train = 0; train < last; ++train) {
    const bool cut = train == recipe.trains;
    const int rows = cut ? recipe.cut_rows : train_length;
    for (int position = 0; position < rows; ++position) {
      const bool peak = position % peak_spacing == 0 && position / peak_spacing < peak_count;
      ok = ok && (peak ? out.pulse_row() : out.baseline_row());
    }
    for (int row = 0; !cut && row < recipe.gap_rows; ++row) ok = ok && out.baseline_row();
  }
  return out.flush() && ok;
}

}  // namespace

double default_cross_talk(int channel) { return 0.01 * (1 + (channel / 2) % 4); }

SampleRecipe SampleRecipe::realistic() {
  SampleRecipe recipe;
  for (int channel = 0; channel < channels; ++channel) {
    recipe.pedestal[channel] = 380 + (channel * 37) % 61;
    recipe.cross_talk[channel] = default_cross_talk(channel);
  }
  return recipe;
}

bool write_samples(const SampleRecipe& recipe, std::FILE* out) {
  return generate(recipe, [out](const std::string& text) {
    return std::fwrite(text.data(), 1, text.size(), out) == text.size();
  });
}

std::string samples_text(const SampleRecipe& recipe) {
  std::string all;
  generate(recipe, [&all](const std::string& text) {
    all += text;
    return true;
  });
  return all;
}
