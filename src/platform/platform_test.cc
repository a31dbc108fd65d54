#include "platform/platform.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <vector>

#include "platform/env.h"
#include "platform/path_cache.h"
#include "platform/temp_dir_for_testing.h"

namespace kavel {
namespace {

using platform_internal::MatchesDosPattern;

std::vector<std::string> Search(const std::string& pattern, uint8_t mask) {
  std::vector<std::string> names;
  auto search = NewFileSearch();
  FoundEntry entry;
  for (bool ok = search->Start(pattern, mask, &entry); ok;
       ok = search->Next(&entry)) {
    names.push_back(entry.name);
  }
  search->End();
  return names;
}

TEST(NativePathTest, SeparatorsDrivesAndCase) {
  TempDirForTesting dir;
  dir.WriteFile("Fido/NetMail/1.msg", "");
  setenv("KAVEL_DRIVE_F", dir.path().c_str(), 1);
  setenv("KAVEL_DRIVE_Q", "", 1);
  EXPECT_EQ(NativePath("f:\\FIDO\\netmail\\1.MSG"),
            dir.path() + "/Fido/NetMail/1.msg");
  EXPECT_EQ(NativePath("F:/fido/NETMAIL/"), dir.path() + "/Fido/NetMail/");
  // A name that matches nothing keeps the program's spelling, below an
  // existing directory found in another case.
  EXPECT_EQ(NativePath("F:\\FIDO\\New\\Base.SQD"),
            dir.path() + "/Fido/New/Base.SQD");
  EXPECT_EQ(NativePath(dir.path() + "\\fido"), dir.path() + "/Fido");
  EXPECT_EQ(NativePath("Q:\\tmp"), "/tmp");
  EXPECT_EQ(NativePath("relative\\name.txt"), "relative/name.txt");
  unsetenv("KAVEL_DRIVE_F");
  unsetenv("KAVEL_DRIVE_Q");
}

TEST(NativePathTest, ExactSpellingWinsAndCp866Folds) {
  TempDirForTesting dir;
  dir.WriteFile("foo.msg", "lower");
  dir.WriteFile("FOO.MSG", "upper");
  dir.WriteFile("\xAF\xE0\xA8\xA2\xA5\xE2.txt", "cp866");  // "привет"
  EXPECT_EQ(NativePath(dir.Join("FOO.MSG")), dir.Join("FOO.MSG"));
  EXPECT_EQ(NativePath(dir.Join("Foo.Msg")), dir.Join("FOO.MSG"));
  EXPECT_EQ(NativePath(dir.Join("\x8F\x90\x88\x82\x85\x92.TXT")),
            dir.Join("\xAF\xE0\xA8\xA2\xA5\xE2.txt"));
}

TEST(FileSearchTest, WildcardsFollowDos) {
  const struct {
    const char* pattern;
    const char* name;
    bool matches;
  } cases[] = {
      {"*.*", "README", true},          {"*.*", "a.b.c", true},
      {"*.MSG", "12.msg", true},        {"*.MSG", "12.msgx", false},
      {"FILE?.TXT", "file.txt", false}, {"FILE?.TXT", "file12.txt", false},
      {"NAME.*", "name", true},         {"*.", "noext", true},
      {"*.", "has.ext", false},         {"\x8F*", "\xAF\xE0\xA8", true},
      {"a*b*c", "aXXbYYbZc", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MatchesDosPattern(c.pattern, c.name), c.matches)
        << c.pattern << " " << c.name;
  }
}

TEST(FileSearchTest, AttributeMasksAndDotEntries) {
  TempDirForTesting dir;
  dir.WriteFile("area/1.MSG", "hello");
  dir.WriteFile("area/2.msg", "");
  dir.WriteFile("area/.hidden.msg", "");
  dir.WriteFile("area/notes", "");
  dir.MakeDirectory("area/sub.msg");
  std::string area = dir.path() + "\\AREA\\";

  // Mask 33: plain files only, read-only or not.
  EXPECT_EQ(Search(area + "*.MSG", 33),
            (std::vector<std::string>{"1.MSG", "2.msg"}));
  // Everything, with "." and ".." first.
  EXPECT_EQ(Search(area + "*.*", kAttrAll),
            (std::vector<std::string>{".", "..", ".hidden.msg", "1.MSG",
                                      "2.msg", "notes", "sub.msg"}));

  auto search = NewFileSearch();
  FoundEntry entry;
  ASSERT_TRUE(search->Start(area + "1.msg", 33, &entry));
  EXPECT_EQ(entry.name, "1.MSG");
  EXPECT_EQ(entry.size, 5u);
  ASSERT_TRUE(search->Start(area + "SUB.MSG", kAttrAll, &entry));
  EXPECT_EQ(entry.attributes, kAttrDirectory);
  ASSERT_TRUE(search->Start(area + ".hidden.msg", kAttrAll, &entry));
  EXPECT_EQ(entry.attributes & kAttrHidden, kAttrHidden);

  // Read-only: no write permission for anyone.
  chmod(dir.Join("area/2.msg").c_str(), 0444);
  ASSERT_TRUE(search->Start(area + "2.MSG", 33, &entry));
  EXPECT_EQ(entry.attributes & kAttrReadOnly, kAttrReadOnly);
  search->End();
}

}  // namespace
}  // namespace kavel
