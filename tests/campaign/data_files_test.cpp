// Finding a campaign's files: the robot's naming rule, a pattern, a
// manifest, and what is never data, however it is named.
#include "campaign/find/data_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "campaign/find/manifest.h"
#include "test_files.h"

namespace {

using namespace qavrel::campaign;

std::string named(const std::string& file_name) {
  DataFile file;
  const qavrel::Status status = name_by_rule(file_name, file);
  return status.ok() ? file.chip + "|" + file.config : "skip: " + status.reason();
}

TEST(CampaignNaming, RobotNamesGiveChipAndConfiguration) {
  EXPECT_EQ(named("123510_vemra100000_zorik00_link00_20mV_calib-odd_adc.txt"),
            "100000|20mV_calib-odd");
  EXPECT_EQ(named("123510_vemra100000_zorik00_link00_20mV_calib-odd_adc.txt.gz"),
            "100000|20mV_calib-odd");
  EXPECT_EQ(named("x_vemra7_b_l_a_b_c_adc.txt.zst"), "7|a_b_c");
  EXPECT_EQ(named("vemra1_vemra2_b_l_even_adc.txt"), "1|l_even");
  EXPECT_EQ(named("123510_vemra100000_zorik00_link00_20mV_calib-odd.txt"),
            "skip: the name does not end in \"_adc.txt\"");
  EXPECT_EQ(named("123510_chip100000_zorik00_link00_odd_adc.txt"),
            "skip: no field of the name starts with \"vemra\"");
  EXPECT_EQ(named("123510_vemra_zorik00_link00_odd_adc.txt"),
            "skip: no chip identifier follows \"vemra\"");
  EXPECT_EQ(named("123510_vemra1_zorik00_link00_adc.txt"),
            "skip: no board, link and configuration follow the chip");
}

// Reads a manifest written as text, with the manifest's own rules.
Search from_manifest(const ScratchDir& dir, const std::string& text) {
  Search found;
  const qavrel::Status read = read_manifest(dir.write("m.csv", text), SearchRules{}, found);
  EXPECT_TRUE(read.ok()) << read.reason();
  return found;
}

TEST(CampaignManifest, PathsAreTakenFromItsFolder) {
  const ScratchDir dir;
  const Search found = from_manifest(
      dir,
      "chip,path,config\r\n7,\"a, b_adc.txt\",odd\r\n8,/abs/c.txt,\"x \"\"q\"\"\"\n9,d.txt,\n");
  ASSERT_EQ(found.files.size(), 2u);
  EXPECT_EQ(found.files[0].path, "/abs/c.txt");
  EXPECT_EQ(found.files[0].config, "x \"q\"");
  EXPECT_EQ(found.files[1].path, dir.file("a, b_adc.txt"));
  EXPECT_EQ(found.files[1].chip, "7");
  ASSERT_EQ(found.skipped.size(), 1u);
  Search bad;
  EXPECT_FALSE(read_manifest(dir.write("bad.csv", "file,chip,config\n"), {}, bad).ok());
  const qavrel::Status missing = read_manifest(dir.file("missing.csv"), {}, bad);
  EXPECT_EQ(missing.reason(),
            "cannot read the manifest " + dir.file("missing.csv") + ": No such file or directory");
}

// A spreadsheet's byte-order mark, a path listed twice (the first row
// wins, and the second is named), and names that would put a log elsewhere.
TEST(CampaignManifest, MarkDuplicatesAndEscapingNames) {
  const ScratchDir dir;
  const Search found = from_manifest(dir,
                                     "\xEF\xBB\xBFpath,chip,config\n"
                                     "a.txt,1,odd\n"
                                     "./a.txt,2,even\n"
                                     "b.txt,../x,odd\n"
                                     "c.txt,3,cal/odd\n");
  ASSERT_EQ(found.files.size(), 1u);
  EXPECT_EQ(found.files[0].chip + "|" + found.files[0].config, "1|odd");
  ASSERT_EQ(found.notes.size(), 1u);
  EXPECT_EQ(found.notes[0],
            dir.file("m.csv") + ", line 3 lists " + dir.file("a.txt") + " again; line 2 is taken");
  ASSERT_EQ(found.skipped.size(), 2u);
  EXPECT_NE(found.skipped[0].reason.find("\"../x\" holds \"/\" or \"..\""), std::string::npos);
  EXPECT_EQ(found.skipped[1].path, dir.file("m.csv") + ", line 5");
}

// A chip or configuration that would put the log elsewhere, wherever the
// "/" or ".." stands in it, is refused with the reason.
TEST(CampaignManifest, NamesThatWouldPutTheLogElsewhereAreRefused) {
  const ScratchDir dir;
  std::string text = "path,chip,config\n";
  int line = 0;
  for (const std::string bad : {"/x", "x/", "a/b", "..", "..x", "x..", "a..b"}) {
    text += std::to_string(++line) + ".txt," + bad + ",odd\n";
    text += std::to_string(++line) + ".txt,7," + bad + "\n";
  }
  text += "ok.txt,7,odd.x\n";
  const Search found = from_manifest(dir, text);
  EXPECT_EQ(found.skipped.size(), static_cast<std::size_t>(line));
  for (const SkippedFile& skipped : found.skipped)
    EXPECT_NE(skipped.reason.find("holds \"/\" or \"..\""), std::string::npos) << skipped.path;
  ASSERT_EQ(found.files.size(), 1u);
  EXPECT_EQ(found.files[0].config, "odd.x");
}

// A file that a folder's search finds and a manifest names as well is
// taken as first found, and said so.
TEST(CampaignManifest, AFileFoundTwiceUnderTwoNamesIsSaid) {
  const ScratchDir dir;
  dir.write("1_vemra5_b_l_odd_adc.txt", "");
  Search found = find_data_files({dir.file("")}, {});
  ASSERT_TRUE(
      read_manifest(dir.write("m.csv", "path,chip,config\n1_vemra5_b_l_odd_adc.txt,9,odd\n"), {},
                    found)
          .ok());
  ASSERT_EQ(found.files.size(), 1u);
  EXPECT_EQ(found.files[0].chip, "5");
  ASSERT_EQ(found.notes.size(), 1u);
  EXPECT_NE(found.notes[0].find("is named twice, as chip 5, odd and as chip 9, odd"),
            std::string::npos);
}

std::vector<std::string> paths_of(const Search& found) {
  std::vector<std::string> paths;
  for (const DataFile& file : found.files) paths.push_back(file.path);
  return paths;
}

TEST(CampaignFinding, DirectoriesGiveSampleFilesOnceAndInOrder) {
  const ScratchDir dir;
  std::filesystem::create_directories(dir.file("d/a/b"));
  const std::string name = "1_vemra5_b_l_odd_adc.txt";
  dir.write("d/a/b/" + name, "");
  dir.write("d/a/" + name + ".gz", "");
  dir.write("d/" + name + ".zst", "");
  dir.write("d/a/notes.txt", "");
  dir.write("d/a/." + name + ".12-0.tmp", "");
  dir.write("d/vemra_adc.txt", "");
  const Search found =
      find_data_files({dir.file("d"), dir.file("d/a/b/" + name), dir.file("missing")}, {});
  EXPECT_EQ(paths_of(found),
            (std::vector<std::string>{dir.file("d/" + name + ".zst"),
                                      dir.file("d/a/" + name + ".gz"), dir.file("d/a/b/" + name)}));
  ASSERT_EQ(found.skipped.size(), 1u);
  EXPECT_EQ(found.skipped[0].path, dir.file("d/vemra_adc.txt"));
  ASSERT_EQ(found.failures.size(), 1u);

  NamePattern pattern;
  ASSERT_TRUE(pattern.compile("^(?<chip>\\d+)-(?<config>odd)\\.dat$").ok());
  dir.write("d/a/42-odd.dat", "");
  const Search by_pattern = find_data_files({dir.file("d")}, {&pattern, ""});
  ASSERT_EQ(by_pattern.files.size(), 1u);
  EXPECT_EQ(by_pattern.files[0].chip + "|" + by_pattern.files[0].config, "42|odd");
}

// What could not be searched is said once each, in order, however the
// paths were given.
TEST(CampaignFinding, FailuresAreSortedAndSaidOnce) {
  const Search found = find_data_files({"/nonexistent/b", "/nonexistent/a", "/nonexistent/b"}, {});
  EXPECT_EQ(found.failures, (std::vector<std::string>{"/nonexistent/a: no such file",
                                                      "/nonexistent/b: no such file"}));
  EXPECT_TRUE(found.unsearched.empty());
}

// One file named in several ways is one file, with one canonical path.
TEST(CampaignFinding, AFileFoundTwiceIsOneFile) {
  const ScratchDir dir;
  std::filesystem::create_directories(dir.file("camp/x"));
  std::filesystem::create_directory_symlink(dir.file("camp"), dir.file("link"));
  const std::string file = dir.write("camp/x/1_vemra5_b_l_odd_adc.txt", "");
  const Search found = find_data_files(
      {dir.file("camp"), dir.file("camp/"), dir.file("camp/../camp/x/./1_vemra5_b_l_odd_adc.txt"),
       dir.file("link"), dir.file("link/x/1_vemra5_b_l_odd_adc.txt")},
      {});
  EXPECT_EQ(paths_of(found), std::vector<std::string>{file});
  EXPECT_TRUE(found.skipped.empty());
}

// A folder that may not be read may hold data: its search fails, said.
TEST(CampaignFinding, AFolderThatMayNotBeReadIsAFailure) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every folder";
  const ScratchDir dir;
  // One folder may not be read at all; another may be read, but not
  // searched: its names are listed, and its files can't be looked at.
  for (const char* folder : {"d/closed", "d/listed/below"}) {
    std::filesystem::create_directories(dir.file(folder));
    dir.write(std::string(folder) + "/1_vemra5_b_l_odd_adc.txt", "");
  }
  dir.write("d/listed/2_vemra5_b_l_odd_adc.txt", "");
  ASSERT_EQ(::chmod(dir.file("d/closed").c_str(), 0), 0);
  ASSERT_EQ(::chmod(dir.file("d/listed").c_str(), 0444), 0);
  const Search found = find_data_files({dir.file("d")}, {});
  ::chmod(dir.file("d/closed").c_str(), 0755);
  ::chmod(dir.file("d/listed").c_str(), 0755);
  EXPECT_EQ(found.failures,
            (std::vector<std::string>{dir.file("d/closed") + ": Permission denied",
                                      dir.file("d/listed") + ": Permission denied"}));
  std::vector<std::string> unsearched = found.unsearched;
  std::sort(unsearched.begin(), unsearched.end());
  EXPECT_EQ(unsearched, (std::vector<std::string>{dir.file("d/closed"), dir.file("d/listed")}));
  EXPECT_TRUE(found.files.empty());
  EXPECT_TRUE(found.skipped.empty());
}

// Whatever a pattern or the paths say, the tool's own logs, their
// temporaries and the output folder are never data; in a folder's search
// only regular files are, others are listed with the reason.
TEST(CampaignFinding, OwnFilesAndTheOutputFolderAreNeverData) {
  const ScratchDir dir;
  std::filesystem::create_directories(dir.file("d/out/plots"));
  const std::string data = dir.write("d/1_vemra5_b_l_20mV_calib-odd_adc.txt", "");
  dir.write("d/xtalk_vemra5_20mV_calib-odd.log", "");
  dir.write("d/.xtalk_vemra5_20mV_calib-odd.log.7-0.tmp", "");
  dir.write("d/out/2_vemra6_b_l_20mV_calib-odd_adc.txt", "");
  ASSERT_EQ(::mkfifo(dir.file("d/3_vemra7_b_l_odd_adc.txt").c_str(), 0600), 0);
  NamePattern loose;
  ASSERT_TRUE(loose.compile("vemra(?<chip>\\d+)_.*?(?<config>\\d+mV_calib-(?:odd|even))").ok());
  const SearchRules rules{&loose, dir.file("d/out")};
  Search found = find_data_files({dir.file("d")}, rules);
  EXPECT_EQ(paths_of(found), std::vector<std::string>{data});
  EXPECT_TRUE(found.skipped.empty());

  found = find_data_files({dir.file("d")}, {nullptr, dir.file("d/out")});
  EXPECT_EQ(paths_of(found), std::vector<std::string>{data});
  ASSERT_EQ(found.skipped.size(), 1u);
  EXPECT_EQ(found.skipped[0].reason, "not a regular file but a FIFO");

  // Named one by one, they are skipped with the reason; a FIFO named so
  // is read, as qavrel.exe reads one.
  found = find_data_files({dir.file("d/xtalk_vemra5_20mV_calib-odd.log"),
                           dir.file("d/out/2_vemra6_b_l_20mV_calib-odd_adc.txt"),
                           dir.file("d/3_vemra7_b_l_odd_adc.txt")},
                          rules);
  EXPECT_TRUE(paths_of(found).empty());
  ASSERT_EQ(found.skipped.size(), 3u);
  found = find_data_files({dir.file("d/3_vemra7_b_l_odd_adc.txt")}, {nullptr, dir.file("d/out")});
  EXPECT_EQ(paths_of(found), std::vector<std::string>{dir.file("d/3_vemra7_b_l_odd_adc.txt")});
}

}  // namespace
