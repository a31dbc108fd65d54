#include "posting/composer.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "driver/run_context.h"
#include "msgbase/byte_stream.h"
#include "msgbase/fake_area_for_testing.h"
#include "msgbase/message_area.h"
#include "msgbase/test_support.h"
#include "platform/platform.h"
#include "platform/temp_dir_for_testing.h"
#include "posting/posting_job.h"

namespace kavel {
namespace {

// A text file given as its lines.
class LinesReader : public TextReader {
 public:
  explicit LinesReader(std::vector<std::string> lines)
      : lines_(std::move(lines)) {}
  bool ReadLine(std::string* line) override {
    if (next_ == lines_.size()) return false;
    *line = lines_[next_++];
    return true;
  }

 private:
  std::vector<std::string> lines_;
  size_t next_ = 0;
};

std::vector<int32_t> Sections(std::vector<std::string> lines) {
  LinesReader reader(std::move(lines));
  return CountSectionLines(reader);
}

TEST(ReplacePlaceholderTest, ReplacesOnlyTheFirstPercent) {
  std::string text = "a % b % c";
  ReplacePlaceholder("12", &text);
  EXPECT_EQ(text, "a 12 b % c");
  ReplacePlaceholder("", &text);
  EXPECT_EQ(text, "a 12 b  c");
  ReplacePlaceholder("x", &text);
  EXPECT_EQ(text, "xa 12 b  c");
}

TEST(ReplacePlaceholderTest, CutsAt255) {
  std::string text(250, 'a');
  text += "%";
  ReplacePlaceholder(std::string(10, 'b'), &text);
  EXPECT_EQ(text.size(), 255u);
  EXPECT_EQ(text, std::string(250, 'a') + std::string(5, 'b'));
}

class FillPlaceholdersTest : public ::testing::Test {
 protected:
  FillPlaceholdersTest() { ctx_.postingJob = std::make_unique<PostingJob>(); }
  RunContext ctx_;
};

TEST_F(FillPlaceholdersTest, DefaultTemplate) {
  ctx_.postingJob->fileName = "C:\\OUT\\NEWS.TXT";
  ctx_.partNumber = 2;
  ctx_.partCount = 3;
  EXPECT_EQ(FillPlaceholders(ctx_, "text.begin % of % of file %"),
            "text.begin 2 of 3 of file NEWS.TXT");
  ctx_.partNumber = 10;
  ctx_.partCount = 12;
  EXPECT_EQ(FillPlaceholders(ctx_, "\x01text.begin % of % of file %"),
            "\x01text.begin 10 of 12 of file NEWS.TXT");
  // Every blank of the name becomes an underscore.
  ctx_.postingJob->fileName = "C:\\MY DIR\\my news  1.txt";
  EXPECT_EQ(FillPlaceholders(ctx_, "% % %"), "10 12 my_news__1.txt");
}

TEST_F(FillPlaceholdersTest, TemplateWithoutOrWithExtraPercents) {
  ctx_.postingJob->fileName = "out/news.txt";
  ctx_.partNumber = 1;
  ctx_.partCount = 4;
  EXPECT_EQ(FillPlaceholders(ctx_, "begin"), "news.txt41begin");
  EXPECT_EQ(FillPlaceholders(ctx_, "% % % % %"), "1 4 news.txt % %");
}

TEST(CountSectionLinesTest, LimitIsExceededNotReached) {
  // 16384 counted bytes exactly: one section.
  std::vector<std::string> lines(4, std::string(4094, 'x'));
  EXPECT_EQ(Sections(lines), (std::vector<int32_t>{4}));
  // One more byte: the fourth line ends the first section.
  lines.back().push_back('x');
  lines.push_back("tail");
  EXPECT_EQ(Sections(lines), (std::vector<int32_t>{4, 1}));
  // The line that passes the limit ends the file: no empty section.
  lines.pop_back();
  EXPECT_EQ(Sections(lines), (std::vector<int32_t>{4}));
}

TEST(CountSectionLinesTest, EmptyFileAndEmptyLines) {
  EXPECT_TRUE(Sections({}).empty());
  EXPECT_EQ(Sections({""}), (std::vector<int32_t>{1}));
  // Empty lines count 2 each: 8193 of them pass 16384.
  std::vector<std::string> blank(8193, "");
  EXPECT_EQ(Sections(blank), (std::vector<int32_t>{8193}));
  blank.push_back("");
  EXPECT_EQ(Sections(blank), (std::vector<int32_t>{8193, 1}));
}

// A message area that keeps its messages in memory and fails on request.
class FakeArea : public testing_support::FakeAreaBase {
 public:
  struct Stored {
    std::string subject;
    std::string text;
  };
  FakeArea(std::vector<Stored>* stored, bool* destroyed)
      : stored_(stored), destroyed_(destroyed) {
    isOpen = true;
  }
  ~FakeArea() override { *destroyed_ = true; }

  int fail_add_from = 1000;  // AddMessage fails from this call on (1-based)
  int fail_store_at = 0;     // StoreMessage fails at this call (1-based)
  std::function<void()> on_add;  // runs at every AddMessage

  bool StoreMessage() override {
    if (++stores_ == fail_store_at) return false;
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
  bool* destroyed_;
  int adds_ = 0;
  int stores_ = 0;
};

class PostSectionsTest : public ::testing::Test {
 protected:
  PostSectionsTest() {
    ctx_.streamHooksInstalled = true;
    ctx_.postingJob = std::make_unique<PostingJob>();
    ctx_.postingJob->fileName = dir_.Join("news.txt");
    ctx_.postingJob->origin = "O";
    auto area = std::make_unique<FakeArea>(&stored_, &destroyed_);
    area_ = area.get();
    ctx_.postingArea = std::move(area);
    ctx_.postingOk = true;
    ctx_.partNumber = 0;
    ctx_.partCount = 1;
  }

  // PostSections with the log on standard output; answers the messages of
  // the lines it wrote.
  std::vector<std::string> Post() {
    ::testing::internal::CaptureStdout();
    PostSections(ctx_);
    std::string out = ::testing::internal::GetCapturedStdout();
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < out.size()) {
      size_t end = out.find('\n', at);
      lines.push_back(out.substr(at + 19, end - at - 19));
      at = end + 1;
    }
    return lines;
  }

  // A file of three sections.
  void WriteThreeSections() {
    std::string file;
    for (int i = 0; i < 500; ++i) file += std::string(78, 'x') + "\r\n";
    dir_.WriteFile("news.txt", file);
  }

  TempDirForTesting dir_;
  RunContext ctx_;
  std::vector<FakeArea::Stored> stored_;
  bool destroyed_ = false;
  FakeArea* area_ = nullptr;
};

TEST_F(PostSectionsTest, AddMessageFailureEndsTheFileWithoutOk) {
  WriteThreeSections();
  area_->fail_add_from = 2;
  EXPECT_EQ(Post(), (std::vector<std::string>{
                        "   -> [1/3]",
                        "[err] Unable to create new message",
                    }));
  EXPECT_EQ(stored_.size(), 1u);
  EXPECT_TRUE(destroyed_);
  EXPECT_EQ(ctx_.postingArea, nullptr);
  EXPECT_FALSE(ctx_.postingOk);
}

TEST_F(PostSectionsTest, StoreFailureEndsTheFileWithoutOk) {
  WriteThreeSections();
  area_->fail_store_at = 2;
  EXPECT_EQ(Post(), (std::vector<std::string>{
                        "   -> [1/3]",
                        "   -> [2/3]",
                        "[err] Unable to write message [2/3]: the rest of " +
                            ctx_.postingJob->fileName + " is not posted",
                    }));
  ASSERT_EQ(stored_.size(), 1u);
  EXPECT_EQ(stored_[0].subject, "[1/3] ");
  EXPECT_TRUE(destroyed_);
  EXPECT_FALSE(ctx_.postingOk);
}

TEST_F(PostSectionsTest, StoppingEarlyClosesTheArea) {
  ctx_.postingOk = false;
  EXPECT_EQ(Post(),
            (std::vector<std::string>{"[err] We can't make posting..."}));
  EXPECT_TRUE(destroyed_);
  EXPECT_EQ(ctx_.postingArea, nullptr);
}

TEST_F(PostSectionsTest, UnreadableFile) {
  // No news.txt in the directory.
  EXPECT_EQ(Post(), (std::vector<std::string>{
                        "[err] Can't open file " + ctx_.postingJob->fileName +
                            "!..",
                        "[err] We can't make posting...",
                    }));
  EXPECT_TRUE(destroyed_);
}

TEST_F(PostSectionsTest, FileGrowingWhilePostedKeepsTheCount) {
  // The file grows by more than a section once posting has begun (a log
  // being written): exactly the lines counted are posted, as one part.
  dir_.WriteFile("news.txt", "a\r\nb\r\n");
  area_->on_add = [this] {
    dir_.WriteFile("news.txt",
                   "a\r\nb\r\n" + std::string(20000, 'g') + "\r\nh\r\n");
  };
  EXPECT_EQ(Post(), (std::vector<std::string>{"  - Ok..."}));
  ASSERT_EQ(stored_.size(), 1u);
  const std::string& text = stored_[0].text;
  EXPECT_EQ(text.substr(text.find(kPidLine)),
            std::string(kPidLine) + "\ra\rb\r\r--- \r * Origin: O (0:0/0)\r");
}

TEST_F(PostSectionsTest, FileShrinkingWhilePostedIsAFailure) {
  WriteThreeSections();
  area_->on_add = [this] { dir_.WriteFile("news.txt", "short\r\n"); };
  EXPECT_EQ(Post(), (std::vector<std::string>{
                        "   -> [1/3]",
                        "[err] File " + ctx_.postingJob->fileName +
                            " got shorter while it was posted",
                    }));
  ASSERT_EQ(stored_.size(), 1u);
  EXPECT_TRUE(destroyed_);
}

}  // namespace
}  // namespace kavel
