#include "msgbase/byte_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "msgbase/test_support.h"

namespace kavel {
namespace {

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
}

// A file read through in pieces of odd sizes, stepping back now and then
// into what was read ahead, and written to in the middle once, gives every
// byte as it stands, while the read-ahead grows to the whole buffer.
TEST(FileStreamTest, ReadThroughGivesEveryByte) {
  TempDirForTesting dir;
  std::string bytes(6 * FileStream::kReadAhead + 12345, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<char>((i * 131 + i / 977) & 0xFF);
  }
  WriteFile(dir.Join("f"), bytes);
  FileStream stream(dir.Join("f"), ModeOpenReadWrite);
  std::string got(bytes.size(), 'x');
  size_t at = 0;
  bool written = false;
  for (int step = 0; at < bytes.size(); ++step) {
    if (step % 7 == 6 && at > 500) at -= 500;  // back into the read-ahead
    if (!written && at > bytes.size() / 2) {
      stream.Seek(static_cast<int32_t>(at));
      stream.Write("WRITTEN", 7);
      bytes.replace(at, 7, "WRITTEN");
      written = true;
    }
    const size_t n =
        std::min<size_t>(1000 + step % 3 * 2047, bytes.size() - at);
    stream.Seek(static_cast<int32_t>(at));
    stream.Read(got.data() + at, static_cast<uint16_t>(n));
    ASSERT_EQ(stream.status, kStreamOk) << at;
    ASSERT_EQ(got.compare(at, n, bytes, at, n), 0) << at;
    at += n;
  }
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
  stream.Seek(0);
  stream.Truncate();
  stream.Write(expected.data(), 9000);
  EXPECT_EQ(stream.ChunkSizes(), (std::vector<int32_t>{8192, 808}));
  std::string again(9000, '\0');
  stream.Seek(0);
  stream.Read(again.data(), 9000);
  EXPECT_EQ(again, expected.substr(0, 9000));
}

}  // namespace
}  // namespace kavel
