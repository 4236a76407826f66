// When each file was measured, from each source in turn: a manifest, the
// groups of a pattern, the robot's folders and names, the modification
// time. A time read wrong reorders a chip's retests, and so its grade.
#include "campaign/find/measurement_time.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "campaign/find/data_files.h"
#include "campaign/find/manifest.h"
#include "test_files.h"

namespace {

using namespace qavrel::campaign;

std::string shown(const std::optional<std::string>& text) { return text.value_or("none"); }

std::string measured(const std::string& text) {
  std::string at;
  return read_measured_at(text, at).ok() ? at : "none";
}

TEST(MeasurementTime, DatesAndTimesInEachFormTheCalendarAllows) {
  EXPECT_EQ(shown(date_of("20261207")), "2026-12-07");
  EXPECT_EQ(shown(date_of("2026-12-07")), "2026-12-07");
  EXPECT_EQ(shown(date_of("2028-02-29")), "2028-02-29");
  for (const char* not_a_date :
       {"2026-02-29", "2100-02-29", "20261232", "20261301", "2026-1207", "202612-07", "2026-12-7",
        "d0001", "", "2026_12_07", "00001207", "2026-12-07-", "-2026-12-07"})
    EXPECT_EQ(shown(date_of(not_a_date)), "none") << not_a_date;
  EXPECT_EQ(shown(date_of("2000-02-29")), "2000-02-29");

  EXPECT_EQ(shown(time_of_day("235959")), "23:59:59");
  EXPECT_EQ(shown(time_of_day("07:05:09")), "07:05:09");
  EXPECT_EQ(shown(time_of_day("07-05-09")), "07:05:09");
  EXPECT_EQ(shown(time_of_day("0705")), "07:05:00");
  EXPECT_EQ(shown(time_of_day("07:05")), "07:05:00");
  for (const char* not_a_time : {"240000", "126000", "120060", "7:05:09", "07:0509", "07:05-09",
                                 "12345", "1234567", "", "12:00:", "07:05:09:"})
    EXPECT_EQ(shown(time_of_day(not_a_time)), "none") << not_a_time;

  EXPECT_EQ(measured("2026-12-07T10:20:30"), "2026-12-07T10:20:30");
  EXPECT_EQ(measured("2026-12-07 10:20"), "2026-12-07T10:20:00");
  EXPECT_EQ(measured("2026-12-07"), "2026-12-07T00:00:00");
  for (const char* not_a_time : {"2026-12-07T25:00:00", "07/12/2026 10:00", "2026-12-07T", "now",
                                 "2026-12-07-T10:00", "2026-12-07T10:00:00:"})
    EXPECT_EQ(measured(not_a_time), "none") << not_a_time;
}

// The time is the name's first field, the date the nearest folder above
// named as one, however deep; without either, the modification time.
TEST(MeasurementTime, TheRobotsLayoutThenTheModificationTime) {
  std::string at;
  EXPECT_TRUE(measured_by_layout("/b/20261207/100000_vemra5/100000_vemra5_z_l_odd_adc.txt", at));
  EXPECT_EQ(at, "2026-12-07T10:00:00");
  EXPECT_TRUE(measured_by_layout("/2026-12-01/b/20261207x/a/093015_vemra5_z_l_odd_adc.txt", at));
  EXPECT_EQ(at, "2026-12-01T09:30:15");
  EXPECT_FALSE(measured_by_layout("/b/d0001/100000_vemra5_z_l_odd_adc.txt", at));
  EXPECT_FALSE(measured_by_layout("/b/20261207/100099_vemra5_z_l_odd_adc.txt", at));
  EXPECT_FALSE(measured_by_layout("/b/20261207/1000_vemra5_z_l_odd_adc.txt", at));
  EXPECT_FALSE(measured_by_layout("/b/20261207/100000vemra5.txt", at));
  // The folder named as a date is above the file, never the file itself.
  EXPECT_FALSE(measured_by_layout("/b/100000_20261207", at));

  ::setenv("TZ", "UTC", 1);
  ::tzset();
  DataFile file;
  file.path = "/b/d0001/100000_vemra5_z_l_odd_adc.txt";
  file.state = {1, 1796638830123456789, 0};  // 2026-12-07 10:20:30.12 UTC
  fill_measurement_time(file);
  EXPECT_EQ(file.measured, (MeasurementTime{"2026-12-07T10:20:30", MeasuredFrom::mtime}));
  EXPECT_EQ(file.measured.instant_ns, file.state.mtime_ns);
  // Before 1970 too.
  DataFile old = file;
  old.measured = {};
  old.state.mtime_ns = -315619200000000000;  // 1960-01-01
  fill_measurement_time(old);
  EXPECT_EQ(old.measured.at, "1960-01-01T00:00:00");
  // In the hour autumn repeats, the time shown is ambiguous: files are
  // ordered by the modification time itself. 06:10 UTC came after 05:40,
  // though New York's clock showed 01:10 after 01:40.
  ::setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1);
  ::tzset();
  DataFile earlier = old;
  earlier.measured = {};
  DataFile later = earlier;
  earlier.state.mtime_ns = 1793511600000000000;  // 2026-11-01 05:40 UTC
  later.state.mtime_ns = 1793513400000000000;    // 2026-11-01 06:10 UTC
  fill_measurement_time(earlier);
  fill_measurement_time(later);
  EXPECT_EQ(earlier.measured.at, "2026-11-01T01:40:00");
  EXPECT_EQ(later.measured.at, "2026-11-01T01:10:00");
  EXPECT_GT(later.measured.instant_ns, earlier.measured.instant_ns);
  // A time from a name is read as the local clock showed it.
  EXPECT_EQ(local_instant("2026-07-01T12:00:00"), 1782921600LL * 1000000000);
  EXPECT_EQ(local_instant("2026-12-01T12:00:00"), 1796144400LL * 1000000000);
  EXPECT_EQ(local_instant("not a time"), 0);
  ::setenv("TZ", "CET-1", 1);  // the bench's own clock, an hour east
  ::tzset();
  file.measured = {};
  fill_measurement_time(file);
  EXPECT_EQ(file.measured.at, "2026-12-07T11:20:30");
  // A time the naming gave stands.
  file.measured = {"2026-01-01T00:00:00", MeasuredFrom::manifest};
  fill_measurement_time(file);
  EXPECT_EQ(file.measured.at, "2026-01-01T00:00:00");
  ::unsetenv("TZ");
  ::tzset();
}

std::string by_pattern(const char* expression, const std::string& path) {
  NamePattern pattern;
  EXPECT_TRUE(pattern.compile(expression).ok());
  DataFile file;
  file.path = path;
  const qavrel::Status named = pattern.name(std::filesystem::path(path).filename().string(), file);
  if (!named.ok()) return "skip: " + named.reason();
  return file.measured.at + " " + measured_from_name(file.measured.from);
}

TEST(MeasurementTime, APatternsDateAndTimeGroups) {
  const char* both = "^(?<date>\\d{8})-(?<time>\\d{6})_(?<chip>\\d+)_(?<config>\\w+)\\.txt$";
  EXPECT_EQ(by_pattern(both, "/x/20261207-101500_5_odd.txt"), "2026-12-07T10:15:00 pattern");
  EXPECT_EQ(by_pattern(both, "/x/20261307-101500_5_odd.txt").substr(0, 28),
            "skip: --pattern gives \"20261");
  // A time alone takes its date from the folders; a date alone is midnight.
  const char* time_only = "^(?<time>\\d\\d:\\d\\d)_(?<chip>\\d+)_(?<config>\\w+)$";
  EXPECT_EQ(by_pattern(time_only, "/2026-12-07/10:15_5_odd"), "2026-12-07T10:15:00 pattern");
  EXPECT_EQ(by_pattern(time_only, "/x/10:15_5_odd").substr(0, 40),
            "skip: --pattern gives a time, but no fol");
  const char* date_only = "^(?<date>[\\d-]{10})_(?<chip>\\d+)_(?<config>\\w+)$";
  EXPECT_EQ(by_pattern(date_only, "/x/2026-12-07_5_odd"), "2026-12-07T00:00:00 pattern");
  // Groups that took part in no match leave the time to the next source.
  const char* optional = "^(?:(?<date>\\d{8})_)?(?<chip>\\d+)_(?<config>\\w+)$";
  EXPECT_EQ(by_pattern(optional, "/x/5_odd"), " mtime");
  // One that matched nothing is no time.
  const char* empty = "^(?<date>\\d*)_(?<chip>\\d+)_(?<config>\\w+)$";
  EXPECT_EQ(by_pattern(empty, "/20261207/_5_odd"), "skip: --pattern gives an empty date or time");
  // A group name given twice leaves unclear which counts: refused.
  NamePattern twice;
  const qavrel::Status refused =
      twice.compile("(?J)^(?<chip>c\\d)_(?:x_(?<date>\\d+)|(?<date>\\d{8})_x)_(?<config>.*)$");
  EXPECT_EQ(refused.reason(),
            "--pattern: the group name \"date\" is given to more than one group; give it to one");
}

TEST(MeasurementTime, AManifestColumnWhereItHasOne) {
  const ScratchDir dir;
  Search found;
  const std::string manifest = dir.write("m.csv",
                                         "path,chip,config,measured_at\n"
                                         "a_adc.txt,1,odd,2026-12-07T10:00:00\n"
                                         "b_adc.txt,2,odd,\n"
                                         "c_adc.txt,3,odd,yesterday\n");
  ASSERT_TRUE(read_manifest(manifest, SearchRules{}, found).ok());
  ASSERT_EQ(found.files.size(), 2u);
  EXPECT_EQ(found.files[0].measured,
            (MeasurementTime{"2026-12-07T10:00:00", MeasuredFrom::manifest}));
  EXPECT_EQ(found.files[1].measured.at, "");  // left to the next source
  ASSERT_EQ(found.skipped.size(), 1u);
  EXPECT_EQ(found.skipped[0].reason.substr(0, 26), "measured_at: \"yesterday\" i");
}

}  // namespace
