#include "campaign/report/colour_map.h"

#include <algorithm>
#include <charconv>
#include <cmath>

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
constexpr int legend_steps = 45;   // 6 pixels each, the height of the grid
constexpr int legend_labels = 60;  // room for the legend's numbers
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
  // A ratio in exponent notation with three decimals, as 1.234e-02.
  Svg& ratio(double value) {
    if (std::isnan(value)) return *this << "nan";
    char digits[32];
    text_.append(
        digits,
        std::to_chars(digits, digits + sizeof digits, value, std::chars_format::scientific, 3).ptr);
    return *this;
  }
  Svg& colour(double ratio, double scale) {
    if (std::isnan(ratio)) return *this << not_a_number_colour;
    const double t = std::clamp(ratio / scale, -1.0, 1.0);
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

std::string signed_number(double value) {
  char digits[32];
  const char* sign = value >= 0 ? "+" : "";
  return sign + std::string(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

void legend(Svg& svg, double scale) {
  const int x = left + grid_width + legend_gap;
  svg << "<g class=\"legend\">\n";
  const int step_height = grid_height / legend_steps;
  for (int step = 0; step < legend_steps; ++step) {
    const double ratio = scale * (1.0 - 2.0 * (step + 0.5) / legend_steps);
    svg.rect(x, top + step * step_height, legend_width, step_height + 1).colour(ratio, scale)
        << "\"/>\n";
  }
  const int label_x = x + legend_width + 4;
  svg.text_at(label_x, top + 8, "start") << signed_number(scale) << "</text>\n";
  svg.text_at(label_x, top + grid_height / 2 + 4, "start") << "0</text>\n";
  svg.text_at(label_x, top + grid_height, "start") << signed_number(-scale) << "</text>\n";
  svg.text_at(x, top - 8, "start") << "ratio</text>\n";
  svg.rect(x, top + grid_height + 10, legend_width, 10) << not_a_number_colour << "\"/>\n";
  svg.text_at(label_x, top + grid_height + 19, "start") << "nan</text>\n";
  svg << "</g>\n";
}

}  // namespace

std::string colour_map_svg(const Analysis& analysis, const RatioTable& ratios, double scale) {
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
  legend(svg, scale);
  svg << "</svg>\n";
  return svg.take();
}

}  // namespace qavrel::campaign
