#include "campaign/colour_map.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "campaign/markup.h"

namespace {

// Geometry, in pixels.
constexpr int cell_width = 30;
constexpr int cell_height = 18;
constexpr int left = 64;  // peak labels
constexpr int top = 44;   // title and channel labels
constexpr int legend_gap = 24;
constexpr int legend_width = 16;
constexpr int legend_steps = 40;
constexpr int legend_labels = 60;  // room for the legend's numbers
constexpr int grid_width = observed_channels * cell_width;
constexpr int grid_height = npeaks * cell_height;
constexpr int width = left + grid_width + legend_gap + legend_width + legend_labels;
constexpr int height = top + grid_height + 30;

struct Colour {
  double red, green, blue;
};
constexpr Colour negative_end{33, 102, 172};
constexpr Colour middle{247, 247, 247};
constexpr Colour positive_end{178, 24, 43};
const char* const not_a_number_colour = "#b0b0b0";

std::string hex(Colour colour) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", static_cast<int>(std::lround(colour.red)),
                static_cast<int>(std::lround(colour.green)),
                static_cast<int>(std::lround(colour.blue)));
  return text;
}

std::string colour_of(double ratio, double scale) {
  if (std::isnan(ratio)) return not_a_number_colour;
  const double t = std::clamp(ratio / scale, -1.0, 1.0);
  const Colour end = t < 0 ? negative_end : positive_end;
  const double weight = std::fabs(t);
  return hex({middle.red + (end.red - middle.red) * weight,
              middle.green + (end.green - middle.green) * weight,
              middle.blue + (end.blue - middle.blue) * weight});
}

std::string number(const char* format, double value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string text_at(int x, int y, const char* anchor, const std::string& text) {
  return "<text x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) + "\" text-anchor=\"" +
         anchor + "\">" + text + "</text>\n";
}

std::string rect(int x, int y, int w, int h, const std::string& fill) {
  return "<rect x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) + "\" width=\"" +
         std::to_string(w) + "\" height=\"" + std::to_string(h) + "\" fill=\"" + fill + "\"";
}

std::string legend(double scale) {
  const int x = left + grid_width + legend_gap;
  std::string svg = "<g class=\"legend\">\n";
  const int step_height = grid_height / legend_steps;
  for (int step = 0; step < legend_steps; ++step) {
    const double ratio = scale * (1.0 - 2.0 * (step + 0.5) / legend_steps);
    svg +=
        rect(x, top + step * step_height, legend_width, step_height + 1, colour_of(ratio, scale)) +
        "/>\n";
  }
  const int label_x = x + legend_width + 4;
  svg += text_at(label_x, top + 8, "start", number("%+.3g", scale));
  svg += text_at(label_x, top + grid_height / 2 + 4, "start", "0");
  svg += text_at(label_x, top + grid_height, "start", number("%+.3g", -scale));
  svg += text_at(x, top - 8, "start", "ratio");
  svg += rect(x, top + grid_height + 10, legend_width, 10, not_a_number_colour) + "/>\n";
  svg += text_at(label_x, top + grid_height + 19, "start", "nan");
  return svg + "</g>\n";
}

}  // namespace

std::string colour_map_svg(const FileResult& result, double scale) {
  const Analysis& analysis = result.analysis;
  const bool even = analysis.parity == "even";
  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"map\" width=\"" +
                    std::to_string(width) + "\" height=\"" + std::to_string(height) +
                    "\" viewBox=\"0 0 " + std::to_string(width) + " " + std::to_string(height) +
                    "\" font-family=\"sans-serif\" font-size=\"11\">\n";
  svg +=
      "<title>" + markup_escaped("chip " + analysis.chip + ", " + analysis.config) + "</title>\n";
  svg += text_at(
      left, 14, "start",
      markup_escaped("chip " + analysis.chip + ", " + analysis.config + " (" +
                     (analysis.parity.empty() ? "no parity" : analysis.parity + " pulsed") + ")"));
  svg += text_at(left - 6, top - 8, "end", "ch");
  for (int column = 0; column < observed_channels; ++column)
    svg += text_at(left + column * cell_width + cell_width / 2, top - 8, "middle",
                   std::to_string(observed_channel(column, even)));
  for (int peak = 0; peak < npeaks; ++peak) {
    const int y = top + peak * cell_height;
    svg += text_at(left - 6, y + cell_height - 5, "end", "peak " + std::to_string(peak));
    for (int column = 0; column < observed_channels; ++column) {
      const double ratio = analysis.ratios[peak][column];
      svg += rect(left + column * cell_width, y, cell_width, cell_height, colour_of(ratio, scale)) +
             "><title>peak " + std::to_string(peak) + ", ch " +
             std::to_string(observed_channel(column, even)) + ": " +
             (std::isnan(ratio) ? std::string("nan") : number("%.3e", ratio)) + "</title></rect>\n";
    }
  }
  svg += legend(scale);
  return svg + "</svg>\n";
}
