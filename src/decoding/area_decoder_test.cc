#include "decoding/area_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "msgbase/byte_stream.h"
#include "msgbase/date_time.h"
#include "msgbase/ftn_address.h"
#include "msgbase/message_area.h"
#include "msgbase/message_text.h"
#include "msgbase/test_support.h"
#include "platform/env.h"
#include "platform/platform.h"
#include "platform/temp_dir_for_testing.h"
#include "util/text.h"
#include "util/uue_line.h"

namespace kavel {
namespace {

namespace fs = std::filesystem;

class RecordingLog : public DecodeLog {
 public:
  void Info(std::string_view m) override { infos.emplace_back(m); }
  void Error(std::string_view m) override { errors.emplace_back(m); }
  std::vector<std::string> infos, errors;
};

struct Posted {
  std::vector<std::string> lines;
  std::string subject = "Files";
};

class AreaDecoderTest : public ::testing::Test {
 protected:
  // Adds one message to the *.MSG area; answers its number.
  int32_t Post(const Posted& p) {
    std::unique_ptr<MessageArea> area;
    EXPECT_TRUE(OpenOrCreateMessageArea(&area, "M" + base_));
    if (!area) return 0;
    area->SetAreaFlag(kAreaFlagAddressKludges, true);
    EXPECT_TRUE(area->AddMessage());
    area->SetOrigAddress(FtnAddress{2, 5020, 1, 0}, true);
    area->SetSubject(p.subject);
    area->SetDateWritten(DateTimeRecord{12, 0, 0, 0, 7, 3, 2001});
    for (const std::string& line : p.lines) area->WriteLineRaw(line);
    EXPECT_TRUE(area->StoreMessage());
    const int32_t number = area->CurrentNumber();
    area->ReleaseMessage();
    CloseMessageArea(&area);
    return number;
  }

  // A posted section as posting frames it.
  static Posted Section(int part, int total, const std::string& name,
                        const std::vector<std::string>& body) {
    Posted p;
    p.lines = {"\x01PID: test", "text.begin " + std::to_string(part) + " of " +
                                    std::to_string(total) + " of file " + name};
    p.lines.insert(p.lines.end(), body.begin(), body.end());
    p.lines.insert(p.lines.end(),
                   {"text.end", "", "--- ", " * Origin: test (2:5020/1)"});
    return p;
  }

  void Decode() {
    CurrentEnv()->ForgetPathCache();  // the tests change files behind the
                                      // program's back
    AreaDecoder decoder(options_, &log_, &names_);
    decoder.ScanArea("TEST.AREA", "M", base_, text_, fwd_);
  }

  TempDirForTesting dir_;
  std::string base_ = dir_.Join("base"), text_ = dir_.Join("txt") + "/",
              fwd_ = dir_.Join("fwd") + "/";
  DecodeOptions options_;
  RecordingLog log_;
  UniqueNames names_;
};

// Lines of any length are copied whole; a malformed begin line starts
// nothing.
TEST_F(AreaDecoderTest, MalformedBeginLinesEndLinesAndLongLines) {
  const std::string long_line(70000, 'L');
  Post({{"text.begin x of 1 of file bad.txt",
         "text.begin 1 of 1 of file good.txt", long_line, "text.endless",
         "TEXT.END"}});
  Decode();
  EXPECT_FALSE(dir_.Exists("txt/bad.txt"));
  EXPECT_EQ(dir_.ReadFile("txt/good.txt"), long_line + "\r\ntext.endless\r\n");
}

// A section's lines come out one to a line with CR LF, whatever ends them
// in the message (CR, CR LF) and wherever the message's pieces in memory
// divide them.
TEST_F(AreaDecoderTest, SectionLinesKeepTheirBytesAcrossPieces) {
  std::vector<std::string> body;
  std::string expected;
  const char* kinds[] = {"a\nb", "\nafter cr lf", "", "   indented", "\n",
                         "tell", "text.endless", "\x01kludge-like", "te"};
  for (int i = 0; i < 3000; ++i) {
    std::string line = kinds[i % 9] + std::string(i % 37, 'x');
    body.push_back(line);
    if (line[0] == '\n') line.erase(0, 1);
    expected += line + "\r\n";
  }
  Post(Section(1, 1, "mixed.txt", body));
  Decode();
  EXPECT_TRUE(dir_.ReadFile("txt/mixed.txt") == expected);
}

TEST_F(AreaDecoderTest, MessageGoneBetweenScanAndSaveLeavesTargetAlone) {
  dir_.WriteFile("txt/G.TXT", "old");
  Post(Section(1, 2, "g.txt", {"one"}));
  const int32_t second = Post(Section(2, 2, "g.txt", {"two"}));
  CurrentEnv()->ForgetPathCache();
  AreaDecoder decoder(options_, &log_, &names_);
  ASSERT_TRUE(decoder.BeginArea("TEST.AREA", "M", base_, text_, fwd_));
  decoder.CollectSections();
  std::unique_ptr<MessageArea> other;
  ASSERT_TRUE(OpenMessageArea(&other, "M" + base_));
  other->GoToNumber(second);
  ASSERT_TRUE(other->DeleteMessage());
  CloseMessageArea(&other);
  decoder.SaveCollected();
  decoder.EndArea();
  // The area object may still list the message, but cannot load it.
  EXPECT_EQ(log_.errors.size(), 1u);
  EXPECT_EQ(testing_support::DirectorySnapshot(text_).size(), 1u);
  EXPECT_EQ(dir_.ReadFile("txt/G.TXT"), "old");
}

// The uuencoded form of `bytes` as uuencode writes it, begin to end.
std::vector<std::string> Uue(const std::string& bytes,
                             const std::string& begin = "begin 644 bin.dat") {
  std::vector<std::string> lines = {begin};
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  for (size_t at = 0; at < bytes.size(); at += kUueLineBytes) {
    lines.emplace_back();
    EncodeUueLine(data + at, std::min(kUueLineBytes, bytes.size() - at),
                  &lines.back());
  }
  lines.insert(lines.end(), {"`", "end"});
  return lines;
}

// Another poster's message: `lines`, then an empty line, tear and origin.
Posted Foreign(const std::string& subject, std::vector<std::string> lines) {
  Posted p;
  p.subject = subject;
  p.lines = std::move(lines);
  p.lines.insert(p.lines.end(), {"", "--- ", " * Origin: x (1:2/3)"});
  return p;
}

TEST_F(AreaDecoderTest, UuencodedSetsDecodedOrRefusedWhole) {
  std::string bin;
  for (int i = 0; i < 300; ++i) bin.push_back(static_cast<char>(i * 7));
  const std::vector<std::string> good = Uue(bin);
  std::vector<std::string> bad_length = good;
  bad_length[2].pop_back();
  const std::vector<std::string> no_end(good.begin(), good.end() - 1);
  const std::vector<std::string> half1(good.begin(), good.begin() + 4);
  const std::vector<std::string> half2(good.begin() + 4, good.end());
  const char kNotAll[] = " [ :( ] -> Not all sections was found..";
  // The one file saved, "name=content", and part of the one error line or
  // the information line kNotAll.
  struct Case {
    std::vector<Posted> messages;
    std::string saved;
    const char* log;
  } cases[] = {
      {{Section(1, 1, "x.uue", good)}, "bin.dat=" + bin, ""},
      {{Section(1, 1, "x.uue", bad_length)},
       "",
       "Binary file 'bin.dat' in area TEST.AREA not saved: bad length "
       "character in line 3"},
      {{Section(1, 1, "x.uue", no_end)}, "", "not saved: no end line"},
      {{Section(1, 1, "x", Uue("a", "begin 644 ../evil"))},
       "",
       "'../evil' in area TEST.AREA not saved: unsafe file name"},
      {{Section(1, 1, "x", Uue("a", "begin 644 Kavel.cfg"))}, "", "unsafe"},
      {{Section(1, 1, "x", Uue("a", "begin 777 Run.SH"))}, "run.sh=a", ""},
      // Other posters' parts numbered by subject, each ending at its empty
      // line.
      {{Foreign("bin.dat (1/2)", half1), Foreign("bin.dat (2/2)", half2)},
       "bin.dat=" + bin,
       ""},
      {{Foreign("bin.dat (2/2)", half2)}, "", kNotAll},
  };
  options_.decodeUue = true;
  options_.saveIfNotEnoughSections = true;
  options_.protectedNames = {"Kavel.cfg"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.saved.substr(0, 8) + c.log);
    fs::remove_all(base_);
    fs::remove_all(text_);
    log_ = RecordingLog();
    for (const Posted& p : c.messages) Post(p);
    Decode();
    if (c.saved.empty()) {
      EXPECT_FALSE(fs::exists(text_) && !fs::is_empty(text_));
    } else {
      const std::string file = "txt/" + c.saved.substr(0, c.saved.find('='));
      EXPECT_EQ(dir_.ReadFile(file), c.saved.substr(c.saved.find('=') + 1));
      EXPECT_EQ(
          fs::status(dir_.Join(file)).permissions() & fs::perms::owner_exec,
          fs::perms::none);
    }
    EXPECT_EQ(std::count(log_.infos.begin(), log_.infos.end(), kNotAll),
              c.log == kNotAll);
    if (*c.log == '\0' || c.log == kNotAll) {
      EXPECT_TRUE(log_.errors.empty()) << log_.errors[0];
    } else {
      ASSERT_EQ(log_.errors.size(), 1u);
      EXPECT_NE(log_.errors[0].find(c.log), std::string::npos)
          << log_.errors[0];
    }
  }
}
}  // namespace
}  // namespace kavel
