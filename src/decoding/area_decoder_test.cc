#include "decoding/area_decoder.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "msgbase/byte_stream.h"
#include "msgbase/date_time.h"
#include "msgbase/ftn_address.h"
#include "msgbase/message_area.h"
#include "msgbase/message_text.h"
#include "platform/env.h"
#include "platform/platform.h"
#include "posting/uue_reader.h"
#include "util/text.h"

namespace kavel {
namespace {

namespace fs = std::filesystem;

class RecordingLog : public DecodeLog {
 public:
  void Info(std::string_view m) override { infos.emplace_back(m); }
  void Error(std::string_view m) override { errors.emplace_back(m); }
  bool HasInfo(std::string_view part) const { return Has(infos, part); }
  bool HasError(std::string_view part) const { return Has(errors, part); }
  std::vector<std::string> infos, errors;

 private:
  static bool Has(const std::vector<std::string>& v, std::string_view part) {
    for (const auto& s : v) {
      if (s.find(part) != std::string::npos) return true;
    }
    return false;
  }
};

struct Posted {
  std::vector<std::string> lines;
  DateTimeRecord written{12, 0, 0, 0, 7, 3, 2001};
  std::string from = "John Doe";
  std::string to = "All";
  std::string subject = "Files";
};

class AreaDecoderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string templ =
        (fs::temp_directory_path() / "kavel-dec-XXXXXX").string();
    ASSERT_NE(mkdtemp(templ.data()), nullptr);
    root_ = templ;
    base_ = (root_ / "base").string();
    text_ = (root_ / "txt").string() + "/";
    fwd_ = (root_ / "fwd").string() + "/";
  }
  void TearDown() override {
    fs::remove_all(root_);
    Env::Default()->ForgetPathCache();
  }

  // Adds one message to the *.MSG area; answers its number.
  int32_t Post(const Posted& p) {
    std::unique_ptr<MessageArea> area;
    EXPECT_TRUE(OpenOrCreateMessageArea(&area, "M" + base_));
    if (!area) return 0;
    area->SetAreaFlag(kAreaFlagAddressKludges, true);
    EXPECT_TRUE(area->AddMessage());
    FtnAddress orig{2, 5020, 1, 0};
    FtnAddress dest{2, 5020, 2, 0};
    area->SetOrigAddress(orig, true);
    area->SetDestAddress(dest);
    area->SetFromName(p.from);
    area->SetToName(p.to);
    area->SetSubject(p.subject);
    area->SetDateWritten(p.written);
    area->SetDateArrived(p.written);
    for (const std::string& line : p.lines) area->WriteLineRaw(line);
    EXPECT_TRUE(area->StoreMessage());
    const int32_t number = area->CurrentNumber();
    area->ReleaseMessage();
    CloseMessageArea(&area);
    return number;
  }

  // A posted section as posting frames it.
  static Posted Section(int part, int total, const std::string& name,
                        const std::vector<std::string>& body,
                        bool kludge = false) {
    Posted p;
    const std::string mark = kludge ? "\x01" : "";
    p.lines.push_back("\x01PID: test");
    p.lines.push_back(mark + "text.begin " + std::to_string(part) + " of " +
                      std::to_string(total) + " of file " + name);
    for (const auto& l : body) p.lines.push_back(l);
    p.lines.push_back(mark + "text.end");
    p.lines.push_back("");
    p.lines.push_back("--- ");
    p.lines.push_back(" * Origin: test (2:5020/1)");
    return p;
  }

  void Decode() {
    // The tests change files behind the program's back.
    Env::Default()->ForgetPathCache();
    AreaDecoder decoder(options_, &log_, &names_);
    decoder.ScanArea("TEST.AREA", "M", base_, text_, fwd_);
  }

  static std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  fs::path Text(const std::string& name) const {
    return fs::path(text_) / name;
  }
  fs::path Fwd(const std::string& name) const { return fs::path(fwd_) / name; }
  size_t FilesUnder(const fs::path& dir) const {
    size_t n = 0;
    for (auto& e : fs::recursive_directory_iterator(dir))
      n += e.is_regular_file();
    return n;
  }

  fs::path root_;
  std::string base_, text_, fwd_;
  DecodeOptions options_;
  RecordingLog log_;
  UniqueNames names_;
};

TEST_F(AreaDecoderTest, MalformedBeginLinesAndEndLineRules) {
  Posted p;
  p.lines = {"text.begin x of 1 of file bad.txt",
             "text.begin 2 of 1 of file bad.txt",
             "text.begin 1 of 1 of file good.txt",
             "body",
             "text.endless",
             "TEXT.END"};
  Post(p);
  Posted open_ended = Section(1, 1, "open.txt", {"x"});
  open_ended.lines.erase(open_ended.lines.begin() + 3);  // no end line
  Post(open_ended);
  Decode();
  EXPECT_FALSE(fs::exists(Text("bad.txt")));
  EXPECT_EQ(Read(Text("good.txt")), "body\r\ntext.endless\r\n");
  EXPECT_EQ(Read(Text("open.txt")),
            "x\r\n\r\n--- \r\n * Origin: test (2:5020/1)\r\n");
}

TEST_F(AreaDecoderTest, LinesOfAnyLengthAreCopiedWhole) {
  const std::string long_line(70000, 'L');
  Post(Section(1, 1, "long.txt", {long_line, std::string(5000, 'm')}));
  Decode();
  EXPECT_EQ(Read(Text("long.txt")),
            long_line + "\r\n" + std::string(5000, 'm') + "\r\n");
}

TEST_F(AreaDecoderTest, SameFilePostedTwiceAndExistingFileChoices) {
  options_.filesBbsName = "FILES.BBS";
  options_.filesBbsSavingString = "@File @Size";
  Post(Section(1, 1, "same.txt", {"first"}));
  Post(Section(1, 1, "same.txt", {"second"}));
  // Overwrite: the second replaces the first; only the first gets a line.
  Decode();
  EXPECT_EQ(Read(Text("same.txt")), "second\r\n");
  EXPECT_EQ(Read(Text("FILES.BBS")), "same.txt 7\r\n");

  options_.existingFile = ExistingFileChoice::kNewName;
  Decode();
  EXPECT_EQ(Read(Text("same1.txt")), "first\r\n");
  EXPECT_EQ(Read(Text("same2.txt")), "second\r\n");
  EXPECT_EQ(Read(Text("FILES.BBS")),
            "same.txt 7\r\nsame1.txt 7\r\nsame2.txt 8\r\n");

  options_.existingFile = ExistingFileChoice::kKeep;
  fs::remove(Text("same.txt"));
  Decode();
  EXPECT_EQ(Read(Text("same.txt")), "first\r\n");

  options_.rewriteFilesBbs = true;
  options_.existingFile = ExistingFileChoice::kNewName;
  Decode();
  EXPECT_EQ(Read(Text("FILES.BBS")), "same4.txt 8\r\n");
}

TEST_F(AreaDecoderTest, PostingsFarApartDoNotMix) {
  Posted stale = Section(2, 2, "n.txt", {"stale"});
  stale.written.day = 1;
  Post(stale);
  Post(Section(1, 2, "n.txt", {"fresh 1"}));
  Post(Section(2, 2, "n.txt", {"fresh 2"}));
  Decode();
  EXPECT_EQ(Read(Text("n.txt")), "fresh 1\r\nfresh 2\r\n");
  EXPECT_TRUE(log_.HasInfo(" [ :( ] -> Not all sections was found.."));
}

TEST_F(AreaDecoderTest, MessageGoneBetweenScanAndSaveLeavesTargetAlone) {
  fs::create_directories(Text(""));
  { std::ofstream(Text("G.TXT"), std::ios::binary) << "old"; }
  Post(Section(1, 2, "g.txt", {"one"}));
  const int32_t second = Post(Section(2, 2, "g.txt", {"two"}));
  Env::Default()->ForgetPathCache();
  AreaDecoder decoder(options_, &log_, &names_);
  ASSERT_TRUE(decoder.BeginArea("TEST.AREA", "M", base_, text_, fwd_));
  decoder.CollectSections();
  {
    std::unique_ptr<MessageArea> other;
    ASSERT_TRUE(OpenMessageArea(&other, "M" + base_));
    other->GoToNumber(second);
    ASSERT_TRUE(other->DeleteMessage()) << second << " " << other->current;
    CloseMessageArea(&other);
  }
  decoder.SaveCollected();
  decoder.EndArea();
  // The area object may still list the message, but cannot load it.
  ASSERT_EQ(log_.errors.size(), 1u);
  EXPECT_NE(log_.errors[0].find("message " + std::to_string(second)),
            std::string::npos);
  EXPECT_EQ(Read(Text("G.TXT")), "old");
  EXPECT_EQ(FilesUnder(root_ / "txt"), 1u);
}

TEST_F(AreaDecoderTest, ForwardsWithHeaderScanNumberingAndEndText) {
  options_.markers = {{"FORWARDED", "End of forward"}, {"ONLYKEY", "ONLYKEY"}};
  options_.forwardFrom = "From:";
  options_.forwardSubj = "Subj:";
  options_.filesBbsName = "FILES.BBS";
  options_.filesBbsSavingString = "@File|@FromName|@Subject|@ToName";
  fs::create_directories(Fwd(""));
  { std::ofstream(Fwd("FWD.TXT")) << "taken"; }
  Posted p;
  p.lines = {"hello",
             "* forwarded by Bob",
             "From:   Jane Roe",
             "Subj: news",
             "",
             "body 1",
             "body 2",
             "end of forward",
             "after",
             "onlykey starts",
             "",
             "x",
             "ONLYKEY ends",
             "tail"};
  Post(p);
  Decode();
  EXPECT_EQ(Read(Fwd("FWD.TXT")), "taken");
  EXPECT_EQ(Read(Fwd("fwd1.txt")), "body 1\r\nbody 2\r\n");
  EXPECT_EQ(Read(Fwd("fwd2.txt")), "x\r\n");
  // The line that ends a key-only marker's forward starts the next one.
  EXPECT_EQ(Read(Fwd("fwd3.txt")), "");
  EXPECT_EQ(Read(Fwd("FILES.BBS")),
            "fwd1.txt|Jane Roe|news|All\r\nfwd2.txt|John Doe|Files|All\r\n"
            "fwd3.txt|John Doe|Files|All\r\n");
}

TEST_F(AreaDecoderTest, MarkerLineIsNeverABeginLineAndEmptyKeyNeverMatches) {
  options_.markers = {{"", "x"}, {"TEXT.BEGIN", "text.end"}};
  options_.checkForEmptyLine = false;
  Post(Section(1, 1, "m.txt", {"inside"}));
  Decode();
  EXPECT_FALSE(fs::exists(Text("m.txt")));
  EXPECT_EQ(Read(Fwd("fwd.txt")), "inside\r\n");
}

// Beyond the old fixed tables: more than 4096 sets, message numbers above
// 4096, a set whose parts lie thousands of messages apart.
TEST_F(AreaDecoderTest, LargeAreaDecodesCompletely) {
  Post(Section(1, 2, "far.txt", {"first"}));
  std::unique_ptr<MessageArea> area;
  ASSERT_TRUE(OpenOrCreateMessageArea(&area, "M" + base_));
  for (int i = 0; i < 4200; ++i) {
    ASSERT_TRUE(area->AddMessage());
    area->SetDateWritten(DateTimeRecord{12, 0, 0, 0, 7, 3, 2001});
    area->WriteLine("text.begin 1 of 1 of file f" + std::to_string(i));
    area->WriteLine(std::to_string(i));
    ASSERT_TRUE(area->StoreMessage());
    area->ReleaseMessage();
  }
  CloseMessageArea(&area);
  Post(Section(2, 2, "far.txt", {"second"}));
  Decode();
  EXPECT_EQ(Read(Text("far.txt")), "first\r\nsecond\r\n");
  EXPECT_EQ(Read(Text("f4199")), "4199\r\n");
  EXPECT_EQ(FilesUnder(root_ / "txt"), 4201u);
  EXPECT_TRUE(log_.errors.empty());
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

std::vector<std::string> Join(const std::string& first,
                              std::vector<std::string> rest) {
  rest.insert(rest.begin(), first);
  return rest;
}

TEST_F(AreaDecoderTest, UuencodedSetsDecodedOrRefusedWhole) {
  std::string bin;
  for (int i = 0; i < 300; ++i) bin.push_back(static_cast<char>(i * 7));
  const std::vector<std::string> good = Uue(bin);
  std::vector<std::string> bad_length = good, text_after = good;
  bad_length[2].pop_back();
  text_after.push_back("a remark");
  std::string as_text;
  for (const std::string& line : text_after) as_text += line + "\r\n";
  const std::vector<std::string> no_end(good.begin(), good.end() - 1);
  const std::vector<std::string> half1(good.begin(), good.begin() + 4);
  const std::vector<std::string> half2(good.begin() + 4, good.end());
  const char kNotAll[] = " [ :( ] -> Not all sections was found..";
  const std::string cyr_utf8 = "\x8f\xe0\xa8\xa2\xa5\xe2-\xd0\x9f.bin";
  auto hostile = [](const std::string& name) {
    return Section(1, 1, "x.uue", Uue("a", "begin 644 " + name));
  };
  struct Case {
    std::vector<Posted> messages;
    std::string file;  // expected output, "" for none
    std::string content;
    // Part of the one error line, or the information line kNotAll.
    const char* log;
  } cases[] = {
      {{Section(1, 1, "x.uue", good)}, "bin.dat", bin, ""},
      {{Section(1, 1, "x.uue", text_after)}, "x.uue", as_text, ""},
      {{Section(1, 1, "x.uue", bad_length)},
       "",
       "",
       "Binary file 'bin.dat' in area TEST.AREA not saved: bad length "
       "character in line 3"},
      {{Section(1, 1, "x.uue", no_end)}, "", "", "not saved: no end line"},
      {{Section(2, 2, "x.uue", half2)}, "", "", kNotAll},
      {{hostile("../evil")},
       "",
       "",
       "'../evil' in area TEST.AREA not saved: "
       "unsafe file name"},
      {{hostile("/etc/evil")}, "", "", "unsafe file name"},
      {{hostile("*.*")}, "", "", "unsafe file name"},
      {{hostile("a\x07.b")}, "", "", "unsafe file name"},
      {{hostile("Kavel.cfg")}, "", "", "unsafe file name"},
      {{Section(1, 1, "x", Uue("a", "begin 777 Run.SH"))}, "run.sh", "a", ""},
      {{Section(1, 1, "x", Uue("b", "begin 644 " + cyr_utf8))},
       LowerText(cyr_utf8),
       "b",
       ""},
      // Other posters: one message; parts by section lines (last first)
      // and by subject numbers, each part ending at its empty line.
      {{Foreign("Files", Join("Here it is:", good))}, "bin.dat", bin, ""},
      {{Foreign("x", Join("section 2 of 2 of file bin.dat", half2)),
        Foreign("x", Join("section 1 of 2 of file bin.dat", half1))},
       "bin.dat",
       bin,
       ""},
      {{Foreign("bin.dat (1/2)", half1), Foreign("bin.dat (2/2)", half2)},
       "bin.dat",
       bin,
       ""},
      {{Foreign("bin.dat (2/2)", half2)}, "", "", kNotAll},
      // A text posting numbered alike is no part at all.
      {{Foreign("[2/3] news", {"%percent", "end"})}, "", "", ""},
  };
  options_.decodeUue = true;
  options_.saveIfNotEnoughSections = true;
  options_.protectedNames = {"Kavel.cfg"};
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(n++);
    fs::remove_all(base_);
    fs::remove_all(text_);
    log_ = RecordingLog();
    for (const Posted& p : c.messages) Post(p);
    Decode();
    if (c.file.empty()) {
      EXPECT_FALSE(fs::exists(text_) && FilesUnder(text_) != 0);
    } else {
      EXPECT_EQ(Read(Text(c.file)), c.content);
      EXPECT_EQ(fs::status(Text(c.file)).permissions() & fs::perms::owner_exec,
                fs::perms::none);
    }
    EXPECT_EQ(log_.HasInfo(kNotAll), c.log == kNotAll);
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
