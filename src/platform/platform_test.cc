#include "platform/platform.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <set>
#include <vector>

#include "platform/cp866.h"
#include "platform/env.h"
#include "platform/path_cache.h"
#include "platform/temp_dir_for_testing.h"

namespace kavel {
namespace {

using platform_internal::DirectoryListingsRead;
using platform_internal::MatchesDosPattern;

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

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
  ScopedEnv drive("KAVEL_DRIVE_F", dir.path());
  EXPECT_EQ(NativePath("f:\\FIDO\\netmail\\1.MSG"),
            dir.path() + "/Fido/NetMail/1.msg");
  EXPECT_EQ(NativePath("F:/fido/NETMAIL/"), dir.path() + "/Fido/NetMail/");
  // A name that matches nothing keeps the program's spelling, below an
  // existing directory found in another case.
  EXPECT_EQ(NativePath("F:\\FIDO\\New\\Base.SQD"),
            dir.path() + "/Fido/New/Base.SQD");
  EXPECT_EQ(NativePath(dir.path() + "\\fido"), dir.path() + "/Fido");
  ScopedEnv unset_drive("KAVEL_DRIVE_Q", "");
  EXPECT_EQ(NativePath("Q:\\tmp"), "/tmp");
  EXPECT_EQ(NativePath("relative\\name.txt"), "relative/name.txt");
}

TEST(NativePathTest, ExactSpellingWinsAndCp866Folds) {
  TempDirForTesting dir;
  dir.WriteFile("foo.msg", "lower");
  dir.WriteFile("FOO.MSG", "upper");
  dir.WriteFile("\xAF\xE0\xA8\xA2\xA5\xE2.txt", "cp866");  // "привет"
  EXPECT_EQ(NativePath(dir.Join("FOO.MSG")), dir.Join("FOO.MSG"));
  EXPECT_EQ(NativePath(dir.Join("foo.msg")), dir.Join("foo.msg"));
  EXPECT_EQ(NativePath(dir.Join("Foo.Msg")), dir.Join("FOO.MSG"));
  EXPECT_EQ(NativePath(dir.Join("\x8F\x90\x88\x82\x85\x92.TXT")),
            dir.Join("\xAF\xE0\xA8\xA2\xA5\xE2.txt"));

  // Opening and examining go to the same entries the lookup names, also
  // through a ".." and in another case.
  dir.WriteFile("sub/x", "");
  Env::Default()->ForgetPathCache();  // made behind the cached listing's back
  auto content = [](const std::string& path) {
    auto file = OpenPlatformFile(path, FileMode::kOpenRead, nullptr);
    char buffer[16] = {};
    size_t got = 0;
    if (!file || !file->Read(buffer, sizeof buffer, &got)) return std::string();
    return std::string(buffer, got);
  };
  EXPECT_EQ(content(dir.Join("foo.msg")), "lower");
  EXPECT_EQ(content(dir.Join("FOO.MSG")), "upper");
  EXPECT_EQ(content(dir.Join("Foo.Msg")), "upper");
  EXPECT_EQ(content(dir.Join("SUB\\..\\foo.msg")), "lower");
  uint64_t size = 0;
  EXPECT_TRUE(FileSize(dir.Join("Sub\\..\\FOO.MSG"), &size));
  EXPECT_EQ(size, 5u);
  EXPECT_TRUE(PathExists(dir.Join("SUB\\X")));
  EXPECT_TRUE(IsDirectory(dir.Join("sub")));
  EXPECT_FALSE(IsDirectory(dir.Join("sub\\x")));
}

TEST(NativePathTest, ListingCachedAndKeptCurrent) {
  TempDirForTesting dir;
  for (int i = 1; i <= 300; ++i) {
    dir.WriteFile(std::to_string(i) + ".msg", "");
  }
  long before = DirectoryListingsRead();
  for (int i = 1; i <= 300; ++i) {
    std::string name = std::to_string(i) + ".msg";
    ASSERT_EQ(NativePath(dir.path() + "\\" + std::to_string(i) + ".MSG"),
              dir.Join(name));
  }
  // Three hundred lookups in another case read the directory once.
  EXPECT_EQ(DirectoryListingsRead() - before, 1);

  // Entries this process creates and deletes update the cached listing.
  int error = 0;
  ASSERT_NE(OpenPlatformFile(dir.Join("new.msg"), FileMode::kCreate, &error),
            nullptr);
  EXPECT_EQ(NativePath(dir.path() + "\\NEW.MSG"), dir.Join("new.msg"));
  ASSERT_TRUE(DeleteFile(dir.path() + "\\NEW.MSG"));
  EXPECT_FALSE(dir.Exists("new.msg"));
  EXPECT_EQ(NativePath(dir.path() + "\\NEW.MSG"), dir.Join("NEW.MSG"));
  ASSERT_TRUE(CreateDirectory(dir.path() + "\\area\\"));
  EXPECT_EQ(NativePath(dir.path() + "\\AREA"), dir.Join("area"));
  ASSERT_TRUE(RenameFile(dir.path() + "\\1.MSG", dir.path() + "\\one.msg"));
  EXPECT_EQ(NativePath(dir.path() + "\\ONE.MSG"), dir.Join("one.msg"));
  EXPECT_EQ(NativePath(dir.path() + "\\1.MSG"), dir.Join("1.MSG"));
  EXPECT_EQ(DirectoryListingsRead() - before, 1);

  // An entry removed behind the program's back is noticed, not reused.
  std::filesystem::remove(dir.Join("2.msg"));
  EXPECT_EQ(NativePath(dir.path() + "\\2.MSG"), dir.Join("2.MSG"));
}

// Creating anew refuses a name that exists in another case, also when the
// entry was made or removed behind the program's back after the directory
// was first looked at (short names and names with many letters alike).
TEST(NativePathTest, CreateNewSeesOtherSpellingsMadeMeanwhile) {
  TempDirForTesting dir;
  for (int i = 1; i <= 50; ++i) dir.WriteFile(std::to_string(i) + ".d", "");
  int error = 0;
  const std::vector<std::pair<std::string, std::string>> spellings = {
      {"7.msg", "7.MSG"}, {"Decoded-File.Txt.kv$", "dECODED-fILE.tXT.KV$"}};
  for (const auto& [name, other] : spellings) {
    SCOPED_TRACE(name);
    auto first = OpenPlatformFile(dir.Join(name), FileMode::kCreateNew, &error);
    ASSERT_NE(first, nullptr);
    first.reset();
    ASSERT_TRUE(DeleteFile(dir.Join(name)));
    dir.WriteFile(other, "");  // another program's spelling
    EXPECT_EQ(OpenPlatformFile(dir.Join(name), FileMode::kCreateNew, &error),
              nullptr);
    EXPECT_EQ(error, kErrorExists);
    std::filesystem::remove(dir.Join(other));
    EXPECT_NE(OpenPlatformFile(dir.Join(name), FileMode::kCreateNew, &error),
              nullptr);
  }
}

TEST(FileSearchTest, WildcardsFollowDos) {
  const struct {
    const char* pattern;
    const char* name;
    bool matches;
  } cases[] = {
      {"*.*", "README", true},          {"*.*", "a.b.c", true},
      {"*.MSG", "12.msg", true},        {"*.MSG", "12.msgx", false},
      {"*.MSG", "msg", false},          {"FILE?.TXT", "file1.txt", true},
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
  EXPECT_TRUE(Search(dir.path() + "/missing\\*.*", kAttrAll).empty());

  auto search = NewFileSearch();
  FoundEntry entry;
  ASSERT_TRUE(search->Start(area + "1.msg", 33, &entry));
  EXPECT_EQ(entry.name, "1.MSG");
  EXPECT_EQ(entry.size, 5u);
  EXPECT_NE(entry.time, 0u);
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

TEST(FileTest, ErrorCodes) {
  TempDirForTesting dir;
  dir.WriteFile("data.bin", "abc");
  int error = -1;
  EXPECT_EQ(OpenPlatformFile(dir.Join("none.bin"), FileMode::kOpenRead, &error),
            nullptr);
  EXPECT_EQ(error, kErrorNotFound);
  EXPECT_EQ(
      OpenPlatformFile(dir.Join("DATA.BIN"), FileMode::kCreateNew, &error),
      nullptr);
  EXPECT_EQ(error, kErrorExists);
  // A directory is not a file.
  EXPECT_EQ(OpenPlatformFile(dir.path(), FileMode::kOpenRead, &error), nullptr);
  EXPECT_EQ(error, kErrorAccess);
  EXPECT_FALSE(DeleteFile(dir.path()));
  EXPECT_TRUE(CreateDirectory(dir.path() + "\\Txt\\"));
  EXPECT_FALSE(CreateDirectory(dir.path() + "\\TXT"));   // exists (as Txt)
  EXPECT_FALSE(CreateDirectory(dir.path() + "\\a\\b"));  // parent missing
}

TEST(TextFileTest, LineEndsAndCrLfWriting) {
  TempDirForTesting dir;
  // Lines longer than the reader's search stretches, each kind of end, and
  // a CR LF split across the reader's buffer boundary.
  const std::string a(300, 'a'), b(600, 'b'), c(257, 'c'), d(256, 'd');
  const std::string big(65535, 'x');
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"one\r\ntwo\nthree\rfour\r\n\r\nlast",
       {"one", "two", "three", "four", "", "last"}},
      {"a\r\r\n", {"a", ""}},
      {a + "\n" + b + "\r" + c + "\r\n" + d + "\n\r", {a, b, c, d, ""}},
      {big + "\r\nnext", {big, "next"}},
  };
  for (const auto& [bytes, expected] : cases) {
    dir.WriteFile("in.txt", bytes);
    auto reader = OpenTextReader(dir.Join("IN.TXT"), nullptr);
    ASSERT_NE(reader, nullptr);
    std::vector<std::string> lines;
    std::string line;
    while (reader->ReadLine(&line)) lines.push_back(line);
    EXPECT_TRUE(lines == expected) << bytes.substr(0, 20);
  }

  int error = -1;
  EXPECT_EQ(OpenTextWriter(dir.Join("log.txt"), true, &error), nullptr);
  EXPECT_EQ(error, kErrorNotFound);
  auto writer = OpenTextWriter(dir.Join("log.txt"), false, &error);
  ASSERT_NE(writer, nullptr);
  EXPECT_TRUE(writer->WriteLine("first"));
  EXPECT_TRUE(writer->WriteRaw("raw"));
  EXPECT_TRUE(writer->Close());
  writer = OpenTextWriter(dir.Join("LOG.TXT"), true, &error);
  ASSERT_NE(writer, nullptr);
  writer->WriteLine("");
  writer->WriteLine("second");
  EXPECT_TRUE(writer->Flush());
  EXPECT_EQ(dir.ReadFile("log.txt"), "first\r\nraw\r\nsecond\r\n");
  writer.reset();
  EXPECT_FALSE(dir.Exists("LOG.TXT"));
}

TEST(ConsoleTest, Cp866ToUtf8) {
  // "Привет", ё, the bar characters 254 and 249, and the box corner 201.
  EXPECT_EQ(platform_internal::Cp866ToUtf8("\x8F\xE0\xA8\xA2\xA5\xE2"),
            "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
  EXPECT_EQ(platform_internal::Cp866ToUtf8("\xFE\xF9"),
            "\xE2\x96\xA0\xE2\x88\x99");
  EXPECT_EQ(platform_internal::Cp866ToUtf8("\xC9"), "\xE2\x95\x94");
  // The C library's charset of the locale: LC_ALL before LC_CTYPE before
  // LANG; a locale it does not have is "C", which is not UTF-8.
  {
    ScopedEnv all("LC_ALL", "C.UTF-8");
    ScopedEnv lang("LANG", "C");
    EXPECT_TRUE(platform_internal::LocaleIsUtf8());
  }
  {
    ScopedEnv all("LC_ALL", "");
    ScopedEnv ctype("LC_CTYPE", "C");
    ScopedEnv lang("LANG", "C.UTF-8");
    EXPECT_FALSE(platform_internal::LocaleIsUtf8());
  }
}

TEST(ConsoleTest, PipedOutputHoldsOnlyWholeLines) {
  testing::internal::CaptureStdout();
  ConsoleWrite("\xFE\xFE progress");
  ConsoleSetCursor(1, 1);
  ConsoleWriteLine("line \x8F");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "line \x8F\n");
  int row = 0, column = 0;
  EXPECT_FALSE(ConsoleGetCursor(&row, &column));
}

TEST(StopTest, SignalsAreRecorded) {
  InstallStopHandlers();
  EXPECT_FALSE(StopRequested());
  raise(SIGTERM);
  EXPECT_TRUE(StopRequested());
  Env::Default()->ClearStopRequest();
  EXPECT_FALSE(StopRequested());
}

}  // namespace
}  // namespace kavel
