// Areas as Linux tossers name and define them, seen from outside: base
// paths named after the area tag (dots inside, one tag the start of
// another), passthrough areas, which have no base at all, the areas that
// /ALL selects, and the EchoTossLog that /ENCODE keeps.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/e2e.h"

namespace kavel::e2e {
namespace {

using Names = std::vector<std::string>;

bool Has(const RunResult& run, const std::string& part) {
  return run.out.find(part) != std::string::npos;
}

TEST(AreaPathTest, DottedPrefixAndPassthroughAreas) {
  RunDirectory dir;
  dir.MakeDirectory("mb/ru.linux");  // a *.MSG directory beside the bases
  dir.WriteFile("areas",
                "EchoArea RU.LINUX mb/ru.linux -b Squish\n"
                "EchoArea RU.LINUX.CHAINIK mb/ru.linux.chainik -b Jam\n"
                "EchoArea RU mb/ru -b Msg\n"
                "EchoArea N5020.FILES mb/n5020.files -b Msg 2:5020/2\n"
                "EchoArea PASS Passthrough\n"
                "EchoArea LOUD PASSTHROUGH -b Msg\n");
  dir.WriteConfig(
      {"USEENCODEDSTRINGS Yes", "BASETEXTPATH txt\\", "USETEXTSUBDIR Yes"});
  // The Squish and JAM bases come first, so that "mb/ru" has dotted
  // neighbours when its own directory is made.
  const std::vector<Names> posts = {
      {"sq.txt", "RU.LINUX", "txt/ru.linux/sq.txt"},
      {"jam.txt", "RU.LINUX.CHAINIK", "txt/ru.linux.chainik/jam.txt"},
      {"ru.txt", "RU", "txt/ru/ru.txt"},
      {"a.txt", "N5020.FILES", "txt/n5020.files/a.txt"},
      {"b.txt", "N5020.FILES", "txt/n5020.files/b.txt"},
  };
  for (const auto& post : posts) {
    dir.WriteFile(post[0], "file " + post[0] + " for " + post[1] + "\r\n");
    RunResult run = dir.Run({"/ENCODE", post[0], post[1]});
    EXPECT_FALSE(Has(run, "[err]")) << run.out;
  }
  RunResult run = dir.Run({"/ENCODE", "a.txt", "PASS"});
  EXPECT_TRUE(Has(
      run, "[err] Area PASS is passthrough (no message base), nothing posted"))
      << run.out;
  EXPECT_FALSE(Has(run, "Unable")) << run.out;
  run = dir.Run({"/ALL"});
  EXPECT_FALSE(Has(run, "Unable to open")) << run.out;
  EXPECT_FALSE(Has(run, "PASS")) << run.out;
  for (const auto& post : posts) {
    EXPECT_EQ(dir.ReadFile(post[2]), dir.ReadFile(post[0])) << post[2];
  }
  EXPECT_TRUE(dir.List("mb/ru.linux").empty());
  run = dir.Run({"/DECODE", "loud"});
  EXPECT_TRUE(Has(run, " Area LOUD is passthrough, it has no message base\n"))
      << run.out;
  EXPECT_FALSE(Has(run, "[err]")) << run.out;
}

// The bases one run tried to open, in order (none of them exists).
Names Scanned(const RunResult& run) {
  Names bases;
  const std::string mark = "Unable to open message base ";
  for (const std::string& line : Lines(run.out)) {
    size_t at = line.find(mark);
    if (at != std::string::npos) bases.push_back(line.substr(at + mark.size()));
  }
  return bases;
}

TEST(AreaTreeTest, AllSelectsAreasByMaskAndKind) {
  RunDirectory dir;
  dir.WriteFile("areas",
                "EchoArea ECHO.ONE bases/echo.one -b Msg\n"
                "EchoArea ECHO.TWO bases/echo.two -b Msg\n"
                "NetmailArea NETMAIL bases/netmail -b Msg\n"
                "BadArea BADMAIL bases/badmail -b Msg\n");
  const struct {
    const char *masks, *kinds;
    Names bases;
  } cases[] = {
      {"* !NETMAIL* !*MAIL", "", {"echo.one", "echo.two"}},
      {"*mail echo.t?o", "netmail", {"echo.two", "badmail"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.masks) + "/" + c.kinds);
    Names config;
    if (*c.masks) config.push_back(std::string("DECODEAREAS ") + c.masks);
    if (*c.kinds) config.push_back(std::string("SKIPKINDS ") + c.kinds);
    dir.WriteConfig(config);
    Names expected;
    for (const std::string& base : c.bases) expected.push_back("bases/" + base);
    EXPECT_EQ(Scanned(dir.Run({"/ALL"})), expected);
    // /DECODE names its area whatever the selection says.
    EXPECT_EQ(Scanned(dir.Run({"/DECODE", "netmail"})), Names{"bases/netmail"});
  }
}

// Written once per echo area per run; a missing directory costs an error
// line, not the posting.
TEST(AreaTreeTest, EchoTossLogOncePerEchoAreaPerRun) {
  RunDirectory dir;
  dir.WriteFile("areas",
                "EchoTossLog \"toss/echotoss.log\"\n"
                "EchoArea Echo.One bases/echo.one -b Squish\n"
                "NetmailArea NETMAIL bases/netmail -b Squish\n");
  dir.WriteConfig({});
  dir.WriteFile("a.txt", "first file\r\n");
  dir.WriteFile("b.txt", "second file\r\n");
  dir.MakeDirectory("bases");
  EXPECT_TRUE(Has(dir.Run({"/ENCODE", "a.txt", "ECHO.ONE"}),
                  "[err] Unable to write EchoTossLog toss/echotoss.log"));
  EXPECT_TRUE(dir.Exists("bases/echo.one.sqd"));
  dir.MakeDirectory("toss");
  dir.Run({"/ENCODE", "*.txt", "echo.one"});
  dir.Run({"/ENCODE", "a.txt", "NETMAIL"});
  EXPECT_EQ(dir.ReadFile("toss/echotoss.log"), "Echo.One\n");
}

}  // namespace
}  // namespace kavel::e2e
