#include "campaign/report/colour_map.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "campaign/report/html_page.h"
#include "campaign/report/markup.h"

namespace qavrel::campaign {

using qavrel::npeaks;
using qavrel::observed_channels;

namespace {

// Geometry, in pixels.
constexpr int cell_width = 30;
constexpr int cell_height = 18;
constexpr int left = 64;  // peak labels
constexpr int top = 44;   // title and channel labels
constexpr int legend_gap = 24;
constexpr int legend_width = 16;
constexpr int legend_steps = 45;      // 6 pixels each, the height of the grid
constexpr int legend_labels = 84;     // room for the legend's numbers and limits
constexpr int legend_label_gap = 14;  // pixels between two of its labels
constexpr int grid_width = observed_channels * cell_width;
constexpr int grid_height = npeaks * cell_height;
constexpr int width = left + grid_width + legend_gap + legend_width + legend_labels;
constexpr int height = top + grid_height + 30;
constexpr std::size_t typical_size = std::size_t{32} * 1024;

struct Colour {
  double red, green, blue;
};
constexpr Colour negative_end{33, 102, 172};
constexpr Colour middle{247, 247, 247};
constexpr Colour positive_end{178, 24, 43};
const char* const not_a_number_colour = "#b0b0b0";
const char* const worst_outline = "#000";

// Builds the SVG text by appending, which a map's 240 cells make worth it.
class Svg {
 public:
  Svg() { text_.reserve(typical_size); }

  Svg& operator<<(const char* text) {
    text_ += text;
    return *this;
  }
  Svg& operator<<(const std::string& text) {
    text_ += text;
    return *this;
  }
  Svg& operator<<(int number) {
    char digits[16];
    text_.append(digits, std::to_chars(digits, digits + sizeof digits, number).ptr);
    return *this;
  }
  // A ratio in percent with three decimals, as the legend has it: 1.234%.
  Svg& ratio(double value) {
    if (std::isnan(value)) return *this << "nan";
    char digits[32];
    text_.append(digits, std::to_chars(digits, digits + sizeof digits, 100 * value,
                                       std::chars_format::fixed, 3)
                             .ptr);
    return *this << "%";
  }
  Svg& colour(double ratio, const MapScale& scale) {
    if (std::isnan(ratio)) return *this << not_a_number_colour;
    const double t = scale_position(ratio, scale);
    const Colour end = t < 0 ? negative_end : positive_end;
    const double weight = std::fabs(t);
    text_ += '#';
    for (const double channel : {middle.red + (end.red - middle.red) * weight,
                                 middle.green + (end.green - middle.green) * weight,
                                 middle.blue + (end.blue - middle.blue) * weight}) {
      const auto level = static_cast<unsigned>(std::lround(channel));
      text_ += "0123456789abcdef"[level >> 4];
      text_ += "0123456789abcdef"[level & 15];
    }
    return *this;
  }
  Svg& text_at(int x, int y, const char* anchor) {
    return *this << "<text x=\"" << x << "\" y=\"" << y << "\" text-anchor=\"" << anchor << "\">";
  }
  Svg& rect(int x, int y, int w, int h) {
    return *this << "<rect x=\"" << x << "\" y=\"" << y << "\" width=\"" << w << "\" height=\"" << h
                 << "\" fill=\"";
  }

  std::string take() { return std::move(text_); }

 private:
  std::string text_;
};

// The scale's own measure of a |ratio|: linear below linear_end, and
// going on from there with the logarithm, whose slope meets the line's.
double symmetric_log(double magnitude, double linear_end) {
  return magnitude <= linear_end ? magnitude / linear_end : 1.0 + std::log(magnitude / linear_end);
}

std::string signed_percent(double value, const GradeLimits& limits) {
  return (value > 0 ? "+" : "") + limit_percent(value, limits);
}

// The legend: the colours from +end down to -end, evenly in scale
// position, labelled at 0, at the end and at each grade limit within it.
void legend(Svg& svg, const MapScale& scale, const GradeLimits& limits) {
  const int x = left + grid_width + legend_gap;
  svg << "<g class=\"legend\">\n";
  const int step_height = grid_height / legend_steps;
  const double half = grid_height / 2.0;
  for (int step = 0; step < legend_steps; ++step) {
    const double position = 1.0 - 2.0 * (step + 0.5) / legend_steps;
    // The ratio at that position, from the scale's inverse.
    const double measure = std::fabs(position) * symmetric_log(scale.end, scale.linear_end);
    const double magnitude =
        measure <= 1.0 ? measure * scale.linear_end : scale.linear_end * std::exp(measure - 1.0);
    svg.rect(x, top + step * step_height, legend_width, step_height + 1)
            .colour(std::copysign(magnitude, position), scale)
        << "\"/>\n";
  }
  const int label_x = x + legend_width + 4;
  const auto label = [&](double ratio, const std::string& text) {
    const int y = top + static_cast<int>(std::lround(half - half * scale_position(ratio, scale)));
    svg << "<line x1=\"" << x - 3 << "\" y1=\"" << y << "\" x2=\"" << x + legend_width + 2
        << "\" y2=\"" << y << "\" stroke=\"#222\"/>\n";
    svg.text_at(label_x, y + 4, "start") << text << "</text>\n";
    return y;
  };
  label(0.0, "0");
  int end_clear_of = grid_height;  // how near the end's label comes to a limit's, in pixels
  for (const auto& [limit, grade] : {std::pair{limits.a, "A"}, {limits.b, "B"}, {limits.c, "C"}}) {
    if (!(limit <= scale.end)) continue;
    const std::string text = limit_percent(limit, limits) + " " + grade;
    const int y = label(limit, "+" + text);
    label(-limit, "-" + text);
    end_clear_of = std::min(end_clear_of, y - top);
  }
  if (end_clear_of >= legend_label_gap) {
    label(scale.end, signed_percent(scale.end, limits));
    label(-scale.end, signed_percent(-scale.end, limits));
  }
  svg.text_at(x, top - 8, "start") << "ratio</text>\n";
  svg.rect(x, top + grid_height + 10, legend_width, 10) << not_a_number_colour << "\"/>\n";
  svg.text_at(label_x, top + grid_height + 19, "start") << "nan</text>\n";
  svg << "</g>\n";
}

}  // namespace

MapScale map_scale(const RatioTable& ratios, const GradeLimits& limits) {
  double largest = 0.0;
  for (int peak = 0; peak < npeaks; ++peak)
    for (int column = 0; column < observed_channels; ++column)
      if (const double ratio = ratios.values[peak][column]; std::isfinite(ratio))
        largest = std::max(largest, std::fabs(ratio));
  return {limits.a, largest > 0 ? largest : limits.a};
}

double scale_position(double ratio, const MapScale& scale) {
  const double position = symmetric_log(std::fabs(ratio), scale.linear_end) /
                          symmetric_log(scale.end, scale.linear_end);
  return std::copysign(std::min(position, 1.0), ratio);
}

std::string colour_map_svg(const Analysis& analysis, const RatioTable& ratios,
                           const GradeLimits& limits) {
  const MapScale scale = map_scale(ratios, limits);
  const qavrel::Parity pulsed = analysis.parity.value_or(qavrel::Parity::odd);
  const std::string name = markup_escaped("chip " + analysis.chip + ", " + analysis.config);
  Svg svg;
  svg << "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"map\" width=\"" << width
      << "\" height=\"" << height << "\" viewBox=\"0 0 " << width << " " << height
      << "\" font-family=\"sans-serif\" font-size=\"11\">\n<title>" << name << "</title>\n";
  svg.text_at(left, 14, "start") << name << " ("
                                 << (analysis.parity
                                         ? std::string(qavrel::parity_name(*analysis.parity)) +
                                               " pulsed"
                                         : "no parity")
                                 << ")</text>\n";
  svg.text_at(left - 6, top - 8, "end") << "ch</text>\n";
  for (int column = 0; column < observed_channels; ++column)
    svg.text_at(left + column * cell_width + cell_width / 2, top - 8, "middle")
        << qavrel::observed_channel(column, pulsed) << "</text>\n";
  for (int peak = 0; peak < npeaks; ++peak) {
    const int y = top + peak * cell_height;
    svg.text_at(left - 6, y + cell_height - 5, "end") << "peak " << peak << "</text>\n";
    for (int column = 0; column < observed_channels; ++column) {
      const double ratio = ratios.values[peak][column];
      svg.rect(left + column * cell_width, y, cell_width, cell_height).colour(ratio, scale)
          << "\"><title>peak " << peak << ", ch " << qavrel::observed_channel(column, pulsed)
          << ": ";
      svg.ratio(ratio) << "</title></rect>\n";
    }
  }
  // The largest |ratio|, the first of equals, outlined above the cells.
  int worst_peak = -1;
  int worst_column = 0;
  double worst = 0.0;
  for (int peak = 0; peak < npeaks; ++peak)
    for (int column = 0; column < observed_channels; ++column) {
      const double magnitude = std::fabs(ratios.values[peak][column]);
      if (std::isfinite(magnitude) && (worst_peak < 0 || magnitude > worst)) {
        worst_peak = peak;
        worst_column = column;
        worst = magnitude;
      }
    }
  if (worst_peak >= 0) {
    svg << "<rect class=\"worst\" x=\"" << left + worst_column * cell_width + 1 << "\" y=\""
        << top + worst_peak * cell_height + 1 << "\" width=\"" << cell_width - 2 << "\" height=\""
        << cell_height - 2 << "\" fill=\"none\" stroke=\"" << worst_outline
        << "\" stroke-width=\"2\"><title>largest |ratio|: peak " << worst_peak << ", ch "
        << qavrel::observed_channel(worst_column, pulsed) << "</title></rect>\n";
  }
  legend(svg, scale, limits);
  svg << "</svg>\n";
  return svg.take();
}

}  // namespace qavrel::campaign
