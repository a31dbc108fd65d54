#include "decoding/decode_state.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/temp_dir_for_testing.h"

namespace kavel {
namespace {

DecodeState Sample() {
  DecodeState state;
  state.SetPosition("ECHO", AreaPosition{12, 983000000, 7, 982000000});
  state.SetPosition("NET", AreaPosition{});
  state.Put("ECHO|S|A.ZIP|2|1|2:5020/1 1a2b\t3c", "p:txt\\echo\\a.zip", 100);
  state.Put("ECHO|F|@983000000|1", "d", 200);
  return state;
}

TEST(DecodeStateTest, DamagedFilesReadAsEmpty) {
  const std::string good = Sample().Serialize();
  const std::string cases[] = {
      "",
      good.substr(0, good.size() - 1),               // END line without LF
      good + "E\t1\tkey\tvalue\n",                   // trailing record
      "KAVEL-STATE\t1\nA\tX\t1\t2\t3\tz\nEND\t1\n",  // not a number
      "KAVEL-STATE\t1\nE\t1\t\tv\nEND\t1\n",         // empty key
  };
  for (const std::string& bytes : cases) {
    SCOPED_TRACE(bytes);
    DecodeState state = Sample();
    EXPECT_FALSE(state.Parse(bytes));
    EXPECT_EQ(state.Serialize(), "KAVEL-STATE\t1\nEND\t0\n");
  }
}

TEST(DecodeStateTest, SavedLoadedAndAged) {
  TempDirForTesting dir;
  const std::string path = dir.path() + "/kavel.state";
  DecodeState state;
  ASSERT_TRUE(Sample().Save(path));
  EXPECT_EQ(state.Load(path), DecodeState::LoadResult::kLoaded);
  EXPECT_EQ(state.Serialize(), Sample().Serialize());
  // A TAB in a key is stored as a blank; the key is found either way.
  const DecodeState::Entry* e = state.Find("ECHO|S|A.ZIP|2|1|2:5020/1 1a2b 3c");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->value, "p:txt\\echo\\a.zip");
  state.DropRecordedBefore(150);
  EXPECT_TRUE(state.changed());
  EXPECT_EQ(state.entry_count(), 1u);
  AreaPosition p;
  EXPECT_TRUE(state.FindPosition("NET", &p));  // positions stay
}

}  // namespace
}  // namespace kavel
