#include "campaign/report/charts.h"

#include <algorithm>
#include <cmath>

#include "campaign/model/chip_yield.h"
#include "campaign/report/html_page.h"
#include "campaign/report/markup.h"
#include "campaign/report/svg_parts.h"

namespace qavrel::campaign {

namespace {

// Geometry, in pixels.
constexpr int chart_width = 860;
constexpr int chart_height = 260;
constexpr int left = 70;
constexpr int top = 22;
constexpr int plot_height = 180;
constexpr int plot_width = chart_width - left - 16;
constexpr int histogram_bins = 40;  // below twice the C limit, and one more beyond
constexpr int axis_ticks = 4;
// A value this close above a bin's edge, relative to the bin, is on it.
constexpr double edge_tolerance = 1e-9;

const char* const even_colour = "#4a78b0";  // even channels: odd pulsed
const char* const odd_colour = "#d08a2e";   // odd channels: even pulsed
const char* const limit_colour = "#222";
const char* const axis_colour = "#888";
// As the grade badges show them.
const char* const grade_colours[ratio_grade_count] = {"#1a7f37", "#6a9a1f", "#b08800", "#c0392b"};
const char* const yield_colour = "#1a7f37";
const char* const lost_colour = "#f2c4bf";  // the share of chips that did not pass

std::size_t grade_place(Grade grade) {
  return static_cast<std::size_t>(
      std::find(std::begin(ratio_grades), std::end(ratio_grades), grade) -
      std::begin(ratio_grades));
}

// The vertical axis from 0 to top_value, with its ticks labelled by label
// and its title.
template <typename Label>
std::string vertical_axis(double top_value, Label label, const std::string& title) {
  std::string svg = svg_line(left, top, left, top + plot_height, axis_colour);
  for (int tick = 0; tick <= axis_ticks; ++tick) {
    const double value = top_value * tick / axis_ticks;
    const double y = top + plot_height - plot_height * tick / static_cast<double>(axis_ticks);
    svg += svg_text(left - 6, y + 4, "end", label(value));
  }
  return svg + svg_vertical_text(16, top + plot_height / 2.0, title);
}

}  // namespace

WorstHistogram worst_histogram(const std::vector<double>& worst, const GradeLimits& limits) {
  WorstHistogram histogram;
  histogram.end = 2 * limits.c;
  histogram.bins.assign(histogram_bins + 1, {});
  for (const double value : worst) {
    // The first bin whose upper edge is at or above the value.
    const double edge = std::ceil(value / histogram.end * histogram_bins - edge_tolerance);
    const double bin = std::isnan(edge) ? histogram_bins : std::max(edge - 1, 0.0);
    const auto place = static_cast<std::size_t>(std::min(bin, double{histogram_bins}));
    ++histogram.bins[place][grade_place(grade_of_worst(value, limits))];
  }
  return histogram;
}

std::string worst_ratio_histogram(const std::vector<double>& worst, const GradeLimits& limits) {
  const WorstHistogram histogram = worst_histogram(worst, limits);
  const double end = histogram.end;
  // The axis's top, a multiple of its ticks, so that each tick is a count.
  long largest = 1;
  for (const auto& bin : histogram.bins) {
    long height = 0;
    for (const long count : bin) height += count;
    largest = std::max(largest, height);
  }
  const long most = (largest + axis_ticks - 1) / axis_ticks * axis_ticks;
  const double bar_width = plot_width / static_cast<double>(histogram_bins + 1);
  std::string svg = svg_chart_start(chart_width, chart_height,
                                    "histogram of the worst |mean ratio| of each measurement");
  svg += vertical_axis(
      static_cast<double>(most), [](double value) { return std::to_string(std::lround(value)); },
      "current measurements");
  const std::string overflow_label = "&gt; " + percent(end, 1);
  for (int bin = 0; bin <= histogram_bins; ++bin) {
    const auto& counts = histogram.bins[static_cast<std::size_t>(bin)];
    const bool overflow = bin == histogram_bins;
    const std::string range = overflow ? "above " + percent(end) + " or not a number"
                                       : percent(end * bin / histogram_bins) + " to " +
                                             percent(end * (bin + 1) / histogram_bins);
    double y = top + plot_height;
    long total = 0;
    for (std::size_t grade = 0; grade < ratio_grade_count; ++grade) {
      total += counts[grade];
      if (counts[grade] == 0) continue;
      const double height =
          plot_height * static_cast<double>(counts[grade]) / static_cast<double>(most);
      y -= height;
      svg += svg_rect(left + bin * bar_width + 1, y, bar_width - 2, height, grade_colours[grade],
                      range + ": " + std::to_string(counts[grade]) + " measurements graded " +
                          grade_name(ratio_grades[grade]));
    }
    if (overflow) {
      const double x = left + (bin + 0.5) * bar_width;
      svg += svg_text(x, y - 4, "middle", std::to_string(total));
      svg += svg_text(x, top + plot_height + 16, "middle", overflow_label);
    }
  }
  for (const auto& [limit, grade] : {std::pair{limits.a, "A"}, {limits.b, "B"}, {limits.c, "C"}}) {
    const double x = left + plot_width * (limit / end) * histogram_bins / (histogram_bins + 1);
    svg += svg_line(x, top, x, top + plot_height, limit_colour, true);
    svg +=
        svg_text(x + 3, top + 10, "start", std::string(grade) + " " + limit_percent(limit, limits));
  }
  for (int tick = 0; tick < axis_ticks; ++tick) {
    const double x =
        left + plot_width * (tick / double{axis_ticks}) * histogram_bins / (histogram_bins + 1);
    svg += svg_text(x, top + plot_height + 16, "middle", percent(end * tick / axis_ticks, 1));
  }
  svg += svg_text(left + plot_width / 2.0, chart_height - 12, "middle",
                  "worst |mean ratio| of a current measurement (%); the last bar holds all above " +
                      percent(end, 1));
  return svg + "</svg>\n";
}

std::string channel_means_chart(const std::array<ChannelMean, qavrel::nchan>& means) {
  double largest = 0.0;
  for (const ChannelMean& mean : means)
    if (mean.count > 0) largest = std::max(largest, mean.sum / static_cast<double>(mean.count));
  if (!(largest > 0)) largest = 1e-3;
  const double bar_width = plot_width / static_cast<double>(qavrel::nchan);
  std::string svg = svg_chart_start(chart_width, chart_height,
                                    "mean |ratio| of each channel across the campaign");
  svg += vertical_axis(
      largest, [](double value) { return percent(value); }, "mean |ratio| (%)");
  for (int channel = 0; channel < qavrel::nchan; ++channel) {
    const ChannelMean& mean = means[static_cast<std::size_t>(channel)];
    const bool even = channel % 2 == 0;
    const double value = mean.count > 0 ? mean.sum / static_cast<double>(mean.count) : 0.0;
    const double height = plot_height * value / largest;
    svg += svg_rect(left + channel * bar_width + 2, top + plot_height - height, bar_width - 4,
                    height, even ? even_colour : odd_colour,
                    "ch " + std::to_string(channel) + (even ? " (odd pulsed)" : " (even pulsed)") +
                        ": " + (mean.count > 0 ? percent(value) : "no data") + " over " +
                        std::to_string(mean.count) + " measurements");
    svg += svg_text(left + (channel + 0.5) * bar_width, top + plot_height + 14, "middle",
                    std::to_string(channel));
  }
  svg += svg_text(left + plot_width / 2.0, chart_height - 12, "middle",
                  "channel (blue: observed with the odd channels pulsed; orange: with the even)");
  return svg + "</svg>\n";
}

namespace {

// The trend chart's columns and rows, in pixels.
constexpr int trend_top = 34;
constexpr int row_height = 18;
constexpr int name_x = 8;
constexpr std::size_t name_shown = 22;  // characters of a group's name
constexpr int chips_x = 214;            // right-aligned
constexpr int yield_x = 226;
constexpr int yield_width = 150;
constexpr int spread_x = 440;
constexpr int spread_width = 260;
constexpr int spread_text_x = spread_x + spread_width + 10;
constexpr double median_rank = 0.5;
constexpr double high_rank = 0.9;

}  // namespace

std::string trend_chart(const std::vector<TrendGroup>& groups, const Grading& grading,
                        const std::string& label) {
  const std::size_t rows = std::min(groups.size(), trend_rows);
  const int height = trend_top + static_cast<int>(rows) * row_height + 24;
  const GradeLimits& limits = grading.limits;
  const double end = 2 * limits.c;
  const auto spread_at = [&](double value) {
    return spread_x + spread_width * std::min(std::isnan(value) ? 1.0 : value / end, 1.0);
  };
  std::string svg = svg_chart_start(chart_width, height, "yield and cross-talk by " + label);
  svg += svg_text(name_x, 14, "start", label);
  svg += svg_text(chips_x, 14, "end", "chips");
  svg += svg_text(yield_x, 14, "start", "yield (A, B or C)");
  svg += svg_text(spread_x, 14, "start",
                  "worst |mean ratio|: bar to the 90th percentile, tick at the median");
  svg += svg_text(spread_text_x, 28, "start", "median / 90th");
  const double bottom = trend_top + static_cast<double>(rows) * row_height;
  for (const auto& [limit, grade] : {std::pair{limits.a, "A"}, {limits.b, "B"}, {limits.c, "C"}}) {
    const double x = spread_at(limit);
    svg += svg_line(x, trend_top - 6, x, bottom, limit_colour, true);
    svg += svg_text(x, trend_top - 8, "middle", grade);
  }
  svg += svg_text(spread_x, bottom + 14, "middle", "0%");
  svg += svg_text(spread_x + spread_width, bottom + 14, "middle", percent(end, 1));
  for (std::size_t row = 0; row < rows; ++row) {
    const TrendGroup& group = groups[row];
    const double y = trend_top + static_cast<double>(row) * row_height;
    const std::string name = markup_escaped(group.key);
    const std::string shown = group.key.size() > name_shown
                                  ? markup_escaped(group.key.substr(0, name_shown)) + "&#8230;"
                                  : name;
    svg += "<g><title>" + name + "</title>" + svg_text(name_x, y + 12, "start", shown) + "</g>\n";
    const ChipYield yield = chip_yield(grading, group.chips);
    svg += svg_text(chips_x, y + 12, "end", std::to_string(yield.chips));
    const double passed =
        yield.chips == 0 ? 0.0
                         : static_cast<double>(yield.passed) / static_cast<double>(yield.chips);
    const std::string yield_title = yield_percent(yield) + ": " + std::to_string(yield.passed) +
                                    " of " + std::to_string(yield.chips) + " chips";
    svg += svg_rect(yield_x, y + 3, yield_width, row_height - 6, lost_colour, yield_title);
    svg +=
        svg_rect(yield_x, y + 3, yield_width * passed, row_height - 6, yield_colour, yield_title);
    svg += svg_text(yield_x + yield_width + 6, y + 12, "start", yield_percent(yield));
    if (group.worst.empty()) {
      svg += svg_text(spread_text_x, y + 12, "start", "no graded measurement");
      continue;
    }
    const double median = quantile(group.worst, median_rank);
    const double high = quantile(group.worst, high_rank);
    const std::string spread_title = "median " + percent(median) + ", 90th percentile " +
                                     percent(high) + ", of " + std::to_string(group.worst.size()) +
                                     " measurements";
    svg += svg_rect(spread_x, y + 5, spread_at(high) - spread_x, row_height - 10,
                    grade_colours[grade_place(grade_of_worst(high, limits))], spread_title);
    svg += svg_line(spread_at(median), y + 2, spread_at(median), y + row_height - 2, "#000");
    svg += svg_text(spread_text_x, y + 12, "start",
                    percent(median, 1) + " / " + percent(high, 1) +
                        (spread_at(high) >= spread_x + spread_width ? " &#9656;" : ""));
  }
  return svg + "</svg>\n";
}

}  // namespace qavrel::campaign
