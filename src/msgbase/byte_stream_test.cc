#include "msgbase/byte_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "msgbase/test_support.h"

namespace kavel {
namespace {

using testing_support::ReadFile;
using testing_support::WriteFile;

class FileStreamTest : public ::testing::Test {
 protected:
  TempDirForTesting dir_;
};

TEST_F(FileStreamTest, OpenMissingFileFailsAndReadsZeros) {
  FileStream stream(dir_.Join("missing"), ModeOpenReadWrite);
  EXPECT_EQ(stream.status, kStreamOpenFailed);
  char buffer[4] = {'x', 'x', 'x', 'x'};
  stream.Read(buffer, 4);
  EXPECT_EQ(std::string(buffer, 4), std::string(4, '\0'));
}

TEST_F(FileStreamTest, ReadPastEndFillsZerosAndSticksUntilReset) {
  WriteFile(dir_.Join("f"), "0123456789");
  FileStream stream(dir_.Join("f"), ModeOpenRead);
  ASSERT_EQ(stream.status, kStreamOk);
  stream.Seek(6);
  char buffer[10];
  std::fill(buffer, buffer + 10, 'x');
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

TEST_F(FileStreamTest, BufferedWritesSeekTruncate) {
  std::string name = dir_.Join("w");
  {
    FileStream stream(name, ModeCreate);
    ASSERT_EQ(stream.status, kStreamOk);
    std::string big(5000, 'a');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i % 251);
    stream.Write(big.data(), static_cast<uint16_t>(big.size()));
    EXPECT_EQ(stream.Position(), 5000);
    EXPECT_EQ(stream.Size(), 5000);
    stream.Seek(10);
    stream.Write("XY", 2);
    EXPECT_EQ(stream.Position(), 12);
    char back[4];
    stream.Read(back, 4);  // reading right after a write sees it
    EXPECT_EQ(back[0], static_cast<char>(12 % 251));
    stream.Seek(3000);
    stream.Truncate();
    EXPECT_EQ(stream.Size(), 3000);
    EXPECT_EQ(stream.status, kStreamOk);
  }
  std::string on_disk = ReadFile(name);
  ASSERT_EQ(on_disk.size(), 3000u);
  EXPECT_EQ(on_disk.substr(10, 2), "XY");
  EXPECT_EQ(on_disk[2999], static_cast<char>(2999 % 251));
}

TEST_F(FileStreamTest, ModeCreateEmptiesAndReadOnlyRefusesWrites) {
  std::string name = dir_.Join("m");
  WriteFile(name, "old content");
  { FileStream stream(name, ModeCreate); }
  EXPECT_EQ(ReadFile(name), "");
  WriteFile(name, "keep");
  {
    FileStream stream(name, ModeOpenRead);
    stream.Write("zz", 2);
    stream.Flush();
    EXPECT_NE(stream.status, kStreamOk);
  }
  EXPECT_EQ(ReadFile(name), "keep");
  {
    FileStream stream(name, ModeOpenWrite);
    stream.Seek(6);
    stream.Write("!", 1);
  }
  EXPECT_EQ(ReadFile(name), std::string("keep\0\0!", 7));
}

TEST(MemoryStreamTest, WriteSeekTruncate) {
  MemoryStream stream;
  EXPECT_EQ(stream.Size(), 0);
  EXPECT_EQ(stream.Position(), 0);
  std::string data(100, 'q');
  stream.Write(data.data(), 100);
  EXPECT_EQ(stream.Size(), 100);
  EXPECT_EQ(stream.Position(), 100);
  stream.Seek(40);
  stream.Truncate();
  EXPECT_EQ(stream.Size(), 40);
  char buffer[8] = "unmoved";
  stream.Seek(40);
  stream.Read(buffer, 8);
  EXPECT_STREQ(buffer, "unmoved") << "reading at the end copies nothing";
  EXPECT_EQ(stream.status, kStreamOk);
}

TEST(MemoryStreamTest, GrowsInSteps) {
  MemoryStream stream;
  std::string data(20000, 'x');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
  stream.Write(data.data(), static_cast<uint16_t>(data.size()));
  EXPECT_EQ(stream.ChunkSizes(), (std::vector<int32_t>{8192, 8192, 3616}));
  std::string back(20000, '\0');
  stream.Seek(0);
  stream.Read(back.data(), 20000);
  EXPECT_EQ(back, data);
  // Shrinking drops and cuts chunks from the end.
  stream.Seek(5000);
  stream.Truncate();
  EXPECT_EQ(stream.ChunkSizes(), (std::vector<int32_t>{5000}));
  stream.Seek(0);
  stream.Truncate();
  EXPECT_EQ(stream.ChunkSizes(), (std::vector<int32_t>{0}));
  // Growing again after a shrink keeps the invariant and the content.
  stream.Write(data.data(), 9000);
  EXPECT_EQ(stream.ChunkSizes(), (std::vector<int32_t>{8192, 808}));
  std::string again(9000, '\0');
  stream.Seek(0);
  stream.Read(again.data(), 9000);
  EXPECT_EQ(again, data.substr(0, 9000));
}

// A text written line by line (two writes per line) fills each chunk
// before the next is made: a chunk per write made every walk over a long
// text of short lines quadratic, and storing such a message hung.
TEST(MemoryStreamTest, SmallWritesFillChunksBeforeAddingOne) {
  MemoryStream stream;
  std::string expected;
  for (int i = 0; i < 30000; ++i) {
    char c = static_cast<char>('a' + i % 26);
    stream.Write(&c, 1);
    stream.Write("\r", 1);
    expected.push_back(c);
    expected.push_back('\r');
  }
  std::vector<int32_t> chunks = stream.ChunkSizes();
  EXPECT_EQ(chunks.size(), 60000u / 8192 + 1);
  for (size_t i = 0; i + 1 < chunks.size(); ++i) EXPECT_EQ(chunks[i], 8192);
  std::string back(60000, '\0');
  stream.Seek(0);
  for (size_t at = 0; at < back.size(); at += 7) {
    stream.Read(back.data() + at,
                static_cast<uint16_t>(std::min<size_t>(7, back.size() - at)));
  }
  EXPECT_EQ(back, expected);
  // Reading backwards finds the chunks as well.
  for (int32_t at = 59999; at >= 0; at -= 4999) {
    char c = 0;
    stream.Seek(at);
    stream.Read(&c, 1);
    EXPECT_EQ(c, expected[static_cast<size_t>(at)]) << at;
  }
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

TEST(MemoryStreamTest, CopyFromAnotherStream) {
  MemoryStream source;
  std::string data(3000, 'k');
  source.Write(data.data(), 3000);
  source.Seek(1000);
  MemoryStream target;
  target.Write("head", 4);
  target.CopyFrom(&source, 2000);
  EXPECT_EQ(target.Size(), 2004);
  EXPECT_EQ(source.Position(), 3000);
}

TEST(FileHelpersTest, DirectoriesAndErase) {
  TempDirForTesting dir;
  EXPECT_TRUE(MakeDirectory(dir.Join("new\\")));
  EXPECT_FALSE(MakeDirectory(dir.Join("new")));  // exists already
  WriteFile(dir.Join("gone"), "1");
  EXPECT_TRUE(EraseFile(dir.Join("gone")));
  EXPECT_FALSE(EraseFile(dir.Join("gone")));
  DirectoryScanner scanner;
  EXPECT_TRUE(scanner.StartSearch(dir.Join("n*"), kScanAllEntries));
  EXPECT_EQ(scanner.name, "new");
  EXPECT_FALSE(scanner.NextMatch());
  scanner.EndSearch();
}

}  // namespace
}  // namespace kavel
