#include "msgbase/formats/squish_area.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "msgbase/byte_stream.h"
#include "msgbase/formats/squish_checker_for_testing.h"
#include "msgbase/test_support.h"
#include "platform/temp_dir_for_testing.h"
#include "util/coding.h"

namespace kavel {
namespace {

uint32_t U32(const std::string& bytes, size_t at) {
  return DecodeFixed32(reinterpret_cast<const uint8_t*>(bytes.data()) + at);
}
uint16_t U16(const std::string& bytes, size_t at) {
  return DecodeFixed16(reinterpret_cast<const uint8_t*>(bytes.data()) + at);
}

using testing_support::Date;
using testing_support::PutText;
using testing_support::TextOf;

class SquishAreaTest : public ::testing::Test {
 protected:
  void SetUp() override { base_ = dir_.Join("foo"); }
  std::string Data() const { return dir_.ReadFile("foo.sqd"); }
  std::string Index() const { return dir_.ReadFile("foo.sqi"); }
  std::string Check() const {
    return CheckSquishBase(dir_.Join("foo.sqd"), dir_.Join("foo.sqi"));
  }
  // Adds and stores one message with the given raw text.
  void Store(SquishArea* area, std::string_view bytes,
             std::string_view to = "All") {
    ASSERT_TRUE(area->AddMessage());
    area->SetToName(to);
    PutText(area, bytes);
    ASSERT_TRUE(area->StoreMessage());
    area->ReleaseMessage();
  }
  std::string Load(SquishArea* area, int32_t position) {
    area->current = position;
    if (!area->LoadMessage()) return "<load failed>";
    return TextOf(area);
  }
  void Patch32(const char* file, size_t at, uint32_t value) {
    std::string bytes = dir_.ReadFile(file);
    ASSERT_LE(at + 4, bytes.size());
    EncodeFixed32(reinterpret_cast<uint8_t*>(bytes.data()) + at, value);
    dir_.WriteFile(file, bytes);
  }
  // A base of three messages; the frame offsets are returned.
  std::vector<uint32_t> MakeThree() {
    std::vector<uint32_t> frames;
    SquishArea area(base_);
    EXPECT_TRUE(area.CreateArea(base_));
    for (const char* t : {"\x01MSGID: 1:2/3 1\rone\r", "two\r", "three\r"}) {
      EXPECT_TRUE(area.AddMessage());
      PutText(&area, t);
      EXPECT_TRUE(area.StoreMessage());
      frames.push_back(area.current_frame_offset());
    }
    return frames;
  }

  TempDirForTesting dir_;
  std::string base_;
};

TEST_F(SquishAreaTest, CreatedAreaIsTheBaseHeaderAlone) {
  SquishArea area(base_);
  ASSERT_TRUE(area.CreateArea(base_));
  EXPECT_EQ(area.area_path(), base_ + ".");
  EXPECT_EQ(area.MessageCount(), 0);
  area.CloseArea();
  const std::string data = Data();
  // Header size 256, nextUid 1, the base name, endOfData 256, no message
  // or day limit, frame headers of 28 bytes; every other byte zero.
  std::string expected(256, '\0');
  expected.replace(0, 2, "\x00\x01", 2);
  expected[20] = 1;
  expected.replace(24, 7, "$QORVN$");
  expected.replace(120, 2, "\x00\x01", 2);
  expected[130] = 28;
  EXPECT_EQ(data, expected);
  EXPECT_EQ(Index(), "");
  EXPECT_EQ(Check(), "");
}

TEST_F(SquishAreaTest, FirstStoredMessageGoldenBytes) {
  SquishArea area(base_);
  ASSERT_TRUE(area.CreateArea(base_));
  ASSERT_TRUE(area.AddMessage());
  area.SetFromName("Ivan");
  area.SetToName("All");
  area.SetSubject("Test");
  area.SetDateWritten(Date(2001, 1, 5, 13, 7, 9));
  area.SetDateArrived(Date(2001, 1, 5, 13, 7, 9));
  ASSERT_TRUE(area.WriteLine("\x01MSGID: 1:2/3 1"));  // 15 bytes
  ASSERT_TRUE(area.WriteLine("\x01PID: x"));          // 7 bytes
  ASSERT_TRUE(area.WriteLine("Hi"));
  ASSERT_TRUE(area.StoreMessage());
  EXPECT_EQ(area.current_frame_offset(), 256u);
  EXPECT_EQ(area.frame_header().controlLength, 23u);
  EXPECT_EQ(area.frame_header().messageLength, 265u);
  EXPECT_EQ(area.frame_header().frameLength, 265u);
  EXPECT_EQ(area.base_header().endOfData, 549u);
  area.CloseArea();

  const std::string data = Data();
  ASSERT_EQ(data.size(), 549u);
  EXPECT_EQ(U32(data, 4), 1u);      // messageCount
  EXPECT_EQ(U32(data, 8), 1u);      // highMessage
  EXPECT_EQ(U32(data, 20), 2u);     // nextUid
  EXPECT_EQ(U32(data, 104), 256u);  // firstFrame
  EXPECT_EQ(U32(data, 108), 256u);  // lastFrame
  EXPECT_EQ(U32(data, 112), 0u);
  EXPECT_EQ(U32(data, 116), 0u);
  EXPECT_EQ(U32(data, 120), 549u);  // endOfData
  // Frame header at 256.
  EXPECT_EQ(data.substr(256, 28), std::string("\x53\x44\xAE\xAF"
                                              "\0\0\0\0"
                                              "\0\0\0\0"
                                              "\x09\x01\0\0"
                                              "\x09\x01\0\0"
                                              "\x17\0\0\0"
                                              "\0\0\0\0",
                                              28));
  // Message header at 284 (238 bytes).
  EXPECT_EQ(U32(data, 284), 0x00020000u);
  EXPECT_EQ(data.substr(288, 5), std::string("Ivan\0", 5));
  EXPECT_EQ(data.substr(324, 4), std::string("All\0", 4));
  EXPECT_EQ(data.substr(360, 5), std::string("Test\0", 5));
  EXPECT_EQ(U16(data, 284 + 148), 1u);  // origAddress from the MSGID
  EXPECT_EQ(U16(data, 284 + 150), 2u);
  EXPECT_EQ(U16(data, 284 + 152), 3u);
  EXPECT_EQ(data.substr(284 + 164, 8), "\x25\x2A\xE4\x68\x25\x2A\xE4\x68");
  EXPECT_EQ(U32(data, 284 + 214), 1u);  // uniqueId
  EXPECT_EQ(data.substr(284 + 218, 20),
            std::string("05 Jan 01  13:07:09\0", 20));
  // Control block, text proper, final zero.
  EXPECT_EQ(data.substr(522),
            std::string("\x01MSGID: 1:2/3 1\x01PID: x\0Hi\r\0", 27));
  // One index record.
  EXPECT_EQ(Index(), std::string("\x00\x01\0\0\x01\0\0\0\x2C\x68\0\0", 12));
  EXPECT_EQ(Check(), "");

  // Loading it back gives the same text.
  SquishArea again(base_);
  ASSERT_TRUE(again.OpenArea(base_));
  EXPECT_EQ(Load(&again, 1), "\x01MSGID: 1:2/3 1\r\x01PID: x\rHi\r");
  EXPECT_EQ(again.FromName(), "Ivan");
  EXPECT_EQ(again.ToName(), "All");
  EXPECT_EQ(again.Subject(), "Test");
  EXPECT_EQ(again.CurrentNumber(), 1);
  DateTimeRecord back;
  again.DateWritten(&back);
  EXPECT_EQ(back, Date(2001, 1, 5, 13, 7, 8));  // two-second resolution
  FtnAddress orig;
  again.OrigAddress(&orig);
  EXPECT_EQ(AddressToText(orig), "1:2/3");
}

TEST_F(SquishAreaTest, DeleteFirstOfThreeThenReuseItsFrame) {
  SquishArea area(base_);
  ASSERT_TRUE(area.CreateArea(base_));
  Store(&area, "one\r");
  Store(&area, "two\r");
  Store(&area, "three\r");
  const uint32_t end = area.base_header().endOfData;
  area.current = 1;
  ASSERT_TRUE(area.LoadMessage());
  ASSERT_TRUE(area.DeleteMessage());
  EXPECT_EQ(area.current, 0);
  EXPECT_EQ(area.MessageCount(), 2);
  EXPECT_EQ(area.base_header().firstFreeFrame, 256u);
  EXPECT_EQ(area.base_header().lastFreeFrame, 256u);
  EXPECT_EQ(Check(), "");
  const std::string index = Index();
  ASSERT_EQ(index.size(), 24u);
  EXPECT_EQ(U32(index, 4), 2u);
  EXPECT_EQ(U32(index, 16), 3u);
  EXPECT_EQ(Data()[256 + 24], 1);  // frameType free
  area.GoTo(1);
  EXPECT_EQ(area.current, 1);
  EXPECT_EQ(area.CurrentNumber(), 2);
  EXPECT_EQ(Load(&area, 1), "two\r");

  // A new message that fits takes the freed frame and goes to the end of
  // the message chain.
  Store(&area, "uno\r");
  EXPECT_EQ(area.current_frame_offset(), 256u);
  EXPECT_EQ(area.base_header().endOfData, end);
  EXPECT_EQ(area.base_header().firstFreeFrame, 0u);
  EXPECT_EQ(area.base_header().lastFreeFrame, 0u);
  EXPECT_EQ(area.base_header().lastFrame, 256u);
  EXPECT_EQ(area.CurrentNumber(), 4);
  EXPECT_EQ(Check(), "");
  EXPECT_EQ(Load(&area, 3), "uno\r");
  // Same length as the deleted text: the frame is filled exactly.
  EXPECT_EQ(area.frame_header().frameLength, area.frame_header().messageLength);
  area.GoToNumber(3);
  EXPECT_EQ(area.current, 2);
  area.GoToNumber(1);
  EXPECT_EQ(area.current, 0);
}

// Unusual texts read back as stored; leading kludges go to the control
// block as far as it holds them, the rest stays in the text.
TEST_F(SquishAreaTest, TextsRoundTripAndKludgesFillTheControlBlock) {
  std::string cp866;
  for (int c = 0x80; c <= 0xFF; ++c) cp866.push_back(static_cast<char>(c));
  std::string big;
  for (int i = 0; big.size() < 70000; ++i) {
    big += "line " + std::to_string(i) + " of a big text\r";
  }
  std::string many;
  for (int i = 0; many.size() < 70000; ++i) {
    many += "\x01X-KLUDGE: " + std::to_string(i) + std::string(100, 'k') + "\r";
  }
  auto kludge = [](size_t length, char fill) {
    return '\x01' + std::string(length, fill) + '\r';
  };
  std::string full;  // exactly the largest block, and one byte more
  for (int i = 0; i < 4; ++i) full += kludge(15999, 'f');
  const std::string fuller = full + kludge(1518, 'g') + "body\r";
  full += kludge(1517, 'g') + "body\r";
  const uint32_t kAny = 0;
  const struct {
    std::string text;
    uint32_t control;
  } cases[] = {
      {"", 1},
      {"\x01MSGID: 1:2/3 abcd\r\x01PID: x\r", 26},
      {"\001CHRS: CP866 2\r" + cp866 + "\r\x8D\x8D line\r", kAny},
      {"\x01MSGID: 1:2/3 1\r" + big, kAny},  // more than 64 KB
      {"no line end", kAny},
      {"\x01MSGID: 1:2/3 1\r\rbody after empty\r", kAny},
      {"text first\r\x01KLUDGE: later\r", kAny},
      {"\x01MSGID: 1:2/3 1\r\n\n\nbody\r", kAny},  // CR LF, then LFs
      {many + "body\r", kAny},
      {"\x01MSGID: 1:2/3 1\r\x01LONG: " + std::string(20000, 'x') +
           "\r\x01PID: y\rbody\r",
       16},
      {"\x01TWO\x01IN ONE\rbody\r", 1},
      {full, kSquishMaxControlLength},
      {fuller, 64001},
  };
  SquishArea area(base_);
  ASSERT_TRUE(area.CreateArea(base_));
  for (const auto& c : cases) {
    Store(&area, c.text);
    EXPECT_LE(area.frame_header().controlLength, kSquishMaxControlLength);
    if (c.control != kAny) {
      EXPECT_EQ(area.frame_header().controlLength, c.control) << c.text;
    }
  }
  area.CloseArea();
  EXPECT_EQ(Check(), "");
  ASSERT_TRUE(area.OpenArea(base_));
  int32_t position = 0;
  for (const auto& c : cases) EXPECT_EQ(Load(&area, ++position), c.text);
  // Kludges alone and nothing at all: header, block, final zero.
  area.current = 2;
  ASSERT_TRUE(area.LoadMessage());
  EXPECT_EQ(area.frame_header().messageLength, 238u + 26 + 1);
  area.current = 1;
  ASSERT_TRUE(area.LoadMessage());
  EXPECT_EQ(area.frame_header().messageLength, 240u);
}

TEST_F(SquishAreaTest, HeaderFieldsAttributesAndCutTexts) {
  SquishArea area(base_);
  ASSERT_TRUE(area.CreateArea(base_));
  ASSERT_TRUE(area.AddMessage());
  EXPECT_EQ(area.message_header().attributes, kSquishAttrUid);
  area.SetFromName(std::string(50, 'F'));
  area.SetToName(std::string(50, 'T'));
  area.SetSubject(std::string(100, 'S'));
  area.SetAttribute(kAttrRRc, true);
  area.SetAttribute(kAttrURq, true);
  area.SetAttribute(kAttrSca, true);
  area.SetAttribute(kAttrLoc, true);
  area.SetAttribute(kAttrFRq, true);
  EXPECT_EQ(area.message_header().attributes,
            kSquishAttrUid | 0x2000u | 0x8000u | 0x10000u | 0x100u | 0x800u);
  area.SetAttribute(kAttrFRq, false);
  EXPECT_FALSE(area.HasAttribute(kAttrFRq));
  EXPECT_FALSE(area.HasAttribute(0x10000));  // no such generic code
  ASSERT_TRUE(area.StoreMessage());
  area.CloseArea();
  ASSERT_TRUE(area.OpenArea(base_));
  area.current = 1;
  ASSERT_TRUE(area.LoadMessage());
  EXPECT_EQ(area.FromName(), std::string(35, 'F'));
  EXPECT_EQ(area.ToName(), std::string(35, 'T'));
  EXPECT_EQ(area.Subject(), std::string(71, 'S'));
  EXPECT_TRUE(area.HasAttribute(kAttrRRc));
  EXPECT_TRUE(area.HasAttribute(kAttrURq));
  EXPECT_TRUE(area.HasAttribute(kAttrSca));
  EXPECT_TRUE(area.HasAttribute(kAttrLoc));
  EXPECT_FALSE(area.HasAttribute(kAttrPvt));
  SquishIndexRecord record;
  const std::string index = Index();
  record.DecodeFrom(reinterpret_cast<const uint8_t*>(index.data()), 12);
  EXPECT_EQ(record.toHash, ToNameHash(std::string(35, 'T')));
}

TEST_F(SquishAreaTest, RewritingMovesOnlyWhenTheFrameIsTooSmall) {
  SquishArea area(base_);
  ASSERT_TRUE(area.CreateArea(base_));
  Store(&area, "first message with some room\r");
  Store(&area, "second\r");
  Store(&area, "third\r");
  // Shorter: stays in its frame.
  area.current = 2;
  ASSERT_TRUE(area.LoadMessage());
  const uint32_t second = area.current_frame_offset();
  PutText(&area, "2\r");
  ASSERT_TRUE(area.StoreMessage());
  EXPECT_EQ(area.current_frame_offset(), second);
  EXPECT_EQ(Check(), "");
  // Longer: moves to the end and keeps its place in the chain; its old
  // frame heads the free chain.
  ASSERT_TRUE(area.LoadMessage());
  PutText(&area, std::string(500, 'z'));
  const std::string longer = TextOf(&area);
  ASSERT_TRUE(area.StoreMessage());
  EXPECT_NE(area.current_frame_offset(), second);
  EXPECT_EQ(area.base_header().firstFreeFrame, second);
  EXPECT_EQ(Check(), "");
  EXPECT_EQ(Load(&area, 1), "first message with some room\r");
  EXPECT_EQ(Load(&area, 2), longer);
  EXPECT_EQ(Load(&area, 3), "third\r");
  // Storing twice after one AddMessage rewrites the same message.
  ASSERT_TRUE(area.AddMessage());
  PutText(&area, "x\r");
  ASSERT_TRUE(area.StoreMessage());
  ASSERT_TRUE(area.StoreMessage());
  EXPECT_EQ(area.MessageCount(), 4);
  EXPECT_EQ(Check(), "");
}

TEST_F(SquishAreaTest, LastReadPointers) {
  SquishArea area(base_);
  ASSERT_TRUE(area.CreateArea(base_));
  EXPECT_EQ(area.LoadLastRead(0), 0);
  ASSERT_TRUE(area.StoreLastRead(3, 77));
  EXPECT_EQ(dir_.ReadFile("foo.sql"),
            std::string("\0\0\0\0\0\0\0\0\0\0\0\0\x4D\0\0\0", 16));
  EXPECT_EQ(area.LoadLastRead(3), 77);
  EXPECT_EQ(area.LoadLastRead(4), 0);
  ASSERT_TRUE(area.StoreLastRead(0, -1));
  EXPECT_EQ(area.LoadLastRead(0), -1);
  EXPECT_EQ(area.LoadLastRead(3), 77);
  EXPECT_FALSE(area.StoreLastRead(-1, 5));
}

TEST_F(SquishAreaTest, OpenFailures) {
  SquishArea area(base_);
  EXPECT_FALSE(area.BaseExists(base_));
  EXPECT_FALSE(area.OpenArea(base_));
  EXPECT_EQ(area.status, kSquishErrorNoDataFile);
  dir_.WriteFile("foo.sqd", std::string(256, '\0'));
  EXPECT_FALSE(area.OpenArea(base_));
  EXPECT_EQ(area.status, kSquishErrorNoIndexFile);
  EXPECT_FALSE(area.LoadMessage());
  EXPECT_FALSE(area.AddMessage());
  EXPECT_FALSE(area.StoreMessage());
}

// Damaged bases fail cleanly (no hang, crash or write), and long sequences
// of adds, deletes and rewrites keep both frame chains sound.

TEST_F(SquishAreaTest, CutFilesFailCleanly) {
  MakeThree();
  const std::string data = Data();
  const std::string index = Index();
  for (size_t cut = 0; cut < data.size(); cut += 5) {
    SCOPED_TRACE(cut);
    dir_.WriteFile("foo.sqd", data.substr(0, cut));
    SquishArea area(base_);
    if (!area.OpenArea(base_)) {
      EXPECT_LT(cut, 256u);
      EXPECT_EQ(area.status, kSquishErrorOpenData);
      continue;
    }
    for (int32_t n = 1; n <= area.MessageCount(); ++n) {
      area.current = n;
      if (!area.LoadMessage()) {
        EXPECT_TRUE(area.status == kSquishErrorFrame ||
                    area.status == kSquishErrorSignature)
            << area.status;
      }
    }
    // Storing either answers no or appends after the old end of data.
    const uint32_t end = area.base_header().endOfData;
    if (area.AddMessage() && area.StoreMessage()) {
      EXPECT_GE(area.current_frame_offset(), end);
    }
  }
  dir_.WriteFile("foo.sqd", data);
  for (size_t cut = 0; cut < index.size(); ++cut) {
    dir_.WriteFile("foo.sqi", index.substr(0, cut));
    SquishArea area(base_);
    ASSERT_TRUE(area.OpenArea(base_));
    EXPECT_EQ(area.MessageCount(), static_cast<int32_t>(cut / 12));
    for (int32_t n = 1; n <= area.MessageCount(); ++n) {
      area.current = n;
      EXPECT_TRUE(area.LoadMessage());
    }
  }
}

TEST_F(SquishAreaTest, DamagedFramesAndIndexOffsetsAreRefused) {
  const uint32_t f = MakeThree()[1];
  const std::string data = Data();
  const std::string index = Index();
  const uint32_t size = static_cast<uint32_t>(data.size());
  struct Case {
    const char* file;
    size_t at;
    uint32_t value;
    int32_t status;  // 0: any
  };
  const Case cases[] = {
      {"foo.sqd", f + 20, 0xFFFFFFF0u, kSquishErrorFrame},  // controlLength
      {"foo.sqd", f + 20, 70000, kSquishErrorFrame},        // beyond the limit
      {"foo.sqd", f + 16, 0x7FFFFFFFu, kSquishErrorFrame},  // messageLength
      {"foo.sqd", f + 12, 10, kSquishErrorFrame},           // frame < message
      {"foo.sqd", f + 16, 100, kSquishErrorFrame},  // shorter than a header
      {"foo.sqd", f, 0x12345678, kSquishErrorSignature},
      {"foo.sqd", f + 24, 1, kSquishErrorFrame},  // a free frame indexed
      {"foo.sqi", 12, 0, 0},
      {"foo.sqi", 12, 100, 0},
      {"foo.sqi", 12, size, 0},
      {"foo.sqi", 12, size - 10, 0},
      {"foo.sqi", 12, 0xFFFFFFFFu, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " @" + std::to_string(c.at));
    dir_.WriteFile("foo.sqd", data);
    dir_.WriteFile("foo.sqi", index);
    Patch32(c.file, c.at, c.value);
    SquishArea area(base_);
    ASSERT_TRUE(area.OpenArea(base_));
    area.current = 2;
    EXPECT_FALSE(area.LoadMessage());
    if (c.status != 0) {
      EXPECT_EQ(area.status, c.status);
    }
    EXPECT_EQ(area.TextStream(), nullptr);
    EXPECT_EQ(Load(&area, 3), "three\r");
  }
  dir_.WriteFile("foo.sqi", index);
  Patch32("foo.sqd", 4, 0xFFFFFFFFu);  // messageCount
  SquishArea area(base_);
  ASSERT_TRUE(area.OpenArea(base_));
  EXPECT_EQ(area.MessageCount(), 3);
  area.GoTo(4);
  EXPECT_FALSE(area.IsOnMessage());
}

TEST_F(SquishAreaTest, NewMessageNeverReusesAnIndexedUniqueNumber) {
  MakeThree();  // unique numbers 1, 2, 3; the header's next number is 4
  const std::string data = Data();
  const std::string index = Index();
  for (uint32_t next_uid : {0u, 1u, 3u}) {
    SCOPED_TRACE(next_uid);
    dir_.WriteFile("foo.sqd", data);
    dir_.WriteFile("foo.sqi", index);
    Patch32("foo.sqd", 20, next_uid);
    SquishArea area(base_);
    ASSERT_TRUE(area.OpenArea(base_));
    ASSERT_TRUE(area.AddMessage());
    PutText(&area, "four\r");
    ASSERT_TRUE(area.StoreMessage());
    EXPECT_EQ(area.CurrentNumber(), 4);
    area.ReleaseMessage();
    area.GoToNumber(4);
    ASSERT_TRUE(area.LoadMessage());
    EXPECT_EQ(TextOf(&area), "four\r");
    EXPECT_EQ(Check(), "");
  }
  // Numbers used up: the store answers no and the base is as it was.
  dir_.WriteFile("foo.sqd", data);
  dir_.WriteFile("foo.sqi", index);
  Patch32("foo.sqi", 12 * 2 + 4, 0xFFFFFFFFu);
  SquishArea area(base_);
  ASSERT_TRUE(area.OpenArea(base_));
  ASSERT_TRUE(area.AddMessage());
  PutText(&area, "four\r");
  EXPECT_FALSE(area.StoreMessage());
  area.ReleaseMessage();
  area.CloseArea();
  EXPECT_EQ(Data(), data);
}

TEST_F(SquishAreaTest, LoopedFreeChainEndsTheWalkWithoutWriting) {
  const std::vector<uint32_t> frames = MakeThree();
  {
    SquishArea area(base_);
    ASSERT_TRUE(area.OpenArea(base_));
    area.current = 1;
    ASSERT_TRUE(area.DeleteMessage());
    area.current = 1;
    ASSERT_TRUE(area.DeleteMessage());
  }
  ASSERT_EQ(Check(), "");
  // Free chain frames[0] -> frames[1]; close it into a ring.
  Patch32("foo.sqd", frames[1] + 4, frames[0]);
  Patch32("foo.sqd", frames[0] + 8, frames[1]);
  const std::string data = Data();
  const std::string index = Index();
  SquishArea area(base_);
  ASSERT_TRUE(area.OpenArea(base_));
  ASSERT_TRUE(area.AddMessage());
  PutText(&area, std::string(1000, 'b'));  // fits no free frame
  EXPECT_FALSE(area.StoreMessage());
  EXPECT_EQ(area.status, kSquishErrorFrame);
  area.CloseArea();
  EXPECT_EQ(Data().substr(256), data.substr(256));
  EXPECT_EQ(Index(), index);
}

TEST_F(SquishAreaTest, BrokenLinksMakeStoreAndDeleteAnswerNo) {
  const std::vector<uint32_t> frames = MakeThree();
  const std::string good = Data();
  const std::string index = Index();
  struct Case {
    size_t at;
    uint32_t value;
    bool store;  // else delete message 2
  };
  const Case cases[] = {
      {108, 0x7FFFFFF0u, true},           // lastFrame outside the data
      {108, frames[1], true},             // lastFrame is not the tail
      {frames[1] + 8, 0, false},          // a back link missing
      {frames[1] + 4, frames[1], false},  // a frame linked to itself
      {frames[0] + 4, frames[2], false},  // neighbour does not point back
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.at);
    dir_.WriteFile("foo.sqd", good);
    dir_.WriteFile("foo.sqi", index);
    Patch32("foo.sqd", c.at, c.value);
    const std::string before = Data();
    SquishArea area(base_);
    ASSERT_TRUE(area.OpenArea(base_));
    if (c.store) {
      ASSERT_TRUE(area.AddMessage());
      PutText(&area, "new\r");
      EXPECT_FALSE(area.StoreMessage());
    } else {
      area.current = 2;
      EXPECT_FALSE(area.DeleteMessage());
    }
    EXPECT_EQ(area.status, kSquishErrorFrame);
    area.CloseArea();
    EXPECT_EQ(Data().substr(256), before.substr(256));
    EXPECT_EQ(Index(), index);
  }
}

TEST_F(SquishAreaTest, LegacyLayoutBaseIsReadAndWrittenInItsLayout) {
  {
    SquishArea area(base_);
    ASSERT_TRUE(area.CreateArea(base_));
  }
  std::string data = Data();
  EncodeFixed16(reinterpret_cast<uint8_t*>(data.data()) + 130, 240);
  dir_.WriteFile("foo.sqd", data);
  SquishArea area(base_);
  ASSERT_TRUE(area.OpenArea(base_));
  EXPECT_EQ(area.layout(), SquishLayout::kLegacy);
  ASSERT_TRUE(area.AddMessage());
  area.SetToName("All");
  PutText(&area, "\x01MSGID: 1:2/3 1\rHi\r");
  ASSERT_TRUE(area.StoreMessage());
  EXPECT_EQ(area.frame_header().messageLength, 240u + 16u + 3u + 1u);
  area.CloseArea();
  data = Data();
  EXPECT_EQ(DecodeFixed16(reinterpret_cast<uint8_t*>(data.data()) + 130), 240);
  // uniqueId at 216 and ftsDate at 220 of the message header.
  EXPECT_EQ(DecodeFixed32(reinterpret_cast<uint8_t*>(data.data()) + 284 + 216),
            1u);
  EXPECT_EQ(data.substr(284 + 240, 16),
            std::string("\x01MSGID: 1:2/3 1\0", 16));
  EXPECT_EQ(Check(), "");
  ASSERT_TRUE(area.OpenArea(base_));
  area.current = 1;
  ASSERT_TRUE(area.LoadMessage());
  EXPECT_EQ(TextOf(&area), "\x01MSGID: 1:2/3 1\rHi\r");
}

// A few hundred random adds, deletes and rewrites; after each step the
// checker walks the whole base and every message reads back as modelled.
TEST_F(SquishAreaTest, RandomDeleteAndReuseKeepsTheChainsConsistent) {
  struct Model {
    uint32_t uid;
    std::string to;
    std::string text;
  };
  std::vector<Model> model;
  std::mt19937 rng(20240101);
  auto random_text = [&](int serial) {
    std::string t = "\x01MSGID: 2:5020/1 " + std::to_string(serial) + "\r";
    const int lines = static_cast<int>(rng() % 40);
    for (int i = 0; i < lines; ++i) {
      t += std::string(rng() % 70, static_cast<char>('a' + rng() % 26)) + "\r";
    }
    return t;
  };
  auto area = std::make_unique<SquishArea>(base_);
  ASSERT_TRUE(area->CreateArea(base_));
  int reused = 0;
  for (int step = 0; step < 400; ++step) {
    SCOPED_TRACE(step);
    const uint32_t op = rng() % 10;
    if (op < 5 || model.empty()) {
      ASSERT_TRUE(area->AddMessage());
      Model m{static_cast<uint32_t>(area->message_header().uniqueId),
              "To " + std::to_string(rng() % 5), random_text(step)};
      area->SetToName(m.to);
      PutText(area.get(), m.text);
      const uint32_t end = area->base_header().endOfData;
      ASSERT_TRUE(area->StoreMessage());
      if (area->current_frame_offset() < end) ++reused;
      model.push_back(m);
    } else if (op < 8) {
      const size_t victim = rng() % model.size();
      area->current = static_cast<int32_t>(victim + 1);
      ASSERT_TRUE(area->DeleteMessage());
      model.erase(model.begin() + static_cast<std::ptrdiff_t>(victim));
    } else {
      const size_t which = rng() % model.size();
      area->current = static_cast<int32_t>(which + 1);
      ASSERT_TRUE(area->LoadMessage());
      model[which].text = random_text(step);
      model[which].to = "Re " + std::to_string(step);
      area->SetToName(model[which].to);
      PutText(area.get(), model[which].text);
      ASSERT_TRUE(area->StoreMessage());
    }
    if (step % 50 == 49) {  // the header survives a close and reopen
      area = std::make_unique<SquishArea>(base_);
      ASSERT_TRUE(area->OpenArea(base_));
    }
    ASSERT_EQ(Check(), "");
    ASSERT_EQ(area->MessageCount(), static_cast<int32_t>(model.size()));
    for (size_t i = 0; i < model.size(); ++i) {
      area->current = static_cast<int32_t>(i + 1);
      ASSERT_TRUE(area->LoadMessage());
      ASSERT_EQ(static_cast<uint32_t>(area->CurrentNumber()), model[i].uid);
      ASSERT_EQ(area->ToName(), model[i].to);
      ASSERT_EQ(TextOf(area.get()), model[i].text);
    }
  }
  EXPECT_GT(reused, 10);
}

}  // namespace
}  // namespace kavel
