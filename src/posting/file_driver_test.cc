#include "posting/file_driver.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/temp_dir_for_testing.h"

namespace kavel {
namespace {

TEST(IsBinaryFileTest, ByteZeroAnywhereMakesBinary) {
  TempDirForTesting dir;
  dir.WriteFile("small.txt", std::string(100, 'a'));
  dir.WriteFile("block.txt", std::string(4096, 'a'));
  dir.WriteFile("empty.txt", "");
  std::string first_zero(10, 'a');
  first_zero[0] = '\0';
  dir.WriteFile("first.bin", first_zero);
  // The zero is the first byte of the second block.
  std::string second_block(4096, 'a');
  second_block += std::string(1, '\0') + "tail";
  dir.WriteFile("second.bin", second_block);
  std::string last_of_block(4096, 'a');
  last_of_block[4095] = '\0';
  dir.WriteFile("last.bin", last_of_block);

  EXPECT_FALSE(IsBinaryFile(dir.Join("small.txt")));
  EXPECT_FALSE(IsBinaryFile(dir.Join("block.txt")));
  EXPECT_FALSE(IsBinaryFile(dir.Join("empty.txt")));
  EXPECT_TRUE(IsBinaryFile(dir.Join("first.bin")));
  EXPECT_TRUE(IsBinaryFile(dir.Join("second.bin")));
  EXPECT_TRUE(IsBinaryFile(dir.Join("last.bin")));
  // Names resolve ignoring case, as the upper-cased command words need.
  EXPECT_TRUE(IsBinaryFile(dir.Join("SECOND.BIN")));
}

TEST(IsBinaryFileTest, WhatCannotBeOpenedIsNotBinary) {
  TempDirForTesting dir;
  dir.MakeDirectory("sub");
  EXPECT_FALSE(IsBinaryFile(dir.Join("missing.bin")));
  EXPECT_FALSE(IsBinaryFile(dir.Join("sub")));
  EXPECT_FALSE(IsBinaryFile(dir.Join("*.bin")));
}

}  // namespace
}  // namespace kavel
