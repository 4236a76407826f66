#include "campaign/report/html_page.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <limits>

#include "campaign/model/analysis.h"
#include "campaign/report/markup.h"

namespace qavrel::campaign {

namespace {

// As many decimals as a double's percentage can mean.
constexpr int max_decimals = 17;

const char* const style = R"css(
body { font-family: sans-serif; margin: 2em; color: #222; max-width: 1100px; }
/* A name may run on without a break: it wraps rather than widen the page. */
body { overflow-wrap: break-word; }
.name { display: inline-block; max-width: 14em; overflow: hidden; text-overflow: ellipsis;
  white-space: nowrap; vertical-align: bottom; }
header { display: flex; flex-wrap: wrap; align-items: baseline; gap: 1em; margin: 0.5em 0; }
form.search { position: relative; }
form.search input { width: 16em; padding: 0.2em 0.4em; }
.found { position: absolute; z-index: 1; background: #fff; min-width: 16em; max-width: 40em; }
.found:not(:empty) { border: 1px solid #ccc; padding: 0 0.7em; box-shadow: 0 2px 6px #0003; }
.found ul { list-style: none; padding: 0; margin: 0.5em 0; }
.found li { margin: 0.2em 0; }
form.filters label { margin-right: 1em; }
th[title] { cursor: pointer; }
th[aria-sort=ascending]::after { content: " \25B2"; }
th[aria-sort=descending]::after { content: " \25BC"; }
h1 { margin-bottom: 0.2em; }
table { border-collapse: collapse; margin: 1em 0; }
th, td { border: 1px solid #ccc; padding: 0.3em 0.7em; text-align: left; }
th { background: #f0f0f0; }
td.number { text-align: right; }
td.path { word-break: break-all; }
.grade { font-weight: bold; padding: 0.1em 0.5em; border-radius: 0.3em; color: #fff;
  white-space: nowrap; }
.grade-A { background: #1a7f37; } .grade-B { background: #6a9a1f; }
.grade-C { background: #b08800; } .grade-fail { background: #c0392b; }
.grade-no-data, .grade-not-analysed { background: #777; }
.flag { color: #c0392b; font-weight: bold; }
.note { color: #555; }
nav { margin: 0.5em 0; }
section.file { border-top: 1px solid #ddd; padding-top: 0.5em; margin-top: 1.5em; }
section.superseded { opacity: 0.75; }
)css";

}  // namespace

std::string page_start(const std::string& title, const std::string& root) {
  std::string html = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
  html += "<meta name=\"viewport\" content=\"width=device-width\">\n<title>";
  html += markup_escaped(title);
  html += "</title>\n<style>";
  html += style;
  html += "</style>\n<script defer src=\"";
  html += root;
  html += "index/report.js\"></script>\n</head>\n<body>\n<header><nav><a href=\"";
  html += root;
  html +=
      "report.html\">Cross-talk campaign</a></nav>\n<form class=\"search\" role=\"search\" "
      "hidden><input type=\"search\" placeholder=\"find a chip\" aria-label=\"find a chip by "
      "name\" autocomplete=\"off\"><div class=\"found\" role=\"status\"></div></form>\n"
      "</header>\n<h1>";
  html += markup_escaped(title);
  return html + "</h1>\n";
}

std::string page_end() {
  return std::string("<p class=\"note\">Made by qavrel-campaign ") + tool_version +
         ".</p>\n</body>\n</html>\n";
}

std::string grade_badge(Grade grade) {
  std::string css = grade_name(grade);
  std::replace(css.begin(), css.end(), ' ', '-');
  return "<span class=\"grade grade-" + css + "\">" + grade_name(grade) + "</span>";
}

std::string percent(double ratio, int decimals) {
  if (std::isnan(ratio)) return "nan";
  char text[48];
  std::snprintf(text, sizeof text, "%.*f%%", decimals, 100.0 * ratio);
  return text;
}

int limit_decimals(const GradeLimits& limits) {
  // Asked for again and again with the same limits, once for each value
  // shown beside them.
  thread_local GradeLimits last{-1, -1, -1};
  thread_local int last_decimals = 2;
  if (limits.a == last.a && limits.b == last.b && limits.c == last.c) return last_decimals;
  int decimals = 2;
  for (const double limit : {limits.a, limits.b, limits.c})
    while (decimals < max_decimals &&
           std::fabs(std::strtod(percent(limit, decimals).c_str(), nullptr) / 100 - limit) >
               limit * limit_tolerance)
      ++decimals;
  last = limits;
  last_decimals = decimals;
  return decimals;
}

std::string limit_percent(double limit, const GradeLimits& limits) {
  return percent(limit, limit_decimals(limits));
}

std::string graded_percent(double value, const GradeLimits& limits) {
  const int shown = limit_decimals(limits);
  const double all[] = {limits.a, limits.b, limits.c};
  for (const double limit : all)
    if (value > limit && within(value, limit)) return percent(limit, shown);
  for (int decimals = shown;; ++decimals) {
    std::string text = percent(value, decimals);
    const bool reads_as_a_limit_it_exceeds = std::any_of(
        std::begin(all), std::end(all),
        [&](double limit) { return !within(value, limit) && text == percent(limit, decimals); });
    if (!reads_as_a_limit_it_exceeds || decimals == max_decimals) return text;
  }
}

std::string link(const std::string& href, const std::string& text) {
  return "<a href=\"" + markup_escaped(href) + "\">" + markup_escaped(text) + "</a>";
}

std::string table_name(const std::string& text) {
  const std::string escaped = markup_escaped(text);
  return "<span class=\"name\" title=\"" + escaped + "\">" + escaped + "</span>";
}

std::string table_name_link(const std::string& href, const std::string& text) {
  const std::string escaped = markup_escaped(text);
  return "<a class=\"name\" href=\"" + markup_escaped(href) + "\" title=\"" + escaped + "\">" +
         escaped + "</a>";
}

}  // namespace qavrel::campaign
