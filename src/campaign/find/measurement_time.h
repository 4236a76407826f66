// When a data file was measured: from a manifest, the groups of --pattern,
// the robot's layout of folders and names, or the file's modification time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "campaign/find/data_file.h"
#include "core/status.h"

namespace qavrel::campaign {

// "manifest", "pattern", "name" or "mtime".
const char* measured_from_name(MeasuredFrom from);
std::optional<MeasuredFrom> measured_from_named(const std::string& name);

// A date as YYYYMMDD or YYYY-MM-DD, as "YYYY-MM-DD"; none when the text
// is not a date of the calendar.
std::optional<std::string> date_of(const std::string& text);
// A time of day as HHMMSS, HH:MM:SS, HH-MM-SS, HHMM or HH:MM, as
// "HH:MM:SS"; none when the text is not a time of day.
std::optional<std::string> time_of_day(const std::string& text);

// A date and a time of day as one measurement time, the date alone at
// midnight: "2026-12-07T10:00:00" and "2026-12-07 10:00" both read, as
// "YYYY-MM-DDTHH:MM:SS". Fails with the accepted forms.
Status read_measured_at(const std::string& text, std::string& at);

// A date group and a time group as the pattern caught them, either empty
// where it caught none; an empty date is taken from the folders above
// path. Fills at, or fails with why.
Status measured_by_groups(const std::string& path, const std::string& date, const std::string& time,
                          std::string& at);

// The robot's layout: the time is the name's first field (HHMMSS), the
// date the nearest folder above the file named as a date. Fills at and
// returns true where both are there.
bool measured_by_layout(const std::string& path, std::string& at);

// A modification time as the local time of this machine.
std::string local_time(std::int64_t mtime_ns);

// A local time "YYYY-MM-DDTHH:MM:SS" in nanoseconds since 1970; 0 for
// text that is no such time.
std::int64_t local_instant(const std::string& at);

// Fills a found file's measurement time where its naming gave none (from
// the layout, else from its modification time), and the instant it is
// ordered by.
void fill_measurement_time(DataFile& file);

}  // namespace qavrel::campaign
