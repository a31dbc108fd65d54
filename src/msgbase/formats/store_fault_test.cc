// Faults while messages are stored, in every format, through FaultEnv:
// each write of a store refused in turn, and the disk full from each write
// on. (A kill at each change is run against the program itself.) Afterwards the
// base opens, the messages stored before load intact, a store that answered no
// left nothing readable behind, and the base takes new messages again.
// (Read-only and vanishing bases are run against the program itself.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "msgbase/byte_stream.h"
#include "msgbase/formats/squish_checker_for_testing.h"
#include "msgbase/message_area.h"
#include "msgbase/message_text.h"
#include "msgbase/test_support.h"
#include "platform/fault_env.h"

namespace kavel {
namespace {

// Text of the i-th test message: two kludge lines, then lines enough to
// span several file buffers.
std::string MessageText(int i) {
  char serial[16];
  std::snprintf(serial, sizeof serial, "%08x", 0x4b1d0000 + i);
  std::string text = std::string("\x01MSGID: 2:5020/1 ") + serial + "\r" +
                     "\x01PID: fault test\r";
  for (int line = 0; line < 60 + 17 * i; ++line) {
    text += "Line " + std::to_string(line) + " of message " +
            std::to_string(i) + ", with some words to fill it.\r";
  }
  return text;
}

// Adds message i to an open area; true when StoreMessage answered yes.
bool AddOne(MessageArea* area, int i) {
  if (!area->AddMessage()) return false;
  area->SetToName("All");
  area->SetSubject("Message " + std::to_string(i));
  testing_support::PutText(area, MessageText(i));
  const bool stored = area->StoreMessage();
  area->ReleaseMessage();
  return stored;
}

bool Post(const std::string& id, int first, int last) {
  std::unique_ptr<MessageArea> area;
  if (!OpenOrCreateMessageArea(&area, id)) return false;
  bool ok = true;
  for (int i = first; i <= last; ++i) ok = AddOne(area.get(), i) && ok;
  CloseMessageArea(&area);
  return ok;
}

// Message i as LoadAll shows it.
std::string Shown(int i) {
  return "Message " + std::to_string(i) + "|" + MessageText(i);
}

// Subject and text of every message, in walk order ("?" for one that does
// not load); *opened tells whether the base opened.
std::vector<std::string> LoadAll(const std::string& id, bool* opened) {
  std::vector<std::string> messages;
  std::unique_ptr<MessageArea> area;
  *opened = OpenMessageArea(&area, id);
  if (!*opened) return messages;
  for (area->GoTo(1); area->IsOnMessage(); area->GoNext()) {
    if (!area->LoadMessage()) {
      messages.push_back("?");
      continue;
    }
    messages.push_back(area->Subject() + "|" +
                       testing_support::TextOf(area.get()));
    area->ReleaseMessage();
  }
  CloseMessageArea(&area);
  return messages;
}

// ---------------------------------------------------------------- tests

// The format's name; its first letter starts the area id.
class StoreFaultTest : public ::testing::TestWithParam<const char*> {
 protected:
  std::string Id(const TempDirForTesting& dir) const {
    return GetParam()[0] + dir.Join(GetParam()[0] == 'M' ? "echo/" : "echo");
  }
  // After messages 1-3 and a store of message 4 that answered `stored`
  // (1 yes, 0 no): the base opens and holds
  // 1-3 (and 4 when stored) intact and nothing else, its chains are sound
  // (when `chains`), and it takes the next message, which then loads whole.
  void ExpectStoreOutcome(const TempDirForTesting& dir, int stored,
                          const std::string& where, bool chains = true) {
    const std::string id = Id(dir);
    bool opened = false;
    std::vector<std::string> messages = LoadAll(id, &opened);
    ASSERT_TRUE(opened) << where;
    std::vector<std::string> expected;
    for (int i = 1; i <= (stored == 1 ? 4 : 3); ++i)
      expected.push_back(Shown(i));
    EXPECT_TRUE(messages == expected) << where;
    if (GetParam()[0] == 'S' && chains) {
      EXPECT_EQ(CheckSquishBase(dir.Join("echo.sqd"), dir.Join("echo.sqi")), "")
          << where;
    }
    ASSERT_TRUE(Post(id, 9, 9)) << where;
    messages = LoadAll(id, &opened);
    ASSERT_FALSE(messages.empty()) << where;
    EXPECT_TRUE(messages.back() == Shown(9)) << where;
  }
};

// Each write of storing message 4 in turn: the process killed just before
// it, the write refused, or the disk full from it on.
TEST_P(StoreFaultTest, RefusedAtAnyWriteLinksNothingBroken) {
  for (const bool no_space : {false, true}) {
    const char* fault = no_space ? "no space from write " : "refused write ";
    bool finished = false;
    for (int at = 1; at < 400 && !finished; ++at) {
      TempDirForTesting dir;
      const std::string id = Id(dir);
      ASSERT_TRUE(Post(id, 1, 3));
      FaultEnv faults(Env::Default());
      if (no_space) {
        faults.NoSpaceFromNthWrite(at);
      } else {
        faults.FailNthWrite(at);
      }
      int stored = 0;
      {
        ScopedEnv scoped(&faults);
        std::unique_ptr<MessageArea> area;
        if (OpenOrCreateMessageArea(&area, id)) {
          stored = AddOne(area.get(), 4);
          CloseMessageArea(&area);
        }
      }
      finished = faults.failed_writes() == 0;
      Env::Default()->ForgetPathCache();
      const std::string where =
          std::string(GetParam()) + ", " + fault + std::to_string(at);
      if (finished) {
        EXPECT_EQ(stored, 1) << where;
      }
      // No write at all after a full disk leaves what a kill leaves: a
      // Squish link may point at the frame that was never written.
      ExpectStoreOutcome(dir, stored, where, !no_space);
      if (HasFailure()) return;
    }
    EXPECT_TRUE(finished) << "the store never ran to its end";
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, StoreFaultTest,
                         ::testing::Values("MSG", "Squish", "JAM"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace kavel
