// The real program posting under faults, in every message-base format:
//   - killed (SIGKILL) at each system call that changes the base: the base
//     still opens, the messages posted before load exactly as they were,
//     the earlier posting still decodes, the independent readers (crashmail
//     for *.MSG, fidonet-jam for JAM) still read it, and the base takes the
//     next posting;
//   - a file-size limit (as on a full disk) reached at many places of a
//     posting: error lines, a normal end, no message linked that is not
//     whole, and the base takes the next posting;
//   - a read-only base and a base directory that vanishes (before the run
//     or while the program works on it): error lines, and the run goes on
//     with the next file or area.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "msgbase/message_area.h"
#include "support/e2e.h"
#include "support/limited_run.h"
#include "support/peers.h"
#include "support/posted_messages.h"
#include "support/traced_run.h"

namespace kavel::e2e {
namespace {

namespace fs = std::filesystem;

const char kOrigin[] = " * Origin: Faults (2:5020/1.5)\r";

struct Format {
  const char* name;  // for test names
  const char* word;  // the -b word of the areas file
  char letter;       // area id letter
};

const Format kFormats[] = {
    {"Msg", "Msg", 'M'}, {"Squish", "Squish", 'S'}, {"Jam", "Jam", 'J'}};

void PrintTo(const Format& format, std::ostream* out) { *out << format.name; }

std::string Lower(std::string text) {
  for (char& c : text) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return text;
}

// A text file of `sections` sections: every section but the last holds
// 228 lines of 70 characters (16416 counted bytes), the last one 100.
std::string FileText(const std::string& tag, int sections) {
  const int lines = 228 * (sections - 1) + 100;
  std::string text;
  for (int i = 0; i < lines; ++i) {
    std::string line = tag + " line " + std::to_string(i) + " ";
    line += std::string(70 - line.size(), static_cast<char>('a' + i % 26));
    text += line + "\r\n";
  }
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
    std::unique_ptr<MessageArea> probe;
    if (!CreateAreaObject(&probe, std::string(1, format().letter) + "/x")) {
      GTEST_SKIP() << "the format is not built in";
    }
    dir_.MakeDirectory("bases");
    dir_.WriteFile("in/a.txt", FileText("a", 2));
    dir_.WriteFile("in/b.txt", FileText("b", 2));
    dir_.WriteFile("in/c.txt", FileText("c", 1));
    AddArea("FOO");
    dir_.WriteFile("Kavel.cfg",
                   "HPTPATH areas\r\n"
                   "FROM John Doe\r\n"
                   "SUBJ Weekly\r\n"
                   "ORIGIN Faults\r\n"
                   "USEENCODEDSTRINGS yes\r\n"
                   "BASETEXTPATH " + dir_.Join("txt") + "\r\n");
  }

  const Format& format() const { return GetParam(); }

  // Every area has its own directory bases/<tag>/ that holds its base
  // (bases/<tag>/base, a directory for *.MSG).
  std::string AreaDir(const std::string& tag) const {
    return dir_.Join("bases/" + Lower(tag));
  }
  std::string BasePath(const std::string& tag) const {
    return AreaDir(tag) + "/base";
  }
  std::string AreaId(const std::string& tag) const {
    return std::string(1, format().letter) + BasePath(tag);
  }

  void AddArea(const std::string& tag) {
    areas_ += "EchoArea " + tag + " " + BasePath(tag) + " -b " +
              format().word + " -a 2:5020/1.5\n";
    dir_.WriteFile("areas", areas_);
    dir_.MakeDirectory("bases/" + Lower(tag));
  }

  RunResult Post(const std::string& file, const std::string& tag) {
    return dir_.Run({"/ENCODE", file, tag});
  }

  // Posts in/b.txt into FOO under the tracer, watching FOO's directory.
  // With kill_at 0 the program runs to its end; otherwise it is killed at
  // that point, which *where names.
  TracedResult TracePostingB(int kill_at = 0, std::string* where = nullptr) {
    return RunTraced(dir_.path(), {"/ENCODE", "in/b.txt", "FOO"},
                     AreaDir("FOO"), [&](const TracePoint& p) {
                       if (p.index != kill_at) return TraceAction::kContinue;
                       *where = p.call + " " + p.path;
                       return TraceAction::kKill;
                     });
  }

  // Posts normally and expects no error.
  void PostOk(const std::string& file, const std::string& tag) {
    RunResult run = Post(file, tag);
    ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
    ASSERT_EQ(run.out.find("[err]"), std::string::npos) << run.out;
  }

  // Copies the area directory of `tag` to `to` (below the run directory),
  // replacing what is there.
  void CopyArea(const std::string& from, const std::string& to) {
    std::error_code ec;
    fs::remove_all(dir_.Join(to), ec);
    fs::copy(dir_.Join(from), dir_.Join(to), fs::copy_options::recursive);
  }

  // The decoded file of that name below txt/ ("" when there is none); the
  // case of the decoded names is not part of the test.
  std::string Decoded(const std::string& name) const {
    std::error_code ec;
    for (const auto& e :
         fs::recursive_directory_iterator(dir_.Join("txt"), ec)) {
      if (e.is_regular_file() && Lower(e.path().filename()) == Lower(name)) {
        return dir_.ReadFile(fs::relative(e.path(), dir_.path()).string());
      }
    }
    return "";
  }

  // The decoded file `name` in the text-base subdirectory of the area.
  std::string DecodedIn(const std::string& tag, const std::string& name) const {
    std::error_code ec;
    for (const auto& e :
         fs::recursive_directory_iterator(dir_.Join("txt"), ec)) {
      if (e.is_regular_file() && Lower(e.path().filename()) == Lower(name) &&
          Lower(e.path().parent_path().filename()) == Lower(tag)) {
        return dir_.ReadFile(fs::relative(e.path(), dir_.path()).string());
      }
    }
    return "";
  }

  // Every file below the area directory with its content.
  std::vector<std::pair<std::string, std::string>> Snapshot(
      const std::string& tag) const {
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& e : fs::recursive_directory_iterator(AreaDir(tag))) {
      if (!e.is_regular_file()) continue;
      std::string rel = fs::relative(e.path(), dir_.path()).string();
      files.emplace_back(rel, dir_.ReadFile(rel));
    }
    std::sort(files.begin(), files.end());
    return files;
  }

  // Every message a posting of `file` stores, read from a scratch area.
  std::vector<PostedMessage> Reference(const std::string& file) {
    AddArea("REF" + std::to_string(++references_));
    const std::string tag = "REF" + std::to_string(references_);
    PostOk(file, tag);
    return ReadPostedMessages(AreaId(tag));
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
                  << ") is not a whole posted section; its text ends "
                  << m.text.substr(m.text.size() - std::min<size_t>(
                                                       m.text.size(), 80));
  }

  // The messages after the first `skip` are whole messages of a posting
  // of `references`, or (*.MSG only) the empty file of a number that a
  // killed writer reserved: never a part of a message.
  void ExpectWholeOrEmpty(const std::vector<PostedMessage>& messages,
                          size_t skip,
                          const std::vector<PostedMessage>& references) {
    for (size_t i = skip; i < messages.size(); ++i) {
      const PostedMessage& m = messages[i];
      if (format().letter == 'M' && m.text.empty() && m.subject.empty()) {
        continue;
      }
      ExpectWhole(m, references);
    }
  }

  void ExpectSame(const std::vector<PostedMessage>& now,
                  const std::vector<PostedMessage>& before) {
    ASSERT_GE(now.size(), before.size());
    for (size_t i = 0; i < before.size(); ++i) {
      EXPECT_EQ(now[i].number, before[i].number);
      EXPECT_EQ(now[i].subject, before[i].subject);
      EXPECT_EQ(now[i].from, before[i].from);
      EXPECT_EQ(now[i].attributes, before[i].attributes);
      EXPECT_TRUE(now[i].text == before[i].text)
          << "message " << before[i].number << " changed";
    }
  }

  // The independent reader of the format reads the base, and the messages
  // `expected` are its first ones, whole.
  void ExpectPeerReads(const std::string& tag,
                       const std::vector<PostedMessage>& expected) {
    if (format().letter == 'M') {
      if (!CrashmailMissing().empty()) return;
      CrashmailScan scan =
          ScanWithCrashmail(dir_.Join("cm"), BasePath(tag), tag);
      ASSERT_TRUE(scan.ok) << scan.log;
      // crashmail passes over an empty message file (a number reserved by
      // a writer that was killed); every other message is scanned whole.
      size_t at = 0;
      for (const PostedMessage& m : expected) {
        if (m.text.empty()) continue;
        ASSERT_LT(at, scan.messages.size()) << scan.log;
        const std::string& text = scan.messages[at++].text;
        const std::string area_line = "AREA:" + tag + "\r";
        ASSERT_EQ(text.rfind(area_line, 0), 0u);
        size_t seen_by = text.find("\rSEEN-BY: ");
        ASSERT_NE(seen_by, std::string::npos);
        EXPECT_TRUE(text.substr(area_line.size(),
                                seen_by + 1 - area_line.size()) == m.text)
            << "crashmail scanned message " << m.number << " differently";
      }
    } else if (format().letter == 'J') {
      if (!FidonetJamMissing().empty()) return;
      JamDump dump = DumpWithFidonetJam(BasePath(tag));
      ASSERT_TRUE(dump.ok) << dump.output;
      ASSERT_GE(dump.messages.size(), expected.size()) << dump.output;
      for (size_t i = 0; i < expected.size(); ++i) {
        const JamDumpMessage& m = dump.messages[i];
        EXPECT_EQ(m.crc, "msgid=ok tocrc=ok reply=ok");
        EXPECT_NE(std::find(m.subfields.begin(), m.subfields.end(),
                            "6 " + JamDumpEscaped(expected[i].subject)),
                  m.subfields.end())
            << dump.output;
        // The text the reader gives ends as the posted one.
        const std::string tail = JamDumpEscaped(
            std::string("text.end\r\r--- \r") + kOrigin);
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
  ASSERT_EQ(reference_b.size(), 2u);
  PostOk("in/a.txt", "FOO");
  const std::vector<PostedMessage> before = ReadPostedMessages(AreaId("FOO"));
  ASSERT_EQ(before.size(), 2u);
  CopyArea("bases/foo", "pristine");

  TracedResult full = TracePostingB();
  ASSERT_TRUE(full.traced);
  ASSERT_EQ(full.exit_code, 0) << full.out;
  ASSERT_GE(full.points, 4) << full.out;
  const std::string original_a = dir_.ReadFile("in/a.txt");

  for (int kill_at = 1; kill_at <= full.points; ++kill_at) {
    CopyArea("pristine", "bases/foo");
    std::string where;
    TracedResult run = TracePostingB(kill_at, &where);
    SCOPED_TRACE("killed at point " + std::to_string(kill_at) + " of " +
                 std::to_string(full.points) + ": " + where);
    ASSERT_TRUE(run.killed) << run.out;

    // The base opens, and the earlier messages load as they were.
    {
      std::unique_ptr<MessageArea> area;
      ASSERT_TRUE(OpenMessageArea(&area, AreaId("FOO")));
      CloseMessageArea(&area);
    }
    std::vector<PostedMessage> now = ReadPostedMessages(AreaId("FOO"));
    ExpectSame(now, before);
    ExpectWholeOrEmpty(now, before.size(), reference_b);

    // The independent reader still reads the earlier messages.
    ExpectPeerReads("FOO", now);

    // Our decoder still decodes the earlier posting.
    std::error_code ec;
    fs::remove_all(dir_.Join("txt"), ec);
    RunResult decode = dir_.Run({"/DECODE", "FOO"});
    EXPECT_EQ(decode.exit_code, 0) << decode.out << decode.err;
    EXPECT_TRUE(Decoded("a.txt") == original_a) << decode.out;

    // The base takes the next posting, which loads whole.
    RunResult next = Post("in/c.txt", "FOO");
    EXPECT_EQ(next.exit_code, 0);
    EXPECT_EQ(next.out.find("[err]"), std::string::npos) << next.out;
    std::vector<PostedMessage> after = ReadPostedMessages(AreaId("FOO"));
    ExpectSame(after, before);
    ASSERT_GT(after.size(), now.size());
    ExpectWhole(after.back(), reference_c);
    if (HasFailure()) break;  // one point's failures say enough
  }
}

TEST_P(PostingFaultTest, KilledWhileCreatingTheBaseLeavesABaseThatTakesPosts) {
  std::string reason;
  if (!TracingAvailable(&reason)) GTEST_SKIP() << reason;
  const std::vector<PostedMessage> reference_b = Reference("in/b.txt");
  const std::vector<PostedMessage> reference_c = Reference("in/c.txt");
  CopyArea("bases/foo", "pristine");  // the empty area directory
  TracedResult full = TracePostingB();
  ASSERT_TRUE(full.traced);
  ASSERT_EQ(full.exit_code, 0) << full.out;
  // The points of the creation of the base and the first ones of the first
  // message.
  const int points = std::min(full.points, 8);
  for (int kill_at = 1; kill_at <= points; ++kill_at) {
    CopyArea("pristine", "bases/foo");
    std::string where;
    TracedResult run = TracePostingB(kill_at, &where);
    SCOPED_TRACE("killed at point " + std::to_string(kill_at) + ": " + where);
    ASSERT_TRUE(run.killed) << run.out;
    RunResult next = Post("in/c.txt", "FOO");
    EXPECT_EQ(next.exit_code, 0);
    EXPECT_EQ(next.out.find("[err]"), std::string::npos) << next.out;
    std::vector<PostedMessage> after = ReadPostedMessages(AreaId("FOO"));
    ASSERT_FALSE(after.empty());
    ExpectWhole(after.back(), reference_c);
    after.pop_back();
    ExpectWholeOrEmpty(after, 0, reference_b);
    after.push_back(ReadPostedMessages(AreaId("FOO")).back());
    ExpectPeerReads("FOO", after);
    if (HasFailure()) break;
  }
}

// The largest file below `path`.
uint64_t LargestFileBelow(const std::string& path) {
  uint64_t largest = 0;
  for (const auto& e : fs::recursive_directory_iterator(path)) {
    if (e.is_regular_file()) largest = std::max<uint64_t>(largest, e.file_size());
  }
  return largest;
}

TEST_P(PostingFaultTest, FullDiskWhilePostingGivesErrorLinesAndLinksNoPart) {
  const std::vector<PostedMessage> reference_b = Reference("in/b.txt");
  const std::vector<PostedMessage> reference_c = Reference("in/c.txt");
  ASSERT_EQ(reference_b.size(), 2u);
  PostOk("in/a.txt", "FOO");
  const std::vector<PostedMessage> before = ReadPostedMessages(AreaId("FOO"));
  ASSERT_EQ(before.size(), 2u);
  CopyArea("bases/foo", "pristine");
  const std::string original_a = dir_.ReadFile("in/a.txt");
  const std::string original_c = dir_.ReadFile("in/c.txt");

  // A *.MSG message is a file of its own (about 16.5 KB for a whole
  // section, 7.5 KB for the last one of b.txt); the other formats append
  // to one data file. The limits fall before, inside and after sections.
  const uint64_t grown = format().letter == 'M' ? 0 : LargestFileBelow(
                                                          AreaDir("FOO"));
  const uint64_t steps[] = {1000, 4096, 8000, 12000, 16000,
                            17000, 20000, 26000, 30000};
  for (uint64_t step : steps) {
    const rlim_t limit = static_cast<rlim_t>(grown + step);
    SCOPED_TRACE("file-size limit " + std::to_string(limit));
    CopyArea("pristine", "bases/foo");
    std::error_code ec;
    fs::remove(dir_.Join("Kavel.log"), ec);
    Limits limits;
    limits.fileSize = limit;
    RunResult run = RunLimited(dir_, {"/ENCODE", "in/b.txt", "FOO"}, limits);
    EXPECT_EQ(run.exit_code, 0) << run.out;  // -1: killed by a signal
    EXPECT_NE(run.out.find("End.."), std::string::npos) << run.out;

    // The base opens; the earlier messages are as they were; every other
    // message listed is a whole section of b.txt.
    {
      std::unique_ptr<MessageArea> area;
      ASSERT_TRUE(OpenMessageArea(&area, AreaId("FOO")));
      CloseMessageArea(&area);
    }
    std::vector<PostedMessage> now = ReadPostedMessages(AreaId("FOO"));
    ExpectSame(now, before);
    for (size_t i = before.size(); i < now.size(); ++i) {
      ExpectWhole(now[i], reference_b);
    }
    // The first section that did not make it has its error line, and ends
    // the posting.
    const size_t stored = now.size() - before.size();
    EXPECT_LE(stored, 2u);
    EXPECT_EQ(Count(run.out, "[err] Unable to write message"),
              stored < 2 ? 1u : 0u)
        << run.out;
    if (format().letter == 'M') {
      for (const std::string& name : dir_.List("bases/foo/base")) {
        EXPECT_EQ(name.find(".kv$"), std::string::npos) << "left: " << name;
      }
    }
    ExpectPeerReads("FOO", now);

    // Without the limit the base takes the next posting, and both whole
    // postings decode.
    RunResult next = Post("in/c.txt", "FOO");
    EXPECT_EQ(next.exit_code, 0);
    EXPECT_EQ(next.out.find("[err]"), std::string::npos) << next.out;
    std::vector<PostedMessage> after = ReadPostedMessages(AreaId("FOO"));
    ASSERT_EQ(after.size(), now.size() + 1);
    ExpectWhole(after.back(), reference_c);
    fs::remove_all(dir_.Join("txt"), ec);
    RunResult decode = dir_.Run({"/DECODE", "FOO"});
    EXPECT_EQ(decode.exit_code, 0);
    EXPECT_TRUE(Decoded("a.txt") == original_a) << decode.out;
    EXPECT_TRUE(Decoded("c.txt") == original_c) << decode.out;
    if (HasFailure()) break;
  }
}

TEST_P(PostingFaultTest, FullDiskWhileCreatingTheBaseGivesAnErrorLine) {
  const std::vector<PostedMessage> reference_c = Reference("in/c.txt");
  for (rlim_t limit : {rlim_t{1}, rlim_t{100}, rlim_t{255}, rlim_t{1000}}) {
    SCOPED_TRACE("file-size limit " + std::to_string(limit));
    std::error_code ec;
    fs::remove_all(AreaDir("FOO"), ec);
    dir_.MakeDirectory("bases/foo");
    fs::remove(dir_.Join("Kavel.log"), ec);
    Limits limits;
    limits.fileSize = limit;
    RunResult run = RunLimited(dir_, {"/ENCODE", "in/c.txt", "FOO"}, limits);
    EXPECT_EQ(run.exit_code, 0) << run.out;
    EXPECT_NE(run.out.find("[err] "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("End.."), std::string::npos) << run.out;
    // Whatever is left of the base never lists a message that is not
    // whole, and the base takes the posting once there is room.
    for (const PostedMessage& m : ReadPostedMessages(AreaId("FOO"))) {
      ExpectWhole(m, reference_c);
    }
    RunResult next = Post("in/c.txt", "FOO");
    EXPECT_EQ(next.exit_code, 0);
    EXPECT_EQ(next.out.find("[err]"), std::string::npos) << next.out;
    std::vector<PostedMessage> after = ReadPostedMessages(AreaId("FOO"));
    ASSERT_FALSE(after.empty());
    ExpectWhole(after.back(), reference_c);
    if (HasFailure()) break;
  }
}

TEST_P(PostingFaultTest, ReadOnlyBaseGivesAnErrorLinePerFileAndStaysAsItWas) {
  PostOk("in/a.txt", "FOO");
  const auto before = Snapshot("FOO");
  const fs::perms read_only = fs::perms::owner_read | fs::perms::group_read |
                              fs::perms::others_read;
  const fs::perms exec = fs::perms::owner_exec | fs::perms::group_exec |
                         fs::perms::others_exec;
  Limits limits;
  if (geteuid() == 0) {
    // Root writes anywhere: the program runs as an unprivileged user that
    // owns everything but the read-only base.
    limits.asNobody = true;
    ASSERT_TRUE(CopyProgramForNobody(dir_, &limits.program));
    ASSERT_TRUE(GiveToNobody(dir_, AreaDir("FOO")));
  }
  for (const auto& e : fs::recursive_directory_iterator(AreaDir("FOO"))) {
    fs::permissions(e.path(), e.is_directory() ? read_only | exec : read_only);
  }
  fs::permissions(AreaDir("FOO"), read_only | exec);

  RunResult run = RunLimited(dir_, {"/ENCODE", "in/*.txt", "FOO"}, limits);
  fs::permissions(AreaDir("FOO"), fs::perms::owner_all, fs::perm_options::add);
  for (const auto& e : fs::recursive_directory_iterator(AreaDir("FOO"))) {
    fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add);
  }
  EXPECT_EQ(run.exit_code, 0) << run.out;
  // Every file is tried, each gets its error line, and the run ends.
  EXPECT_EQ(Count(run.out, " [+] -> Posting file "), 3u) << run.out;
  EXPECT_GE(Count(run.out, "[err] "), 3u) << run.out;
  EXPECT_EQ(Count(run.out, "  - Ok..."), 0u) << run.out;
  EXPECT_NE(run.out.find("End.."), std::string::npos) << run.out;
  EXPECT_TRUE(Snapshot("FOO") == before) << "the read-only base changed";
  // Writable again, it takes the next posting.
  if (geteuid() == 0) fs::remove(dir_.Join("Kavel.log"));
  PostOk("in/c.txt", "FOO");
  EXPECT_EQ(ReadPostedMessages(AreaId("FOO")).size(), 3u);
}

TEST_P(PostingFaultTest, BaseDirectoryVanishingWhilePostingGivesErrorLines) {
  std::string reason;
  if (!TracingAvailable(&reason)) GTEST_SKIP() << reason;
  PostOk("in/a.txt", "FOO");
  bool removed = false;
  TracedResult run = RunTraced(
      dir_.path(), {"/ENCODE", "in/*.txt", "FOO"}, AreaDir("FOO"),
      [&](const TracePoint&) {
        if (!removed) fs::remove_all(AreaDir("FOO"));
        removed = true;
        return TraceAction::kContinue;
      });
  ASSERT_TRUE(removed) << run.out;
  EXPECT_EQ(run.exit_code, 0) << run.out;
  EXPECT_EQ(Count(run.out, " [+] -> Posting file "), 3u) << run.out;
  // The files after the one being posted find no base directory.
  EXPECT_GE(Count(run.out, "[err] Unable to open/create msgbase"), 2u)
      << run.out;
  EXPECT_NE(run.out.find("End.."), std::string::npos) << run.out;
}

TEST_P(PostingFaultTest, VanishedBasesWhileDecodingAllAreasAreSkipped) {
  std::string reason;
  if (!TracingAvailable(&reason)) GTEST_SKIP() << reason;
  AddArea("ONE");
  AddArea("TWO");
  AddArea("THREE");
  for (const char* tag : {"FOO", "ONE", "TWO", "THREE"}) {
    PostOk("in/c.txt", tag);
  }
  const std::string original = dir_.ReadFile("in/c.txt");
  // ONE is gone before the run; TWO goes while the run decodes an area
  // before it.
  fs::remove_all(AreaDir("ONE"));
  bool removed = false;
  TracedResult run =
      RunTraced(dir_.path(), {"/ALL"}, dir_.Join("txt"), [&](const TracePoint&) {
        if (!removed) fs::remove_all(AreaDir("TWO"));
        removed = true;
        return TraceAction::kContinue;
      });
  ASSERT_TRUE(removed) << run.out;
  EXPECT_EQ(run.exit_code, 0) << run.out;
  EXPECT_NE(run.out.find("Unable to open message base " + BasePath("ONE")),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("Unable to open message base " + BasePath("TWO")),
            std::string::npos)
      << run.out;
  EXPECT_TRUE(DecodedIn("FOO", "c.txt") == original) << run.out;
  EXPECT_TRUE(DecodedIn("THREE", "c.txt") == original) << run.out;
  EXPECT_NE(run.out.find("End.."), std::string::npos) << run.out;
}

INSTANTIATE_TEST_SUITE_P(Formats, PostingFaultTest,
                         ::testing::ValuesIn(kFormats),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace kavel::e2e
