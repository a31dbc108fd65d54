#include "posting/file_driver.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/temp_dir_for_testing.h"

namespace kavel {
namespace {

// A zero byte anywhere, block edges included, makes a file binary; what
// cannot be opened is not binary. Names resolve ignoring case, as the
// upper-cased command words need.
TEST(IsBinaryFileTest, ByteZeroAnywhereMakesBinary) {
  TempDirForTesting dir;
  dir.MakeDirectory("sub");
  const std::string block(kBinaryTestBlock, 'a');
  const struct {
    const char* name;
    std::string content;  // not written when empty
    bool binary;
  } cases[] = {
      {"block.txt", block, false},
      {"second.bin", block + std::string(1, '\0') + "tail", true},
      {"last.bin", block.substr(1) + std::string(1, '\0'), true},
      {"empty.txt", "", false},
      {"*.bin", "", false},
  };
  for (const auto& c : cases) {
    if (!c.content.empty()) dir.WriteFile(c.name, c.content);
    EXPECT_EQ(IsBinaryFile(dir.Join(c.name)), c.binary) << c.name;
  }
}

}  // namespace
}  // namespace kavel
