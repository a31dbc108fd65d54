// Faults while messages are stored, in every format: each write of a store
// refused in turn. Afterwards the base opens, the messages stored before
// load intact, a store that answered no left nothing readable behind, and
// the base takes new messages again. (A kill at each change, full disks,
// read-only and vanishing bases are run against the program itself.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "msgbase/byte_stream.h"
#include "msgbase/formats/squish_checker_for_testing.h"
#include "msgbase/message_area.h"
#include "msgbase/message_text.h"
#include "msgbase/test_support.h"

namespace kavel {
namespace {

// Text of the i-th test message: two kludge lines, then lines enough to
// span several file buffers.
std::string MessageText(int i) {
  std::string text = "\x01MSGID: 2:5020/1 4b1d000" + std::to_string(i) +
                     "\r\x01PID: fault test\r";
  for (int line = 0; line < 60 + 17 * i; ++line) {
    text += "Line " + std::to_string(line) + " of message " +
            std::to_string(i) + ", with some words to fill it.\r";
  }
  return text;
}

// Adds message i to an open area; true when StoreMessage answered yes.
bool AddOne(MessageArea* area, int i) {
  if (!area->AddMessage()) return false;
  area->SetFromName("Ivan Petrov");
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

// Subject and text of every message in walk order, each as "subject|text"
// ("?" for one that does not load); false when the base does not open.
bool LoadAll(const std::string& id, std::vector<std::string>* messages) {
  messages->clear();
  std::unique_ptr<MessageArea> area;
  if (!OpenMessageArea(&area, id)) return false;
  for (area->GoTo(1); area->IsOnMessage(); area->GoNext()) {
    messages->push_back(area->LoadMessage()
                            ? area->Subject() + "|" +
                                  testing_support::TextOf(area.get())
                            : "?");
    area->ReleaseMessage();
  }
  CloseMessageArea(&area);
  return true;
}

std::string Expected(int i) {
  return "Message " + std::to_string(i) + "|" + MessageText(i);
}

// Counts the writes (Write, Flush, Truncate) of every file stream and
// refuses the one numbered refuseAt: nothing reaches the file and the
// stream's status turns to an I/O error. Each write reaches the file at
// once, so every count is a distinct state of the files.
int writes = 0;
int refuseAt = 0;

class RefusingStream : public ByteStream {
 public:
  RefusingStream(std::string_view name, StreamMode mode)
      : inner_(std::make_unique<FileStream>(name, mode)) {
    status = inner_->status;
  }
  void Read(void* buffer, uint16_t count) override {
    inner_->Read(buffer, count);
    status = inner_->status;
  }
  void Write(const void* buffer, uint16_t count) override {
    if (Refused() || status != kStreamOk) return;  // sticky, as in a file
    inner_->Write(buffer, count);
    inner_->Flush();
    status = inner_->status;
  }
  void Seek(int32_t position) override { inner_->Seek(position); }
  int32_t Position() override { return inner_->Position(); }
  int32_t Size() override { return inner_->Size(); }
  void Flush() override {
    if (!Refused()) inner_->Flush();
    status = std::min(status, inner_->status);
  }
  void Truncate() override {
    if (!Refused()) inner_->Truncate();
    status = std::min(status, inner_->status);
  }
  void ResetStatus() override {
    inner_->ResetStatus();
    status = inner_->status;
  }

 private:
  // Counts a write; true (and the status an I/O error) when it is refused.
  bool Refused() {
    if (++writes != refuseAt) return false;
    status = kStreamIoError;
    return true;
  }
  std::unique_ptr<ByteStream> inner_;
};

std::unique_ptr<ByteStream> NewRefusingStream(std::string_view name,
                                              StreamMode mode) {
  return std::make_unique<RefusingStream>(name, mode);
}

struct Format {
  const char* name;
  char letter;
  const char* base;  // relative to the test directory
};

class StoreFaultTest : public ::testing::TestWithParam<Format> {
 protected:
  void SetUp() override { InstallStreamFactories(); }
  void TearDown() override { InstallStreamFactories(); }
  std::string Id(const TempDirForTesting& dir) const {
    return std::string(1, GetParam().letter).append(dir.Join(GetParam().base));
  }
  // After messages 1-3 and a store of message 4 that answered `stored` (1
  // yes, 0 no): the base opens and holds 1-3 (and 4 when stored) intact and
  // nothing else, its chains are sound, and it takes the next message,
  // which then loads whole.
  void ExpectStoreOutcome(const TempDirForTesting& dir, int stored,
                          const std::string& where) {
    const std::string id = Id(dir);
    std::vector<std::string> messages;
    ASSERT_TRUE(LoadAll(id, &messages)) << where;
    std::vector<std::string> intact;
    for (int i = 1; i <= 3 + stored; ++i) intact.push_back(Expected(i));
    EXPECT_TRUE(messages == intact) << where;
    if (GetParam().letter == 'S') {
      EXPECT_EQ(CheckSquishBase(dir.Join("echo.sqd"), dir.Join("echo.sqi")), "")
          << where;
    }
    ASSERT_TRUE(Post(id, 9, 9)) << where;
    ASSERT_TRUE(LoadAll(id, &messages)) << where;
    EXPECT_TRUE(messages.back() == Expected(9)) << where;
  }
};

// Each write of storing message 4 refused in turn.
TEST_P(StoreFaultTest, RefusedAtAnyWriteLinksNothingBroken) {
  bool finished = false;
  for (int at = 1; at < 400 && !finished; ++at) {
    TempDirForTesting dir;
    const std::string id = Id(dir);
    ASSERT_TRUE(Post(id, 1, 3));
    writes = 0;
    refuseAt = at;
    NewFileStream = NewRefusingStream;
    std::unique_ptr<MessageArea> area;
    int stored = 0;
    if (OpenOrCreateMessageArea(&area, id)) {
      stored = AddOne(area.get(), 4);
      CloseMessageArea(&area);
    }
    finished = writes < at;  // no write was refused
    InstallStreamFactories();
    ForgetPathCache();
    const std::string where = "refused write " + std::to_string(at);
    EXPECT_TRUE(stored == 1 || !finished) << where;
    ExpectStoreOutcome(dir, stored, where);
    if (HasFailure()) return;
  }
  EXPECT_TRUE(finished) << "the store never ran to its end";
}

INSTANTIATE_TEST_SUITE_P(Formats, StoreFaultTest,
                         ::testing::Values(Format{"MSG", 'M', "echo/"},
                                           Format{"Squish", 'S', "echo"},
                                           Format{"JAM", 'J', "echo"}),
                         [](const ::testing::TestParamInfo<Format>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace kavel
