// Whole files or none: what a reader of the path finds while a file is
// written in pieces, after a commit, and after one that never came.
#include "core/atomic_write.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

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

}  // namespace
