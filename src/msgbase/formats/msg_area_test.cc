#include "msgbase/formats/msg_area.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>

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

// A message file: header with the given sender, then text bytes as given.
std::string MessageFile(const std::string& from, const std::string& body) {
  MsgHeader header;
  header.fromName = from;
  header.toName = "All";
  header.subject = "Subj";
  header.dateTime = "05 Jan 01  13:07:09";
  uint8_t raw[MsgHeader::kEncodedSize];
  header.EncodeTo(raw);
  return std::string(reinterpret_cast<char*>(raw), sizeof raw) + body;
}

const std::string kEmpty(1, '\0');

class MsgAreaTest : public ::testing::Test {
 protected:
  std::unique_ptr<MsgArea> Open() {
    auto area = std::make_unique<MsgArea>(dir_.Join(""));
    EXPECT_TRUE(area->OpenArea(dir_.Join("")));
    return area;
  }
  void Put(const std::string& name, const std::string& bytes) {
    WriteFile(dir_.Join(name), bytes);
  }
  void StoreBesideAnotherWriter();
  TempDirForTesting dir_;
};

TEST_F(MsgAreaTest, ScanNavigationAndNumbering) {
  Put("3.msg", MessageFile("a", kEmpty));
  Put("10.MSG", MessageFile("b", kEmpty));
  auto area = Open();
  EXPECT_EQ(area->HighestNumber(), 10);
  area->GoTo(4);
  EXPECT_EQ(area->current, 10);
  ASSERT_TRUE(area->LoadMessage()) << "an upper-case name is found as it is";
  EXPECT_EQ(area->FromName(), "b");
  ASSERT_TRUE(area->AddMessage());
  EXPECT_EQ(area->current, 11);
  ASSERT_TRUE(area->StoreMessage());
  for (int32_t n : {-1, MsgArea::kNumberMapBits, 1 << 30}) {
    EXPECT_FALSE(area->HasMessage(n)) << n;
  }
}

TEST_F(MsgAreaTest, PostedMessageLayout) {
  auto area = Open();
  ASSERT_TRUE(area->AddMessage());
  ASSERT_TRUE(area->SetOrigAddress({2, 5020, 1, 5}, true));
  ASSERT_TRUE(area->SetDestAddress({2, 5020, 9999, 0}));
  area->SetFromName("Ivan Petrov");
  area->SetToName("All");
  area->SetSubject("HELLO.TXT (1/2)");
  area->SetDateWritten(Date(2001, 1, 5, 13, 7, 9));
  area->SetAttribute(kAttrLoc, true);
  ASSERT_TRUE(area->WriteLine("\x01PID: Kavel"));
  ASSERT_TRUE(area->WriteLine("Hello"));
  ASSERT_TRUE(area->StoreMessage());
  ASSERT_TRUE(area->ReleaseMessage());

  std::string bytes = ReadFile(dir_.Join("1.msg"));
  // Names, subject, date, dest/orig node and net, Loc; then the text.
  std::string header = std::string("Ivan Petrov") + std::string(25, '\0') +
                       "All" + std::string(33, '\0') + "HELLO.TXT (1/2)" +
                       std::string(57, '\0') + "05 Jan 01  13:07:09" +
                       std::string(3, '\0') +
                       std::string("\x0F\x27\x01\0\0\0\x9C\x13\x9C\x13", 10) +
                       std::string(10, '\0') + std::string("\x00\x01\0\0", 4);
  EXPECT_EQ(bytes.substr(0, 190), header);
  EXPECT_EQ(bytes.substr(190, 19), "\x01MSGID: 2:5020/1.5 ");
  EXPECT_EQ(bytes.substr(217), "\r\x01PID: Kavel\rHello\r" + kEmpty);
}

// Every field of the header comes back from its own offset.
TEST(MsgHeaderTest, EveryFieldRoundTrips) {
  MsgHeader h;
  h.fromName = "from";
  h.toName = "to";
  h.subject = "subject";
  h.dateTime = "05 Jan 01  13:07:09";
  uint16_t* numbers[] = {&h.timesRead, &h.destNode,  &h.origNode,
                         &h.cost,      &h.origNet,   &h.destNet,
                         &h.replyTo,   &h.attribute, &h.nextReply};
  for (uint16_t i = 0; i < 9; ++i)
    *numbers[i] = static_cast<uint16_t>(0x101 * (i + 1));
  for (uint8_t i = 0; i < 8; ++i)
    h.reserved[i] = static_cast<uint8_t>(0xA0 + i);
  uint8_t raw[MsgHeader::kEncodedSize];
  h.EncodeTo(raw);
  MsgHeader d;
  EXPECT_FALSE(d.DecodeFrom(raw, sizeof raw - 1));
  ASSERT_TRUE(d.DecodeFrom(raw, sizeof raw));
  EXPECT_EQ(std::tie(d.fromName, d.toName, d.subject, d.dateTime),
            std::tie(h.fromName, h.toName, h.subject, h.dateTime));
  EXPECT_EQ(std::tie(d.timesRead, d.destNode, d.origNode, d.cost, d.origNet,
                     d.destNet, d.replyTo, d.attribute, d.nextReply),
            std::tie(h.timesRead, h.destNode, h.origNode, h.cost, h.origNet,
                     h.destNet, h.replyTo, h.attribute, h.nextReply));
  EXPECT_EQ(d.reserved, h.reserved);
}

// Damaged and odd entries: the scan takes what is a message, loading gives
// what is there, and nothing reads past a field or the file.
TEST_F(MsgAreaTest, CorruptDirectoryStaysUsable) {
  Put("1.msg", "");                    // empty file
  Put("2.msg", std::string(50, 'h'));  // cut header
  Put("3.msg", MessageFile("c", "").substr(0, 190));
  Put("4.msg", MessageFile("ok", std::string("fine\r\0", 6)));
  Put("5.msg", std::string(190, 'Z') + "body" + kEmpty);  // no terminators
  Put("6.msg", MessageFile("z", std::string("ab\0c\0\0", 6)));
  Put("0012.msg", MessageFile("z", ""));  // leading zeros
  for (const char* name :
       {"40000.msg", "99999999999999999999.msg", "4294967304.msg", "0.msg",
        "abc.msg", ".msg", "-5.msg"}) {
    Put(name, MessageFile("bad", ""));
  }
  std::filesystem::create_directory(dir_.Join("7.msg"));  // not a file
  auto area = Open();
  EXPECT_EQ(area->MessageCount(), 7);
  EXPECT_EQ(area->HighestNumber(), 12);
  const struct {
    int number;
    std::string from;
    std::string text;
  } loads[] = {{1, "", ""},
               {2, std::string(36, 'h'), ""},
               {3, "c", ""},
               {4, "ok", "fine\r"},
               {5, std::string(36, 'Z'), "body"},
               {6, "z", std::string("ab\0c\0", 5)}};
  for (const auto& l : loads) {
    area->GoTo(l.number);
    ASSERT_TRUE(area->LoadMessage()) << l.number;
    EXPECT_EQ(area->FromName(), l.from) << l.number;
    EXPECT_EQ(TextOf(area.get()), l.text) << l.number;
  }
  area->GoTo(12);
  EXPECT_FALSE(area->LoadMessage());
  EXPECT_EQ(area->status, kMsgErrorOpenFailed);
  for (int n : {7, -3, 100000}) {
    area->GoToNumber(n);
    EXPECT_FALSE(area->LoadMessage());
  }
  ASSERT_TRUE(area->AddMessage());
  EXPECT_EQ(area->current, 13);
}

TEST(MsgDateTest, ReadFormsWideningAndWrittenForm) {
  const struct {
    const char* text;
    DateTimeRecord date;
  } reads[] = {
      {"05 Jan 01  13:07:09", Date(2001, 1, 5, 13, 7, 9)},
      {"05 Jan 71  13:07:09", Date(1971, 1, 5, 13, 7, 9)},
      {"05 Jan 70  13:07:09", Date(2070, 1, 5, 13, 7, 9)},
      {"", Date(2000, 0, 0)},
  };
  for (const auto& r : reads) {
    DateTimeRecord dt;
    ParseMsgDate(r.text, &dt);
    EXPECT_EQ(dt, r.date) << r.text;
  }
  EXPECT_EQ(FormatMsgDate(Date(1950, 6, 1, 1, 2, 3)), "01 Jan 71  00:00:00");
  EXPECT_EQ(FormatMsgDate(Date(2099, 6, 1, 1, 2, 3)), "31 Dec 70  23:59:59");
}

// "lastread": a 16-bit pointer per user, at twice the user's index; a
// later user's pointer leaves the earlier ones as they are.
TEST_F(MsgAreaTest, LastReadPointersAreTwoBytesEach) {
  auto area = Open();
  ASSERT_TRUE(area->StoreLastRead(0, 0x1234));
  ASSERT_TRUE(area->StoreLastRead(2, 70000));
  EXPECT_EQ(ReadFile(dir_.Join("lastread")),
            std::string("\x34\x12\0\0\xff\xff", 6));
  EXPECT_EQ(area->LoadLastRead(0), 0x1234);
  EXPECT_EQ(area->LoadLastRead(1), 0);
  EXPECT_EQ(area->LoadLastRead(2), 65535);
  // Users outside what the file's offsets can hold have no pointer.
  for (int32_t user : {-1, 0x3FFFFFFF}) {
    EXPECT_FALSE(area->StoreLastRead(user, 7)) << user;
    EXPECT_EQ(area->LoadLastRead(user), 0) << user;
  }
  EXPECT_EQ(ReadFile(dir_.Join("lastread")).size(), 6u);
}

// Stores next to another writer: new messages are linked from files
// without a name where the platform can, and renamed from scratch names
// under an Env that cannot make those (a wrapping one).
void MsgAreaTest::StoreBesideAnotherWriter() {
  Put("1.msg", MessageFile("ours", kEmpty));
  auto area = Open();
  // Written behind the open area's back, the way a tosser adds messages
  // (the path cache is not told); one of them in another letter case.
  const std::string tossed = MessageFile("tosser", "two\r" + kEmpty);
  std::ofstream(dir_.Join("2.msg"), std::ios::binary) << tossed;
  std::ofstream(dir_.Join("3.MSG"), std::ios::binary) << tossed;
  ASSERT_TRUE(area->AddMessage());
  ASSERT_TRUE(area->StoreMessage());
  EXPECT_EQ(area->current, 4) << "passed over 2 and 3, taken meanwhile";
  EXPECT_TRUE(dir_.Exists("4.msg"));
  EXPECT_EQ(ReadFile(dir_.Join("2.msg")), tossed);
  EXPECT_EQ(ReadFile(dir_.Join("3.MSG")), tossed);
  EXPECT_FALSE(dir_.Exists("3.msg"));
  // A message added but not stored has no file: deleting it leaves the one
  // another writer stored under its number.
  ASSERT_TRUE(area->AddMessage());
  ASSERT_EQ(area->current, 5);
  std::ofstream(dir_.Join("5.msg"), std::ios::binary) << tossed;
  EXPECT_TRUE(area->DeleteMessage());
  EXPECT_EQ(ReadFile(dir_.Join("5.msg")), tossed);
}

TEST_F(MsgAreaTest, NewMessagesNeverReplaceFilesOfOtherWriters) {
  StoreBesideAnotherWriter();
}

TEST_F(MsgAreaTest, NewMessagesFromScratchNamesNeverReplaceEither) {
  FaultEnv wrapper(Env::Default());
  ScopedEnv scoped(&wrapper);
  StoreBesideAnotherWriter();
  for (const auto& entry : std::filesystem::directory_iterator(dir_.Join(""))) {
    EXPECT_NE(entry.path().extension(), ".kv$") << entry.path();
  }
}

// Stored behind (a second thread writes while the next messages are made):
// a number another writer takes meanwhile passes the message on to the
// next, and the messages under way after it follow it in their order; a
// store that fails there is FinishStores' answer and gives its number up.
TEST_F(MsgAreaTest, StoredBehindAsAtOnce) {
  auto area = Open();
  area->SetStoreBehind(true);
  auto add = [&area](const std::string& line) {
    ASSERT_TRUE(area->AddMessage());
    area->SetFromName("us");
    area->WriteLine(line);
    ASSERT_TRUE(area->StoreMessage());
    area->ReleaseMessage();
  };
  add("one");  // stored at once: whether files without a name work here
  EXPECT_TRUE(dir_.Exists("1.msg"));
  const std::string tossed = MessageFile("tosser", "x\r" + kEmpty);
  ASSERT_TRUE(area->AddMessage());
  ASSERT_EQ(area->current, 2);
  Put("2.msg", tossed);  // behind the area's back
  area->WriteLine("two");
  ASSERT_TRUE(area->StoreMessage());
  area->ReleaseMessage();
  add("three");  // takes 3 while "two" is under way
  EXPECT_EQ(area->StoresUnderWay(), 2);
  EXPECT_TRUE(area->FinishStores());
  EXPECT_EQ(area->current, 5);
  EXPECT_EQ(ReadFile(dir_.Join("2.msg")), tossed);
  EXPECT_FALSE(dir_.Exists("3.msg")) << "given up for the order's sake";
  for (const auto& [name, text] :
       {std::pair{"1.msg", "one"}, {"4.msg", "two"}, {"5.msg", "three"}}) {
    const std::string bytes = ReadFile(dir_.Join(name));
    EXPECT_EQ(bytes.substr(MsgHeader::kEncodedSize),
              std::string(text) + "\r" + kEmpty)
        << name;
  }

  const std::string here = dir_.Join("");
  const std::string away = here.substr(0, here.size() - 1) + ".away";
  ASSERT_TRUE(area->AddMessage());
  std::filesystem::rename(here, away);
  area->WriteLine("five");
  ASSERT_TRUE(area->StoreMessage());
  area->ReleaseMessage();
  EXPECT_FALSE(area->FinishStores());
  EXPECT_EQ(area->status, kMsgErrorWriteFailed);
  EXPECT_FALSE(area->HasMessage(6));
  std::filesystem::rename(away, here);
  EXPECT_FALSE(dir_.Exists("6.msg"));
  area->CloseArea();
}

}  // namespace
}  // namespace kavel
