#include "campaign/find/naming.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <string_view>
#include <vector>

#include "campaign/find/measurement_time.h"

namespace qavrel::campaign {

namespace {

constexpr std::string_view sample_ending = "_adc.txt";
constexpr std::string_view compressed_endings[] = {".gz", ".zst"};
constexpr std::string_view chip_prefix = "vemra";
constexpr std::size_t skipped_after_chip = 2;  // board and link

bool ends_with(std::string_view text, std::string_view ending) {
  return text.size() >= ending.size() &&
         text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

// The name without a compression ending.
std::string uncompressed_name(const std::string& file_name) {
  for (const std::string_view ending : compressed_endings)
    if (ends_with(file_name, ending)) return file_name.substr(0, file_name.size() - ending.size());
  return file_name;
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> fields(1);
  for (const char c : text) {
    if (c == separator)
      fields.emplace_back();
    else
      fields.back() += c;
  }
  return fields;
}

// The first field of a name that starts as a chip's does.
std::vector<std::string>::const_iterator first_chip_field(const std::vector<std::string>& fields) {
  return std::find_if(fields.begin(), fields.end(), [](const std::string& field) {
    return field.compare(0, chip_prefix.size(), chip_prefix) == 0;
  });
}

}  // namespace

bool is_sample_name(const std::string& file_name) {
  return ends_with(uncompressed_name(file_name), sample_ending);
}

Status name_by_rule(const std::string& file_name, DataFile& file) {
  const std::string name = uncompressed_name(file_name);
  if (!ends_with(name, sample_ending))
    return Status::failure("the name does not end in \"" + std::string(sample_ending) + "\"");
  const std::vector<std::string> fields =
      split(name.substr(0, name.size() - sample_ending.size()), '_');
  const auto chip_field = first_chip_field(fields);
  if (chip_field == fields.end())
    return Status::failure("no field of the name starts with \"" + std::string(chip_prefix) + "\"");
  if (chip_field->size() == chip_prefix.size())
    return Status::failure("no chip identifier follows \"" + std::string(chip_prefix) + "\"");
  if (static_cast<std::size_t>(fields.end() - chip_field) <= 1 + skipped_after_chip)
    return Status::failure("no board, link and configuration follow the chip");
  const auto first_config_field = chip_field + 1 + skipped_after_chip;
  std::string config = *first_config_field;
  for (auto field = first_config_field + 1; field != fields.end(); ++field) config += "_" + *field;
  if (config.empty()) return Status::failure("the configuration is empty");
  file.chip = chip_field->substr(chip_prefix.size());
  file.config = config;
  return {};
}

std::optional<BoardAndLink> board_and_link(const std::string& file_name) {
  DataFile named;
  if (!name_by_rule(file_name, named).ok()) return std::nullopt;
  const std::string name = uncompressed_name(file_name);
  const std::vector<std::string> fields =
      split(name.substr(0, name.size() - sample_ending.size()), '_');
  const auto chip_field = first_chip_field(fields);
  return BoardAndLink{*(chip_field + 1), *(chip_field + 2)};
}

struct NamePattern::Compiled {
  pcre2_code* code = nullptr;
  pcre2_match_data* match = nullptr;
  int chip_group = 0;
  int config_group = 0;
  int date_group = 0;  // the measurement's, where the expression has them
  int time_group = 0;
  ~Compiled() {
    pcre2_match_data_free(match);
    pcre2_code_free(code);
  }
};

NamePattern::NamePattern() = default;
NamePattern::~NamePattern() = default;

Status NamePattern::compile(const std::string& expression) {
  auto compiled = std::make_unique<Compiled>();
  int code = 0;
  PCRE2_SIZE offset = 0;
  compiled->code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(expression.data()), expression.size(),
                                 0, &code, &offset, nullptr);
  if (compiled->code == nullptr) {
    PCRE2_UCHAR message[256];
    pcre2_get_error_message(code, message, sizeof message);
    return Status::failure("--pattern: " + std::string(reinterpret_cast<const char*>(message)) +
                           " at offset " + std::to_string(offset));
  }
  compiled->chip_group =
      pcre2_substring_number_from_name(compiled->code, reinterpret_cast<PCRE2_SPTR>("chip"));
  compiled->config_group =
      pcre2_substring_number_from_name(compiled->code, reinterpret_cast<PCRE2_SPTR>("config"));
  compiled->date_group =
      pcre2_substring_number_from_name(compiled->code, reinterpret_cast<PCRE2_SPTR>("date"));
  compiled->time_group =
      pcre2_substring_number_from_name(compiled->code, reinterpret_cast<PCRE2_SPTR>("time"));
  // A name given to two groups ((?J)) leaves which one counts unclear.
  for (const auto& [group, group_name] : {std::pair{compiled->chip_group, "chip"},
                                          {compiled->config_group, "config"},
                                          {compiled->date_group, "date"},
                                          {compiled->time_group, "time"}})
    if (group == PCRE2_ERROR_NOUNIQUESUBSTRING)
      return Status::failure(std::string("--pattern: the group name \"") + group_name +
                             "\" is given to more than one group; give it to one");
  if (compiled->chip_group <= 0 || compiled->config_group <= 0)
    return Status::failure(
        "--pattern: the expression needs the named groups (?<chip>...) and (?<config>...)");
  compiled->match = pcre2_match_data_create_from_pattern(compiled->code, nullptr);
  if (compiled->match == nullptr) return Status::failure("--pattern: out of memory");
  compiled_ = std::move(compiled);
  return {};
}

bool NamePattern::matches(const std::string& file_name) const {
  return pcre2_match(compiled_->code, reinterpret_cast<PCRE2_SPTR>(file_name.data()),
                     file_name.size(), 0, 0, compiled_->match, nullptr) >= 0;
}

Status NamePattern::name(const std::string& file_name, DataFile& file) const {
  if (!matches(file_name)) return Status::failure("the name does not match --pattern");
  const PCRE2_SIZE* groups = pcre2_get_ovector_pointer(compiled_->match);
  // A group the expression lacks has no number, and nothing to read.
  const auto group = [&](int number) {
    if (number <= 0) return std::string();
    const PCRE2_SIZE start = groups[2 * static_cast<std::size_t>(number)];
    const PCRE2_SIZE end = groups[2 * static_cast<std::size_t>(number) + 1];
    return start == PCRE2_UNSET ? std::string() : file_name.substr(start, end - start);
  };
  file.chip = group(compiled_->chip_group);
  file.config = group(compiled_->config_group);
  if (file.chip.empty() || file.config.empty())
    return Status::failure("--pattern gives an empty chip or configuration");
  // A group that took part in the match but caught nothing is no time.
  const auto caught_nothing = [&](int number) {
    return number > 0 && groups[2 * static_cast<std::size_t>(number)] != PCRE2_UNSET &&
           group(number).empty();
  };
  if (caught_nothing(compiled_->date_group) || caught_nothing(compiled_->time_group))
    return Status::failure("--pattern gives an empty date or time");
  const std::string date = group(compiled_->date_group);
  const std::string time = group(compiled_->time_group);
  if (date.empty() && time.empty()) return {};
  file.measured.from = MeasuredFrom::pattern;
  return measured_by_groups(file.path, date, time, file.measured.at);
}

}  // namespace qavrel::campaign
