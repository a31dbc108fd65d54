#include "areacfg/area_lookup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "areacfg/area_list.h"
#include "areacfg/area_tree.h"
#include "context/context_test_support.h"
#include "msgbase/ftn_address.h"

namespace kavel {
namespace {

using Lines = std::vector<std::string>;

const std::string kTestData =
    std::string(KAVEL_SOURCE_DIR) + "/src/areacfg/testdata/";

class AreaLookupTest : public testing::ContextTest {
 protected:
  void SetUp() override {
    ContextTest::SetUp();
    ParseAddress("2:5020/1042", &ctx_.postingJob->fromAddress);
    ctx_.postingJob->ownAddress = ctx_.postingJob->fromAddress;
  }

  // Looks `tag` up; the log lines it wrote go to *log when given.
  bool LookUp(const std::string& tag, Lines* log = nullptr) {
    ctx_.postingJob->areaName = tag;
    bool found = false;
    Lines lines = Logged([&] { found = LookUpArea(ctx_); });
    if (log != nullptr) *log = lines;
    return found;
  }

  Lines WalkAll(char kind) {
    Lines names;
    if (!OpenAreaList(ctx_, kind)) return names;
    for (std::string name = NextAreaName(ctx_); !name.empty();
         name = NextAreaName(ctx_)) {
      names.push_back(name);
    }
    CloseAreaList(ctx_);
    return names;
  }

  const PostingJob& job() const { return *ctx_.postingJob; }
};

// One lookup in a testdata file ('F' fidoconfig, 'S' Squish): the job fields
// it fills, "path|type|description|aka" with the path below the file's spool
// (nullptr = not found, logged so), and the lines it logs, "@" standing for
// the file's path.
struct Lookup {
  char file;
  const char* tag;
  const char* fields;
  AreaKind kind;
  const char* log = "";
};

TEST_F(AreaLookupTest, AreasFilesGiveEveryArea) {
  using K = AreaKind;
  const Lookup cases[] = {
      {'F', "netmail", "netmail|S|Netmail|2:5020/1042", K::kNetmail},
      {'F', "BADMAIL", "badmail|S||2:5020/1042", K::kLocal},
      {'F', "SYSOP.LOCAL", "Sysop.Local|J|Local notes|2:5020/1042", K::kLocal},
      // First definition wins; the type comes from EchoAreaDefaults.
      {'F', "ru.linux", "RU.LINUX|J|Linux in Russian|2:5020/1042",
       K::kEchomail},
      {'F', "RU.FIDONET.TODAY", "ru.fidonet.today|S||2:5020/1042.1",
       K::kEchomail},
      {'F', "R50.SYSOP", "r50.sysop|M|R50 sysops|2:5020/1042", K::kEchomail},
      // A commented-out definition above does not win; an unknown option
      // (-hide) does not hide the -b behind it.
      {'F', "SU.GENERAL", "su.general|S|General talk|2:5020/1042",
       K::kEchomail},
      {'F', "XSU.TALK", "xsu.talk|S|Default description|2:5020/1042.2",
       K::kEchomail},
      // An unknown -b gives no type, not the defaults' one.
      {'F', "KAVEL.FILES", "kavel.files||Default description|2:5020/1042.2",
       K::kEchomail,
       "[err] Error reading type of message base - FOO, area KAVEL.FILES in @ "
       "line 20\n"},
      // Below "EchoAreaDefaults off" an area without -b is *.MSG.
      {'F', "NO.DEFAULTS", "no.defaults|M||2:5020/1042", K::kEchomail,
       "error converting address bad/aka (our aka), area NO.DEFAULTS in @ "
       "line 22\n"},
      // An unquoted -d takes one word; the -b after it is read.
      {'F', "UNQUOTED", "unquoted|J|Unquoted|2:5020/1042", K::kEchomail,
       "Unknown option words ignored, area UNQUOTED in @ line 26\n"
       "Unknown option here ignored, area UNQUOTED in @ line 26\n"},
      // The last line of the file, without a line end.
      {'F', "last.area", "last.area|J||2:5020/1042", K::kEchomail},
      {'F', "OLD.AREA", nullptr, K::kNone},
      {'F', "HIDDEN.OLD", nullptr, K::kNone},
      {'F', "INDENTED", nullptr, K::kNone},
      {'S', "NETMAIL", "netmail|M||2:5020/1042", K::kNetmail},
      {'S', "bad_msgs", "bad|S||2:5020/1042", K::kLocal},
      {'S', "bar", "Bar|S||2:5020/1.7", K::kEchomail},
      {'S', "MSGAREA", "msgarea|M||2:5020/1.9", K::kEchomail},
      // The later FOO line wins whole: no -$ and no -p there.
      {'S', "FOO", "foo2|M||2:5020/1042", K::kEchomail},
      {'S', "LOCAL", "local|S||2:5020/1042", K::kLocal},
      {'S', "ECHOAREA", nullptr, K::kNone},
  };
  for (const Lookup& e : cases) {
    SCOPED_TRACE(e.tag);
    const bool squish = e.file == 'S';
    const std::string file =
        kTestData + (squish ? "squish_areas" : "fidoconfig_areas");
    ctx_.areaFiles.hptPath = squish ? "" : file;
    ctx_.areaFiles.squishPath = squish ? file : "";
    Lines log;
    EXPECT_EQ(LookUp(e.tag, &log), e.fields != nullptr);
    std::string expected =
        e.fields ? e.log : "Area " + std::string(e.tag) + " not found... \n";
    for (size_t at; (at = expected.find('@')) != std::string::npos;) {
      expected.replace(at, 1, file);
    }
    std::string logged;
    for (const std::string& line : log) logged += line + "\n";
    EXPECT_EQ(logged, expected);
    const std::string base =
        squish ? "/var/spool/squish/" : "/var/spool/fido/msgbase/";
    if (e.fields == nullptr) {
      EXPECT_EQ(job().basePath + job().baseType + job().areaDescription, "");
      continue;
    }
    EXPECT_EQ(job().basePath + "|" + job().baseType + "|" +
                  job().areaDescription + "|" + AddressToText(job().ownAddress),
              base + e.fields);
    EXPECT_EQ(job().areaKind, e.kind);
  }
  EXPECT_EQ(WalkAll('S'), (Lines{"NETMAIL", "BAD_MSGS", "DUPES", "FOO", "BAR",
                                 "MSGAREA", "FOO", "LOCAL"}));
}

// The lines of a missing or unnamed areas file are the walk's and the
// first lookup's; a lookup without a named file adds none.
TEST_F(AreaLookupTest, UnnamedAreasFile) {
  Lines log;
  EXPECT_FALSE(LookUp("FOO", &log));
  EXPECT_EQ(log, Lines{});
  EXPECT_EQ(ctx_.log.worst, RunFailure::kNoAreasFile);
}

TEST_F(AreaLookupTest, DamagedAreasFile) {
  const std::string nul("NUL\0ZONE", 8), cp866 = "\x80\x90.\x92\x85\x91\x92";
  ctx_.areaFiles.hptPath = WriteFile(
      "areas", "EchoArea\nEchoArea TAGONLY\n" + std::string(5000, 'x') +
                   " LONG /long -b Jam\n" +
                   std::string("EchoArea NUL\0ZONE /nul -b Jam\n", 30) +
                   "EchoArea QUOTE /q -d \"unterminated -b jam\n"
                   "EchoArea CR /cr -b Jam\rEchoArea NEXT /next\r"
                   "EchoArea \xa0\xe0.\xe2\xa5\xe1\xe2 /cp866 -b msg\n"
                   "EchoArea LONEB /e -b\n"
                   "EchoArea DASHES /d - -- --- -b jam\n"
                   "\xff\xfe\x01\x02\n");
  Lines log;
  EXPECT_FALSE(LookUp("TAGONLY", &log));
  EXPECT_EQ(log, (Lines{"[err] Area line without a tag, skipped in " +
                            ctx_.areaFiles.hptPath + " line 1",
                        "[err] Area TAGONLY has no path, skipped in " +
                            ctx_.areaFiles.hptPath + " line 2",
                        "Area TAGONLY not found... "}));
  EXPECT_FALSE(LookUp("LONG"));
  // Russian letters of code page 866 compare without case too.
  const struct {
    std::string tag, path, type, description;
  } found[] = {
      {nul, "/nul", "J", ""},     {"QUOTE", "/q", "S", "unterminated -b ja"},
      {"NEXT", "/next", "S", ""}, {cp866, "/cp866", "M", ""},
      {"LONEB", "/e", "S", ""},   {"DASHES", "/d", "J", ""}};
  for (const auto& e : found) {
    SCOPED_TRACE(e.tag);
    ASSERT_TRUE(LookUp(e.tag));
    EXPECT_EQ(job().basePath + job().baseType + job().areaDescription,
              e.path + e.type + e.description);
  }
  EXPECT_EQ(WalkAll('H'),
            (Lines{nul, "QUOTE", "CR", "NEXT", cp866, "LONEB", "DASHES"}));
}

// The tree under testdata/fido, read from the directory above it as the
// tossers run: links, passwords and file areas give nothing, and no report
// is written.
TEST_F(AreaLookupTest, FidoconfigTreeGivesTheTossersAreas) {
  std::filesystem::copy(kTestData + "fido", dir_ / "fido",
                        std::filesystem::copy_options::recursive);
  ctx_.areaFiles.hptPath = "fido/config";
  ctx_.postingJob->fromAddress = FtnAddress();  // no FROMADDR
  using K = AreaKeyword;
  // "tag|path|type|description|aka", the path below /var/spool/ftn/msgb/ and
  // empty for a passthrough area.
  const std::pair<AreaKeyword, const char*> expected[] = {
      {K::kLocal, "local.seen|seen|S|Read by kavel|2:5020/9999"},
      {K::kEcho, "ftn.files|ftn.files|S|File sections|2:5020/9999"},
      {K::kEcho, "r50.sysop|r50.sysop|S|R50 #1 sysops|2:5020/9999.1"},
      {K::kEcho, "r50.relay||||2:5020/9999"},
      {K::kEcho, "a6|a6|M||2:5020/9999"},
      {K::kEcho, "ru.pass||||2:5020/9999"},
      {K::kEcho, "ru.linux.talk|ru.linux.talk|J|Linux group|2:5020/9999"},
      {K::kEcho, "ru.unix|ru.unix|S||2:5020/9999"},
      {K::kEcho, "old.area|old.area|M||2:5020/9999"},
      {K::kNetmail, "netmail|netmail|S||2:5020/9999"},
      {K::kBad, "bad|bad|M||2:5020/9999"},
      {K::kDupe, "dupes|dupes|S||2:5020/9999"},
      {K::kLocal, "local.notes|notes|J|Local notes|2:5020/9999"},
  };
  std::vector<AreaDefinition> areas;
  Lines log = Logged([&] {
    ASSERT_TRUE(OpenAreaList(ctx_, 'H'));
    while (const AreaDefinition* area = NextArea(ctx_)) areas.push_back(*area);
    CloseAreaList(ctx_);
  });
  EXPECT_TRUE(log.empty());
  ASSERT_EQ(areas.size(), std::size(expected));
  for (size_t i = 0; i < areas.size(); ++i) {
    const auto& [kind, fields] = expected[i];
    SCOPED_TRACE(fields);
    EXPECT_EQ(areas[i].keyword, kind);
    ASSERT_TRUE(LookUp(areas[i].tag, &log));
    EXPECT_TRUE(log.empty());
    const std::string path = job().basePath.substr(
        std::min(job().basePath.size(), sizeof("/var/spool/ftn/msgb/") - 1));
    EXPECT_EQ(job().passthrough, path.empty());
    EXPECT_EQ(job().areaTag + "|" + path + "|" + job().baseType + "|" +
                  job().areaDescription + "|" + AddressToText(job().ownAddress),
              fields);
  }
  EXPECT_EQ(job().echoTossLog, "/var/spool/ftn/echotoss.log");
}
// Trees that try to hurt the reader: each gives its areas and its reports,
// and never a line of the tree.
TEST_F(AreaLookupTest, HostileTrees) {
  std::string doubling;
  for (int i = 0; i < 16; ++i) doubling += "set A=[A][A]x\n";
  for (char i = '0'; i <= '9' + 2; ++i) {
    WriteFile(std::string("n") + i, std::string("include n") + char(i + 1));
  }
  struct Hostile {
    std::string config;
    Lines areas;
    Lines log;
  };
  const Hostile cases[] = {
      {"include a\nEchoArea X /x\n",
       {"A", "X"},
       {"[err] Include file config is included a second time, skipped in a "
        "line 1"}},
      {"include /dev/zero\ninclude .\ninclude nowhere\nEchoArea X /x\n",
       {"X"},
       {"[err] Include file /dev/zero is not a regular file, skipped in "
        "config line 1",
        "[err] Include file . is not a regular file, skipped in config line 2",
        "[err] Include file nowhere not found, skipped in config line 3"}},
      {"include n0\nEchoArea X /x\n",
       {"X"},
       {"[err] Include file n: nested deeper than 10 includes, skipped in n9 "
        "line 1"}},
      {"# " + std::string(1 << 20, 'c') + "\nEchoArea BIG /big -d " +
           std::string(1 << 20, 'd') + "\n",
       {"BIG"},
       {}},
      {"set B=[B]\n" + doubling + "EchoArea X /x\n",
       {"X"},
       {"Undefined variable expanded to nothing in config line 1",
        "Undefined variable expanded to nothing in config line 2",
        "[err] Line too long after expansion, skipped in config line 17"}},
      {"Name `cat /etc/passwd`\nif [OS] =~ U*X\nEchoArea NO /n\nelse\n"
       "EchoArea YES /y\nendif\nendif\nelse\nset C\nifdef\nendif\n"
       "if [OS]\nif 1==1\n",
       {"YES"},
       {"Command in backticks not run in config line 1",
        "Mask comparison read as the tossers read it (=~ true when the mask "
        "does not match) in config line 2",
        "[err] Misplaced 'endif', line skipped in config line 7",
        "[err] Misplaced 'else', line skipped in config line 8",
        "[err] 'set' without '=', line skipped in config line 9",
        "[err] 'ifdef' or 'ifndef' without a name, line skipped in config "
        "line 10",
        "[err] Bad 'if' expression, line skipped in config line 12",
        "[err] 'if' without 'endif' in config line 12"}},
  };
  WriteFile("a", "include config\nEchoArea A /a\n");
  ctx_.areaFiles.hptPath = "config";
  for (const Hostile& c : cases) {
    SCOPED_TRACE(c.config.substr(0, 40));
    WriteFile("config", c.config);
    Lines walked;
    EXPECT_EQ(Logged([&] { walked = WalkAll('H'); }), c.log);
    EXPECT_EQ(walked, c.areas);
  }
}

// 10,000 areas: one read of the tree serves the walk and every lookup.
TEST_F(AreaLookupTest, LargeTreeReadOnceByTheWalk) {
  std::string tree;
  for (int i = 0; i < 10000; ++i) {
    tree += "EchoArea A" + std::to_string(i) + " /a -b Jam 2:5020/1\n";
  }
  ctx_.areaFiles.hptPath = WriteFile("config", tree);
  ASSERT_TRUE(OpenAreaList(ctx_, 'H'));
  std::remove(ctx_.areaFiles.hptPath.c_str());
  size_t found = 0;
  for (std::string name = NextAreaName(ctx_); !name.empty();
       name = NextAreaName(ctx_)) {
    ctx_.postingJob->areaName = name;
    found += LookUpArea(ctx_) && job().baseType == "J";
  }
  CloseAreaList(ctx_);
  EXPECT_EQ(found, 10000u);
}

// The first non-empty of HPTPATH, SQUISH, TERMINATE names the file, and
// FIDOCONFIG when none is set.
TEST_F(AreaLookupTest, ChoiceOfTheFileAndSquishIncludes) {
  WriteFile("more.cfg", "EchoArea MORE /m -$ ; comment\nRoute x\n");
  ctx_.areaFiles.squishPath = WriteFile(
      "squish.cfg", "Include more.cfg\nInclude squish.cfg\nEchoArea P /p -0\n");
  EXPECT_EQ(WalkAll('S'), (Lines{"MORE", "P"}));
  ASSERT_TRUE(LookUp("P"));
  EXPECT_TRUE(job().passthrough);
  ctx_.areaFiles.terminatePath = kTestData + "squish_areas";
  EXPECT_FALSE(LookUp("BAR"));
  ctx_.areaFiles.hptPath = kTestData + "fidoconfig_areas";
  EXPECT_TRUE(LookUp("RU.LINUX"));
  ctx_.areaFiles = {};
  setenv("FIDOCONFIG", WriteFile("cfg", "EchoArea ENV /e\n").c_str(), 1);
  EXPECT_TRUE(LookUp("ENV"));
  unsetenv("FIDOCONFIG");
  EXPECT_FALSE(LookUp("ENV"));
}

}  // namespace
}  // namespace kavel
