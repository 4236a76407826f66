#include "campaign/report/charts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "campaign/report/html_page.h"

namespace qavrel::campaign {

namespace {

// Geometry, in pixels.
constexpr int chart_width = 860;
constexpr int chart_height = 240;
constexpr int left = 56;
constexpr int top = 16;
constexpr int plot_height = 180;
constexpr int plot_width = chart_width - left - 16;
constexpr int histogram_bins = 40;  // below twice the C limit, and one more beyond
constexpr int axis_ticks = 4;

const char* const bar_colour = "#4a78b0";
const char* const overflow_colour = "#c0392b";
const char* const even_colour = "#4a78b0";  // even channels: odd pulsed
const char* const odd_colour = "#d08a2e";   // odd channels: even pulsed

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

std::string svg_start(const char* label) {
  return "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"chart\" width=\"" +
         std::to_string(chart_width) + "\" height=\"" + std::to_string(chart_height) +
         "\" viewBox=\"0 0 " + std::to_string(chart_width) + " " + std::to_string(chart_height) +
         "\" font-family=\"sans-serif\" font-size=\"11\" role=\"img\" aria-label=\"" + label +
         "\">\n";
}

std::string rect(double x, double y, double width, double height, const char* fill,
                 const std::string& title) {
  return "<rect x=\"" + number(x) + "\" y=\"" + number(y) + "\" width=\"" + number(width) +
         "\" height=\"" + number(height) + "\" fill=\"" + fill + "\"><title>" + title +
         "</title></rect>\n";
}

std::string text_at(double x, double y, const char* anchor, const std::string& text) {
  return "<text x=\"" + number(x) + "\" y=\"" + number(y) + "\" text-anchor=\"" + anchor + "\">" +
         text + "</text>\n";
}

// The vertical axis from 0 to top_value, with its ticks labelled by label.
template <typename Label>
std::string vertical_axis(double top_value, Label label) {
  std::string svg = "<line x1=\"" + number(left) + "\" y1=\"" + number(top) + "\" x2=\"" +
                    number(left) + "\" y2=\"" + number(top + plot_height) +
                    "\" stroke=\"#888\"/>\n";
  for (int tick = 0; tick <= axis_ticks; ++tick) {
    const double value = top_value * tick / axis_ticks;
    const double y = top + plot_height - plot_height * tick / static_cast<double>(axis_ticks);
    svg += text_at(left - 6, y + 4, "end", label(value));
  }
  return svg;
}

}  // namespace

std::string worst_ratio_histogram(const std::vector<double>& worst, const GradeLimits& limits) {
  const double end = 2 * limits.c;
  std::vector<long> counts(histogram_bins + 1, 0);
  for (const double value : worst) {
    const double bin = std::isfinite(value) ? value / end * histogram_bins : histogram_bins;
    ++counts[static_cast<std::size_t>(std::clamp(bin, 0.0, double{histogram_bins}))];
  }
  // The axis's top, a multiple of its ticks, so that each tick is a count.
  const long largest = std::max(1L, *std::max_element(counts.begin(), counts.end()));
  const long most = (largest + axis_ticks - 1) / axis_ticks * axis_ticks;
  const double bar_width = plot_width / static_cast<double>(histogram_bins + 1);
  std::string svg = svg_start("histogram of the worst |mean ratio| of each measurement");
  svg += vertical_axis(static_cast<double>(most),
                       [](double value) { return std::to_string(std::lround(value)); });
  for (int bin = 0; bin <= histogram_bins; ++bin) {
    const long count = counts[static_cast<std::size_t>(bin)];
    const double height = plot_height * static_cast<double>(count) / static_cast<double>(most);
    const bool overflow = bin == histogram_bins;
    const std::string range = overflow ? "above " + percent(end) + " or not a number"
                                       : percent(end * bin / histogram_bins) + " to " +
                                             percent(end * (bin + 1) / histogram_bins);
    svg += rect(left + bin * bar_width + 1, top + plot_height - height, bar_width - 2, height,
                overflow ? overflow_colour : bar_colour,
                range + ": " + std::to_string(count) + " measurements");
  }
  for (const auto& [limit, name] : {std::pair{limits.a, "A"}, {limits.b, "B"}, {limits.c, "C"}}) {
    const double x = left + plot_width * (limit / end) * histogram_bins / (histogram_bins + 1);
    svg += "<line x1=\"" + number(x) + "\" y1=\"" + number(top) + "\" x2=\"" + number(x) +
           "\" y2=\"" + number(top + plot_height) +
           "\" stroke=\"#222\" stroke-dasharray=\"4 3\"/>\n";
    svg +=
        text_at(x + 3, top + 10, "start", std::string(name) + " " + limit_percent(limit, limits));
  }
  for (int tick = 0; tick <= 4; ++tick) {
    const double x = left + plot_width * (tick / 4.0) * histogram_bins / (histogram_bins + 1);
    svg += text_at(x, top + plot_height + 16, "middle", percent(end * tick / 4));
  }
  svg += text_at(left + plot_width / 2.0, chart_height - 8, "middle",
                 "worst |mean ratio| of a current measurement");
  return svg + "</svg>\n";
}

std::string channel_means_chart(const std::array<ChannelMean, qavrel::nchan>& means) {
  double largest = 0.0;
  for (const ChannelMean& mean : means)
    if (mean.count > 0) largest = std::max(largest, mean.sum / static_cast<double>(mean.count));
  if (!(largest > 0)) largest = 1e-3;
  const double bar_width = plot_width / static_cast<double>(qavrel::nchan);
  std::string svg = svg_start("mean |ratio| of each channel across the campaign");
  svg += vertical_axis(largest, [](double value) { return percent(value); });
  for (int channel = 0; channel < qavrel::nchan; ++channel) {
    const ChannelMean& mean = means[static_cast<std::size_t>(channel)];
    const bool even = channel % 2 == 0;
    const double value = mean.count > 0 ? mean.sum / static_cast<double>(mean.count) : 0.0;
    const double height = plot_height * value / largest;
    svg += rect(left + channel * bar_width + 2, top + plot_height - height, bar_width - 4, height,
                even ? even_colour : odd_colour,
                "ch " + std::to_string(channel) + (even ? " (odd pulsed)" : " (even pulsed)") +
                    ": " + (mean.count > 0 ? percent(value) : "no data") + " over " +
                    std::to_string(mean.count) + " measurements");
    svg += text_at(left + (channel + 0.5) * bar_width, top + plot_height + 14, "middle",
                   std::to_string(channel));
  }
  svg += text_at(left + plot_width / 2.0, chart_height - 8, "middle",
                 "channel (blue: observed with the odd channels pulsed; orange: with the even)");
  return svg + "</svg>\n";
}

}  // namespace qavrel::campaign
