#include "msgbase/formats/jam_area.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "msgbase/formats/jam_crc.h"
#include "msgbase/test_support.h"
#include "platform/env.h"
#include "platform/fault_env.h"
#include "platform/platform.h"
#include "util/coding.h"

namespace kavel {
namespace {

using testing_support::ClockAt;

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
    clock_env_.set_clock([] { return ClockAt(2001, 1, 5, 13, 7, 9); });
  }
  FakeClockEnv clock_env_{Env::Default()};
  ScopedEnv scoped_clock_{&clock_env_};

  std::string Base() { return dir_.Join("echo"); }
  std::string File(const std::string& name) { return dir_.ReadFile(name); }
  void Put(const std::string& name, const std::string& bytes) {
    dir_.WriteFile(name, bytes);
    CurrentEnv()->ForgetPathCache();
  }
  void Patch(const std::string& name, size_t offset, const std::string& bytes) {
    std::string content = File(name);
    content.replace(offset, bytes.size(), bytes);
    Put(name, content);
  }
  uint32_t At(const std::string& name, size_t offset) {
    return DecodeFixed32(reinterpret_cast<const uint8_t*>(File(name).data()) +
                         offset);
  }

  static void Post(JamArea* area, const std::string& subject) {
    ASSERT_TRUE(area->AddMessage());
    area->SetToName("All");
    area->SetSubject(subject);
    area->WriteLine("Text");
    ASSERT_TRUE(area->StoreMessage());
    area->ReleaseMessage();
  }
  // A base of `count` messages with subjects "Message 1" ...
  void MakeBase(int count) {
    JamArea area("");
    ASSERT_TRUE(area.CreateArea(Base()));
    for (int i = 1; i <= count; ++i)
      Post(&area, "Message " + std::to_string(i));
  }
  // Numbers the walk GoTo(1) / GoNext visits.
  static std::vector<int> Walk(JamArea* area) {
    std::vector<int> numbers;
    for (area->GoTo(1); area->IsOnMessage(); area->GoNext()) {
      numbers.push_back(area->CurrentNumber());
    }
    return numbers;
  }

  TempDirForTesting dir_;
};

// The worked example: subfield order 2, 0, 3, 1, 4, 2001, INTL dropped,
// the text file receives "Hello" and a CR; first message figures.
TEST_F(JamAreaTest, FirstMessageBytes) {
  JamArea area("");
  ASSERT_TRUE(area.CreateArea(Base()));
  ASSERT_TRUE(area.AddMessage());
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
  std::string subfields =
      Subfield(2, "Ivan Petrov") + Subfield(0, "2:5020/2.0") +
      Subfield(3, "All") + Subfield(1, "2:5020/1.0") +
      Subfield(4, "2:5020/1 1234abcd") + Subfield(2001, "5020/1");
  std::string header = std::string("JAM\0", 4) + "\x01" + std::string(3, '\0') +
                       Le32(static_cast<uint32_t>(subfields.size())) + Le32(0) +
                       Le32(JamCrc("2:5020/1 1234abcd")) + Le32(0xFFFFFFFF) +
                       Le32(0) + Le32(0) + Le32(0) + Le32(kClockSeconds) +
                       Le32(0) + Le32(0) + Le32(1) + Le32(0x00000001) +
                       Le32(0) + Le32(0) + Le32(6) + Le32(0xFFFFFFFF) + Le32(0);
  std::string jhr = File("echo.jhr");
  EXPECT_EQ(jhr.substr(1024), header + subfields);
  EXPECT_EQ(At("echo.jhr", 12), 1u);  // activeMessages
  EXPECT_EQ(File("echo.jdx"), Le32(JamCrc("All")) + Le32(1024));
  EXPECT_EQ(File("echo.jdt"), "Hello\r");
}

// Deleting marks the header and empties the index record; emptied records
// and headers marked deleted hide their messages, reading changes nothing,
// and a new message goes after the last record.
TEST_F(JamAreaTest, DeletedAndEmptyRecordsAreSkipped) {
  MakeBase(4);
  JamArea area("");
  ASSERT_TRUE(area.OpenArea(Base()));
  area.GoTo(2);
  ASSERT_TRUE(area.LoadMessage());
  const uint32_t header = At("echo.jdx", 8 + 4);
  ASSERT_TRUE(area.DeleteMessage());
  area.CloseArea();
  EXPECT_EQ(File("echo.jdx").substr(8, 8), std::string(8, '\xFF'));
  EXPECT_EQ(At("echo.jhr", header + 52) & kJamAttrDeleted, kJamAttrDeleted);
  Patch("echo.jhr", At("echo.jdx", 2 * 8 + 4) + 52, Le32(0x80000001));
  const auto before = testing_support::DirectorySnapshot(dir_.path());
  ASSERT_TRUE(area.OpenArea(Base()));
  EXPECT_EQ(Walk(&area), (std::vector<int>{1, 4}));
  area.GoToNumber(2);
  EXPECT_FALSE(area.LoadMessage());
  EXPECT_EQ(area.status, kJamErrorHeaderOffset);
  area.CloseArea();
  EXPECT_EQ(testing_support::DirectorySnapshot(dir_.path()), before);
  ASSERT_TRUE(area.OpenArea(Base()));
  Post(&area, "Message 5");
  EXPECT_EQ(Walk(&area), (std::vector<int>{1, 4, 5}));
}

// The base header cannot be read again under the lock: another writer cut
// the header file below it, or its reads fail. The update answers no and
// writes nothing over what the other writer left.
TEST_F(JamAreaTest, UpdateFailsWhenTheBaseHeaderCannotBeReadAgain) {
  for (const bool cut : {true, false}) {
    SCOPED_TRACE(cut ? "cut by another writer" : "reads failing");
    for (const char* ext : {".jhr", ".jdx", ".jdt", ".jlr"}) {
      std::filesystem::remove(dir_.Join(std::string("echo") + ext));
    }
    CurrentEnv()->ForgetPathCache();
    MakeBase(1);
    FaultEnv faults(CurrentEnv());
    ScopedEnv scoped(&faults);
    JamArea area("");
    ASSERT_TRUE(area.OpenArea(Base()));
    ASSERT_TRUE(area.AddMessage());
    area.WriteLine("Text");
    if (cut) {
      std::filesystem::resize_file(dir_.Join("echo.jhr"), 100);
    } else {
      faults.FailReads("echo.jhr");
    }
    const auto before = testing_support::DirectorySnapshot(dir_.path());
    EXPECT_FALSE(area.StoreMessage());
    EXPECT_EQ(area.status, kJamErrorOpenHeaderFile);
    area.CloseArea();
    EXPECT_EQ(testing_support::DirectorySnapshot(dir_.path()), before);
  }
}

TEST_F(JamAreaTest, DamagedOffsetsFailCleanly) {
  MakeBase(2);
  const std::string jhr = File("echo.jhr");
  const std::string jdx = File("echo.jdx");
  const uint32_t second = At("echo.jdx", 12);
  const uint32_t size = static_cast<uint32_t>(jhr.size());
  const struct {
    const char* file;
    size_t offset;
    uint32_t value;
    int32_t status;  // 0: loads
  } cases[] = {
      {"echo.jdx", 12, size, kJamErrorHeaderOffset},
      {"echo.jdx", 12, 0x7FFFFFFF, kJamErrorHeaderOffset},
      {"echo.jhr", second + 60, 1000, kJamErrorTextOffset},
      {"echo.jhr", second + 64, 0x7FFFFFFF, 0},      // textLength
      {"echo.jhr", second + 76 + 4, 0x7FFFFFF0, 0},  // first dataLength
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " @" + std::to_string(c.offset));
    Put("echo.jhr", jhr);
    Put("echo.jdx", jdx);
    Patch(c.file, c.offset, Le32(c.value));
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
  }
}

TEST_F(JamAreaTest, AttributesAndMessageKinds) {
  JamArea area("");
  ASSERT_TRUE(area.CreateArea(Base()));
  // Echomail, netmail and local areas mark each message with their kind.
  const uint32_t kinds[][2] = {
      {0, 0}, {1, 0x02000000}, {2, 0x01000000}, {4, 0x00800000}};
  for (const auto& k : kinds) {
    area.SetAreaFlag(7, false);
    area.SetAreaFlag(k[0], true);
    ASSERT_TRUE(area.AddMessage());
    area.SetAttribute(kAttrPvt, true);
    ASSERT_TRUE(area.StoreMessage());
    EXPECT_EQ(area.message_header().attribute, 0x00000004u | k[1]);
  }
}

}  // namespace
}  // namespace kavel
