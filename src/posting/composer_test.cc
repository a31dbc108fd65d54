#include "posting/composer.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "context/context_test_support.h"
#include "context/posting_job.h"
#include "context/run_context.h"
#include "msgbase/byte_stream.h"
#include "msgbase/fake_area_for_testing.h"
#include "msgbase/message_area.h"
#include "msgbase/test_support.h"
#include "platform/env.h"
#include "platform/platform.h"

namespace kavel {
namespace {

TEST(ReplacePlaceholderTest, FirstPercentOnlyAndTemplatesWithoutOrWithMore) {
  std::string text = "a % b % c";
  for (const char* value : {"12", "", "x"}) ReplacePlaceholder(value, &text);
  EXPECT_EQ(text, "xa 12 b  c");
  text = std::string(250, 'a') + "%";  // cut at 255
  ReplacePlaceholder(std::string(10, 'b'), &text);
  EXPECT_EQ(text, std::string(250, 'a') + std::string(5, 'b'));
  RunContext ctx;
  ctx.postingJob = std::make_unique<PostingJob>();
  ctx.postingJob->fileName = "out/news.txt";
  ctx.partNumber = 1;
  ctx.partCount = 4;
  EXPECT_EQ(FillPlaceholders(ctx, "begin"), "news.txt41begin");
  EXPECT_EQ(FillPlaceholders(ctx, "% % % % %"), "1 4 news.txt % %");
}

// A message area that keeps its messages in memory and fails on request.
class FakeArea : public testing_support::FakeAreaBase {
 public:
  struct Stored {
    std::string subject, text;
  };
  explicit FakeArea(std::vector<Stored>* stored) : stored_(stored) {
    isOpen = true;
  }

  int fail_add_from = 1000;      // AddMessage fails from this call on (1-based)
  std::function<void()> on_add;  // runs at every AddMessage

  bool StoreMessage() override {
    stored_->push_back({subject_, testing_support::TextOf(this)});
    return true;
  }
  bool AddMessage() override {
    if (on_add) on_add();
    if (++adds_ >= fail_add_from) return false;
    text = std::make_unique<MemoryStream>();
    return true;
  }
  bool BaseExists(std::string_view) override { return true; }

 private:
  std::vector<Stored>* stored_;
  int adds_ = 0;
};

class PostSectionsTest : public testing::ContextTest {
 protected:
  // A fresh area for the posting of news.txt; answers it.
  FakeArea* NewArea() {
    ctx_.postingJob->fileName = scratch_.Join("news.txt");
    ctx_.postingJob->origin = "O";
    stored_.clear();
    auto area = std::make_unique<FakeArea>(&stored_);
    FakeArea* raw = area.get();
    ctx_.postingArea = std::move(area);
    ctx_.postingOk = true;
    ctx_.partNumber = 0;
    ctx_.partCount = 1;
    return raw;
  }

  std::vector<FakeArea::Stored> stored_;
};

// Lines count their length plus two; the line that passes 16384 ends a
// section, and a file never ends with an empty one.
TEST_F(PostSectionsTest, SectionLimitIsExceededNotReached) {
  const std::string full(4094, 'x'), over = full + 'x';
  const struct {
    std::vector<std::string> lines;
    std::vector<int32_t> sections;
  } cases[] = {
      {{full, full, full, full}, {4}},
      {{full, full, full, over, "tail"}, {4, 1}},
      {std::vector<std::string>(8193, ""), {8193}},
      {std::vector<std::string>(8194, ""), {8193, 1}},
  };
  for (const auto& c : cases) {
    std::string file;
    for (const std::string& line : c.lines) file += line + "\r\n";
    int error = 0;
    auto reader = OpenTextReader(WriteFile("f.txt", file), &error);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(CountSectionLines(*reader), c.sections);
  }
}

// Each fault ends the file after the first stored message: the area is closed
// and the posting is not Ok.
TEST_F(PostSectionsTest, FaultsEndTheFileWithoutOk) {
  const std::string news = scratch_.Join("news.txt");
  const struct {
    std::function<void(FakeArea*)> fault;
    std::vector<std::string> log;
  } cases[] = {
      {[](FakeArea* a) { a->fail_add_from = 2; },
       {"   -> [1/3]", "[err] Unable to create new message"}},
      {[this](FakeArea* a) {
         a->on_add = [this] { WriteFile("news.txt", "short\r\n"); };
       },
       {"   -> [1/3]",
        "[err] File " + news + " got shorter while it was posted"}},
  };
  for (const auto& c : cases) {
    std::string file;
    for (int i = 0; i < 500; ++i) file += std::string(78, 'x') + "\r\n";
    WriteFile("news.txt", file);  // three sections
    c.fault(NewArea());
    EXPECT_EQ(Logged([&] { PostSections(ctx_); }), c.log);
    ASSERT_EQ(stored_.size(), 1u);
    EXPECT_EQ(stored_[0].subject, "[1/3] ");
    EXPECT_EQ(ctx_.postingArea, nullptr);
    EXPECT_FALSE(ctx_.postingOk);
  }
}
}  // namespace
}  // namespace kavel
