#include "campaign/data_files.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>

#include "core/log_path.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view sample_ending = "_adc.txt";
constexpr std::string_view compressed_endings[] = {".gz", ".zst"};
constexpr std::string_view chip_prefix = "vemra";
constexpr std::size_t skipped_after_chip = 2;  // board and link
constexpr std::int64_t nanoseconds_per_second = 1000000000;

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

bool is_sample_name(const std::string& file_name) {
  return ends_with(uncompressed_name(file_name), sample_ending);
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

// A path the log can be put beside as qavrel.exe puts it: a bare file
// name would make the log a path below the file itself.
std::string as_given(const fs::path& path) {
  const std::string text = path.string();
  return text.find('/') == std::string::npos ? "./" + text : text;
}

// Names the file and adds it to found, or lists it as skipped.
void take(const std::string& path, const NamePattern* pattern, FoundFiles& found) {
  DataFile file;
  file.path = path;
  std::string reason;
  const std::string file_name = fs::path(path).filename().string();
  const bool named = pattern != nullptr ? pattern->name(file_name, file, reason)
                                        : name_by_rule(file_name, file, reason);
  if (named)
    found.files.push_back(file);
  else
    found.skipped.push_back({path, reason});
}

void search(const fs::path& directory, const NamePattern* pattern, FoundFiles& found) {
  std::error_code error;
  fs::recursive_directory_iterator entries(directory, fs::directory_options::skip_permission_denied,
                                           error);
  for (; !error && entries != fs::recursive_directory_iterator(); entries.increment(error)) {
    const std::string file_name = entries->path().filename().string();
    std::error_code ignored;
    if (!entries->is_regular_file(ignored)) continue;
    if (pattern != nullptr ? pattern->matches(file_name) : is_sample_name(file_name))
      take(entries->path().string(), pattern, found);
  }
  if (error) found.failures.push_back(directory.string() + ": " + error.message());
}

void sort_and_merge(FoundFiles& found) {
  const auto by_path = [](const auto& a, const auto& b) { return a.path < b.path; };
  const auto same_path = [](const auto& a, const auto& b) { return a.path == b.path; };
  std::sort(found.files.begin(), found.files.end(), by_path);
  found.files.erase(std::unique(found.files.begin(), found.files.end(), same_path),
                    found.files.end());
  std::sort(found.skipped.begin(), found.skipped.end(), by_path);
  found.skipped.erase(std::unique(found.skipped.begin(), found.skipped.end(), same_path),
                      found.skipped.end());
}

// The fields of one CSV record, quoted ones unquoted; false at the end.
bool read_record(std::istream& in, std::vector<std::string>& fields) {
  fields.assign(1, std::string());
  bool quoted = false;
  bool any = false;
  for (int c = in.get(); c != EOF; c = in.get()) {
    any = true;
    if (quoted) {
      if (c != '"')
        fields.back() += static_cast<char>(c);
      else if (in.peek() == '"')
        fields.back() += static_cast<char>(in.get());
      else
        quoted = false;
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      fields.emplace_back();
    } else if (c == '\n') {
      break;
    } else if (c != '\r') {
      fields.back() += static_cast<char>(c);
    }
  }
  return any;
}

}  // namespace

FileState state_of(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return {};
  return {info.st_size, info.st_mtim.tv_sec * nanoseconds_per_second + info.st_mtim.tv_nsec};
}

std::vector<FoundFile> look_at(std::vector<DataFile> files) {
  std::vector<FoundFile> found;
  found.reserve(files.size());
  for (DataFile& file : files) {
    struct stat log {};
    const std::string log_path = qavrel::log_path_for(file.path, file.chip, file.config);
    const bool log_exists = ::stat(log_path.c_str(), &log) == 0;
    FileState state = state_of(file.path);
    found.push_back({std::move(file), state, log_exists});
  }
  return found;
}

bool name_by_rule(const std::string& file_name, DataFile& file, std::string& reason) {
  const std::string name = uncompressed_name(file_name);
  if (!ends_with(name, sample_ending)) {
    reason = "the name does not end in \"" + std::string(sample_ending) + "\"";
    return false;
  }
  const std::vector<std::string> fields =
      split(name.substr(0, name.size() - sample_ending.size()), '_');
  const auto chip_field = std::find_if(fields.begin(), fields.end(), [](const std::string& field) {
    return field.compare(0, chip_prefix.size(), chip_prefix) == 0;
  });
  if (chip_field == fields.end()) {
    reason = "no field of the name starts with \"" + std::string(chip_prefix) + "\"";
    return false;
  }
  if (chip_field->size() == chip_prefix.size()) {
    reason = "no chip identifier follows \"" + std::string(chip_prefix) + "\"";
    return false;
  }
  if (static_cast<std::size_t>(fields.end() - chip_field) <= 1 + skipped_after_chip) {
    reason = "no board, link and configuration follow the chip";
    return false;
  }
  const auto first_config_field = chip_field + 1 + skipped_after_chip;
  std::string config = *first_config_field;
  for (auto field = first_config_field + 1; field != fields.end(); ++field) config += "_" + *field;
  if (config.empty()) {
    reason = "the configuration is empty";
    return false;
  }
  file.chip = chip_field->substr(chip_prefix.size());
  file.config = config;
  return true;
}

struct NamePattern::Compiled {
  pcre2_code* code = nullptr;
  pcre2_match_data* match = nullptr;
  int chip_group = 0;
  int config_group = 0;
  ~Compiled() {
    pcre2_match_data_free(match);
    pcre2_code_free(code);
  }
};

NamePattern::NamePattern() = default;
NamePattern::~NamePattern() = default;

bool NamePattern::compile(const std::string& expression, std::string& error) {
  auto compiled = std::make_unique<Compiled>();
  int code = 0;
  PCRE2_SIZE offset = 0;
  compiled->code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(expression.data()), expression.size(),
                                 0, &code, &offset, nullptr);
  if (compiled->code == nullptr) {
    PCRE2_UCHAR message[256];
    pcre2_get_error_message(code, message, sizeof message);
    error = "--pattern: " + std::string(reinterpret_cast<const char*>(message)) + " at offset " +
            std::to_string(offset);
    return false;
  }
  compiled->chip_group =
      pcre2_substring_number_from_name(compiled->code, reinterpret_cast<PCRE2_SPTR>("chip"));
  compiled->config_group =
      pcre2_substring_number_from_name(compiled->code, reinterpret_cast<PCRE2_SPTR>("config"));
  if (compiled->chip_group <= 0 || compiled->config_group <= 0) {
    error = "--pattern: the expression needs the named groups (?<chip>...) and (?<config>...)";
    return false;
  }
  compiled->match = pcre2_match_data_create_from_pattern(compiled->code, nullptr);
  compiled_ = std::move(compiled);
  return true;
}

bool NamePattern::matches(const std::string& file_name) const {
  return pcre2_match(compiled_->code, reinterpret_cast<PCRE2_SPTR>(file_name.data()),
                     file_name.size(), 0, 0, compiled_->match, nullptr) >= 0;
}

bool NamePattern::name(const std::string& file_name, DataFile& file, std::string& reason) const {
  if (!matches(file_name)) {
    reason = "the name does not match --pattern";
    return false;
  }
  const PCRE2_SIZE* groups = pcre2_get_ovector_pointer(compiled_->match);
  const auto group = [&](int number) {
    const PCRE2_SIZE start = groups[2 * static_cast<std::size_t>(number)];
    const PCRE2_SIZE end = groups[2 * static_cast<std::size_t>(number) + 1];
    return start == PCRE2_UNSET ? std::string() : file_name.substr(start, end - start);
  };
  file.chip = group(compiled_->chip_group);
  file.config = group(compiled_->config_group);
  if (file.chip.empty() || file.config.empty()) {
    reason = "--pattern gives an empty chip or configuration";
    return false;
  }
  return true;
}

FoundFiles find_data_files(const std::vector<std::string>& paths, const NamePattern* pattern) {
  FoundFiles found;
  for (const std::string& path : paths) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (fs::is_directory(status))
      search(path, pattern, found);
    else if (fs::exists(status))
      take(as_given(path), pattern, found);
    else
      found.failures.push_back(path + ": " + (error ? error.message() : "no such file"));
  }
  sort_and_merge(found);
  return found;
}

bool read_manifest(const std::string& manifest, FoundFiles& found, std::string& error) {
  std::ifstream in(manifest, std::ios::binary);
  if (!in) {
    error = "cannot read the manifest " + manifest;
    return false;
  }
  std::vector<std::string> fields;
  read_record(in, fields);
  const auto column = [&fields](const char* name) {
    return std::find(fields.begin(), fields.end(), name) - fields.begin();
  };
  const auto path_column = static_cast<std::size_t>(column("path"));
  const auto chip_column = static_cast<std::size_t>(column("chip"));
  const auto config_column = static_cast<std::size_t>(column("config"));
  if (std::max({path_column, chip_column, config_column}) >= fields.size()) {
    error = "the manifest " + manifest + " needs a header with the columns path,chip,config";
    return false;
  }
  const fs::path base = fs::path(manifest).parent_path();
  const std::size_t needed = std::max({path_column, chip_column, config_column}) + 1;
  for (int line = 2; read_record(in, fields); ++line) {
    if (fields.size() == 1 && fields[0].empty()) continue;
    const std::string where = manifest + ", line " + std::to_string(line);
    if (fields.size() < needed) {
      found.skipped.push_back({where, "the record has too few fields"});
      continue;
    }
    const fs::path path = fields[path_column];
    DataFile file{as_given(path.is_absolute() ? path : base / path), fields[chip_column],
                  fields[config_column]};
    if (file.chip.empty() || file.config.empty())
      found.skipped.push_back({file.path, "the manifest gives an empty chip or configuration"});
    else
      found.files.push_back(file);
  }
  sort_and_merge(found);
  return true;
}
