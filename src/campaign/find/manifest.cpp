#include "campaign/find/manifest.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <unordered_map>
#include <vector>

#include "campaign/find/measurement_time.h"

namespace qavrel::campaign {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";

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

// Why a chip or configuration can't name a log, or empty when it can.
std::string unusable_name(const std::string& chip, const std::string& config) {
  if (chip.empty() || config.empty()) return "the manifest gives an empty chip or configuration";
  for (const std::string* name : {&chip, &config})
    if (name->find('/') != std::string::npos || name->find("..") != std::string::npos)
      return "the chip or configuration \"" + *name +
             "\" holds \"/\" or \"..\", which would put the log outside the data file's folder";
  return {};
}

// The bytes of a file, or the reason (the errno text) they can't be read.
Status whole_file(const std::string& path, std::string& text) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Status::failure(std::strerror(errno));
  constexpr std::size_t chunk = 65536;
  std::string buffer(chunk, '\0');
  for (;;) {
    const ssize_t got = ::read(fd, buffer.data(), chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const int error = errno;
      ::close(fd);
      return Status::failure(std::strerror(error));
    }
    if (got == 0) break;
    text.append(buffer, 0, static_cast<std::size_t>(got));
  }
  ::close(fd);
  return {};
}

}  // namespace

Status read_manifest(const std::string& manifest, const SearchRules& rules, Search& found) {
  // Read whole first, so that a failure to open or read it says why; a
  // manifest is a few lines per data file.
  std::string text;
  if (Status read = whole_file(manifest, text); !read.ok())
    return Status::failure("cannot read the manifest " + manifest + ": " + read.reason());
  std::istringstream in(text);
  std::vector<std::string> fields;
  read_record(in, fields);
  if (fields[0].compare(0, byte_order_mark.size(), byte_order_mark) == 0)
    fields[0].erase(0, byte_order_mark.size());
  const auto column = [&fields](const char* name) {
    return static_cast<std::size_t>(std::find(fields.begin(), fields.end(), name) - fields.begin());
  };
  const std::size_t path_column = column("path");
  const std::size_t chip_column = column("chip");
  const std::size_t config_column = column("config");
  const std::size_t measured_column = column("measured_at");  // where there is one
  const std::size_t needed = std::max({path_column, chip_column, config_column}) + 1;
  if (needed > fields.size())
    return Status::failure("the manifest " + manifest +
                           " needs a header with the columns path,chip,config");
  const fs::path base = fs::path(manifest).parent_path();
  std::unordered_map<std::string, int> first_line;  // of each path
  for (int line = 2; read_record(in, fields); ++line) {
    if (fields.size() == 1 && fields[0].empty()) continue;
    const std::string where = manifest + ", line " + std::to_string(line);
    if (fields.size() < needed) {
      found.skipped.push_back({where, "the record has too few fields"});
      continue;
    }
    const fs::path path = fields[path_column];
    DataFile file;
    file.path = canonical_path((path.is_absolute() ? path : base / path).string());
    file.chip = fields[chip_column];
    file.config = fields[config_column];
    const std::string why = unusable_name(file.chip, file.config);
    if (!why.empty()) {
      found.skipped.push_back({where, why});
      continue;
    }
    if (measured_column < fields.size() && !fields[measured_column].empty()) {
      if (Status read = read_measured_at(fields[measured_column], file.measured.at); !read.ok()) {
        found.skipped.push_back({where, "measured_at: " + read.reason()});
        continue;
      }
      file.measured.from = MeasuredFrom::manifest;
    }
    const auto [first, is_first] = first_line.emplace(file.path, line);
    if (!is_first) {
      found.notes.push_back(where + " lists " + file.path + " again; line " +
                            std::to_string(first->second) + " is taken");
      continue;
    }
    take_named(std::move(file), rules, found);
  }
  sort_and_merge(found);
  return {};
}

}  // namespace qavrel::campaign
