#include "campaign/report/svg_parts.h"

#include <cstdio>

namespace qavrel::campaign {

std::string svg_number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

std::string svg_chart_start(int width, int height, const std::string& label) {
  const std::string w = std::to_string(width);
  const std::string h = std::to_string(height);
  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"chart\" width=\"";
  svg += w + "\" height=\"" + h + "\" viewBox=\"0 0 " + w + " " + h;
  svg += "\" font-family=\"sans-serif\" font-size=\"11\" role=\"img\" aria-label=\"";
  return svg + label + "\">\n";
}

std::string svg_text(double x, double y, const char* anchor, const std::string& text) {
  return "<text x=\"" + svg_number(x) + "\" y=\"" + svg_number(y) + "\" text-anchor=\"" + anchor +
         "\">" + text + "</text>\n";
}

std::string svg_vertical_text(double x, double y, const std::string& text) {
  const std::string at = svg_number(x) + " " + svg_number(y);
  return "<text transform=\"translate(" + at + ") rotate(-90)\" text-anchor=\"middle\">" + text +
         "</text>\n";
}

std::string svg_line(double x1, double y1, double x2, double y2, const char* stroke, bool dashed) {
  std::string svg = "<line x1=\"" + svg_number(x1) + "\" y1=\"" + svg_number(y1);
  svg += "\" x2=\"" + svg_number(x2) + "\" y2=\"" + svg_number(y2) + "\" stroke=\"" + stroke;
  return svg + (dashed ? "\" stroke-dasharray=\"4 3\"/>\n" : "\"/>\n");
}

std::string svg_rect(double x, double y, double width, double height, const char* fill,
                     const std::string& title) {
  std::string svg = "<rect x=\"" + svg_number(x) + "\" y=\"" + svg_number(y);
  svg += "\" width=\"" + svg_number(width) + "\" height=\"" + svg_number(height);
  return svg + "\" fill=\"" + fill + "\"><title>" + title + "</title></rect>\n";
}

}  // namespace qavrel::campaign
