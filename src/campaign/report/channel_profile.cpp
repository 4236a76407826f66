#include "campaign/report/channel_profile.h"

#include <algorithm>
#include <cmath>

#include "campaign/report/html_page.h"
#include "campaign/report/markup.h"
#include "campaign/report/svg_parts.h"

namespace qavrel::campaign {

using qavrel::observed_channels;

const char* const channel_profile_caption =
    "Each point is an observed channel's signed mean ratio over the 15 peaks of a current "
    "measurement; its error bar is one standard error either side (the standard deviation of "
    "the 15 per-peak ratios over the square root of 15). Dashed lines: the A, B and C limits, "
    "at plus and minus each. Ringed: each measurement's worst channel, the largest |mean "
    "ratio|, which decides its grade.";

namespace {

// Geometry, in pixels.
constexpr int width = 860;
constexpr int height = 330;
constexpr int left = 70;   // the axis's numbers and title
constexpr int right = 90;  // the limits' labels
constexpr int top = 34;    // the legend
constexpr int plot_height = 250;
constexpr int plot_width = width - left - right;
constexpr double series_spread = 5.0;  // between series at one channel
constexpr double point_radius = 3.0;
constexpr double ring_radius = 7.0;
constexpr int half_ticks = 2;  // either side of zero
// Room above the largest point, and the C limit always in view.
constexpr double headroom = 1.1;

const char* const series_colours[] = {"#1f5fa8", "#d95f02", "#7b3294", "#1b9e77", "#e7298a"};

// The channel of the chip, from 0 to 31, whose slot a column takes.
double channel_x(int channel, std::size_t series, std::size_t count) {
  const double slot = plot_width / static_cast<double>(qavrel::nchan);
  const double offset =
      (static_cast<double>(series) - (static_cast<double>(count) - 1) / 2) * series_spread;
  return left + (channel + 0.5) * slot + offset;
}

std::string signed_percent(double ratio) { return (ratio > 0 ? "+" : "") + percent(ratio); }

}  // namespace

std::string channel_profile_svg(const std::vector<ProfileSeries>& series,
                                const GradeLimits& limits) {
  double extent = limits.c;
  for (const ProfileSeries& one : series)
    for (const MeanRatio& mean : one.means)
      if (std::isfinite(mean.mean + mean.standard_error))
        extent = std::max(extent, std::fabs(mean.mean) + mean.standard_error);
  extent *= headroom;
  const double zero_y = top + plot_height / 2.0;
  const auto y_of = [&](double ratio) { return zero_y - ratio / extent * plot_height / 2.0; };

  std::string svg = svg_chart_start(width, height, "mean ratio of each observed channel");
  // The axes: the ratio on the left, the channels below.
  svg += svg_line(left, top, left, top + plot_height, "#888");
  svg += svg_line(left, zero_y, left + plot_width, zero_y, "#888");
  for (int tick = -half_ticks; tick <= half_ticks; ++tick) {
    const double value = extent * tick / half_ticks;
    svg += svg_text(left - 6, y_of(value) + 4, "end", percent(value, 1));
  }
  svg += svg_vertical_text(16, zero_y, "mean ratio (%)");
  for (int channel = 0; channel < qavrel::nchan; ++channel)
    svg += svg_text(channel_x(channel, 0, 1), top + plot_height + 14, "middle",
                    std::to_string(channel));
  svg += svg_text(left + plot_width / 2.0, height - 6, "middle", "channel");
  for (const auto& [limit, grade] : {std::pair{limits.a, "A"}, {limits.b, "B"}, {limits.c, "C"}})
    for (const double sign : {1.0, -1.0}) {
      const double y = y_of(sign * limit);
      svg += svg_line(left, y, left + plot_width, y, "#555", true);
      svg += svg_text(left + plot_width + 4, y + 4, "start",
                      (sign > 0 ? "+" : "-") + limit_percent(limit, limits) + " " + grade);
    }

  double legend_x = left;
  for (std::size_t k = 0; k < series.size(); ++k) {
    const ProfileSeries& one = series[k];
    const char* const colour = series_colours[k % std::size(series_colours)];
    const std::string label = markup_escaped(one.label);
    svg += "<circle cx=\"" + svg_number(legend_x + 4) + "\" cy=\"14\" r=\"4\" fill=\"" + colour +
           "\"/>\n";
    svg += svg_text(legend_x + 12, 18, "start", label);
    legend_x += 24 + 7.0 * static_cast<double>(one.label.size());
    // The worst channel among those with a mean; one without is marked
    // "nan" where its point would be.
    int worst = -1;
    for (int column = 0; column < observed_channels; ++column) {
      const double mean = one.means[static_cast<std::size_t>(column)].mean;
      if (std::isfinite(mean) &&
          (worst < 0 ||
           std::fabs(mean) > std::fabs(one.means[static_cast<std::size_t>(worst)].mean)))
        worst = column;
    }
    svg += "<g fill=\"" + std::string(colour) + "\">\n";
    for (int column = 0; column < observed_channels; ++column) {
      const MeanRatio& mean = one.means[static_cast<std::size_t>(column)];
      const int channel = qavrel::observed_channel(column, one.pulsed);
      const double x = channel_x(channel, k, series.size());
      const std::string where = label + ", ch " + std::to_string(channel) + ": ";
      if (!std::isfinite(mean.mean)) {
        svg += svg_text(x, top + 10, "middle", "nan");
        continue;
      }
      const double y = y_of(mean.mean);
      if (std::isfinite(mean.standard_error))
        svg += svg_line(x, y_of(mean.mean - mean.standard_error), x,
                        y_of(mean.mean + mean.standard_error), colour);
      svg += "<circle cx=\"" + svg_number(x) + "\" cy=\"" + svg_number(y) + "\" r=\"" +
             svg_number(point_radius) + "\"><title>" + where + signed_percent(mean.mean) +
             " &#177; " + percent(mean.standard_error) + "</title></circle>\n";
      if (column == worst) {
        svg += "<circle class=\"worst\" cx=\"" + svg_number(x) + "\" cy=\"" + svg_number(y) +
               "\" r=\"" + svg_number(ring_radius) + "\" fill=\"none\" stroke=\"" + colour +
               "\" stroke-width=\"2\"/>\n";
        svg += svg_text(x, mean.mean >= 0 ? y - ring_radius - 3 : y + ring_radius + 11, "middle",
                        "worst");
      }
    }
    svg += "</g>\n";
  }
  return svg + "</svg>\n";
}

}  // namespace qavrel::campaign
