#include "msgbase/formats/squish_area.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "msgbase/byte_stream.h"
#include "msgbase/formats/squish_checker_for_testing.h"
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

std::string TextOf(MessageArea* area) {
  ByteStream* t = area->TextStream();
  std::string out(static_cast<size_t>(t->Size()), '\0');
  t->Seek(0);
  for (size_t done = 0; done < out.size();) {
    uint16_t n =
        static_cast<uint16_t>(std::min<size_t>(out.size() - done, 60000));
    t->Read(out.data() + done, n);
    done += n;
  }
  return out;
}

void PutText(MessageArea* area, std::string_view bytes) {
  ByteStream* t = area->TextStream();
  for (size_t done = 0; done < bytes.size();) {
    uint16_t n =
        static_cast<uint16_t>(std::min<size_t>(bytes.size() - done, 60000));
    t->Write(bytes.data() + done, n);
    done += n;
  }
}

class SquishAreaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallStreamFactories();
    base_ = dir_.Join("foo");
  }
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
  ASSERT_EQ(data.size(), 256u);
  std::vector<uint8_t> expected(256);
  SquishBaseHeader::ForNewBase().EncodeTo(expected.data());
  EXPECT_EQ(data, std::string(expected.begin(), expected.end()));
  EXPECT_EQ(U32(data, 20), 1u);  // nextUid
  EXPECT_EQ(data.substr(24, 8), std::string("$QORVN$\0", 8));
  EXPECT_EQ(U32(data, 120), 256u);  // endOfData
  EXPECT_EQ(U32(data, 124), 0u);    // maxMessages: no limit
  EXPECT_EQ(U16(data, 128), 0u);    // keepDays: no limit
  EXPECT_EQ(U16(data, 130), 28u);   // frameHeaderSize
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
  DateTimeRecord dt;
  dt.year = 2001, dt.month = 1, dt.day = 5, dt.hour = 13, dt.minute = 7,
  dt.second = 9;
  area.SetDateWritten(dt);
  area.SetDateArrived(dt);
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
  EXPECT_EQ(back.year, 2001);
  EXPECT_EQ(back.month, 1);
  EXPECT_EQ(back.day, 5);
  EXPECT_EQ(back.hour, 13);
  EXPECT_EQ(back.minute, 7);
  EXPECT_EQ(back.second, 8);
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

TEST_F(SquishAreaTest, RoundTripsOfUnusualTexts) {
  std::string cp866;
  for (int c = 0x80; c <= 0xFF; ++c) cp866.push_back(static_cast<char>(c));
  cp866 += "\r\x8D\x8D line\r";
  std::string big;
  for (int i = 0; big.size() < 70000; ++i) {
    big += "line " + std::to_string(i) + " of a big text\r";
  }
  const std::vector<std::string> texts = {
      "",                                     // empty
      "\x01MSGID: 1:2/3 abcd\r\x01PID: x\r",  // kludges only
      "\x01"
      "CHRS: CP866 2\r" +
          cp866,                                   // CP866
      "\x01MSGID: 1:2/3 1\r" + big,                // more than 64 KB
      "no line end",                               // last line unended
      "\x01MSGID: 1:2/3 1\r\rbody after empty\r",  // empty line
      "text first\r\x01KLUDGE: later\r",           // kludge in the body
      "\x01MSGID: 1:2/3 1\r\n\n\nbody\r",         // CR LF, then LFs
  };
  SquishArea area(base_);
  ASSERT_TRUE(area.CreateArea(base_));
  for (const std::string& t : texts) Store(&area, t);
  area.CloseArea();
  EXPECT_EQ(Check(), "");
  ASSERT_TRUE(area.OpenArea(base_));
  for (size_t i = 0; i < texts.size(); ++i) {
    EXPECT_EQ(Load(&area, static_cast<int32_t>(i + 1)), texts[i]) << i;
  }
  // The kludge-only text has an empty text proper: header, block, zero.
  area.current = 2;
  ASSERT_TRUE(area.LoadMessage());
  EXPECT_EQ(area.frame_header().messageLength,
            238u + area.frame_header().controlLength + 1);
  EXPECT_EQ(area.frame_header().controlLength, 26u);
  // The empty text: controlLength 1.
  area.current = 1;
  ASSERT_TRUE(area.LoadMessage());
  EXPECT_EQ(area.frame_header().controlLength, 1u);
  EXPECT_EQ(area.frame_header().messageLength, 240u);
}

TEST_F(SquishAreaTest, KludgesTooLargeForTheControlBlockStayInTheText) {
  std::string many;
  for (int i = 0; many.size() < 70000; ++i) {
    many += "\x01X-KLUDGE: " + std::to_string(i) + std::string(100, 'k') + "\r";
  }
  many += "body\r";
  const std::string long_item =
      "\x01MSGID: 1:2/3 1\r\x01LONG: " + std::string(20000, 'x') +
      "\r\x01PID: y\rbody\r";
  const std::string inner = "\x01TWO\x01IN ONE\rbody\r";
  // Exactly the largest block, and one byte more.
  auto kludge = [](size_t length, char fill) {
    std::string k(1, '\x01');
    k.append(length, fill);
    k.push_back('\r');
    return k;
  };
  std::string full;
  for (int i = 0; i < 4; ++i) full += kludge(15999, 'f');
  const std::string fuller = full + kludge(1518, 'g') + "body\r";
  full += kludge(1517, 'g') + "body\r";
  SquishArea area(base_);
  ASSERT_TRUE(area.CreateArea(base_));
  Store(&area, many);
  EXPECT_LE(area.frame_header().controlLength, kSquishMaxControlLength);
  Store(&area, long_item);
  EXPECT_EQ(area.frame_header().controlLength, 16u);
  Store(&area, inner);
  EXPECT_EQ(area.frame_header().controlLength, 1u);
  Store(&area, full);
  EXPECT_EQ(area.frame_header().controlLength, kSquishMaxControlLength);
  Store(&area, fuller);
  EXPECT_EQ(area.frame_header().controlLength, 64001u);
  EXPECT_EQ(Load(&area, 1), many);
  EXPECT_EQ(Load(&area, 2), long_item);
  EXPECT_EQ(Load(&area, 3), inner);
  EXPECT_EQ(Load(&area, 4), full);
  EXPECT_EQ(Load(&area, 5), fuller);
  EXPECT_EQ(Check(), "");
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
  area.TextStream()->Seek(0);
  area.TextStream()->Truncate();
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

TEST_F(SquishAreaTest, FilesAreFoundInAnyCaseAndCreatedAsSpelled) {
  {
    SquishArea area(dir_.Join("Foo"));
    ASSERT_TRUE(area.CreateArea(dir_.Join("Foo")));
    Store(&area, "x\r");
  }
  EXPECT_TRUE(dir_.Exists("Foo.sqd"));
  EXPECT_TRUE(dir_.Exists("Foo.sqi"));
  ForgetPathCache();
  SquishArea area(dir_.Join("FOO"));
  EXPECT_TRUE(area.BaseExists(dir_.Join("FOO")));
  ASSERT_TRUE(area.OpenArea(dir_.Join("FOO")));
  Store(&area, "y\r");
  area.CloseArea();
  EXPECT_FALSE(dir_.Exists("FOO.sqd"));
  EXPECT_FALSE(dir_.Exists("FOO.SQD"));
  EXPECT_EQ(CheckSquishBase(dir_.Join("Foo.sqd"), dir_.Join("Foo.sqi")), "");
  ASSERT_TRUE(area.OpenArea(dir_.Join("foo.")));
  EXPECT_EQ(area.MessageCount(), 2);
}

TEST_F(SquishAreaTest, OpenFailuresAndTheFactory) {
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

  std::unique_ptr<MessageArea> made;
  ASSERT_TRUE(OpenOrCreateMessageArea(&made, "S" + dir_.Join("bar")));
  EXPECT_EQ(made->MessageCount(), 0);
  ASSERT_TRUE(made->AddMessage());
  ASSERT_TRUE(made->WriteLine("hello"));
  ASSERT_TRUE(made->StoreMessage());
  ASSERT_TRUE(CloseMessageArea(&made));
  ASSERT_TRUE(OpenMessageArea(&made, "s" + dir_.Join("BAR")));
  made->GoTo(1);
  ASSERT_TRUE(made->LoadMessage());
  std::string line;
  made->ReadLine(&line);
  EXPECT_EQ(line, "hello");
  CloseMessageArea(&made);
}

}  // namespace
}  // namespace kavel
