// The pieces the report's charts are drawn with, as SVG text: numbers to
// a tenth of a pixel, so that pages stay small and the same inputs always
// give the same bytes.
#pragma once

#include <string>

namespace qavrel::campaign {

// A coordinate, with one decimal.
std::string svg_number(double value);

// The opening tag of a chart (class "chart") of that size, described by
// label for screen readers.
std::string svg_chart_start(int width, int height, const std::string& label);

std::string svg_text(double x, double y, const char* anchor, const std::string& text);

// Text turned a quarter anticlockwise around its place: a vertical axis's title.
std::string svg_vertical_text(double x, double y, const std::string& text);

// A line; dashed draws it as a grade limit is.
std::string svg_line(double x1, double y1, double x2, double y2, const char* stroke,
                     bool dashed = false);

// A filled rectangle whose title is shown on hover.
std::string svg_rect(double x, double y, double width, double height, const char* fill,
                     const std::string& title);

}  // namespace qavrel::campaign
