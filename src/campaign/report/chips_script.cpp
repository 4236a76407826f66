#include "campaign/report/chips_script.h"

#include <cstdio>

#include "campaign/common/text.h"
#include "campaign/report/html_page.h"
#include "campaign/report/output_names.h"

namespace qavrel::campaign {

namespace {

// The day of a measurement time, YYYY-MM-DDTHH:MM:SS.
constexpr std::size_t day_length = 10;

// \uXXXX for a character a string literal or an HTML page must not hold
// as it is.
void append_escape(std::string& out, unsigned code) {
  char escape[8];
  std::snprintf(escape, sizeof escape, "\\u%04x", code);
  out += escape;
}

}  // namespace

std::string javascript_string(std::string_view text) {
  const std::string utf8 = utf8_shown(text);
  std::string out = "\"";
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const char c = utf8[i];
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\' || c == '<' || c == '>' || c == '&' || c == '\'' || byte < 0x20 ||
        byte == 0x7f) {
      append_escape(out, byte);
    } else if (byte == 0xE2 && i + 2 < utf8.size() &&
               static_cast<unsigned char>(utf8[i + 1]) == 0x80 &&
               (static_cast<unsigned char>(utf8[i + 2]) == 0xA8 ||
                static_cast<unsigned char>(utf8[i + 2]) == 0xA9)) {
      // U+2028 and U+2029 end a line in older JavaScript.
      append_escape(out, 0x2000 + static_cast<unsigned char>(utf8[i + 2]) - 0x80);
      i += 2;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string chips_script(const ReportInputs& inputs) {
  std::string script = "window.qavrelChips = [\n";
  for (const ChipSummary& chip : inputs.grading.chips) {
    script += "[" + javascript_string(chip.chip) + ",";
    script += javascript_string(chip_page_name(chip.chip)) + ",";
    script += javascript_string(grade_name(chip.grade)) + ",";
    script += javascript_string(chip.has_worst ? graded_percent(chip.worst, inputs.limits()) : "");
    script += "," + javascript_string(chip.worst_config) + ",";
    script += chip.has_worst ? std::to_string(chip.worst_channel) : std::string("null");
    script += "," + javascript_string(inputs.files[chip.latest].measured.at.substr(0, day_length));
    script += "],\n";
  }
  return script + "];\n";
}

}  // namespace qavrel::campaign
