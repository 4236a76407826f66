// Whole files or none: what a reader of the path finds while a file is
// written in pieces, after a commit, and after one that never came.
#include "core/atomic_write.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <string>
#include <vector>

#include "test_files.h"

namespace {

using qavrel::AtomicFile;

std::size_t files_in(const std::string& directory) {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(directory),
                                                std::filesystem::directory_iterator()));
}

TEST(AtomicFile, ReplacesInOneStepOrNotAtAll) {
  const ScratchDir dir;
  const std::string path = dir.write("table.log", "old");
  const std::string piece(100000, 'x');
  for (const auto durability : {AtomicFile::Durability::synced, AtomicFile::Durability::renamed}) {
    {
      AtomicFile file;
      ASSERT_TRUE(file.open(path.c_str(), durability).ok());
      EXPECT_TRUE(file.write(piece).ok());
      EXPECT_TRUE(file.write(piece).ok());
      EXPECT_EQ(dir.read("table.log"), "old");  // nothing shows before the commit
    }
    EXPECT_EQ(dir.read("table.log"), "old");  // nor after a commit that never came
    EXPECT_EQ(files_in(dir.file("")), 1u);
  }
  ::chmod(path.c_str(), 0640);
  AtomicFile file;
  ASSERT_TRUE(file.open(path.c_str()).ok());
  EXPECT_TRUE(file.write(piece).ok());
  ASSERT_TRUE(file.commit().ok());
  EXPECT_EQ(dir.read("table.log"), piece);
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_EQ(files_in(dir.file("")), 1u);
  const qavrel::Status missing =
      qavrel::write_atomically(dir.file("missing/table.log").c_str(), "x");
  EXPECT_EQ(missing.code(), ENOENT);
  EXPECT_EQ(missing.reason(), "No such file or directory");
}

// A killed run leaves its temporary file behind; the next one removes it,
// and only it: not those of a process still running, nor other files.
TEST(AtomicFile, StaleTemporariesOfEndedProcessesAreRemoved) {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  const ScratchDir dir;
  // This process has made a temporary (count 0): one of its id and a count
  // it never reached was left by another process that had its id.
  ASSERT_TRUE(qavrel::write_atomically(dir.file("made").c_str(), "").ok());
  ::unlink(dir.file("made").c_str());
  const std::string stale = qavrel::temporary_name("xtalk_vemra1_odd.log", child, 3);
  EXPECT_EQ(stale, ".xtalk_vemra1_odd.log." + std::to_string(child) + "-3.tmp");
  const std::string stale_of_this_id =
      qavrel::temporary_name("xtalk_vemra1_odd.log", getpid(), 4000000000u);
  const std::vector<std::string> kept = {
      qavrel::temporary_name("xtalk_vemra1_odd.log", getpid(), 0),
      qavrel::temporary_name("xtalk_vemra1_odd.log", 1, 0),
      qavrel::temporary_name("report.html", child, 0),
      "xtalk_vemra1_odd.log",
      ".xtalk_vemra1_odd.log.x-1.tmp",
  };
  dir.write(stale, "");
  dir.write(stale_of_this_id, "");
  for (const std::string& name : kept) dir.write(name, "");
  EXPECT_EQ(qavrel::remove_stale_temporaries(dir.file(""), "xtalk_vemra"), 2u);
  EXPECT_EQ(files_in(dir.file("")), kept.size());
  EXPECT_EQ(qavrel::remove_stale_temporaries(dir.file(""), ""), 1u);  // the report's
}

// In a folder that only this process writes, every temporary it did not
// make goes, even one whose process id is that of a process running now.
TEST(AtomicFile, InAFolderOfItsOwnAProcessRemovesEveryTemporaryButItsOwn) {
  const ScratchDir dir;
  ASSERT_TRUE(qavrel::write_atomically(dir.file("made").c_str(), "").ok());
  const std::vector<std::string> foreign = {
      qavrel::temporary_name("report.html", 1, 0),  // a run in a container was process 1
      qavrel::temporary_name("report.html", getppid(), 7),
      qavrel::temporary_name("report.html", getpid(), 4000000000u),
  };
  for (const std::string& name : foreign) dir.write(name, "");
  dir.write(qavrel::temporary_name("report.html", getpid(), 0), "");  // one it made
  EXPECT_EQ(qavrel::remove_foreign_temporaries(dir.file("")), foreign.size());
  EXPECT_EQ(files_in(dir.file("")), 2u);
}

// A temporary name fits wherever the name it stands for does.
TEST(AtomicFile, LongNamesGetTemporariesThatFit) {
  const ScratchDir dir;
  const std::string name = "xtalk_vemra" + std::string(231, 'c') + "_odd.log";
  ASSERT_EQ(name.size(), 250u);
  EXPECT_LE(qavrel::temporary_name(name, 4194304, 4000000000u).size(), std::size_t{NAME_MAX});
  ASSERT_TRUE(qavrel::write_atomically(dir.file(name).c_str(), "table").ok());
  EXPECT_EQ(dir.read(name), "table");
  EXPECT_EQ(files_in(dir.file("")), 1u);
}

}  // namespace
