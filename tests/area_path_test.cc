// Areas as Linux tossers name and define them, seen from outside: base
// paths named after the area tag (dots inside, one tag the start of
// another) and passthrough areas, which have no base at all.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/e2e.h"

namespace kavel::e2e {
namespace {

bool HasLineWith(const RunResult& run, const std::string& part) {
  return run.out.find(part) != std::string::npos;
}

TEST(AreaPathTest, DottedAndPrefixBaseNamesPostAndDecode) {
  RunDirectory dir;
  dir.MakeDirectory("mb");
  dir.MakeDirectory("mb/ru.linux");  // a *.MSG directory beside the bases
  dir.WriteFile("areas",
                "EchoArea RU.LINUX mb/ru.linux -b Squish\n"
                "EchoArea RU.LINUX.CHAINIK mb/ru.linux.chainik -b Jam\n"
                "EchoArea RU mb/ru -b Msg\n"
                "EchoArea N5020.FILES mb/n5020.files -b Msg 2:5020/2\n");
  dir.WriteConfig(
      {"USEENCODEDSTRINGS Yes", "BASETEXTPATH txt\\", "USETEXTSUBDIR Yes"});
  // The Squish and JAM bases come first, so that "mb/ru" has dotted
  // neighbours when its own directory is made.
  const std::vector<std::vector<std::string>> posts = {
      {"sq.txt", "RU.LINUX", "txt/ru.linux/sq.txt"},
      {"jam.txt", "RU.LINUX.CHAINIK", "txt/ru.linux.chainik/jam.txt"},
      {"ru.txt", "RU", "txt/ru/ru.txt"},
      {"a.txt", "N5020.FILES", "txt/n5020.files/a.txt"},
      {"b.txt", "N5020.FILES", "txt/n5020.files/b.txt"},
  };
  for (const auto& post : posts) {
    const std::string text = "file " + post[0] + " for " + post[1] + "\r\n";
    dir.WriteFile(post[0], text);
    RunResult run = dir.Run({"/ENCODE", post[0], post[1]});
    EXPECT_FALSE(HasLineWith(run, "[err]")) << run.out;
  }
  RunResult run = dir.Run({"/ALL"});
  EXPECT_FALSE(HasLineWith(run, "Unable to open")) << run.out;
  for (const auto& post : posts) {
    EXPECT_EQ(dir.ReadFile(post[2]), dir.ReadFile(post[0])) << post[2];
  }
  EXPECT_TRUE(dir.List("mb/ru.linux").empty());
}

TEST(AreaPathTest, PassthroughAreasAreNamedNotOpened) {
  RunDirectory dir;
  dir.WriteFile("areas",
                "EchoArea PASS Passthrough\n"
                "EchoArea LOUD PASSTHROUGH -b Msg\n"
                "EchoArea HERE here -b Msg\n");
  dir.WriteConfig({"USEENCODEDSTRINGS Yes", "BASETEXTPATH txt\\"});
  dir.WriteFile("a.txt", "text\r\n");
  RunResult run = dir.Run({"/ENCODE", "a.txt", "PASS"});
  EXPECT_TRUE(HasLineWith(
      run, "[err] Area PASS is passthrough (no message base), nothing posted"))
      << run.out;
  EXPECT_FALSE(HasLineWith(run, "Unable")) << run.out;
  run = dir.Run({"/ENCODE", "a.txt", "HERE"});
  run = dir.Run({"/ALL"});
  EXPECT_FALSE(HasLineWith(run, "PASS")) << run.out;
  EXPECT_FALSE(HasLineWith(run, "Unable")) << run.out;
  EXPECT_EQ(dir.ReadFile("txt/here/a.txt"), "text\r\n") << run.out;
  run = dir.Run({"/DECODE", "loud"});
  EXPECT_TRUE(
      HasLineWith(run, " Area LOUD is passthrough, it has no message base\n"))
      << run.out;
  EXPECT_FALSE(HasLineWith(run, "[err]")) << run.out;
}

}  // namespace
}  // namespace kavel::e2e
