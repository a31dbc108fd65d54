// The real program under faults of its surroundings: a file-size limit
// reached while decoding (as on a full disk) and a text base it may not
// write. Each gives error lines, leaves no partly written file, and the run
// goes on with the next file and the next area.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "msgbase/byte_stream.h"
#include "msgbase/ftn_address.h"
#include "msgbase/message_area.h"
#include "platform/env.h"
#include "platform/platform.h"
#include "support/e2e.h"
#include "support/limited_run.h"

namespace kavel::e2e {
namespace {

namespace fs = std::filesystem;

class FaultTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_.MakeDirectory("bases"); }

  void Config(const std::vector<std::string>& lines) {
    dir_.WriteConfig(lines);
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
    Env::Default()->ForgetPathCache();
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
  for (const std::string& name : dir_.FilesBelow("txt")) {
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
  // Root writes anywhere: the program runs as an unprivileged user that
  // owns everything but the read-only text base.
  ASSERT_TRUE(GiveToNobody(dir_, dir_.Join("txt/ONE")));
  fs::permissions(dir_.Join("txt/ONE"),
                  fs::perms::owner_read | fs::perms::owner_exec |
                      fs::perms::group_read | fs::perms::group_exec |
                      fs::perms::others_read | fs::perms::others_exec);
  Limits limits;
  limits.asNobody = true;
  ASSERT_TRUE(CopyProgramForNobody(dir_, &limits.program));
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
