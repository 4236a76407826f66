#include "campaign/find/measurement_time.h"

#include <ctime>

namespace qavrel::campaign {

namespace {

constexpr const char* measured_from_names[] = {"manifest", "pattern", "name", "mtime"};
constexpr std::int64_t nanoseconds_per_second = 1000000000;
constexpr int min_year = 1900;

bool all_digits(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

int number(const std::string& text, std::size_t at, std::size_t length) {
  return std::stoi(text.substr(at, length));
}

bool is_leap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int days_in_month(int year, int month) {
  constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && is_leap(year) ? 29 : days[month - 1];
}

// The digits of text with one separator between fields of two (or, for the
// year, four) digits taken out: "2026-12-07" and "20261207" alike.
std::optional<std::string> without_separator(const std::string& text, char separator,
                                             std::size_t first_field) {
  if (all_digits(text)) return text;
  // A separator stands between fields, never at an end.
  if (text.empty() || text.back() == separator) return std::nullopt;
  std::string digits;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool at_separator = i == first_field || (i > first_field && (i - first_field) % 3 == 0);
    if (at_separator != (text[i] == separator)) return std::nullopt;
    if (!at_separator) digits += text[i];
  }
  return all_digits(digits) ? std::optional<std::string>(digits) : std::nullopt;
}

std::string two_digits(int value) {
  return std::string(1, static_cast<char>('0' + value / 10)) + static_cast<char>('0' + value % 10);
}

// The name of the last folder in path before position end, and where it
// starts.
std::string folder_before(const std::string& path, std::size_t& end) {
  const std::size_t start = path.rfind('/', end - 1);
  const std::size_t from = start == std::string::npos ? 0 : start + 1;
  std::string name = path.substr(from, end - from);
  end = start == std::string::npos ? 0 : start;
  return name;
}

// The date of the nearest folder above the file at path named as one.
std::optional<std::string> date_of_folders(const std::string& path) {
  std::size_t end = path.rfind('/');
  while (end != std::string::npos && end > 0)
    if (auto date = date_of(folder_before(path, end))) return date;
  return std::nullopt;
}

}  // namespace

const char* measured_from_name(MeasuredFrom from) {
  return measured_from_names[static_cast<int>(from)];
}

std::optional<MeasuredFrom> measured_from_named(const std::string& name) {
  for (int i = 0; i < 4; ++i)
    if (name == measured_from_names[i]) return static_cast<MeasuredFrom>(i);
  return std::nullopt;
}

std::optional<std::string> date_of(const std::string& text) {
  const auto digits = without_separator(text, '-', 4);
  if (!digits || digits->size() != 8) return std::nullopt;
  const int year = number(*digits, 0, 4);
  const int month = number(*digits, 4, 2);
  const int day = number(*digits, 6, 2);
  if (year < min_year || month < 1 || month > 12 || day < 1 || day > days_in_month(year, month))
    return std::nullopt;
  return digits->substr(0, 4) + "-" + digits->substr(4, 2) + "-" + digits->substr(6, 2);
}

std::optional<std::string> time_of_day(const std::string& text) {
  std::optional<std::string> digits = without_separator(text, ':', 2);
  if (!digits) digits = without_separator(text, '-', 2);
  if (!digits || (digits->size() != 6 && digits->size() != 4)) return std::nullopt;
  if (digits->size() == 4) *digits += "00";
  const int hour = number(*digits, 0, 2);
  const int minute = number(*digits, 2, 2);
  const int second = number(*digits, 4, 2);
  if (hour > 23 || minute > 59 || second > 59) return std::nullopt;
  return two_digits(hour) + ":" + two_digits(minute) + ":" + two_digits(second);
}

Status read_measured_at(const std::string& text, std::string& at) {
  const std::size_t split = text.find_first_of("T ");
  const auto date = date_of(text.substr(0, split));
  const auto time = split == std::string::npos ? std::optional<std::string>("00:00:00")
                                               : time_of_day(text.substr(split + 1));
  if (!date || !time)
    return Status::failure("\"" + text +
                           "\" is not a measurement time (YYYY-MM-DDTHH:MM:SS, or a date alone)");
  at = *date + "T" + *time;
  return {};
}

Status measured_by_groups(const std::string& path, const std::string& date, const std::string& time,
                          std::string& at) {
  const auto day = date.empty() ? date_of_folders(path) : date_of(date);
  if (!day)
    return Status::failure(
        date.empty()
            ? "--pattern gives a time, but no folder above the file is named as a date"
            : "--pattern gives \"" + date + "\" as the date, which is not YYYYMMDD or YYYY-MM-DD");
  const auto hour = time.empty() ? std::optional<std::string>("00:00:00") : time_of_day(time);
  if (!hour)
    return Status::failure("--pattern gives \"" + time +
                           "\" as the time, which is not HHMMSS, HH:MM:SS, HH-MM-SS, HHMM or "
                           "HH:MM");
  at = *day + "T" + *hour;
  return {};
}

bool measured_by_layout(const std::string& path, std::string& at) {
  const std::size_t name_start = path.rfind('/') + 1;
  const std::size_t field_end = path.find('_', name_start);
  if (field_end == std::string::npos) return false;
  const std::string field = path.substr(name_start, field_end - name_start);
  if (field.size() != 6 || !all_digits(field)) return false;
  const auto hour = time_of_day(field);
  const auto day = date_of_folders(path);
  if (!hour || !day) return false;
  at = *day + "T" + *hour;
  return true;
}

std::string local_time(std::int64_t mtime_ns) {
  const std::time_t seconds = static_cast<std::time_t>(
      mtime_ns >= 0 ? mtime_ns / nanoseconds_per_second
                    : -((-mtime_ns + nanoseconds_per_second - 1) / nanoseconds_per_second));
  std::tm parts{};
  char text[32];
  if (localtime_r(&seconds, &parts) == nullptr ||
      std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &parts) == 0)
    return {};
  return text;
}

std::int64_t local_instant(const std::string& at) {
  std::tm parts{};
  if (at.size() != 19 || ::strptime(at.c_str(), "%Y-%m-%dT%H:%M:%S", &parts) == nullptr) return 0;
  parts.tm_isdst = -1;  // as the clock showed it, summer or winter
  return static_cast<std::int64_t>(std::mktime(&parts)) * nanoseconds_per_second;
}

void fill_measurement_time(DataFile& file) {
  MeasurementTime& measured = file.measured;
  if (measured.at.empty()) {
    if (measured_by_layout(file.path, measured.at)) {
      measured.from = MeasuredFrom::name;
    } else {
      measured.at = file.state.size >= 0 ? local_time(file.state.mtime_ns) : "";
      measured.from = MeasuredFrom::mtime;
    }
  }
  measured.instant_ns = measured.from == MeasuredFrom::mtime && file.state.size >= 0
                            ? file.state.mtime_ns
                            : local_instant(measured.at);
}

}  // namespace qavrel::campaign
