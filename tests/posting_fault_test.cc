// The real program posting under faults, in every message-base format:
//   - killed (SIGKILL) at each system call that changes the base: the base
//     still opens, the messages posted before load exactly as they were,
//     the earlier posting still decodes, the independent readers (crashmail
//     for *.MSG, fidonet-jam for JAM) still read it, and the base takes the
//     next posting;
//   - a file-size limit (as on a full disk) reached at many places of a
//     posting: error lines, a normal end, no message linked that is not
//     whole, and the base takes the next posting;
//   - a read-only base, bases missing when /ALL decodes, and a full disk or
//     a read-only text base while decoding: error lines, and the run goes on
//     with the next file or area.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "support/e2e.h"
#include "support/limited_run.h"
#include "support/peers.h"
#include "support/posted_messages.h"
#include "support/traced_run.h"

namespace kavel::e2e {
namespace {

namespace fs = std::filesystem;

struct Format {
  const char* word;  // the -b word of the areas file
  char letter;       // area id letter
};
const Format kFormats[] = {{"Msg", 'M'}, {"Squish", 'S'}, {"Jam", 'J'}};
void PrintTo(const Format& format, std::ostream* out) { *out << format.word; }

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(c & 0xff));
  return text;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos;
       at = text.find(what, at + 1)) {
    ++count;
  }
  return count;
}

class PostingFaultTest : public ::testing::TestWithParam<Format> {
 protected:
  void SetUp() override {
    // Every section but the last holds 228 lines of 70 characters (16416
    // counted bytes), the last one 100.
    const std::pair<char, int> files[] = {{'a', 2}, {'b', 2}, {'c', 1}};
    for (const auto& [tag, sections] : files) {
      std::string text;
      for (int i = 0; i < 228 * (sections - 1) + 100; ++i) {
        std::string line = tag + (" line " + std::to_string(i)) + " ";
        text +=
            line + std::string(70 - line.size(), char('a' + i % 26)) + "\r\n";
      }
      dir_.WriteFile(std::string("in/") + tag + ".txt", text);
    }
    AddArea("FOO");
    dir_.WriteConfig({"FROM John Doe", "SUBJ Weekly", "ORIGIN Faults",
                      "USEENCODEDSTRINGS yes", "BASETEXTPATH txt"});
  }

  // Every area has its own directory bases/<tag>/ that holds its base
  // (bases/<tag>/base, a directory for *.MSG).
  std::string AreaDir(const std::string& tag) const {
    return dir_.Join("bases/" + Lower(tag));
  }
  std::string BasePath(const std::string& tag) const {
    return AreaDir(tag) + "/base";
  }
  std::string AreaId(const std::string& tag) const {
    return GetParam().letter + BasePath(tag);
  }
  std::vector<PostedMessage> Read(const std::string& tag = "FOO") const {
    return ReadPostedMessages(AreaId(tag));
  }

  void AddArea(const std::string& tag) {
    areas_ += "EchoArea " + tag + " " + BasePath(tag) + " -b " +
              GetParam().word + " -a 2:5020/1.5\n";
    dir_.WriteFile("areas", areas_);
    dir_.MakeDirectory("bases/" + Lower(tag));
  }

  // Posts and expects no error.
  void PostOk(const std::string& file, const std::string& tag) {
    RunResult run = dir_.Run({"/ENCODE", file, tag});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.out.find("[err]"), std::string::npos) << run.out;
  }

  // Replaces the directory `to` by a copy of `from` (below the run dir).
  void CopyArea(const std::string& from, const std::string& to) {
    fs::remove_all(dir_.Join(to));
    fs::copy(dir_.Join(from), dir_.Join(to), fs::copy_options::recursive);
  }

  // The decoded file of that name below txt/ ("" when there is none).
  std::string Decoded(const std::string& name, const std::string& tag) {
    return dir_.ReadFile("txt/" + Lower(tag) + "/" + name);
  }

  // Every message a posting of `file` stores, read from a scratch area.
  std::vector<PostedMessage> Reference(const std::string& file) {
    const std::string tag = "REF" + std::to_string(++references_);
    AddArea(tag);
    PostOk(file, tag);
    return Read(tag);
  }

  // A message is whole when its text is exactly that of the reference
  // message with its subject, apart from the MSGID serial.
  void ExpectWhole(const PostedMessage& m,
                   const std::vector<PostedMessage>& references) {
    for (const PostedMessage& r : references) {
      if (r.subject == m.subject && r.text_after_msgid == m.text_after_msgid) {
        return;
      }
    }
    ADD_FAILURE() << "message " << m.number << " (" << m.subject
                  << ") is not a whole posted section";
  }

  // The messages of `before` come first in `now`, unchanged.
  void ExpectSame(const std::vector<PostedMessage>& now,
                  const std::vector<PostedMessage>& before) {
    ASSERT_GE(now.size(), before.size());
    for (size_t i = 0; i < before.size(); ++i) {
      EXPECT_EQ(now[i].number, before[i].number);
      EXPECT_EQ(now[i].subject, before[i].subject);
      EXPECT_TRUE(now[i].text == before[i].text)
          << "message " << before[i].number << " changed";
    }
  }

  // The independent reader of the format reads FOO, and the messages
  // `expected` are its first ones, whole.
  void ExpectPeerReads(const std::vector<PostedMessage>& expected) {
    if (GetParam().letter == 'M' && CrashmailMissing().empty()) {
      CrashmailScan scan =
          ScanWithCrashmail(dir_.Join("cm"), BasePath("FOO"), "FOO");
      ASSERT_TRUE(scan.ok) << scan.log;
      // crashmail passes over an empty message file (a number reserved by
      // a writer that was killed); every other message is scanned whole:
      // the packet text is "AREA:FOO\r", the stored text, then SEEN-BY.
      size_t at = 0;
      for (const PostedMessage& m : expected) {
        if (m.text.empty()) continue;
        ASSERT_LT(at, scan.messages.size()) << scan.log;
        EXPECT_EQ(scan.messages[at++].text.rfind(
                      "AREA:FOO\r" + m.text + "SEEN-BY: ", 0),
                  0u)
            << "crashmail scanned message " << m.number << " differently";
      }
    } else if (GetParam().letter == 'J' && FidonetJamMissing().empty()) {
      JamDump dump = DumpWithFidonetJam(BasePath("FOO"));
      ASSERT_TRUE(dump.ok) << dump.output;
      ASSERT_GE(dump.messages.size(), expected.size()) << dump.output;
      for (size_t i = 0; i < expected.size(); ++i) {
        const JamDumpMessage& m = dump.messages[i];
        EXPECT_EQ(m.crc, "msgid=ok tocrc=ok reply=ok");
        const auto& subs = m.subfields;
        EXPECT_NE(std::find(subs.begin(), subs.end(),
                            "6 " + JamDumpEscaped(expected[i].subject)),
                  subs.end())
            << dump.output;
        // The text the reader gives ends as the posted one.
        const std::string tail = JamDumpEscaped(
            "text.end\r\r--- \r * Origin: Faults (2:5020/1.5)\r");
        EXPECT_TRUE(m.text.size() > tail.size() &&
                    m.text.compare(m.text.size() - tail.size() + 1,
                                   tail.size() - 1, tail, 1) == 0)
            << "fidonet-jam reads message " << i + 1 << " as " << m.text;
      }
    }
  }

  RunDirectory dir_;
  std::string areas_;
  int references_ = 0;
};

TEST_P(PostingFaultTest, KilledWhilePostingLeavesEarlierMessagesReadable) {
  std::string reason;
  if (!TracingAvailable(&reason)) GTEST_SKIP() << reason;
  const std::vector<PostedMessage> reference_b = Reference("in/b.txt");
  const std::vector<PostedMessage> reference_c = Reference("in/c.txt");
  PostOk("in/a.txt", "FOO");
  const std::vector<PostedMessage> before = Read();
  ASSERT_EQ(before.size(), 2u);
  CopyArea("bases/foo", "pristine");
  // Posts in/b.txt into FOO and kills the program at point `kill_at` (0:
  // never) of those in FOO's directory.
  auto post_b = [&](int kill_at, std::string* where) {
    return RunTraced(dir_.path(), {"/ENCODE", "in/b.txt", "FOO"},
                     AreaDir("FOO"), [&](const TracePoint& p) {
                       if (p.index != kill_at) return TraceAction::kContinue;
                       *where = p.call + " " + p.path;
                       return TraceAction::kKill;
                     });
  };
  std::string where;
  TracedResult full = post_b(0, &where);
  ASSERT_TRUE(full.traced);
  ASSERT_EQ(full.exit_code, 0) << full.out;
  ASSERT_GE(full.points, 4) << full.out;

  for (int kill_at = 1; kill_at <= full.points; ++kill_at) {
    CopyArea("pristine", "bases/foo");
    TracedResult run = post_b(kill_at, &where);
    SCOPED_TRACE("killed at point " + std::to_string(kill_at) + " of " +
                 std::to_string(full.points) + ": " + where);
    ASSERT_TRUE(run.killed) << run.out;

    // The base opens; the earlier messages load as they were; the others
    // are whole sections of b.txt, or (*.MSG only) the empty file of a
    // number that the killed writer reserved.
    std::vector<PostedMessage> now = Read();
    ExpectSame(now, before);
    for (size_t i = before.size(); i < now.size(); ++i) {
      if (GetParam().letter == 'M' && now[i].text.empty()) continue;
      ExpectWhole(now[i], reference_b);
    }
    ExpectPeerReads(now);

    // Our decoder still decodes the earlier posting.
    fs::remove_all(dir_.Join("txt"));
    RunResult decode = dir_.Run({"/DECODE", "FOO"});
    EXPECT_TRUE(Decoded("a.txt", "FOO") == dir_.ReadFile("in/a.txt"))
        << decode.out;

    // The base takes the next posting, which loads whole.
    PostOk("in/c.txt", "FOO");
    std::vector<PostedMessage> after = Read();
    ExpectSame(after, before);
    ASSERT_GT(after.size(), now.size());
    ExpectWhole(after.back(), reference_c);
    if (HasFailure()) break;  // one point's failures say enough
  }
}

TEST_P(PostingFaultTest, FullDiskWhilePostingGivesErrorLinesAndLinksNoPart) {
  const std::vector<PostedMessage> reference_b = Reference("in/b.txt");
  const std::vector<PostedMessage> reference_c = Reference("in/c.txt");
  PostOk("in/a.txt", "FOO");
  const std::vector<PostedMessage> before = Read();
  CopyArea("bases/foo", "pristine");
  // A *.MSG message is a file of its own (about 16.5 KB for a whole
  // section, 7.5 KB for the last one of b.txt); the other formats append
  // to one data file. The limits fall before, inside and after sections.
  uint64_t grown = 0;
  for (const auto& e : fs::recursive_directory_iterator(AreaDir("FOO"))) {
    if (GetParam().letter != 'M' && e.is_regular_file()) {
      grown = std::max<uint64_t>(grown, e.file_size());
    }
  }
  for (uint64_t step :
       {1000, 4096, 8000, 12000, 16000, 17000, 20000, 26000, 30000}) {
    Limits limits;
    limits.fileSize = static_cast<rlim_t>(grown + step);
    SCOPED_TRACE("file-size limit " + std::to_string(limits.fileSize));
    CopyArea("pristine", "bases/foo");
    fs::remove(dir_.Join("Kavel.log"));
    RunResult run = dir_.Run({"/ENCODE", "in/b.txt", "FOO"}, limits);
    EXPECT_EQ(run.exit_code, 0) << run.out;  // -1: killed by a signal
    EXPECT_NE(run.out.find("End.."), std::string::npos) << run.out;
    // The earlier messages are as they were; every other message listed
    // is a whole section of b.txt; the first section that did not make it
    // has its error line and ends the posting.
    std::vector<PostedMessage> now = Read();
    ExpectSame(now, before);
    for (size_t i = before.size(); i < now.size(); ++i) {
      ExpectWhole(now[i], reference_b);
    }
    const size_t stored = now.size() - before.size();
    EXPECT_LE(stored, 2u);
    EXPECT_EQ(Count(run.out, "[err] Unable to write message"),
              stored < 2 ? 1u : 0u)
        << run.out;
    for (const std::string& name : dir_.FilesBelow("bases/foo")) {
      EXPECT_EQ(name.find(".kv$"), std::string::npos) << "left: " << name;
    }
    ExpectPeerReads(now);
    // Without the limit the base takes the next posting.
    PostOk("in/c.txt", "FOO");
    std::vector<PostedMessage> after = Read();
    ASSERT_EQ(after.size(), now.size() + 1);
    ExpectWhole(after.back(), reference_c);
    if (HasFailure()) break;
  }
}

TEST_P(PostingFaultTest, ReadOnlyBaseGivesAnErrorLinePerFileAndStaysAsItWas) {
  PostOk("in/a.txt", "FOO");
  std::vector<std::pair<std::string, std::string>> before, after;
  for (const std::string& file : dir_.FilesBelow("bases/foo")) {
    before.emplace_back(file, dir_.ReadFile(file));
  }
  Limits limits;
  if (geteuid() == 0) {
    // Root writes anywhere: the program runs as an unprivileged user that
    // owns everything but the read-only base.
    limits.asNobody = true;
    ASSERT_TRUE(CopyProgramForNobody(dir_, &limits.program));
    ASSERT_TRUE(GiveToNobody(dir_, AreaDir("FOO")));
  }
  const fs::perms r =
      fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
  const fs::perms rx = r | fs::perms::owner_exec | fs::perms::group_exec |
                       fs::perms::others_exec;
  for (const auto& e : fs::recursive_directory_iterator(AreaDir("FOO"))) {
    fs::permissions(e.path(), e.is_directory() ? rx : r);
  }
  fs::permissions(AreaDir("FOO"), rx);
  RunResult run = dir_.Run({"/ENCODE", "in/*.txt", "FOO"}, limits);
  for (const auto& e : fs::recursive_directory_iterator(AreaDir("FOO"))) {
    fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add);
  }
  EXPECT_EQ(run.exit_code, 0) << run.out;
  // Every file is tried, each gets its error line, and the run ends.
  EXPECT_EQ(Count(run.out, " [+] -> Posting file "), 3u) << run.out;
  EXPECT_GE(Count(run.out, "[err] "), 3u) << run.out;
  EXPECT_EQ(Count(run.out, "  - Ok..."), 0u) << run.out;
  EXPECT_NE(run.out.find("End.."), std::string::npos) << run.out;
  for (const std::string& file : dir_.FilesBelow("bases/foo")) {
    after.emplace_back(file, dir_.ReadFile(file));
  }
  EXPECT_TRUE(after == before) << "the read-only base changed";
}

TEST_P(PostingFaultTest, MissingBasesWhileDecodingAllAreasAreSkipped) {
  AddArea("ONE");
  AddArea("TWO");
  for (const char* tag : {"FOO", "ONE", "TWO"}) PostOk("in/c.txt", tag);
  fs::remove_all(AreaDir("ONE"));
  RunResult run = dir_.Run({"/ALL"});
  EXPECT_EQ(run.exit_code, 0) << run.out;
  EXPECT_NE(run.out.find("Unable to open message base " + BasePath("ONE")),
            std::string::npos)
      << run.out;
  EXPECT_TRUE(Decoded("c.txt", "FOO") == dir_.ReadFile("in/c.txt"));
  EXPECT_TRUE(Decoded("c.txt", "TWO") == dir_.ReadFile("in/c.txt"));
  EXPECT_NE(run.out.find("End.."), std::string::npos) << run.out;
}

// Decoding under a file-size limit and into a text base it may not write:
// error lines, no partly written file, and the run goes on with the next
// file and area. The format of the base plays no part here.
TEST_P(PostingFaultTest, FullDiskOrReadOnlyTextBaseWhileDecoding) {
  if (GetParam().letter != 'M') GTEST_SKIP() << "one format is enough";
  AddArea("TWO");
  PostOk("in/a.txt", "FOO");  // about 24 KB: over the limit
  PostOk("in/c.txt", "FOO");  // 7 KB: fits
  PostOk("in/c.txt", "TWO");
  const std::string c = dir_.ReadFile("in/c.txt");
  Limits limits;
  limits.fileSize = 8192;
  RunResult run = dir_.Run({"/ALL"}, limits);
  EXPECT_EQ(run.exit_code, 0) << run.out;
  EXPECT_NE(run.out.find("[err] "), std::string::npos) << run.out;
  EXPECT_FALSE(dir_.Exists("txt/foo/a.txt")) << run.out;
  EXPECT_TRUE(Decoded("c.txt", "FOO") == c) << run.out;
  EXPECT_TRUE(Decoded("c.txt", "TWO") == c) << run.out;
  for (const std::string& name : dir_.FilesBelow("txt")) {
    EXPECT_EQ(name.find(".kv$"), std::string::npos) << "left: " << name;
  }

  fs::remove_all(dir_.Join("txt"));
  dir_.MakeDirectory("txt/foo");
  limits = Limits();
  if (geteuid() == 0) {
    limits.asNobody = true;
    ASSERT_TRUE(CopyProgramForNobody(dir_, &limits.program));
    ASSERT_TRUE(GiveToNobody(dir_, dir_.Join("txt/foo")));
  }
  fs::permissions(dir_.Join("txt/foo"),
                  fs::perms::owner_write | fs::perms::group_write |
                      fs::perms::others_write,
                  fs::perm_options::remove);
  run = dir_.Run({"/ALL"}, limits);
  fs::permissions(dir_.Join("txt/foo"), fs::perms::owner_all,
                  fs::perm_options::add);
  EXPECT_NE(run.out.find("[err] "), std::string::npos) << run.out;
  EXPECT_TRUE(dir_.List("txt/foo").empty());
  EXPECT_TRUE(Decoded("c.txt", "TWO") == c) << run.out;
}

INSTANTIATE_TEST_SUITE_P(Formats, PostingFaultTest,
                         ::testing::ValuesIn(kFormats),
                         [](const auto& info) { return info.param.word; });

}  // namespace
}  // namespace kavel::e2e
