#include "msgbase/formats/jam_area.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "msgbase/formats/jam_crc.h"
#include "msgbase/test_support.h"
#include "platform/env.h"
#include "platform/platform.h"
#include "util/coding.h"

namespace kavel {
namespace {

using testing_support::ClockAt;
using testing_support::ReadFile;
using testing_support::TextOf;
using testing_support::WriteFile;

// 5 January 2001, 13:07:09 local: 978700029 seconds.
constexpr uint32_t kClockSeconds = 978700029;

std::string Le32(uint32_t value) {
  std::string out;
  PutFixed32(&out, value);
  return out;
}

std::string Subfield(uint16_t id, const std::string& data) {
  std::string out;
  PutFixed16(&out, id);
  PutFixed16(&out, 0);
  PutFixed32(&out, static_cast<uint32_t>(data.size()));
  return out + data;
}


class JamAreaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A clock that stands at kClockSeconds but moves its hundredths, so
    // that MSGID serials differ.
    env_.set_clock(
        [this] { return ClockAt(2001, 1, 5, 13, 7, 9, ++ticks_ % 100); });
  }
  FakeClockEnv env_{Env::Default()};
  ScopedEnv scoped_{&env_};

  std::string Base(const std::string& name = "echo") { return dir_.Join(name); }
  std::string File(const std::string& name) {
    return ReadFile(dir_.Join(name));
  }

  // Posts one message the way the composer does.
  void Post(JamArea* area, const std::string& subject,
            const std::vector<std::string>& lines) {
    ASSERT_TRUE(area->AddMessage());
    FtnAddress own{2, 5020, 1, 0};
    area->SetOrigAddress(own, true);
    area->SetDestAddress(FtnAddress{});
    area->SetFromName("Ivan Petrov");
    area->SetToName("All");
    area->SetSubject(subject);
    DateTimeRecord now;
    CurrentDateTime(&now);
    area->SetDateWritten(now);
    area->SetDateArrived(now);
    area->SetAttribute(kAttrLoc, true);
    for (const std::string& line : lines) area->WriteLine(line);
    ASSERT_TRUE(area->StoreMessage());
    area->ReleaseMessage();
  }

  // A base of `count` posted messages with subjects "Message 1" ...
  void MakeBase(int count, const std::string& name = "echo") {
    JamArea area("");
    ASSERT_TRUE(area.CreateArea(Base(name)));
    for (int i = 1; i <= count; ++i) {
      Post(&area, "Message " + std::to_string(i), {"Text " + std::to_string(i)});
    }
    area.CloseArea();
  }

  // Numbers the walk GoTo(1) / GoNext visits.
  std::vector<int> Walk(JamArea* area) {
    std::vector<int> numbers;
    for (area->GoTo(1); area->IsOnMessage(); area->GoNext()) {
      numbers.push_back(area->CurrentNumber());
    }
    return numbers;
  }

  void Patch(const std::string& name, size_t offset, const std::string& bytes) {
    std::string content = File(name);
    content.replace(offset, bytes.size(), bytes);
    WriteFile(dir_.Join(name), content);
  }

  TempDirForTesting dir_;
  int ticks_ = 0;
};

TEST_F(JamAreaTest, CreatedAreaIsFourFilesWithTheBaseHeader) {
  JamArea area("");
  ASSERT_TRUE(area.CreateArea(Base("Echo")));
  EXPECT_TRUE(area.isOpen);
  EXPECT_EQ(area.MessageCount(), 0);
  area.GoTo(1);
  EXPECT_FALSE(area.IsOnMessage());
  area.CloseArea();

  std::string expected = std::string("JAM\0", 4) + Le32(kClockSeconds) +
                         Le32(0) + Le32(0) + Le32(0xFFFFFFFF) + Le32(1);
  expected.append(1000, '\0');
  EXPECT_EQ(File("Echo.jhr"), expected);
  EXPECT_EQ(File("Echo.jdx"), "");
  EXPECT_EQ(File("Echo.jdt"), "");
  EXPECT_EQ(File("Echo.jlr"), "");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.Join("")),
                          std::filesystem::directory_iterator()),
            4);
}

// The worked example: subfield order 2, 0, 3, 1, 4, 2001, INTL dropped,
// the text file receives "Hello" and a CR; first message figures.
TEST_F(JamAreaTest, FirstMessageBytes) {
  JamArea area("");
  ASSERT_TRUE(area.CreateArea(Base()));
  ASSERT_TRUE(area.AddMessage());
  EXPECT_EQ(area.CurrentNumber(), 1);
  area.SetFromName("Ivan Petrov");
  area.SetToName("All");
  area.SetAttribute(kAttrLoc, true);
  area.WriteLine("\x01MSGID: 2:5020/1 1234abcd");
  area.WriteLine("\x01INTL 2:5020/1 2:5020/2");
  area.WriteLine("Hello");
  area.WriteLine("SEEN-BY: 5020/1");
  ASSERT_TRUE(area.StoreMessage());
  EXPECT_EQ(area.CurrentNumber(), 1);
  area.CloseArea();

  // INTL names the destination first: origin 2:5020/2, destination
  // 2:5020/1 (the later line overrides the MSGID's origin).
  std::string subfields = Subfield(2, "Ivan Petrov") +
                          Subfield(0, "2:5020/2.0") + Subfield(3, "All") +
                          Subfield(1, "2:5020/1.0") +
                          Subfield(4, "2:5020/1 1234abcd") +
                          Subfield(2001, "5020/1");
  std::string header = std::string("JAM\0", 4) + "\x01" + std::string(3, '\0') +
                       Le32(static_cast<uint32_t>(subfields.size())) + Le32(0) +
                       Le32(JamCrc("2:5020/1 1234abcd")) + Le32(0xFFFFFFFF) +
                       Le32(0) + Le32(0) + Le32(0) + Le32(kClockSeconds) +
                       Le32(0) + Le32(0) + Le32(1) + Le32(0x00000001) +
                       Le32(0) + Le32(0) + Le32(6) + Le32(0xFFFFFFFF) + Le32(0);
  std::string jhr = File("echo.jhr");
  ASSERT_EQ(jhr.size(), 1024 + header.size() + subfields.size());
  EXPECT_EQ(jhr.substr(1024), header + subfields);
  EXPECT_EQ(DecodeFixed32(reinterpret_cast<const uint8_t*>(jhr.data()) + 8),
            1u);  // modCounter
  EXPECT_EQ(DecodeFixed32(reinterpret_cast<const uint8_t*>(jhr.data()) + 12),
            1u);  // activeMessages
  EXPECT_EQ(File("echo.jdx"), Le32(JamCrc("All")) + Le32(1024));
  EXPECT_EQ(File("echo.jdt"), "Hello\r");
}

TEST_F(JamAreaTest, PostedMessageLoadsBackAsWritten) {
  const std::vector<std::string> lines = {
      "\x01" "ENCODED MESSAGE",
      "\x01text.begin 1 of 1 of file HELLO.TXT",
      "Line one",
      "Line with a \x8D soft return",
      "\x01text.end",
      "",
      "--- ",
      " * Origin: Kavel (2:5020/1)"};
  {
    JamArea area("");
    ASSERT_TRUE(area.CreateArea(Base()));
    Post(&area, "HELLO.TXT", lines);
    area.CloseArea();
  }
  JamArea area("");
  ASSERT_TRUE(area.OpenArea(Base()));
  EXPECT_EQ(area.HighestNumber(), 1);
  EXPECT_EQ(area.MessageCount(), 1);
  area.GoTo(1);
  ASSERT_TRUE(area.IsOnMessage());
  ASSERT_TRUE(area.LoadMessage());
  EXPECT_EQ(area.FromName(), "Ivan Petrov");
  EXPECT_EQ(area.ToName(), "All");
  EXPECT_EQ(area.Subject(), "HELLO.TXT");
  EXPECT_TRUE(area.HasAttribute(kAttrLoc));
  EXPECT_FALSE(area.HasAttribute(kAttrPvt));
  DateTimeRecord written, arrived;
  area.DateWritten(&written);
  area.DateArrived(&arrived);
  EXPECT_EQ(DateTimeToSeconds(written), static_cast<int32_t>(kClockSeconds));
  EXPECT_EQ(DateTimeToSeconds(arrived), static_cast<int32_t>(kClockSeconds));

  std::string msgid;
  ASSERT_TRUE(area.FindKludge("\x01MSGID:", &msgid));
  std::string expected = msgid + "\r";
  for (const std::string& line : lines) expected += line + "\r";
  EXPECT_EQ(TextOf(&area), expected);
  FtnAddress orig, dest;
  area.ReadAddresses(&orig, &dest);
  EXPECT_EQ(AddressToText4D(orig), "2:5020/1.0");
  // No destination in the kludges: the DADDRESS subfield (the origin).
  EXPECT_EQ(AddressToText4D(dest), "2:5020/1.0");
}

TEST_F(JamAreaTest, KludgeHeavyMessageKeepsEveryLine) {
  std::string text = "\x01MSGID: 2:5020/1 00000001\r\x01PID: x\r";
  text += std::string(20000, 'L') + "\r";  // longer than any line buffer
  text += "Body\r";
  for (int i = 0; i < 3; ++i) text += "\x01Via 2:5020/" + std::to_string(i) + "\r";
  for (int i = 0; i < 700; ++i) {
    text += "SEEN-BY: 5020/" + std::to_string(i) + " 5020/" +
            std::to_string(i + 1000) + "\r";
  }
  for (int i = 0; i < 40; ++i) text += "\x01PATH: 5020/" + std::to_string(i) + "\r";
  {
    JamArea area("");
    ASSERT_TRUE(area.CreateArea(Base()));
    ASSERT_TRUE(area.AddMessage());
    area.SetToName("All");
    for (size_t at = 0; at < text.size(); at += 1000) {
      std::string piece = text.substr(at, 1000);
      area.WriteTextBlock(piece.data(), static_cast<uint16_t>(piece.size()));
    }
    ASSERT_TRUE(area.StoreMessage());
    EXPECT_GT(area.message_header().subfieldLength, 12288u);
    area.CloseArea();
  }
  JamArea area("");
  ASSERT_TRUE(area.OpenArea(Base()));
  area.GoTo(1);
  ASSERT_TRUE(area.LoadMessage());
  EXPECT_EQ(area.subfields().size(), 4u + 2 + 3 + 700 + 40);
  EXPECT_EQ(TextOf(&area), text);
}

// Real bases keep the records of deleted messages; numbers are positions.
// A base numbered from near 2^31: the walk from 1 passes over the numbers
// below the base number in one step instead of two billion.
TEST_F(JamAreaTest, BaseNumberNear2To31IsReachedInOneStep) {
  MakeBase(2);
  Patch("echo.jhr", 20, Le32(0x7FFFFFF0));  // baseNumber
  JamArea area("");
  ASSERT_TRUE(area.OpenArea(Base()));
  EXPECT_EQ(area.HighestNumber(), 0x7FFFFFF1);
  EXPECT_EQ(Walk(&area), (std::vector<int>{0x7FFFFFF0, 0x7FFFFFF1}));
  area.GoTo(0x7FFFFFF1);
  ASSERT_TRUE(area.LoadMessage());
  EXPECT_EQ(area.Subject(), "Message 2");
  area.ReleaseMessage();
  area.GoPrevious();
  EXPECT_EQ(area.current, 0x7FFFFFF0);
  area.GoPrevious();
  EXPECT_FALSE(area.IsOnMessage());
}

// A base numbered from 0 would give its first message the number that
// means "no message": the store answers no instead.
TEST_F(JamAreaTest, BaseNumberZeroTakesNoMessage) {
  MakeBase(0);
  Patch("echo.jhr", 20, Le32(0));  // baseNumber
  JamArea area("");
  ASSERT_TRUE(area.OpenArea(Base()));
  ASSERT_TRUE(area.AddMessage());
  area.WriteLine("unreachable");
  EXPECT_FALSE(area.StoreMessage());
  area.ReleaseMessage();
  EXPECT_TRUE(Walk(&area).empty());
  area.CloseArea();
  EXPECT_EQ(File("echo.jdx"), "");
}

TEST_F(JamAreaTest, EmptyRecordsAreSkippedAndReadingChangesNothing) {
  MakeBase(5);
  Patch("echo.jdx", 2 * 8, Le32(0xFFFFFFFF) + Le32(0xFFFFFFFF));
  Patch("echo.jhr", 12, Le32(4));  // activeMessages
  const std::string jhr = File("echo.jhr"), jdx = File("echo.jdx"),
                    jdt = File("echo.jdt"), jlr = File("echo.jlr");
  {
    JamArea area("");
    ASSERT_TRUE(area.OpenArea(Base()));
    EXPECT_EQ(area.HighestNumber(), 5);
    EXPECT_EQ(area.MessageCount(), 4);
    EXPECT_FALSE(area.HasMessage(3));
    EXPECT_EQ(Walk(&area), (std::vector<int>{1, 2, 4, 5}));
    for (int n : {1, 2, 4, 5}) {
      area.GoTo(n);
      ASSERT_TRUE(area.LoadMessage());
      EXPECT_EQ(area.Subject(), "Message " + std::to_string(n));
      EXPECT_EQ(area.message_header().messageNumber, static_cast<uint32_t>(n));
      EXPECT_EQ(area.LoadLastRead(0), 0);
      area.ReleaseMessage();
    }
    area.GoToNumber(3);
    EXPECT_FALSE(area.LoadMessage());
    EXPECT_EQ(area.status, kJamErrorHeaderOffset);
    area.CloseArea();
  }
  EXPECT_EQ(File("echo.jhr"), jhr);
  EXPECT_EQ(File("echo.jdx"), jdx);
  EXPECT_EQ(File("echo.jdt"), jdt);
  EXPECT_EQ(File("echo.jlr"), jlr);

  // A header marked deleted hides its message too; a new message goes
  // after the last record whatever activeMessages says.
  std::string header4 = File("echo.jdx").substr(3 * 8 + 4, 4);
  uint32_t offset4 = DecodeFixed32(reinterpret_cast<const uint8_t*>(header4.data()));
  Patch("echo.jhr", offset4 + 52, Le32(0x80000001));
  Patch("echo.jhr", 12, Le32(3));
  JamArea area("");
  ASSERT_TRUE(area.OpenArea(Base()));
  EXPECT_EQ(Walk(&area), (std::vector<int>{1, 2, 5}));
  Post(&area, "Message 6", {"Text 6"});
  EXPECT_EQ(area.CurrentNumber(), 6);
  EXPECT_EQ(area.MessageCount(), 4);
  EXPECT_EQ(Walk(&area), (std::vector<int>{1, 2, 5, 6}));
  area.GoTo(6);
  ASSERT_TRUE(area.LoadMessage());
  EXPECT_EQ(area.Subject(), "Message 6");
  EXPECT_EQ(area.message_header().messageNumber, 6u);
  area.CloseArea();
  EXPECT_EQ(File("echo.jdx").size(), 6u * 8);
}

TEST_F(JamAreaTest, DeleteMarksHeaderAndEmptiesRecord) {
  MakeBase(3);
  JamArea area("");
  ASSERT_TRUE(area.OpenArea(Base()));
  EXPECT_FALSE(area.DeleteMessage());  // nothing loaded
  area.GoTo(2);
  ASSERT_TRUE(area.LoadMessage());
  uint32_t header_offset = DecodeFixed32(
      reinterpret_cast<const uint8_t*>(File("echo.jdx").data()) + 8 + 4);
  ASSERT_TRUE(area.DeleteMessage());
  EXPECT_EQ(area.MessageCount(), 2);
  EXPECT_EQ(area.HighestNumber(), 3);
  EXPECT_EQ(Walk(&area), (std::vector<int>{1, 3}));
  area.GoTo(3);
  ASSERT_TRUE(area.LoadMessage());
  EXPECT_EQ(area.Subject(), "Message 3");
  area.CloseArea();

  std::string jdx = File("echo.jdx");
  EXPECT_EQ(jdx.size(), 24u);
  EXPECT_EQ(jdx.substr(8, 8), std::string(8, '\xFF'));
  std::string jhr = File("echo.jhr");
  EXPECT_EQ(DecodeFixed32(reinterpret_cast<const uint8_t*>(jhr.data()) +
                          header_offset + 52) &
                kJamAttrDeleted,
            kJamAttrDeleted);
  EXPECT_EQ(DecodeFixed32(reinterpret_cast<const uint8_t*>(jhr.data()) + 12),
            2u);
}

TEST_F(JamAreaTest, MissingLastReadFileIsCreatedOnFirstWrite) {
  MakeBase(1);
  std::filesystem::remove(dir_.Join("echo.jlr"));
  Env::Default()->ForgetPathCache();
  JamArea area("");
  ASSERT_TRUE(area.OpenArea(Base()));
  EXPECT_EQ(area.LoadLastRead(1), 0);
  area.GoTo(1);
  ASSERT_TRUE(area.LoadMessage());
  area.CloseArea();
  EXPECT_FALSE(std::filesystem::exists(dir_.Join("echo.jlr")));

  ASSERT_TRUE(area.OpenArea(Base()));
  Post(&area, "Message 2", {"Text"});
  EXPECT_EQ(File("echo.jlr"), "");
  ASSERT_TRUE(area.StoreLastRead(5, 42));
  ASSERT_TRUE(area.StoreLastRead(7, 1));
  ASSERT_TRUE(area.StoreLastRead(5, 43));
  EXPECT_EQ(area.LoadLastRead(5), 43);
  EXPECT_EQ(area.LoadLastRead(7), 1);
  EXPECT_EQ(area.LoadLastRead(6), 0);
  area.CloseArea();
  EXPECT_EQ(File("echo.jlr"), Le32(5) + Le32(5) + Le32(43) + Le32(43) +
                                  Le32(7) + Le32(7) + Le32(1) + Le32(1));
}

TEST_F(JamAreaTest, OpenFailures) {
  JamArea area("");
  EXPECT_FALSE(area.OpenArea(Base()));
  EXPECT_EQ(area.status, kJamErrorNoHeaderFile);
  EXPECT_FALSE(area.isOpen);
  MakeBase(1);
  std::string jdt = File("echo.jdt");
  std::filesystem::remove(dir_.Join("echo.jdt"));
  Env::Default()->ForgetPathCache();
  EXPECT_FALSE(area.OpenArea(Base()));
  EXPECT_EQ(area.status, kJamErrorNoTextFile);
  WriteFile(dir_.Join("echo.jdt"), jdt);
  std::filesystem::remove(dir_.Join("echo.jdx"));
  Env::Default()->ForgetPathCache();
  EXPECT_FALSE(area.OpenArea(Base()));
  EXPECT_EQ(area.status, kJamErrorNoIndexFile);
  WriteFile(dir_.Join("echo.jdx"), "");
  WriteFile(dir_.Join("echo.jhr"), std::string(1023, '\0'));
  EXPECT_FALSE(area.OpenArea(Base()));
  EXPECT_EQ(area.status, kJamErrorOpenHeaderFile);
  EXPECT_EQ(area.area_path(), "");
}

TEST_F(JamAreaTest, DamagedOffsetsFailCleanly) {
  MakeBase(2);
  const std::string jhr = File("echo.jhr");
  const std::string jdx = File("echo.jdx");
  const uint32_t second =
      DecodeFixed32(reinterpret_cast<const uint8_t*>(jdx.data()) + 12);
  struct Case {
    std::string file;
    size_t offset;
    std::string bytes;
    int32_t status;  // 0: loads
  } cases[] = {
      {"echo.jdx", 12, Le32(static_cast<uint32_t>(jhr.size())), kJamErrorHeaderOffset},
      {"echo.jdx", 12, Le32(static_cast<uint32_t>(jhr.size() - 40)), kJamErrorHeaderOffset},
      {"echo.jdx", 12, Le32(0x7FFFFFFF), kJamErrorHeaderOffset},
      {"echo.jhr", second + 60, Le32(1000), kJamErrorTextOffset},
      {"echo.jhr", second + 60, Le32(0xFFFFFFF0), kJamErrorTextOffset},
      {"echo.jhr", second + 64, Le32(0x7FFFFFFF), 0},   // textLength
      {"echo.jhr", second + 8, Le32(0xFFFFFFFF), 0},    // subfieldLength
      {"echo.jhr", second + 76 + 4, Le32(0x7FFFFFF0), 0},  // first dataLength
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file + " @" + std::to_string(c.offset));
    WriteFile(dir_.Join("echo.jhr"), jhr);
    WriteFile(dir_.Join("echo.jdx"), jdx);
    Patch(c.file, c.offset, c.bytes);
    JamArea area("");
    ASSERT_TRUE(area.OpenArea(Base()));
    area.GoToNumber(2);
    EXPECT_EQ(area.LoadMessage(), c.status == 0);
    if (c.status != 0) {
      EXPECT_EQ(area.status, c.status);
      EXPECT_EQ(area.TextStream(), nullptr);
    }
    area.GoToNumber(1);
    EXPECT_TRUE(area.LoadMessage());
    EXPECT_EQ(area.Subject(), "Message 1");
  }
  // Beyond the index, and below the base number.
  WriteFile(dir_.Join("echo.jhr"), jhr);
  WriteFile(dir_.Join("echo.jdx"), jdx.substr(0, 12));  // 1.5 records
  JamArea area("");
  ASSERT_TRUE(area.OpenArea(Base()));
  EXPECT_EQ(area.HighestNumber(), 1);
  for (int n : {2, 3, 0, -5}) {
    area.GoToNumber(n);
    EXPECT_FALSE(area.LoadMessage());
    EXPECT_EQ(area.status, kJamErrorRead);
  }
}

// Every byte of a message header and its subfields set to 0xFF or 0x00 in
// turn: loading answers yes or no, and never reads outside the files.
TEST_F(JamAreaTest, DamagedHeaderBytesNeverBreakLoading) {
  MakeBase(1);
  const std::string jhr = File("echo.jhr");
  for (size_t at = 1024; at < jhr.size(); ++at) {
    for (char value : {'\xFF', '\0', '\x7F'}) {
      std::string damaged = jhr;
      damaged[at] = value;
      WriteFile(dir_.Join("echo.jhr"), damaged);
      JamArea area("");
      ASSERT_TRUE(area.OpenArea(Base()));
      area.GoTo(1);
      if (area.IsOnMessage() && area.LoadMessage()) {
        std::string line;
        while (!area.AtTextEnd()) area.ReadLine(&line);
        EXPECT_LE(area.Subject().size(), 255u);
      }
    }
  }
}

TEST_F(JamAreaTest, AttributesAndMessageKinds) {
  EXPECT_EQ(JamAttributeBit(kAttrPvt), 0x00000004u);
  EXPECT_EQ(JamAttributeBit(kAttrOrp), 0x00040000u);
  EXPECT_EQ(JamAttributeBit(kAttrARq), 0x00020000u);
  JamArea area("");
  ASSERT_TRUE(area.CreateArea(Base()));
  ASSERT_TRUE(area.AddMessage());
  for (uint32_t code = 1; code <= 0x8000; code <<= 1) area.SetAttribute(code, true);
  EXPECT_FALSE(area.HasAttribute(kAttrRRc));
  EXPECT_FALSE(area.HasAttribute(kAttrURq));
  EXPECT_FALSE(area.HasAttribute(kAttrSca));
  EXPECT_TRUE(area.HasAttribute(kAttrHld));
  EXPECT_EQ(area.message_header().attribute, 0x000731BFu);
  area.SetAttribute(kAttrHld, false);
  EXPECT_FALSE(area.HasAttribute(kAttrHld));

  const struct {
    uint32_t flags;
    uint32_t kind;
  } kinds[] = {{0, 0}, {1, 0x02000000}, {2, 0x01000000}, {4, 0x00800000}};
  for (const auto& k : kinds) {
    area.SetAreaFlag(7, false);
    area.SetAreaFlag(k.flags, true);
    ASSERT_TRUE(area.AddMessage());
    area.SetAttribute(kAttrPvt, true);
    ASSERT_TRUE(area.StoreMessage());
    EXPECT_EQ(area.message_header().attribute, 0x00000004u | k.kind);
  }
}

TEST_F(JamAreaTest, StoringALoadedMessageAgainKeepsItsNumber) {
  MakeBase(2);
  JamArea area("");
  ASSERT_TRUE(area.OpenArea(Base()));
  area.GoTo(1);
  ASSERT_TRUE(area.LoadMessage());
  area.SetSubject("Changed");
  ASSERT_TRUE(area.StoreMessage());
  EXPECT_EQ(area.CurrentNumber(), 1);
  EXPECT_EQ(area.MessageCount(), 2);
  area.GoTo(1);
  ASSERT_TRUE(area.LoadMessage());
  EXPECT_EQ(area.Subject(), "Changed");
  EXPECT_EQ(area.HighestNumber(), 2);
  area.CloseArea();
  EXPECT_EQ(File("echo.jdx").size(), 16u);
}

}  // namespace
}  // namespace kavel
