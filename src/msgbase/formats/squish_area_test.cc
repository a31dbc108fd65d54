#include "msgbase/formats/squish_area.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "msgbase/formats/squish_checker_for_testing.h"
#include "msgbase/test_support.h"
#include "platform/env.h"
#include "util/coding.h"

namespace kavel {
namespace {

using testing_support::Date;
using testing_support::PutText;
using testing_support::TextOf;

uint32_t U32(const std::string& bytes, size_t at) {
  return DecodeFixed32(reinterpret_cast<const uint8_t*>(bytes.data()) + at);
}

class SquishAreaTest : public ::testing::Test {
 protected:
  void SetUp() override { base_ = dir_.Join("foo"); }
  std::string Data() const { return dir_.ReadFile("foo.sqd"); }
  std::string Index() const { return dir_.ReadFile("foo.sqi"); }
  std::string Check() const {
    return CheckSquishBase(dir_.Join("foo.sqd"), dir_.Join("foo.sqi"));
  }
  void Store(SquishArea* area, std::string_view bytes) {
    ASSERT_TRUE(area->AddMessage());
    area->SetToName("All");
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
      Store(&area, t);
      frames.push_back(area.current_frame_offset());
    }
    return frames;
  }

  TempDirForTesting dir_;
  std::string base_;
};

TEST_F(SquishAreaTest, FirstStoredMessageGoldenBytes) {
  SquishArea area(base_);
  ASSERT_TRUE(area.CreateArea(base_));
  ASSERT_TRUE(area.AddMessage());
  area.SetFromName("Ivan");
  area.SetToName("All");
  area.SetSubject("Test");
  area.SetDateWritten(Date(2001, 1, 5, 13, 7, 9));
  area.SetDateArrived(Date(2001, 1, 5, 13, 7, 9));
  area.SetAttribute(kAttrRRc, true);
  area.SetAttribute(kAttrSca, true);
  ASSERT_TRUE(area.WriteLine("\x01MSGID: 1:2/3 1"));
  ASSERT_TRUE(area.WriteLine("\x01PID: x"));
  ASSERT_TRUE(area.WriteLine("Hi"));
  ASSERT_TRUE(area.StoreMessage());
  area.CloseArea();

  const std::string data = Data();
  ASSERT_EQ(data.size(), 549u);
  EXPECT_EQ(data.substr(256, 28), std::string("\x53\x44\xAE\xAF"
                                              "\0\0\0\0"
                                              "\0\0\0\0"
                                              "\x09\x01\0\0"
                                              "\x09\x01\0\0"
                                              "\x17\0\0\0"
                                              "\0\0\0\0",
                                              28));
  // Message header at 284: attributes (Uid, RRc, Sca), names, the origin
  // from the MSGID, the dates, uniqueId, the FTS date.
  EXPECT_EQ(U32(data, 284), 0x00022000u | 0x10000u);
  EXPECT_EQ(data.substr(284 + 148, 6), std::string("\1\0\2\0\3\0", 6));
  EXPECT_EQ(data.substr(284 + 164, 8), "\x25\x2A\xE4\x68\x25\x2A\xE4\x68");
  EXPECT_EQ(data.substr(284 + 218, 20),
            std::string("05 Jan 01  13:07:09\0", 20));
  EXPECT_EQ(data.substr(522),
            std::string("\x01MSGID: 1:2/3 1\x01PID: x\0Hi\r\0", 27));
  EXPECT_EQ(Index(), std::string("\x00\x01\0\0\x01\0\0\0\x2C\x68\0\0", 12));
  EXPECT_EQ(Check(), "");
}

// Leading kludges go to the control block as far as it holds them; the
// rest stays in the text, and every text reads back as stored.
TEST_F(SquishAreaTest, KludgesFillTheControlBlockAndTextsRoundTrip) {
  std::string big;
  for (int i = 0; big.size() < 70000; ++i) {
    big += "line " + std::to_string(i) + "\r";
  }
  auto kludge = [](size_t length, char fill) {
    return '\x01' + std::string(length, fill) + '\r';
  };
  std::string full;  // exactly the largest block, and one byte more
  for (int i = 0; i < 4; ++i) full += kludge(15999, 'f');
  const std::string fuller = full + kludge(1518, 'g') + "body\r";
  full += kludge(1517, 'g') + "body\r";
  const struct {
    std::string text;
    uint32_t control;
  } cases[] = {
      {"", 1},
      {"\x01MSGID: 1:2/3 1\r" + big, 16},  // more than 64 KB
      {full, kSquishMaxControlLength},
      {fuller, 64001},
  };
  SquishArea area(base_);
  ASSERT_TRUE(area.CreateArea(base_));
  for (const auto& c : cases) {
    Store(&area, c.text);
    EXPECT_EQ(area.frame_header().controlLength, c.control);
  }
  area.CloseArea();
  EXPECT_EQ(Check(), "");
  ASSERT_TRUE(area.OpenArea(base_));
  int32_t position = 0;
  for (const auto& c : cases) EXPECT_EQ(Load(&area, ++position), c.text);
}

// One field of a base of three patched: loading, storing or deleting
// message 2 answers no with the status given, and writes nothing.
TEST_F(SquishAreaTest, DamagedFieldsAreRefused) {
  const std::vector<uint32_t> f = MakeThree();
  const std::string data = Data();
  const std::string index = Index();
  enum Op { kLoad, kStore, kDelete };
  const struct {
    const char* file;
    size_t at;
    uint32_t value;
    Op op;
    int32_t status;  // 0: any
  } cases[] = {
      {"foo.sqd", f[1] + 20, 0xFFFFFFF0u, kLoad, kSquishErrorFrame},
      {"foo.sqd", f[1] + 12, 10, kLoad, kSquishErrorFrame},
      {"foo.sqd", f[1], 0x12345678, kLoad, kSquishErrorSignature},
      {"foo.sqi", 12, 0, kLoad, 0},
      {"foo.sqd", 108, 0x7FFFFFF0u, kStore, kSquishErrorFrame},
      {"foo.sqd", f[1] + 8, 0, kDelete, kSquishErrorFrame},
      {"foo.sqd", f[0] + 4, f[2], kDelete, kSquishErrorFrame},
      {"foo.sqi", 28, ~0u, kStore, 0},  // no unique number left
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " @" + std::to_string(c.at));
    dir_.WriteFile("foo.sqd", data);
    dir_.WriteFile("foo.sqi", index);
    Patch32(c.file, c.at, c.value);
    const std::string before = Data() + "|" + Index();
    SquishArea area(base_);
    ASSERT_TRUE(area.OpenArea(base_));
    area.current = 2;
    if (c.op == kLoad) {
      EXPECT_FALSE(area.LoadMessage());
      EXPECT_EQ(area.TextStream(), nullptr);
    } else if (c.op == kStore) {
      ASSERT_TRUE(area.AddMessage());
      PutText(&area, "new\r");
      EXPECT_FALSE(area.StoreMessage());
    } else {
      EXPECT_FALSE(area.DeleteMessage());
    }
    if (c.status != 0) {
      EXPECT_EQ(area.status, c.status);
    }
    area.ReleaseMessage();
    EXPECT_EQ(Load(&area, 3), "three\r");
    area.CloseArea();
    EXPECT_EQ((Data() + "|" + Index()).substr(256), before.substr(256));
  }
}

TEST_F(SquishAreaTest, NewMessageNeverReusesAnIndexedUniqueNumber) {
  MakeThree();
  Patch32("foo.sqd", 20, 0);  // nextUid below the numbers in use
  SquishArea area(base_);
  ASSERT_TRUE(area.OpenArea(base_));
  Store(&area, "four\r");
  EXPECT_EQ(area.CurrentNumber(), 4);
  // Another writer stores while this handle stays open and leaves the next
  // number as it found it: the count tells that the index changed.
  {
    SquishArea other(base_);
    ASSERT_TRUE(other.OpenArea(base_));
    Store(&other, "five\r");
    EXPECT_EQ(other.CurrentNumber(), 5);
  }
  Patch32("foo.sqd", 20, 5);
  Store(&area, "six\r");
  EXPECT_EQ(area.CurrentNumber(), 6);
  Store(&area, "seven\r");
  EXPECT_EQ(area.CurrentNumber(), 7);
  area.CloseArea();
  EXPECT_EQ(Check(), "");
}

// Numbers found by number whether the index holds them ascending (as
// writers give them) or not (here the first two records swapped).
TEST_F(SquishAreaTest, MessagesAreFoundByNumberInEitherIndexOrder) {
  MakeThree();
  for (const bool swapped : {false, true}) {
    if (swapped) {
      std::string index = Index();
      std::swap_ranges(index.begin(), index.begin() + 12, index.begin() + 12);
      dir_.WriteFile("foo.sqi", index);
    }
    SquishArea area(base_);
    ASSERT_TRUE(area.OpenArea(base_));
    for (const auto& [number, text] : {std::pair{2, "two\r"}, {1, "one\r"}}) {
      area.GoToNumber(number);
      ASSERT_TRUE(area.LoadMessage()) << swapped << number;
      EXPECT_NE(TextOf(&area).find(text), std::string::npos) << swapped;
      EXPECT_EQ(area.current, swapped ? 3 - number : number);
    }
  }
}

// Random adds, deletes and rewrites; after each step the checker walks the
// whole base and every message reads back as modelled.
TEST_F(SquishAreaTest, RandomDeleteAndReuseKeepsTheChainsConsistent) {
  struct Model {
    int32_t uid;
    std::string text;
  };
  std::vector<Model> model;
  std::mt19937 rng(20240101);
  auto random_text = [&](int serial) {
    std::string t = "\x01MSGID: 2:5020/1 " + std::to_string(serial) + "\r";
    for (uint32_t i = rng() % 40; i > 0; --i) {
      t += std::string(rng() % 70, static_cast<char>('a' + rng() % 26)) + "\r";
    }
    return t;
  };
  auto area = std::make_unique<SquishArea>(base_);
  ASSERT_TRUE(area->CreateArea(base_));
  int reused = 0;
  for (int step = 0; step < 300; ++step) {
    SCOPED_TRACE(step);
    const uint32_t op = rng() % 10;
    size_t which = model.empty() ? 0 : rng() % model.size();
    const bool add = op < 5 || model.empty();
    if (add) {
      ASSERT_TRUE(area->AddMessage());
      model.push_back(
          {static_cast<int32_t>(area->message_header().uniqueId), ""});
      which = model.size() - 1;
    } else if (op < 8) {
      area->current = static_cast<int32_t>(which + 1);
      ASSERT_TRUE(area->DeleteMessage());
      model.erase(model.begin() + static_cast<std::ptrdiff_t>(which));
    } else {
      area->current = static_cast<int32_t>(which + 1);
      ASSERT_TRUE(area->LoadMessage());
    }
    if (add || op >= 8) {
      model[which].text = random_text(step);
      PutText(area.get(), model[which].text);
      const uint32_t end = area->base_header().endOfData;
      ASSERT_TRUE(area->StoreMessage());
      if (add && area->current_frame_offset() < end) ++reused;
    }
    ASSERT_EQ(Check(), "");
    ASSERT_EQ(area->MessageCount(), static_cast<int32_t>(model.size()));
    for (size_t i = 0; i < model.size(); ++i) {
      area->GoToNumber(model[i].uid);
      ASSERT_EQ(area->current, static_cast<int32_t>(i + 1));
      ASSERT_TRUE(area->LoadMessage());
      ASSERT_EQ(TextOf(area.get()), model[i].text);
    }
  }
  EXPECT_GT(reused, 10);
}

}  // namespace
}  // namespace kavel
