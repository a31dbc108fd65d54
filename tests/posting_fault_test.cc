// The real program under faults, in every message-base format:
//   - the binary killed (SIGKILL) at each system call that changes the
//     base: the base still opens, the messages posted before load exactly
//     as they were, the earlier posting still decodes, and the base takes
//     the next posting;
//   - the program run in-process through the fault-injecting Env (no
//     space, a refused write, a read-only base, a held lock, a stop; a
//     full or read-only text base while decoding): error lines, a normal
//     end, no message linked that is not whole, no temporary file left, and
//     the base takes the next posting.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "driver/run.h"
#include "platform/env.h"
#include "platform/fault_env.h"
#include "support/e2e.h"
#include "support/posted_messages.h"
#include "support/traced_run.h"
#include "util/case_fold.h"

namespace kavel::e2e {
namespace {

namespace fs = std::filesystem;

// The -b word of the areas file; its first letter starts the area id.
class PostingFaultTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    // Every section but the last holds 228 lines of 70 characters (16416
    // counted bytes), the last one 100.
    const std::pair<char, int> files[] = {{'a', 2}, {'b', 2}, {'c', 1}};
    for (const auto& [tag, sections] : files) {
      dir_.WriteFile(std::string("in/") + tag + ".txt",
                     PostedFile(tag, 228 * (sections - 1) + 100));
    }
    AddArea("FOO");
    dir_.WriteConfig({"FROM John Doe", "SUBJ Weekly", "ORIGIN Faults",
                      "USEENCODEDSTRINGS yes", "BASETEXTPATH txt",
                      "LOCKWAIT 0"});
  }

  // Every area has its own directory bases/<tag>/ that holds its base
  // (bases/<tag>/base, a directory for *.MSG).
  std::string AreaDir(const std::string& tag) const {
    return dir_.Join("bases/" + LowerText(tag));
  }
  std::string BasePath(const std::string& tag) const {
    return AreaDir(tag) + "/base";
  }
  std::string AreaId(const std::string& tag) const {
    return GetParam()[0] + BasePath(tag);
  }
  std::vector<PostedMessage> Read(const std::string& tag = "FOO") const {
    return ReadPostedMessages(AreaId(tag));
  }

  void AddArea(const std::string& tag) {
    areas_ += "EchoArea " + tag + " " + BasePath(tag) + " -b " + GetParam() +
              " -a 2:5020/1.5\n";
    dir_.WriteFile("areas", areas_);
    dir_.MakeDirectory("bases/" + LowerText(tag));
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
    return dir_.ReadFile("txt/" + LowerText(tag) + "/" + name);
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

  // After a posting of b.txt into FOO that failed: the messages of `before`
  // load as they were, the others are whole sections of b.txt or (*.MSG
  // only) the empty file of a number that the writer reserved; the base
  // takes the next posting (of c.txt), which loads whole.
  void ExpectRecovered(const std::vector<PostedMessage>& before,
                       const std::vector<PostedMessage>& reference_b,
                       const std::vector<PostedMessage>& reference_c) {
    const std::vector<PostedMessage> now = Read();
    ExpectSame(now, before);
    for (size_t i = before.size(); i < now.size(); ++i) {
      if (GetParam()[0] == 'M' && now[i].text.empty()) continue;
      ExpectWhole(now[i], reference_b);
    }
    PostOk("in/c.txt", "FOO");
    const std::vector<PostedMessage> after = Read();
    ExpectSame(after, before);
    EXPECT_GT(after.size(), now.size());
    if (after.size() > now.size()) ExpectWhole(after.back(), reference_c);
  }

  RunDirectory dir_;
  std::string areas_;
  int references_ = 0;
};

TEST_P(PostingFaultTest, KilledWhilePostingLeavesEarlierMessagesReadable) {
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
  if (!full.traced) GTEST_SKIP() << "system calls cannot be traced here";
  ASSERT_EQ(full.exit_code, 0) << full.out;
  ASSERT_GE(full.points, 4) << full.out;

  for (int kill_at = 1; kill_at <= full.points; ++kill_at) {
    CopyArea("pristine", "bases/foo");
    TracedResult run = post_b(kill_at, &where);
    SCOPED_TRACE("killed at point " + std::to_string(kill_at) + " of " +
                 std::to_string(full.points) + ": " + where);
    ASSERT_TRUE(run.killed) << run.out;
    // Our decoder still decodes the earlier posting.
    fs::remove_all(dir_.Join("txt"));
    RunResult decode = dir_.Run({"/DECODE", "FOO"});
    EXPECT_TRUE(Decoded("a.txt", "FOO") == dir_.ReadFile("in/a.txt"))
        << decode.out;
    ExpectRecovered(before, reference_b, reference_c);
    if (HasFailure()) break;  // one point's failures say enough
  }
}

// A *.MSG area stores each section on a second thread while the next one
// is made. A section that fails there (its directory gone when it is
// linked) ends the posting with its own number: no later section is
// announced or stored, and nothing is left behind.
TEST_P(PostingFaultTest, ASectionFailingBehindEndsThePostingWithItsNumber) {
  if (GetParam()[0] != 'M') GTEST_SKIP() << "only *.MSG stores behind";
  dir_.WriteFile("in/d.txt", PostedFile('d', 228 * 3 + 100));
  const std::string area = AreaDir("FOO");
  const std::string away = area + ".away";
  int links = 0;
  TracedResult run = RunTraced(dir_.path(), {"/ENCODE", "in/d.txt", "FOO"},
                               area, [&](const TracePoint& p) {
                                 if (p.call == "linkat" && ++links == 2)
                                   fs::rename(area, away);
                                 return TraceAction::kContinue;
                               });
  if (!run.traced) GTEST_SKIP() << "system calls cannot be traced here";
  ASSERT_EQ(links, 2) << run.out;
  fs::rename(away, area);
  EXPECT_NE(run.out.find("-> [2/4]"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Unable to write message [2/4]: the rest of "
                         "IN/d.txt is not posted"),
            std::string::npos)
      << run.out;
  EXPECT_EQ(run.out.find("-> [3/4]"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("  - Ok..."), std::string::npos) << run.out;
  EXPECT_EQ(dir_.FilesBelow("bases/foo"),
            std::vector<std::string>{"bases/foo/base/2.msg"});
  const std::vector<PostedMessage> reference_c = Reference("in/c.txt");
  PostOk("in/c.txt", "FOO");
  const std::vector<PostedMessage> after = Read();
  ASSERT_EQ(after.size(), 2u);
  ExpectWhole(after.back(), reference_c);
}

// Runs the program in-process in the run directory with `env` as its Env;
// answers what it printed.
std::string RunThrough(Env* env, const std::string& dir,
                       const std::vector<std::string>& arguments) {
  ScopedEnv scoped(env);
  const fs::path old = fs::current_path();
  fs::current_path(dir);
  env->ForgetPathCache();
  std::vector<std::string_view> views(arguments.begin(), arguments.end());
  ::testing::internal::CaptureStdout();
  RunKavel(views);
  std::string out = ::testing::internal::GetCapturedStdout();
  fs::current_path(old);
  return out;
}

TEST_P(PostingFaultTest, EnvFaultsWhilePostingLeaveTheBaseWhole) {
  const std::vector<PostedMessage> reference_b = Reference("in/b.txt");
  const std::vector<PostedMessage> reference_c = Reference("in/c.txt");
  PostOk("in/a.txt", "FOO");
  const std::vector<PostedMessage> before = Read();
  CopyArea("bases/foo", "pristine");
  const bool msg = GetParam()[0] == 'M';
  // The files of FOO's base that a posting writes.
  const std::vector<std::string> masks =
      msg ? std::vector<std::string>{"*.msg", "*.kv$"}
          : std::vector<std::string>{"base.*"};
  const struct {
    const char* fault;
    std::function<void(FaultEnv&, const std::string&)> arm;
    bool stops;
  } cases[] = {
      {"no space from the first write",
       [](FaultEnv& f, const std::string& m) { f.NoSpaceFromNthWrite(1, m); },
       false},
      {"the first write refused",
       [](FaultEnv& f, const std::string& m) { f.FailNthWrite(1, m); }, false},
      {"a read-only base",
       [](FaultEnv& f, const std::string& m) { f.DenyAccess(m, true); }, false},
      {"the base lock held by another process",
       [](FaultEnv& f, const std::string& m) { f.HoldLocks(m); }, false},
      {"stopped at the first write",
       [](FaultEnv& f, const std::string& m) { f.StopAtNthWrite(1, m); }, true},
  };
  for (const auto& c : cases) {
    if (msg && std::string(c.fault).find("lock") != std::string::npos) {
      continue;  // *.MSG bases take no lock
    }
    SCOPED_TRACE(c.fault);
    CopyArea("pristine", "bases/foo");
    FaultEnv faults(Env::Default());
    for (const std::string& mask : masks) c.arm(faults, mask);
    const std::string out =
        RunThrough(&faults, dir_.path(), {"/ENCODE", "in/b.txt", "FOO"});
    if (!c.stops) {
      EXPECT_NE(out.find("[err] "), std::string::npos) << out;
      if (std::string(c.fault).find("write") != std::string::npos) {
        // A section that cannot be stored ends the posting of the file.
        EXPECT_NE(out.find("the rest of IN/b.txt is not posted"),
                  std::string::npos)
            << out;
      }
      EXPECT_NE(out.find("End.."), std::string::npos) << out;
    }
    EXPECT_EQ(out.find("  - Ok..."), std::string::npos) << out;
    for (const std::string& name : dir_.FilesBelow("bases/foo")) {
      EXPECT_EQ(name.find(".kv$"), std::string::npos) << "left: " << name;
    }
    ExpectRecovered(before, reference_b, reference_c);
    if (HasFailure()) break;
  }
}

// While decoding, a full text base or one that refuses the new names: error
// lines, no partly written file, and the run goes on with the next file
// and area. The format of the base plays no part here.
TEST_P(PostingFaultTest, EnvFaultsWhileDecodingSaveNothingHalfWritten) {
  if (GetParam()[0] != 'M') GTEST_SKIP() << "one format is enough";
  AddArea("TWO");
  PostOk("in/a.txt", "FOO");
  PostOk("in/c.txt", "FOO");
  PostOk("in/c.txt", "TWO");
  StoreMessage(AreaId("TWO"),
               {{"* Forwarded by Bob", "", "body", "end of forward"}});
  dir_.WriteConfig({"BASETEXTPATH txt", "BASEFWDPATH fwd",
                    "FORWARDMARKER FORWARDED End of forward",
                    "CHECKFOREMPTYLINE yes"});
  const std::string c = dir_.ReadFile("in/c.txt");
  const struct {
    const char* name;
    const char* file;  // what the fault keeps from being saved
    std::function<void(FaultEnv*)> arm;
  } cases[] = {
      {"no space", "txt/foo/a.txt",
       [](FaultEnv* f) { f->NoSpaceFromNthWrite(1, "a.txt.kv$"); }},
      {"renames refused", "txt/foo/a.txt",
       [](FaultEnv* f) { f->FailRenames("a.txt*"); }},
      {"no space for a forward", "fwd/two/fwd.txt",
       [](FaultEnv* f) { f->NoSpaceFromNthWrite(1, "fwd.txt.kv$"); }},
      {"forward's rename refused", "fwd/two/fwd.txt",
       [](FaultEnv* f) { f->FailRenames("fwd.txt*"); }},
  };
  for (const auto& round : cases) {
    SCOPED_TRACE(round.name);
    fs::remove_all(dir_.Join("txt"));
    fs::remove_all(dir_.Join("fwd"));
    FaultEnv faults(Env::Default());
    round.arm(&faults);
    const std::string out = RunThrough(&faults, dir_.path(), {"/ALL"});
    EXPECT_NE(out.find("[err] "), std::string::npos) << out;
    EXPECT_FALSE(dir_.Exists(round.file)) << out;
    EXPECT_TRUE(Decoded("c.txt", "FOO") == c) << out;
    EXPECT_TRUE(Decoded("c.txt", "TWO") == c) << out;
    for (const char* top : {"txt", "fwd"}) {
      for (const std::string& name : dir_.FilesBelow(top)) {
        EXPECT_EQ(name.find(".kv$"), std::string::npos) << "left: " << name;
      }
    }
  }
  // Without a fault, everything is saved.
  fs::remove_all(dir_.Join("txt"));
  fs::remove_all(dir_.Join("fwd"));
  const std::string out = RunThrough(Env::Default(), dir_.path(), {"/ALL"});
  EXPECT_EQ(out.find("[err] "), std::string::npos) << out;
  EXPECT_EQ(dir_.ReadFile("fwd/two/fwd.txt"), "body\r\n");
  EXPECT_TRUE(Decoded("a.txt", "FOO") == dir_.ReadFile("in/a.txt"));
}

INSTANTIATE_TEST_SUITE_P(Formats, PostingFaultTest,
                         ::testing::Values("Msg", "Squish", "Jam"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace kavel::e2e
