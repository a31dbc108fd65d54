// Damaged Squish bases fail cleanly (no hang, crash or write), and long
// sequences of adds, deletes and rewrites keep both frame chains sound.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "msgbase/byte_stream.h"
#include "msgbase/formats/squish_area.h"
#include "msgbase/formats/squish_checker_for_testing.h"
#include "platform/temp_dir_for_testing.h"
#include "util/coding.h"

namespace kavel {
namespace {

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
  t->Seek(0);
  t->Truncate();
  for (size_t done = 0; done < bytes.size();) {
    uint16_t n =
        static_cast<uint16_t>(std::min<size_t>(bytes.size() - done, 60000));
    t->Write(bytes.data() + done, n);
    done += n;
  }
}

class SquishIntegrityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallStreamFactories();
    base_ = dir_.Join("area");
  }
  std::string Data() const { return dir_.ReadFile("area.sqd"); }
  std::string Index() const { return dir_.ReadFile("area.sqi"); }
  std::string Check() const {
    return CheckSquishBase(dir_.Join("area.sqd"), dir_.Join("area.sqi"));
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

TEST_F(SquishIntegrityTest, CutFilesFailCleanly) {
  MakeThree();
  const std::string data = Data();
  const std::string index = Index();
  for (size_t cut = 0; cut < data.size(); cut += 5) {
    SCOPED_TRACE(cut);
    dir_.WriteFile("area.sqd", data.substr(0, cut));
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
  dir_.WriteFile("area.sqd", data);
  for (size_t cut = 0; cut < index.size(); ++cut) {
    dir_.WriteFile("area.sqi", index.substr(0, cut));
    SquishArea area(base_);
    ASSERT_TRUE(area.OpenArea(base_));
    EXPECT_EQ(area.MessageCount(), static_cast<int32_t>(cut / 12));
    for (int32_t n = 1; n <= area.MessageCount(); ++n) {
      area.current = n;
      EXPECT_TRUE(area.LoadMessage());
    }
  }
}

TEST_F(SquishIntegrityTest, HugeAndInconsistentLengthsAreRefused) {
  const std::vector<uint32_t> frames = MakeThree();
  const std::string good = Data();
  struct Case {
    size_t field;  // offset in the frame header
    uint32_t value;
    int32_t status;
  };
  const Case cases[] = {
      {20, 0xFFFFFFF0u, kSquishErrorFrame},  // controlLength
      {20, 70000, kSquishErrorFrame},        // beyond the control limit
      {16, 0x7FFFFFFFu, kSquishErrorFrame},  // messageLength
      {12, 10, kSquishErrorFrame},           // frameLength < messageLength
      {16, 100, kSquishErrorFrame},          // message shorter than header
      {0, 0x12345678, kSquishErrorSignature},
      {24, 1, kSquishErrorFrame},  // a free frame in the index
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    dir_.WriteFile("area.sqd", good);
    Patch32("area.sqd", frames[1] + c.field, c.field == 24 ? 1 : c.value);
    if (c.field == 12) {
      Patch32("area.sqd", frames[1] + 16, 300);
      Patch32("area.sqd", frames[1] + 12, 10);
    }
    SquishArea area(base_);
    ASSERT_TRUE(area.OpenArea(base_));
    area.current = 2;
    EXPECT_FALSE(area.LoadMessage());
    EXPECT_EQ(area.status, c.status);
    EXPECT_EQ(area.TextStream(), nullptr);
    area.current = 3;
    EXPECT_TRUE(area.LoadMessage());
    EXPECT_EQ(TextOf(&area), "three\r");
  }
}

TEST_F(SquishIntegrityTest, BadIndexOffsetsAndCountsAreRefused) {
  MakeThree();
  const std::string index = Index();
  const std::string data = Data();
  for (uint32_t offset :
       {0u, 100u, static_cast<uint32_t>(data.size()),
        static_cast<uint32_t>(data.size() - 10), 0xFFFFFFFFu}) {
    SCOPED_TRACE(offset);
    dir_.WriteFile("area.sqi", index);
    Patch32("area.sqi", 12, offset);
    SquishArea area(base_);
    ASSERT_TRUE(area.OpenArea(base_));
    area.current = 2;
    EXPECT_FALSE(area.LoadMessage());
  }
  dir_.WriteFile("area.sqi", index);
  Patch32("area.sqd", 4, 0xFFFFFFFFu);  // messageCount
  SquishArea area(base_);
  ASSERT_TRUE(area.OpenArea(base_));
  EXPECT_EQ(area.MessageCount(), 3);
  area.GoTo(4);
  EXPECT_FALSE(area.IsOnMessage());
}

TEST_F(SquishIntegrityTest, NewMessageNeverReusesAnIndexedUniqueNumber) {
  MakeThree();  // unique numbers 1, 2, 3; the header's next number is 4
  const std::string data = Data();
  const std::string index = Index();
  for (uint32_t next_uid : {0u, 1u, 3u}) {
    SCOPED_TRACE(next_uid);
    dir_.WriteFile("area.sqd", data);
    dir_.WriteFile("area.sqi", index);
    Patch32("area.sqd", 20, next_uid);
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
  dir_.WriteFile("area.sqd", data);
  dir_.WriteFile("area.sqi", index);
  Patch32("area.sqi", 12 * 2 + 4, 0xFFFFFFFFu);
  SquishArea area(base_);
  ASSERT_TRUE(area.OpenArea(base_));
  ASSERT_TRUE(area.AddMessage());
  PutText(&area, "four\r");
  EXPECT_FALSE(area.StoreMessage());
  area.ReleaseMessage();
  area.CloseArea();
  EXPECT_EQ(Data(), data);
}

TEST_F(SquishIntegrityTest, LoopedFreeChainEndsTheWalkWithoutWriting) {
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
  Patch32("area.sqd", frames[1] + 4, frames[0]);
  Patch32("area.sqd", frames[0] + 8, frames[1]);
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

TEST_F(SquishIntegrityTest, BrokenLinksMakeStoreAndDeleteAnswerNo) {
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
    dir_.WriteFile("area.sqd", good);
    dir_.WriteFile("area.sqi", index);
    Patch32("area.sqd", c.at, c.value);
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

TEST_F(SquishIntegrityTest, LegacyLayoutBaseIsReadAndWrittenInItsLayout) {
  {
    SquishArea area(base_);
    ASSERT_TRUE(area.CreateArea(base_));
  }
  std::string data = Data();
  EncodeFixed16(reinterpret_cast<uint8_t*>(data.data()) + 130, 240);
  dir_.WriteFile("area.sqd", data);
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
TEST_F(SquishIntegrityTest, RandomDeleteAndReuseKeepsTheChainsConsistent) {
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
