#include "msgbase/byte_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "msgbase/test_support.h"

namespace kavel {
namespace {

using testing_support::ReadFile;
using testing_support::WriteFile;

TEST(FileStreamTest, ReadsPastTheEndGiveZerosAndStickUntilReset) {
  TempDirForTesting dir;
  FileStream missing(dir.Join("missing"), ModeOpenReadWrite);
  EXPECT_EQ(missing.status, kStreamOpenFailed);
  WriteFile(dir.Join("f"), "0123456789");
  FileStream stream(dir.Join("f"), ModeOpenRead);
  stream.Seek(6);
  char buffer[10] = "xxxxxxxxx";
  stream.Read(buffer, 10);
  EXPECT_EQ(std::string(buffer, 10), std::string(10, '\0'));
  EXPECT_EQ(stream.status, kStreamPastEnd);
  stream.Seek(0);
  stream.Read(buffer, 2);
  EXPECT_EQ(std::string(buffer, 2), std::string(2, '\0')) << "sticky";
  stream.ResetStatus();
  stream.Seek(0);
  stream.Read(buffer, 2);
  EXPECT_EQ(std::string(buffer, 2), "01");
  stream.Write("zz", 2);
  stream.Flush();
  EXPECT_NE(stream.status, kStreamOk) << "opened for reading";
  EXPECT_EQ(ReadFile(dir.Join("f")), "0123456789");
}

// Chunks are filled before one is added (a chunk per write made every walk
// over a long text of short lines quadratic), cut from the end, and read in
// any order.
TEST(MemoryStreamTest, ChunksFillGrowAndShrink) {
  MemoryStream stream;
  std::string expected;
  for (int i = 0; i < 10000; ++i) {
    char c = static_cast<char>('a' + i % 26);
    stream.Write(&c, 1);
    stream.Write("\r", 1);
    expected += std::string(1, c) + "\r";
  }
  EXPECT_EQ(stream.ChunkSizes(), (std::vector<int32_t>{8192, 8192, 3616}));
  for (int32_t at = 19999; at >= 0; at -= 4999) {
    char c = 0;
    stream.Seek(at);
    stream.Read(&c, 1);
    EXPECT_EQ(c, expected[static_cast<size_t>(at)]) << at;
  }
  stream.Seek(5000);
  stream.Truncate();
  EXPECT_EQ(stream.ChunkSizes(), (std::vector<int32_t>{5000}));
  char buffer[8] = "unmoved";
  stream.Read(buffer, 8);
  EXPECT_STREQ(buffer, "unmoved") << "reading at the end copies nothing";
  stream.Seek(0);
  stream.Truncate();
  stream.Write(expected.data(), 9000);
  EXPECT_EQ(stream.ChunkSizes(), (std::vector<int32_t>{8192, 808}));
  std::string again(9000, '\0');
  stream.Seek(0);
  stream.Read(again.data(), 9000);
  EXPECT_EQ(again, expected.substr(0, 9000));

  MemoryStream copy;
  copy.Write("head", 4);
  stream.Seek(1000);
  copy.CopyFrom(&stream, 2000);
  EXPECT_EQ(copy.Size(), 2004);
  EXPECT_EQ(stream.Position(), 3000);
}

TEST(MemoryStreamTest, RefusedGrowthFailsTheWriteAndKeepsContent) {
  MemoryStream stream(10);
  stream.Write("12345678", 8);
  EXPECT_EQ(stream.status, kStreamOk);
  stream.Write("abc", 3);
  EXPECT_EQ(stream.status, kStreamShortWrite);
  EXPECT_EQ(stream.Size(), 8);
  stream.Seek(0);
  stream.Write("z", 1);  // a failed stream takes nothing more
  char back[8];
  stream.Seek(0);
  stream.Read(back, 8);
  EXPECT_EQ(std::string(back, 8), "12345678");
}

}  // namespace
}  // namespace kavel
