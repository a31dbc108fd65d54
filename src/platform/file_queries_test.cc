#include "platform/file_queries.h"

#include <gtest/gtest.h>

#include "platform/temp_dir_for_testing.h"

namespace kavel {
namespace {

TEST(FileTestTest, ExistsSizeAndDirectories) {
  TempDirForTesting dir;
  dir.WriteFile("Data.TXT", "12345");
  dir.WriteFile("sub/inner.bin", "x");
  const std::string base = dir.path() + "\\";
  EXPECT_TRUE(FileExists(base + "data.txt"));
  EXPECT_TRUE(FileExists(base + "*.TXT"));
  EXPECT_TRUE(FileExists(base + "SUB"));  // directories count
  EXPECT_FALSE(FileExists(base + "other.txt"));
  EXPECT_EQ(FileSizeOf(base + "DATA.TXT"), 5u);
  EXPECT_TRUE(DirectoryExists(base + "Sub\\"));
  EXPECT_FALSE(DirectoryExists(base + "data.txt"));
}

TEST(FileTestTest, TryOpenForReadingKeepsResultCode) {
  TempDirForTesting dir;
  dir.WriteFile("Kavel.cfg", "first\r\nsecond\r\n");
  std::unique_ptr<TextReader> file;
  EXPECT_FALSE(TryOpenForReading(dir.Join("absent.cfg"), &file));
  EXPECT_EQ(LastIoResult(), kErrorNotFound);
  ASSERT_TRUE(TryOpenForReading(dir.Join("KAVEL.CFG"), &file));
  EXPECT_EQ(LastIoResult(), 0);
  std::string line;
  ASSERT_TRUE(file->ReadLine(&line));
  EXPECT_EQ(line, "first");
  // A directory is not a readable text file.
  EXPECT_FALSE(TryOpenForReading(dir.path(), &file));
  EXPECT_NE(LastIoResult(), 0);
}

}  // namespace
}  // namespace kavel
