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
      // First definition wins; the type comes from EchoAreaDefaults.
      {'F', "ru.linux", "RU.LINUX|J|Linux in Russian|2:5020/1042",
       K::kEchomail},
      // A commented-out definition above does not win; an unknown option
      // (-hide) does not hide the -b behind it.
      {'F', "SU.GENERAL", "su.general|S|General talk|2:5020/1042",
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
      // The last line of the file, without a line end.
      {'F', "last.area", "last.area|J||2:5020/1042", K::kEchomail},
      {'F', "OLD.AREA", nullptr, K::kNone},
      {'S', "bar", "Bar|S||2:5020/1.7", K::kEchomail},
      // The later FOO line wins whole: no -$ and no -p there.
      {'S', "FOO", "foo2|M||2:5020/1042", K::kEchomail},
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
    if (e.fields == nullptr) continue;
    EXPECT_EQ(job().basePath + "|" + job().baseType + "|" +
                  job().areaDescription + "|" + AddressToText(job().ownAddress),
              (squish ? "/var/spool/squish/" : "/var/spool/fido/msgbase/") +
                  std::string(e.fields));
    EXPECT_EQ(job().areaKind, e.kind);
  }
  EXPECT_EQ(WalkAll('S'), (Lines{"NETMAIL", "BAD_MSGS", "DUPES", "FOO", "BAR",
                                 "MSGAREA", "FOO", "LOCAL"}));
}

// The tree under testdata/fido, read from the directory above it as the
// tossers run: links, passwords and file areas give nothing, and no report
// is written.
TEST_F(AreaLookupTest, FidoconfigTreeGivesTheTossersAreas) {
  std::filesystem::copy(kTestData + "fido", dir_ / "fido",
                        std::filesystem::copy_options::recursive);
  ctx_.areaFiles.hptPath = "fido/config";
  ctx_.postingJob->fromAddress = FtnAddress();  // no FROMADDR
  std::vector<AreaDefinition> areas;
  Lines log = Logged([&] {
    ASSERT_TRUE(OpenAreaList(ctx_, 'H'));
    while (const AreaDefinition* area = NextArea(ctx_)) areas.push_back(*area);
    CloseAreaList(ctx_);
  });
  EXPECT_TRUE(log.empty());
  ASSERT_EQ(areas.size(), 13u);
  EXPECT_EQ(areas[10].keyword, AreaKeyword::kBad);
  EXPECT_EQ(areas[11].keyword, AreaKeyword::kDupe);
  // "tag|path|type|description|aka", the path below /var/spool/ftn/msgb/ and
  // empty for a passthrough area.
  for (const char* fields :
       {"local.seen|seen|S|Read by kavel|2:5020/9999",
        "r50.sysop|r50.sysop|S|R50 #1 sysops|2:5020/9999.1",
        "r50.relay||||2:5020/9999", "a6|a6|M||2:5020/9999",
        "ru.linux.talk|ru.linux.talk|J|Linux group|2:5020/9999"}) {
    SCOPED_TRACE(fields);
    const std::string tag =
        std::string(fields).substr(0, std::string(fields).find('|'));
    ASSERT_TRUE(LookUp(tag, &log));
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

// Trees and areas files that try to hurt the reader: each gives its areas
// and its reports, and never a line of the tree.
TEST_F(AreaLookupTest, HostileTrees) {
  std::string doubling;
  for (int i = 0; i < 16; ++i) doubling += "set A=[A][A]x\n";
  const std::string nul("NUL\0ZONE", 8), cp866 = "\xa0\xe0.\xe2\xa5\xe1\xe2";
  const struct {
    std::string config;
    Lines areas, log;
  } cases[] = {
      {doubling + "Name `cat /etc/passwd`\nendif\nelse\ninclude a\n",
       {"A"},
       {"Undefined variable expanded to nothing in config line 1",
        "[err] Line too long after expansion, skipped in config line 16",
        "Command in backticks not run in config line 17",
        "[err] Misplaced 'endif', line skipped in config line 18",
        "[err] Misplaced 'else', line skipped in config line 19",
        "[err] Include file config is included a second time, skipped in a "
        "line 1"}},
      {"EchoArea\nEchoArea TAGONLY\n" + std::string(5000, 'x') +
           " LONG /long -b Jam\n" +
           std::string("EchoArea NUL\0ZONE /nul -b Jam\n", 30) +
           "EchoArea CR /cr -b Jam\rEchoArea " + cp866 +
           " /cp866 -b msg\n"
           "\xff\xfe\x01\x02\n",
       {nul, "CR", "\x80\x90.\x92\x85\x91\x92"},
       {"[err] Area line without a tag, skipped in config line 1",
        "[err] Area TAGONLY has no path, skipped in config line 2"}},
  };
  WriteFile("a", "include config\nEchoArea A /a\n");
  ctx_.areaFiles.hptPath = "config";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.config.substr(0, 40));
    WriteFile("config", c.config);
    Lines walked;
    EXPECT_EQ(Logged([&] { walked = WalkAll('H'); }), c.log);
    EXPECT_EQ(walked, c.areas);
  }
  // Russian letters of code page 866 compare without case too.
  EXPECT_TRUE(LookUp("\x80\x90.\x92\x85\x91\x92"));
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
