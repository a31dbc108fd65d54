#include "msgbase/formats/msg_area.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "msgbase/test_support.h"
#include "platform/env.h"
#include "platform/fault_env.h"
#include "platform/platform.h"
#include "util/coding.h"

namespace kavel {
namespace {

using testing_support::Date;
using testing_support::ReadFile;
using testing_support::TextOf;
using testing_support::WriteFile;

// A message file: header with the given names, then text bytes as given.
std::string MessageFile(const std::string& from, const std::string& body,
                        uint16_t attribute = 0) {
  MsgHeader header;
  header.fromName = from;
  header.toName = "All";
  header.subject = "Subj";
  header.dateTime = "05 Jan 01  13:07:09";
  header.attribute = attribute;
  uint8_t raw[MsgHeader::kEncodedSize];
  header.EncodeTo(raw);
  return std::string(reinterpret_cast<char*>(raw), sizeof raw) + body;
}

class MsgAreaTest : public ::testing::Test {
 protected:
  std::unique_ptr<MsgArea> Open() {
    auto area = std::make_unique<MsgArea>(dir_.Join(""));
    EXPECT_TRUE(area->OpenArea(dir_.Join("")));
    return area;
  }
  TempDirForTesting dir_;
};

TEST_F(MsgAreaTest, ScanNavigationAndNumbering) {
  WriteFile(dir_.Join("3.msg"), MessageFile("a", std::string("x\r", 2) + '\0'));
  WriteFile(dir_.Join("10.MSG"), MessageFile("b", std::string(1, '\0')));
  WriteFile(dir_.Join("readme.txt"), "not a message");
  auto area = Open();
  EXPECT_EQ(area->MessageCount(), 2);
  EXPECT_EQ(area->HighestNumber(), 10);
  area->GoTo(1);
  EXPECT_EQ(area->current, 3);
  area->GoNext();
  EXPECT_EQ(area->current, 10);
  ASSERT_TRUE(area->LoadMessage()) << "an upper-case name is found as it is";
  EXPECT_EQ(area->FromName(), "b");
  area->GoNext();
  EXPECT_EQ(area->current, 0);
  ASSERT_TRUE(area->AddMessage());
  EXPECT_EQ(area->current, 11);
  ASSERT_TRUE(area->StoreMessage());
  EXPECT_TRUE(std::filesystem::exists(dir_.Join("11.msg")));
  ASSERT_TRUE(area->DeleteMessage());
  EXPECT_FALSE(std::filesystem::exists(dir_.Join("11.msg")));
  EXPECT_FALSE(area->HasMessage(11));
  ASSERT_TRUE(area->AddMessage());
  EXPECT_EQ(area->current, 12);
  ASSERT_TRUE(area->ReleaseMessage());
  EXPECT_FALSE(area->ReleaseMessage());
  EXPECT_EQ(area->status, kMsgErrorNotLoaded);
}

TEST_F(MsgAreaTest, FirstNumberAndTheEchomailHighWaterSlot) {
  {
    auto area = Open();
    ASSERT_TRUE(area->AddMessage());
    EXPECT_EQ(area->current, 1);
  }
  TempDirForTesting echo;
  MsgArea area(echo.Join(""));
  ASSERT_TRUE(area.OpenArea(echo.Join("")));
  area.SetAreaFlag(kAreaFlagEchomail, true);
  ASSERT_TRUE(area.AddMessage());
  EXPECT_EQ(area.current, 2);
  ASSERT_TRUE(area.StoreMessage());
  ASSERT_TRUE(area.AddMessage());
  EXPECT_EQ(area.current, 3);
  EXPECT_FALSE(std::filesystem::exists(echo.Join("1.msg")));
}

TEST_F(MsgAreaTest, EmptyMessageIs191Bytes) {
  auto area = Open();
  ASSERT_TRUE(area->AddMessage());
  ASSERT_TRUE(area->StoreMessage());
  ASSERT_TRUE(area->ReleaseMessage());
  std::string bytes = ReadFile(dir_.Join("1.msg"));
  EXPECT_EQ(bytes, std::string(191, '\0'));
  area->GoTo(1);
  ASSERT_TRUE(area->LoadMessage());
  EXPECT_EQ(area->TextSize(), 0);
}

TEST_F(MsgAreaTest, PostedMessageLayout) {
  auto area = Open();
  ASSERT_TRUE(area->AddMessage());
  FtnAddress orig, dest;
  ASSERT_TRUE(ParseAddress("2:5020/1.5", &orig));
  ASSERT_TRUE(ParseAddress("2:5020/9999", &dest));
  ASSERT_TRUE(area->SetOrigAddress(orig, true));
  ASSERT_TRUE(area->SetDestAddress(dest));
  area->SetFromName("Ivan Petrov");
  area->SetToName("All");
  area->SetSubject("HELLO.TXT (1/2)");
  area->SetDateWritten(Date(2001, 1, 5, 13, 7, 9));
  area->SetDateArrived(Date(2001, 1, 5, 13, 7, 9));
  area->SetAttribute(kAttrLoc, true);
  ASSERT_TRUE(area->WriteLine("\x01PID: Kavel"));
  ASSERT_TRUE(area->WriteLine("Hello"));
  ASSERT_TRUE(area->StoreMessage());
  ASSERT_TRUE(area->ReleaseMessage());

  std::string bytes = ReadFile(dir_.Join("1.msg"));
  ASSERT_GE(bytes.size(), 191u);
  const uint8_t* raw = reinterpret_cast<const uint8_t*>(bytes.data());
  EXPECT_EQ(DecodeFixedString(raw, 36), "Ivan Petrov");
  EXPECT_EQ(DecodeFixedString(raw + 36, 36), "All");
  EXPECT_EQ(DecodeFixedString(raw + 72, 72), "HELLO.TXT (1/2)");
  EXPECT_EQ(bytes.substr(144, 20), std::string("05 Jan 01  13:07:09") + '\0');
  EXPECT_EQ(DecodeFixed16(raw + 166), 9999);  // destNode
  EXPECT_EQ(DecodeFixed16(raw + 168), 1);     // origNode
  EXPECT_EQ(DecodeFixed16(raw + 172), 5020);  // origNet
  EXPECT_EQ(DecodeFixed16(raw + 174), 5020);  // destNet
  EXPECT_EQ(bytes.substr(176, 8), std::string(8, '\0'));
  EXPECT_EQ(DecodeFixed16(raw + 186), 0x0100);  // Loc
  std::string text = bytes.substr(190);
  ASSERT_EQ(text.back(), '\0');
  EXPECT_EQ(text.substr(0, 19), "\x01MSGID: 2:5020/1.5 ");
  EXPECT_EQ(text.substr(27),
            "\r\x01PID: Kavel\rHello\r" + std::string(1, '\0'));

  area->GoTo(1);
  ASSERT_TRUE(area->LoadMessage());
  FtnAddress o, d;
  area->ReadAddresses(&o, &d);
  EXPECT_EQ(o, orig) << "net/node from the header, the point from MSGID";
  EXPECT_EQ(AddressToText(d), "0:5020/9999") << "no zone without INTL";
  DateTimeRecord when;
  area->DateWritten(&when);
  EXPECT_EQ(when, Date(2001, 1, 5, 13, 7, 9));
  DateTimeRecord arrived = Date(1999, 9, 9, 9, 9, 9);
  area->DateArrived(&arrived);
  EXPECT_EQ(arrived, Date(1999, 9, 9, 9, 9, 9)) << "left as the caller put it";
  EXPECT_TRUE(area->HasAttribute(kAttrLoc));
}

TEST_F(MsgAreaTest, NetmailAddressKludges) {
  auto area = Open();
  area->SetAreaFlag(kAreaFlagAddressKludges, true);
  ASSERT_TRUE(area->AddMessage());
  FtnAddress orig, dest;
  ASSERT_TRUE(ParseAddress("2:5020/1.5", &orig));
  ASSERT_TRUE(ParseAddress("1:2/3.4", &dest));
  ASSERT_TRUE(area->SetOrigAddress(orig, true));
  ASSERT_TRUE(area->SetDestAddress(dest));
  FtnAddress o, d;
  area->ReadAddresses(&o, &d);
  EXPECT_EQ(o, orig);
  EXPECT_EQ(d, dest);
}

TEST_F(MsgAreaTest, HeaderFieldsNeverSpill) {
  auto area = Open();
  ASSERT_TRUE(area->AddMessage());
  area->SetFromName(std::string(50, 'F'));
  area->SetToName(std::string(50, 'T'));
  area->SetSubject(std::string(100, 'S'));
  ASSERT_TRUE(area->StoreMessage());
  EXPECT_EQ(area->FromName(), std::string(35, 'F'));
  std::string bytes = ReadFile(dir_.Join("1.msg"));
  EXPECT_EQ(bytes.substr(0, 36), std::string(35, 'F') + '\0');
  EXPECT_EQ(bytes.substr(36, 36), std::string(35, 'T') + '\0');
  EXPECT_EQ(bytes.substr(72, 72), std::string(71, 'S') + '\0');

  // Stored fields without any terminator are read within their width.
  std::string full(190, 'Z');
  WriteFile(dir_.Join("5.msg"), full + "body" + '\0');
  auto again = Open();
  again->GoTo(5);
  ASSERT_TRUE(again->LoadMessage());
  EXPECT_EQ(again->FromName(), std::string(36, 'Z'));
  EXPECT_EQ(again->Subject(), std::string(72, 'Z'));
  EXPECT_EQ(TextOf(again.get()), "body");
}

TEST_F(MsgAreaTest, TextLosesOnlyAFinalZeroByte) {
  const std::pair<std::string, std::string> cases[] = {
      {"abc\r", "abc\r"},
      {std::string("abc\r\0", 5), "abc\r"},
      {std::string("ab\0c\0\0", 6), std::string("ab\0c\0", 5)}};
  for (size_t i = 0; i < 3; ++i) {
    WriteFile(dir_.Join(std::to_string(i + 1) + ".msg"),
              MessageFile("a", cases[i].first));
  }
  auto area = Open();
  for (size_t i = 0; i < 3; ++i) {
    area->GoTo(static_cast<int32_t>(i + 1));
    ASSERT_TRUE(area->LoadMessage());
    EXPECT_EQ(TextOf(area.get()), cases[i].second) << i;
  }
}

TEST_F(MsgAreaTest, CorruptDirectoryStaysUsable) {
  WriteFile(dir_.Join("1.msg"), "");                    // empty file
  WriteFile(dir_.Join("2.msg"), std::string(50, 'h'));  // cut header
  WriteFile(dir_.Join("3.msg"), MessageFile("c", "").substr(0, 190));
  WriteFile(dir_.Join("4.msg"), MessageFile("ok", std::string("fine\r\0", 6)));
  WriteFile(dir_.Join("0012.msg"), MessageFile("z", ""));  // leading zeros
  WriteFile(dir_.Join("40000.msg"), MessageFile("big", ""));
  WriteFile(dir_.Join("99999999999999999999.msg"), MessageFile("huge", ""));
  WriteFile(dir_.Join("0.msg"), MessageFile("zero", ""));
  WriteFile(dir_.Join("abc.msg"), MessageFile("abc", ""));
  WriteFile(dir_.Join(".msg"), MessageFile("dot", ""));
  WriteFile(dir_.Join("-5.msg"), MessageFile("neg", ""));
  std::filesystem::create_directory(dir_.Join("7.msg"));  // not a file
  auto area = Open();
  EXPECT_EQ(area->MessageCount(), 5);
  EXPECT_EQ(area->HighestNumber(), 12);
  for (int n : {1, 2, 3}) {
    area->GoTo(n);
    ASSERT_TRUE(area->LoadMessage()) << n;
    EXPECT_EQ(area->TextSize(), 0) << n;
  }
  area->GoTo(2);
  ASSERT_TRUE(area->LoadMessage());
  EXPECT_EQ(area->FromName(), std::string(36, 'h'));
  area->GoTo(4);
  ASSERT_TRUE(area->LoadMessage());
  EXPECT_EQ(TextOf(area.get()), "fine\r");
  area->GoTo(12);
  EXPECT_FALSE(area->LoadMessage());
  EXPECT_EQ(area->status, kMsgErrorOpenFailed);
  area->GoToNumber(7);
  EXPECT_FALSE(area->LoadMessage());
  EXPECT_EQ(area->status, kMsgErrorNoMessage);
  area->GoToNumber(-3);
  EXPECT_FALSE(area->LoadMessage());
  area->GoToNumber(100000);
  EXPECT_FALSE(area->LoadMessage());
  EXPECT_FALSE(area->DeleteMessage());
  ASSERT_TRUE(area->AddMessage());
  EXPECT_EQ(area->current, 13);
}

TEST_F(MsgAreaTest, NoNumberLeftAbove32767) {
  WriteFile(dir_.Join("32767.msg"), MessageFile("last", ""));
  auto area = Open();
  EXPECT_FALSE(area->AddMessage());
  EXPECT_EQ(area->status, kMsgErrorNoNumber);
  EXPECT_EQ(area->HighestNumber(), 32767);
}

// 40,000 entries, most of them numbered above what a message number can
// be: the scan takes the usable ones and the walk stays within them.
TEST_F(MsgAreaTest, FortyThousandEntriesAndNumbersAbove32767) {
  for (int n = 1; n <= 40000; ++n) {
    std::ofstream(dir_.Join(std::to_string(n) + ".msg"));
  }
  std::ofstream(dir_.Join("99999999999999999999.msg"));
  std::ofstream(dir_.Join("4294967297.msg"));
  Env::Default()->ForgetPathCache();
  auto area = Open();
  EXPECT_EQ(area->HighestNumber(), 32767);
  EXPECT_EQ(area->MessageCount(), 32767);
  EXPECT_FALSE(area->HasMessage(32768));
  area->GoTo(32766);
  EXPECT_EQ(area->current, 32766);
  area->GoNext();
  EXPECT_EQ(area->current, 32767);
  EXPECT_TRUE(area->LoadMessage());
  area->GoNext();
  EXPECT_FALSE(area->IsOnMessage());
  EXPECT_FALSE(area->AddMessage());
  EXPECT_EQ(area->status, kMsgErrorNoNumber);
}

// Message files that open only for reading.
TEST_F(MsgAreaTest, ReadOnlyStreamsStillLoad) {
  std::string original = MessageFile("a", std::string("x\r\0", 3));
  WriteFile(dir_.Join("1.msg"), original);
  auto area = Open();
  FaultEnv faults(Env::Default());
  faults.DenyAccess("*", /*writes_only=*/true);
  std::optional<ScopedEnv> scoped(&faults);
  area->GoTo(1);
  bool loaded = area->LoadMessage();
  area->SetSubject("changed");
  bool stored = area->StoreMessage();
  int32_t store_status = area->status;
  bool added = area->AddMessage();
  scoped.reset();
  EXPECT_TRUE(loaded);
  EXPECT_FALSE(stored);
  EXPECT_EQ(store_status, kMsgErrorWriteFailed);
  EXPECT_FALSE(added);
  EXPECT_EQ(area->status, kMsgErrorOpenFailed);
  EXPECT_EQ(ReadFile(dir_.Join("1.msg")), original);
}

TEST_F(MsgAreaTest, Attributes) {
  auto area = Open();
  ASSERT_TRUE(area->AddMessage());
  area->SetAttribute(kAttrSca, true);
  EXPECT_FALSE(area->HasAttribute(kAttrSca));
  area->SetAttribute(kAttrFRq, true);
  EXPECT_EQ(area->header().attribute, 0x0800);
  EXPECT_TRUE(area->HasAttribute(kAttrFRq));
  area->SetAttribute(kAttrURq, true);
  area->SetAttribute(kAttrPvt | kAttrCra, true);  // not one code: ignored
  EXPECT_EQ(area->header().attribute, 0x8800);
  area->SetAttribute(kAttrFRq, false);
  EXPECT_EQ(area->header().attribute, 0x8000);
  EXPECT_EQ(MsgAttributeBit(kAttrRRq), 0x1000);
  EXPECT_EQ(MsgAttributeBit(kAttrRRc), 0x2000);
  EXPECT_EQ(MsgAttributeBit(kAttrARq), 0x4000);
  EXPECT_EQ(MsgAttributeBit(kAttrHld), 0x0200);
}

TEST(MsgDateTest, ReadFormsWideningAndWrittenForm) {
  const struct {
    const char* text;
    DateTimeRecord date;
  } reads[] = {
      {"05 Jan 01  13:07:09", Date(2001, 1, 5, 13, 7, 9)},
      {"Fri  5 Jan 01 13:07", Date(2001, 1, 5, 13, 7, 0)},
      {"05-01-01 13:07:09", Date(2001, 1, 5, 13, 7, 9)},
      {"05 Jan 71  13:07:09", Date(1971, 1, 5, 13, 7, 9)},
      {"05 Jan 70  13:07:09", Date(2070, 1, 5, 13, 7, 9)},
      {"06 Dec 26  19:54:32", Date(2026, 12, 6, 19, 54, 32)},
      {"05 Foo 01 13:07:09", Date(2001, 0, 5, 13, 7, 9)},
      {"", Date(2000, 0, 0)},
      {"garbage", Date(2000, 0, 0)},
  };
  for (const auto& r : reads) {
    DateTimeRecord dt;
    ParseMsgDate(r.text, &dt);
    EXPECT_EQ(dt, r.date) << r.text;
  }
  DateTimeRecord dt;
  ParseMsgDate("05 Jan 2001  13:07:09", &dt);
  EXPECT_EQ(dt.year, 2001) << "a year written in full is kept";
  EXPECT_EQ(FormatMsgDate(Date(2001, 1, 5, 13, 7, 9)), "05 Jan 01  13:07:09");
  EXPECT_EQ(FormatMsgDate(Date(1999, 12, 31, 23, 59, 59)),
            "31 Dec 99  23:59:59");
  EXPECT_EQ(FormatMsgDate(Date(1950, 6, 1, 1, 2, 3)), "01 Jan 71  00:00:00");
  EXPECT_EQ(FormatMsgDate(Date(2099, 6, 1, 1, 2, 3)), "31 Dec 70  23:59:59");
}

TEST_F(MsgAreaTest, LastReadPointers) {
  auto area = Open();
  EXPECT_EQ(area->LoadLastRead(0), 0);
  WriteFile(dir_.Join("lastread"), std::string("\x01\x00\x02\x00\x03\x00", 6));
  EXPECT_EQ(area->LoadLastRead(3), 0);
  EXPECT_EQ(area->LoadLastRead(2), 3);
  WriteFile(dir_.Join("lastread"),
            std::string("\x01\x00\x02\x00\x03\x00\x34\x12", 8));
  EXPECT_EQ(area->LoadLastRead(3), 0x1234);
  EXPECT_TRUE(area->StoreLastRead(5, 0xFFFF));
  EXPECT_EQ(
      ReadFile(dir_.Join("lastread")),
      std::string("\x01\x00\x02\x00\x03\x00\x34\x12\x00\x00\xFF\xFF", 12));
  EXPECT_EQ(area->LoadLastRead(5), 65535);
  EXPECT_EQ(area->LoadLastRead(-1), 0);
  EXPECT_FALSE(area->StoreLastRead(-1, 1));
  std::filesystem::remove(dir_.Join("lastread"));
  Env::Default()->ForgetPathCache();
  EXPECT_TRUE(area->StoreLastRead(0, 7));
  EXPECT_EQ(ReadFile(dir_.Join("lastread")), std::string("\x07\x00", 2));
}

TEST_F(MsgAreaTest, NewMessagesNeverReplaceFilesOfOtherWriters) {
  WriteFile(dir_.Join("1.msg"), MessageFile("ours", std::string(1, '\0')));
  auto area = Open();
  ASSERT_EQ(area->HighestNumber(), 1);
  // Written behind the open area's back, the way a tosser adds messages
  // (the path cache is not told); one of them in another letter case.
  const std::string tossed2 =
      MessageFile("tosser", "two\r" + std::string(1, '\0'));
  const std::string tossed3 =
      MessageFile("tosser", "three\r" + std::string(1, '\0'));
  std::ofstream(dir_.Join("2.msg"), std::ios::binary) << tossed2;
  std::ofstream(dir_.Join("3.MSG"), std::ios::binary) << tossed3;

  ASSERT_TRUE(area->AddMessage());
  EXPECT_EQ(area->current, 4) << "rescanned after finding 2 taken";
  EXPECT_EQ(area->HighestNumber(), 4);
  EXPECT_EQ(area->MessageCount(), 3);
  ASSERT_TRUE(area->WriteLine("posted"));
  ASSERT_TRUE(area->StoreMessage());
  ASSERT_TRUE(area->ReleaseMessage());
  EXPECT_EQ(ReadFile(dir_.Join("2.msg")), tossed2);
  EXPECT_EQ(ReadFile(dir_.Join("3.MSG")), tossed3);
  EXPECT_FALSE(std::filesystem::exists(dir_.Join("3.msg")));
  ASSERT_TRUE(std::filesystem::exists(dir_.Join("4.msg")));

  // A number that cannot be created for another reason is a failure, not a
  // hunt for numbers.
  std::filesystem::create_directory(dir_.Join("5.msg"));
  if (!testing_support::RunningAsRoot()) {
    std::filesystem::permissions(dir_.Join(""),
                                 std::filesystem::perms::owner_read |
                                     std::filesystem::perms::owner_exec);
    EXPECT_FALSE(area->AddMessage()) << "5 is taken and 6 cannot be made";
    std::filesystem::permissions(dir_.Join(""),
                                 std::filesystem::perms::owner_all);
  }
  ASSERT_TRUE(area->AddMessage());
  EXPECT_EQ(area->current, 6);
}

// Another writer that stores two messages while this one reads the
// directory (a listing of many files takes longer than a store).
class RacingScanner : public EnvWrapper {
 public:
  RacingScanner() : EnvWrapper(Env::Default()) {}
  static std::string dir;
  static int highest;  // the other writer's last message number
  static int scans;
  struct Search : FileSearch {
    std::unique_ptr<FileSearch> inner;
    bool listing = false;  // not a test of one name
    bool Start(std::string_view p, uint8_t m, FoundEntry* e) override {
      listing = p.find('*') != std::string_view::npos;
      return inner->Start(p, m, e);
    }
    bool Next(FoundEntry* e) override { return inner->Next(e); }
    void End() override {
      inner->End();
      if (!listing) return;
      ++scans;
      for (int i = 0; i < 2; ++i) {
        WriteFile(dir + "/" + std::to_string(++highest) + ".msg",
                  MessageFile("other", std::string(1, '\0')));
      }
    }
  };
  std::unique_ptr<FileSearch> NewFileSearch() override {
    auto search = std::make_unique<Search>();
    search->inner = target()->NewFileSearch();
    return search;
  }
};
std::string RacingScanner::dir;
int RacingScanner::highest = 0;
int RacingScanner::scans = 0;

TEST_F(MsgAreaTest, AWriterFasterThanAScanIsOvertaken) {
  WriteFile(dir_.Join("1.msg"), MessageFile("ours", std::string(1, '\0')));
  auto area = Open();
  WriteFile(dir_.Join("2.msg"), MessageFile("other", std::string(1, '\0')));
  RacingScanner::dir = dir_.Join("");
  RacingScanner::highest = 2;
  RacingScanner::scans = 0;
  RacingScanner racing;
  std::optional<ScopedEnv> scoped(&racing);
  const bool added = area->AddMessage();
  scoped.reset();
  ASSERT_TRUE(added) << "after " << RacingScanner::scans << " scans";
  EXPECT_GT(area->current, 2);
  EXPECT_TRUE(area->StoreMessage());
  for (int n = 2; n <= RacingScanner::highest; ++n) {
    if (n == area->current) continue;
    EXPECT_EQ(ReadFile(dir_.Join(std::to_string(n) + ".msg")),
              MessageFile("other", std::string(1, '\0')));
  }
}

TEST_F(MsgAreaTest, OpenAndCreate) {
  MsgArea area(dir_.Join("missing"));
  EXPECT_FALSE(area.OpenArea(dir_.Join("missing")));
  EXPECT_EQ(area.status, kMsgErrorNoArea);
  EXPECT_FALSE(area.isOpen);
  ASSERT_TRUE(area.CreateArea(dir_.Join("missing")));
  EXPECT_TRUE(area.isOpen);
  EXPECT_EQ(area.area_path().back(), '\\');
  area.CloseArea();
  EXPECT_TRUE(area.area_path().empty());
  EXPECT_FALSE(area.CreateArea(dir_.Join("missing")))
      << "an existing directory is not created again";
}

}  // namespace
}  // namespace kavel
