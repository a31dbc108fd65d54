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
  bool LookUp(const std::string& tag, std::vector<std::string>* log = nullptr) {
    ctx_.postingJob->areaName = tag;
    bool found = false;
    std::vector<std::string> lines = Logged([&] { found = LookUpArea(ctx_); });
    if (log != nullptr) *log = lines;
    return found;
  }

  std::vector<std::string> WalkAll(char kind) {
    std::vector<std::string> names;
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

struct Expected {
  const char* tag;
  const char* basePath;
  const char* baseType;
  const char* description;
  const char* aka;
  AreaKind kind;
};

// The job fields a lookup of `e.tag` filled, base paths below `base`.
void ExpectArea(const PostingJob& job, const std::string& base,
                const Expected& e) {
  EXPECT_EQ(job.basePath, base + e.basePath);
  EXPECT_EQ(job.baseType, e.baseType);
  EXPECT_EQ(job.areaDescription, e.description);
  EXPECT_EQ(AddressToText(job.ownAddress), e.aka);
  EXPECT_EQ(job.areaKind, e.kind);
}

TEST_F(AreaLookupTest, FidoconfigFileGivesEveryArea) {
  ctx_.areaFiles.hptPath = kTestData + "fidoconfig_areas";
  const std::string base = "/var/spool/fido/msgbase/";
  const Expected cases[] = {
      {"netmail", "netmail", "S", "Netmail", "2:5020/1042", AreaKind::kNetmail},
      {"BADMAIL", "badmail", "S", "", "2:5020/1042", AreaKind::kLocal},
      {"dupes", "dupes", "S", "", "2:5020/1042", AreaKind::kLocal},
      {"SYSOP.LOCAL", "Sysop.Local", "J", "Local notes", "2:5020/1042",
       AreaKind::kLocal},
      // First definition wins; the type comes from EchoAreaDefaults.
      {"ru.linux", "RU.LINUX", "J", "Linux in Russian", "2:5020/1042",
       AreaKind::kEchomail},
      {"RU.FIDONET.TODAY", "ru.fidonet.today", "S", "", "2:5020/1042.1",
       AreaKind::kEchomail},
      {"R50.SYSOP", "r50.sysop", "M", "R50 sysops", "2:5020/1042",
       AreaKind::kEchomail},
      // A commented-out definition above the live one does not win, and an
      // unknown option (-hide) does not hide the -b behind it.
      {"SU.GENERAL", "su.general", "S", "General talk", "2:5020/1042",
       AreaKind::kEchomail},
      // Everything from the second EchoAreaDefaults line.
      {"XSU.TALK", "xsu.talk", "S", "Default description", "2:5020/1042.2",
       AreaKind::kEchomail},
      // An unknown -b gives no type, not the defaults' one.
      {"KAVEL.FILES", "kavel.files", "", "Default description", "2:5020/1042.2",
       AreaKind::kEchomail},
      // Below "EchoAreaDefaults off" an area without -b is *.MSG.
      {"NO.DEFAULTS", "no.defaults", "M", "", "2:5020/1042",
       AreaKind::kEchomail},
      // An unquoted -d takes one word; the -b after it is read.
      {"UNQUOTED", "unquoted", "J", "Unquoted", "2:5020/1042",
       AreaKind::kEchomail},
      // The last line of the file, without a line end.
      {"last.area", "last.area", "J", "", "2:5020/1042", AreaKind::kEchomail},
  };
  for (const Expected& e : cases) {
    SCOPED_TRACE(e.tag);
    ASSERT_TRUE(LookUp(e.tag));
    ExpectArea(job(), base, e);
    EXPECT_FALSE(job().passthrough);
  }
}

TEST_F(AreaLookupTest, FidoconfigLookupLogLines) {
  ctx_.areaFiles.hptPath = kTestData + "fidoconfig_areas";
  std::vector<std::string> log;
  EXPECT_TRUE(LookUp("RU.LINUX", &log));
  EXPECT_TRUE(log.empty());
  EXPECT_TRUE(LookUp("KAVEL.FILES", &log));
  const std::string file = kTestData + "fidoconfig_areas line ";
  EXPECT_EQ(log, (Lines{"[err] Error reading type of message base - FOO, "
                        "area KAVEL.FILES in " +
                        file + "20"}));
  EXPECT_TRUE(LookUp("NO.DEFAULTS", &log));
  EXPECT_EQ(log, (Lines{"error converting address bad/aka (our aka), area "
                        "NO.DEFAULTS in " +
                        file + "22"}));
  for (const char* hidden : {"OLD.AREA", "HIDDEN.OLD", "INDENTED", "NONE"}) {
    ctx_.postingJob->areaName = hidden;
    EXPECT_FALSE(LookUp(hidden, &log));
    EXPECT_EQ(log, (Lines{"Area " + std::string(hidden) + " not found... "}));
    EXPECT_EQ(job().basePath, "");
  }
}

TEST_F(AreaLookupTest, SquishFileGivesEveryArea) {
  ctx_.areaFiles.squishPath = kTestData + "squish_areas";
  const std::string base = "/var/spool/squish/";
  const Expected cases[] = {
      {"NETMAIL", "netmail", "M", "", "2:5020/1042", AreaKind::kNetmail},
      {"bad_msgs", "bad", "S", "", "2:5020/1042", AreaKind::kLocal},
      {"DUPES", "dupes", "S", "", "2:5020/1042", AreaKind::kLocal},
      {"bar", "Bar", "S", "", "2:5020/1.7", AreaKind::kEchomail},
      {"MSGAREA", "msgarea", "M", "", "2:5020/1.9", AreaKind::kEchomail},
      // The later FOO line wins whole: no -$ and no -p there.
      {"FOO", "foo2", "M", "", "2:5020/1042", AreaKind::kEchomail},
      {"LOCAL", "local", "S", "", "2:5020/1042", AreaKind::kLocal},
  };
  for (const Expected& e : cases) {
    SCOPED_TRACE(e.tag);
    std::vector<std::string> log;
    ASSERT_TRUE(LookUp(e.tag, &log));
    EXPECT_TRUE(log.empty());
    ExpectArea(job(), base, e);
  }
  std::vector<std::string> log;
  EXPECT_FALSE(LookUp("ECHOAREA", &log));
  EXPECT_EQ(log, (Lines{"Area ECHOAREA not found... "}));
  EXPECT_EQ(WalkAll('S'), (Lines{"NETMAIL", "BAD_MSGS", "DUPES", "FOO", "BAR",
                                 "MSGAREA", "FOO", "LOCAL"}));
}

TEST_F(AreaLookupTest, FirstNonEmptySettingChoosesTheFile) {
  ctx_.areaFiles.terminatePath = kTestData + "squish_areas";
  ctx_.areaFiles.squishPath = kTestData + "squish_areas";
  ASSERT_TRUE(LookUp("BAR"));
  EXPECT_EQ(job().baseType, "S");
  ctx_.areaFiles.hptPath = kTestData + "fidoconfig_areas";
  EXPECT_FALSE(LookUp("BAR"));
  EXPECT_TRUE(LookUp("RU.LINUX"));
}

// A named file that cannot be read, and no file named at all: a lookup
// reports only the first; a walk reports both.
TEST_F(AreaLookupTest, UnreadableOrUnnamedAreasFile) {
  for (const char* path : {"no-such-areas-file", ""}) {
    SCOPED_TRACE(path);
    ctx_.areaFiles.hptPath = path;
    ctx_.log.worst = RunFailure::kNone;
    const Lines tried = {
        "Unable to open areas configuration file",
        *path ? "Areas configuration file tried: HPTPATH \"" +
                    std::string(path) + "\""
              : "Areas configuration file not named: none of HPTPATH, "
                "SQUISH, TERMINATE is set, and FIDOCONFIG names no "
                "readable file"};
    Lines log;
    EXPECT_FALSE(LookUp("FOO", &log));
    EXPECT_EQ(log, *path ? tried : Lines{});
    EXPECT_EQ(job().basePath, "");
    EXPECT_EQ(ctx_.log.worst, RunFailure::kNoAreasFile);
    bool opened = true;
    log = Logged([&] { opened = OpenAreaList(ctx_, *path ? 'H' : 0); });
    EXPECT_FALSE(opened);
    EXPECT_EQ(log, tried);
    EXPECT_EQ(NextAreaName(ctx_), "");
    CloseAreaList(ctx_);
  }
}

TEST_F(AreaLookupTest, LookupsWhileTheWalkIsOpen) {
  ctx_.areaFiles.hptPath = kTestData + "fidoconfig_areas";
  ASSERT_TRUE(OpenAreaList(ctx_, 'H'));
  Lines names, types;
  for (std::string name = NextAreaName(ctx_); !name.empty();
       name = NextAreaName(ctx_)) {
    names.push_back(name);
    ctx_.postingJob->areaName = name;
    Logged([&] { LookUpArea(ctx_); });
    types.push_back(job().baseType);
  }
  EXPECT_EQ(NextAreaName(ctx_), "");  // stays at the end
  CloseAreaList(ctx_);
  EXPECT_EQ(names,
            (Lines{"NETMAIL", "BADMAIL", "DUPES", "SYSOP.LOCAL", "RU.LINUX",
                   "RU.FIDONET.TODAY", "R50.SYSOP", "SU.GENERAL", "FIDO.TEST",
                   "RU.UNIX.BSD", "XSU.TALK", "KAVEL.FILES", "NO.DEFAULTS",
                   "RU.LINUX", "UNQUOTED", "LAST.AREA"}));
  // RU.LINUX twice: both lookups find the first definition; passthrough
  // areas between others show that every lookup starts from cleared fields.
  EXPECT_EQ(types, (Lines{"S", "S", "S", "J", "J", "S", "M", "S", "", "", "S",
                          "", "M", "J", "J", "J"}));
}

TEST_F(AreaLookupTest, DamagedAreasFile) {
  std::string content =
      "EchoArea\n"
      "EchoArea TAGONLY\n" +
      std::string(5000, 'x') + " LONG /long -b Jam\n" +
      std::string("EchoArea NUL\0ZONE /nul -b Jam\n", 30) +
      "EchoArea QUOTE /q -d \"unterminated -b jam\n"
      "EchoArea CR /cr -b Jam\rEchoArea NEXT /next\r"
      "EchoArea \xa0\xe0.\xe2\xa5\xe1\xe2 /cp866 -b msg\n"
      "EchoArea LONEB /e -b\n"
      "EchoArea DASHES /d - -- --- -b jam\n"
      "\xff\xfe\x01\x02\n";
  ctx_.areaFiles.hptPath = WriteFile("areas", content);
  Lines log;
  EXPECT_FALSE(LookUp("TAGONLY", &log));
  EXPECT_EQ(log, (Lines{"[err] Area line without a tag, skipped in " +
                            ctx_.areaFiles.hptPath + " line 1",
                        "[err] Area TAGONLY has no path, skipped in " +
                            ctx_.areaFiles.hptPath + " line 2",
                        "Area TAGONLY not found... "}));
  EXPECT_FALSE(LookUp("LONG"));
  ASSERT_TRUE(LookUp(std::string("NUL\0ZONE", 8)));
  EXPECT_EQ(job().basePath, "/nul");
  ASSERT_TRUE(LookUp("QUOTE"));
  EXPECT_EQ(job().areaDescription, "unterminated -b ja");
  EXPECT_EQ(job().baseType, "S");
  ASSERT_TRUE(LookUp("NEXT"));
  EXPECT_EQ(job().basePath, "/next");
  // Russian letters of code page 866 compare without case too.
  ASSERT_TRUE(LookUp("\x80\x90.\x92\x85\x91\x92"));
  EXPECT_EQ(job().baseType, "M");
  ASSERT_TRUE(LookUp("LONEB"));
  EXPECT_EQ(job().baseType, "S");
  ASSERT_TRUE(LookUp("DASHES"));
  EXPECT_EQ(job().baseType, "J");
  EXPECT_EQ(WalkAll('H'),
            (Lines{std::string("NUL\0ZONE", 8), "QUOTE", "CR", "NEXT",
                   "\x80\x90.\x92\x85\x91\x92", "LONEB", "DASHES"}));
}

// The tree under testdata/fido, read from the directory above it as the
// tossers run: links, passwords and file areas give nothing, and no report
// is written.
TEST_F(AreaLookupTest, FidoconfigTreeGivesTheTossersAreas) {
  std::filesystem::copy(kTestData + "fido", dir_ / "fido",
                        std::filesystem::copy_options::recursive);
  ctx_.areaFiles.hptPath = "fido/config";
  ctx_.postingJob->fromAddress = FtnAddress();  // no FROMADDR
  struct TreeArea {
    const char* tag;
    AreaKeyword kind;
    const char* path;  // below /var/spool/ftn/msgb/; "" = passthrough
    const char* type;
    const char* aka;
    const char* description;
  };
  using K = AreaKeyword;
  const char* main = "2:5020/9999";
  const TreeArea expected[] = {
      {"local.seen", K::kLocal, "seen", "S", main, "Read by kavel"},
      {"ftn.files", K::kEcho, "ftn.files", "S", main, "File sections"},
      {"r50.sysop", K::kEcho, "r50.sysop", "S", "2:5020/9999.1",
       "R50 #1 sysops"},
      {"r50.relay", K::kEcho, "", "", main, ""},
      {"a6", K::kEcho, "a6", "M", main, ""},
      {"ru.pass", K::kEcho, "", "", main, ""},
      {"ru.linux.talk", K::kEcho, "ru.linux.talk", "J", main, "Linux group"},
      {"ru.unix", K::kEcho, "ru.unix", "S", main, ""},
      {"old.area", K::kEcho, "old.area", "M", main, ""},
      {"netmail", K::kNetmail, "netmail", "S", main, ""},
      {"bad", K::kBad, "bad", "M", main, ""},
      {"dupes", K::kDupe, "dupes", "S", main, ""},
      {"local.notes", K::kLocal, "notes", "J", main, "Local notes"},
  };
  std::vector<AreaKeyword> kinds;
  Lines tags;
  Lines log = Logged([&] {
    ASSERT_TRUE(OpenAreaList(ctx_, 'H'));
    while (const AreaDefinition* area = NextArea(ctx_)) {
      tags.push_back(area->tag);
      kinds.push_back(area->keyword);
    }
    CloseAreaList(ctx_);
  });
  EXPECT_TRUE(log.empty());
  ASSERT_EQ(tags.size(), std::size(expected));
  for (size_t i = 0; i < tags.size(); ++i) {
    const TreeArea& e = expected[i];
    SCOPED_TRACE(e.tag);
    EXPECT_EQ(tags[i], e.tag);
    EXPECT_EQ(kinds[i], e.kind);
    ASSERT_TRUE(LookUp(e.tag, &log));
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(job().passthrough, *e.path == '\0');
    EXPECT_EQ(job().basePath,
              *e.path ? "/var/spool/ftn/msgb/" + std::string(e.path) : "");
    EXPECT_EQ(job().baseType, e.type);
    EXPECT_EQ(AddressToText(job().ownAddress), e.aka);
    EXPECT_EQ(job().areaDescription, e.description);
    EXPECT_EQ(job().areaTag, e.tag);
    EXPECT_EQ(job().echoTossLog, "/var/spool/ftn/echotoss.log");
  }
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

TEST_F(AreaLookupTest, SquishIncludesAndFidoconfigFromEnvironment) {
  WriteFile("more.cfg", "EchoArea MORE /m -$ ; comment\nRoute x\n");
  ctx_.areaFiles.squishPath = WriteFile(
      "squish.cfg", "Include more.cfg\nInclude squish.cfg\nEchoArea P /p -0\n");
  EXPECT_EQ(WalkAll('S'), (Lines{"MORE", "P"}));
  ASSERT_TRUE(LookUp("P"));
  EXPECT_TRUE(job().passthrough);
  ctx_.areaFiles.squishPath.clear();
  setenv("FIDOCONFIG", WriteFile("cfg", "EchoArea ENV /e\n").c_str(), 1);
  EXPECT_TRUE(LookUp("ENV"));
  unsetenv("FIDOCONFIG");
  EXPECT_FALSE(LookUp("ENV"));
}

}  // namespace
}  // namespace kavel
