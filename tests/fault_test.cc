// The real program under faults of its surroundings: a file-size limit
// reached while decoding (as on a full disk) and a text base it may not
// write. Each gives error lines, leaves no partly written file, and the run
// goes on with the next file and the next area.
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "msgbase/byte_stream.h"
#include "msgbase/ftn_address.h"
#include "msgbase/message_area.h"
#include "platform/platform.h"
#include "support/e2e.h"

namespace kavel::e2e {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

struct Limits {
  rlim_t fileSize = RLIM_INFINITY;  // RLIMIT_FSIZE of the program
  bool asNobody = false;            // run as an unprivileged user (root)
  std::string program;              // another copy of the program
};

// Runs the program in `dir` with the limits; stdout and stderr come back
// through a pipe, which no file-size limit applies to.
RunResult RunLimited(const RunDirectory& dir,
                     const std::vector<std::string>& arguments,
                     const Limits& limits) {
  int out[2];
  if (pipe(out) != 0) return RunResult();
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    close(out[0]);
    dup2(out[1], 1);
    dup2(out[1], 2);
    close(out[1]);
    if (chdir(dir.path().c_str()) != 0) _exit(126);
    setenv("KAVEL_FAKE_CLOCK", "2001-03-07 21:05:09", 1);
    if (limits.fileSize != RLIM_INFINITY) {
      signal(SIGXFSZ, SIG_IGN);
      rlimit r{limits.fileSize, limits.fileSize};
      setrlimit(RLIMIT_FSIZE, &r);
    }
    if (limits.asNobody && geteuid() == 0) {
      if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 ||
          setuid(kNobody) != 0) {
        _exit(125);
      }
    }
    std::vector<char*> argv;
    std::string program = limits.program.empty() ? KAVEL_BINARY : limits.program;
    argv.push_back(program.data());
    std::vector<std::string> copies = arguments;
    for (std::string& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(out[1]);
  RunResult result;
  char buffer[4096];
  ssize_t n;
  while ((n = read(out[0], buffer, sizeof buffer)) > 0) {
    result.out.append(buffer, static_cast<size_t>(n));
  }
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

class FaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallStreamFactories();
    dir_.MakeDirectory("bases");
  }

  void Config(const std::vector<std::string>& lines) {
    std::string text = "HPTPATH " + dir_.Join("areas") + "\r\n";
    for (const std::string& line : lines) text += line + "\r\n";
    dir_.WriteFile("Kavel.cfg", text);
  }

  std::string Area(const std::string& tag) {
    const std::string path = dir_.Join("bases/" + tag);
    areas_ += "EchoArea " + tag + " " + path + " -b Msg\n";
    dir_.WriteFile("areas", areas_);
    return path;
  }

  // Posts a one-section file of `lines` lines into the *.MSG base.
  void PostFile(const std::string& path, const std::string& name, int lines) {
    std::unique_ptr<MessageArea> area;
    ASSERT_TRUE(OpenOrCreateMessageArea(&area, "M" + path));
    ASSERT_TRUE(area->AddMessage());
    area->SetOrigAddress(FtnAddress{2, 5020, 1, 0}, true);
    area->SetFromName("John Doe");
    area->SetToName("All");
    area->SetSubject(name);
    DateTimeRecord when{21, 0, 0, 0, 7, 3, 2001};
    area->SetDateWritten(when);
    area->SetDateArrived(when);
    area->WriteLineRaw("text.begin 1 of 1 of file " + name);
    for (int i = 0; i < lines; ++i) {
      area->WriteLineRaw("line " + std::to_string(i) + " of " + name +
                         " with some text to make it longer");
    }
    area->WriteLineRaw("text.end");
    ASSERT_TRUE(area->StoreMessage());
    area->ReleaseMessage();
    CloseMessageArea(&area);
    ForgetPathCache();
  }

  // Every regular file below `relative`, relative to the run directory.
  std::vector<std::string> FilesBelow(const std::string& relative) const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e :
         fs::recursive_directory_iterator(dir_.Join(relative), ec)) {
      if (e.is_regular_file()) {
        names.push_back(fs::relative(e.path(), dir_.path()).string());
      }
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  RunDirectory dir_;
  std::string areas_;
};

TEST_F(FaultTest, FullDiskWhileDecodingGivesErrorLinesAndGoesOn) {
  const std::string one = Area("ONE");
  const std::string two = Area("TWO");
  PostFile(one, "BIG.TXT", 400);    // about 24 KB: over the limit
  PostFile(one, "SMALL.TXT", 5);    // fits
  PostFile(two, "OTHER.TXT", 5);    // fits, in the next area
  Config({"BASETEXTPATH " + dir_.Join("txt") + "\\", "USETEXTSUBDIR Yes",
          "FILESBBSNAME files.bbs"});
  Limits limits;
  limits.fileSize = 8192;
  RunResult run = RunLimited(dir_, {"/ALL"}, limits);
  EXPECT_EQ(run.exit_code, 0) << run.out;
  EXPECT_NE(run.out.find("[err] "), std::string::npos) << run.out;
  // The file that did not fit is not there, not even in part.
  EXPECT_FALSE(dir_.Exists("txt/one/big.txt")) << run.out;
  EXPECT_TRUE(dir_.Exists("txt/one/small.txt")) << run.out;
  EXPECT_TRUE(dir_.Exists("txt/two/other.txt")) << run.out;
  for (const std::string& name : FilesBelow("txt")) {
    EXPECT_EQ(name.find(".kv$"), std::string::npos)
        << "temporary file left: " << name;
  }
}

TEST_F(FaultTest, ReadOnlyTextBaseGivesErrorLinesAndTheNextAreaIsDecoded) {
  const std::string one = Area("ONE");
  const std::string two = Area("TWO");
  PostFile(one, "A.TXT", 5);
  PostFile(two, "B.TXT", 5);
  Config({"BASETEXTPATH " + dir_.Join("txt") + "\\", "USETEXTSUBDIR Yes"});
  dir_.MakeDirectory("txt/ONE");
  dir_.MakeDirectory("txt/TWO");
  if (geteuid() == 0) {
    // Root writes anywhere: the program runs as an unprivileged user that
    // owns everything but the read-only text base.
    for (const auto& e : fs::recursive_directory_iterator(dir_.path())) {
      ASSERT_EQ(chown(e.path().c_str(), kNobody, kNobody), 0);
    }
    ASSERT_EQ(chown(dir_.path().c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(chown(dir_.Join("txt/ONE").c_str(), 0, 0), 0);
  }
  fs::permissions(dir_.Join("txt/ONE"),
                  fs::perms::owner_read | fs::perms::owner_exec |
                      fs::perms::group_read | fs::perms::group_exec |
                      fs::perms::others_read | fs::perms::others_exec);
  Limits limits;
  limits.asNobody = true;
  // A copy the unprivileged user can surely run, wherever the build is.
  limits.program = dir_.Join("kavel");
  fs::copy_file(KAVEL_BINARY, limits.program);
  if (geteuid() == 0) {
    ASSERT_EQ(chown(limits.program.c_str(), kNobody, kNobody), 0);
  }
  RunResult run = RunLimited(dir_, {"/ALL"}, limits);
  fs::permissions(dir_.Join("txt/ONE"), fs::perms::owner_all,
                  fs::perm_options::add);
  EXPECT_EQ(run.exit_code, 0) << run.out;
  EXPECT_NE(run.out.find("[err] "), std::string::npos) << run.out;
  EXPECT_FALSE(dir_.Exists("txt/ONE/a.txt"));
  EXPECT_TRUE(dir_.Exists("txt/TWO/b.txt")) << run.out;
}

}  // namespace
}  // namespace kavel::e2e
