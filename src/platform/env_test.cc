#include "platform/env.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/mem_env.h"
#include "platform/temp_dir_for_testing.h"

namespace kavel {
namespace {

struct PosixRoot {
  Env* env() { return Env::Default(); }
  std::string Path(const std::string& name) { return dir.path() + "\\" + name; }
  TempDirForTesting dir;
};

struct MemRoot {
  Env* env() { return &mem; }
  std::string Path(const std::string& name) { return "C:\\fido\\" + name; }
  MemRoot() { mem.CreateDirectory("C:\\fido"); }
  MemEnv mem;
};

std::string Slurp(Env* env, const std::string& path) {
  auto file = env->OpenFile(path, FileMode::kOpenRead, nullptr);
  if (file == nullptr) return "<missing>";
  std::string bytes(4096, '\0');
  size_t got = 0;
  file->Read(bytes.data(), bytes.size(), &got);
  return bytes.substr(0, got);
}

void Put(Env* env, const std::string& path, std::string_view bytes) {
  auto file = env->OpenFile(path, FileMode::kCreate, nullptr);
  ASSERT_NE(file, nullptr) << path;
  ASSERT_TRUE(file->Write(bytes.data(), bytes.size()));
}

template <typename Root>
class EnvTest : public ::testing::Test {
 protected:
  Env* env() { return root_.env(); }
  std::string Path(const std::string& name) { return root_.Path(name); }
  Root root_;
};

using Roots = ::testing::Types<PosixRoot, MemRoot>;
TYPED_TEST_SUITE(EnvTest, Roots);

TYPED_TEST(EnvTest, FilesOpenByModeAndIgnoreCase) {
  Env* env = this->env();
  int error = 0;
  EXPECT_EQ(env->OpenFile(this->Path("none"), FileMode::kOpenRead, &error),
            nullptr);
  EXPECT_EQ(error, kErrorNotFound);
  // "New" in any case: a short name with its first letter in the other case
  // (the directory's first question), then a long one; a rename that must
  // not replace refuses them as well.
  Put(env, this->Path("A.b"), "x");
  EXPECT_EQ(env->OpenFile(this->Path("a.b"), FileMode::kCreateNew, &error),
            nullptr);
  EXPECT_EQ(error, kErrorExists);
  Put(env, this->Path("Base.SQD"), "0123456789");
  EXPECT_FALSE(env->RenameFileNoReplace(this->Path("Base.SQD"),
                                        this->Path("a.B"), &error));
  EXPECT_EQ(error, kErrorExists);
  EXPECT_EQ(env->OpenFile(this->Path("BASE.sqd"), FileMode::kCreateNew, &error),
            nullptr);
  EXPECT_EQ(error, kErrorExists);
  auto file =
      env->OpenFile(this->Path("base.sqd"), FileMode::kOpenReadWrite, &error);
  ASSERT_NE(file, nullptr);
  ASSERT_TRUE(file->Seek(8));
  ASSERT_TRUE(file->Write("ABCD", 4));
  uint64_t size = 0;
  EXPECT_TRUE(file->Size(&size) && size == 12);
  ASSERT_TRUE(file->Truncate(10));
  file.reset();
  EXPECT_EQ(Slurp(env, this->Path("BASE.SQD")), "01234567AB");
}

// Each kind of line end, lines longer than the reader's search stretches,
// and a CR LF split across the reader's buffer boundary; the bytes up to the
// first CR LF are written as a line.
TYPED_TEST(EnvTest, TextLinesEndInAnyConvention) {
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
    const size_t crlf = bytes.find("\r\n");
    auto writer =
        this->env()->OpenTextWriter(this->Path("t.txt"), false, nullptr);
    ASSERT_NE(writer, nullptr);
    EXPECT_TRUE(writer->WriteLine(bytes.substr(0, crlf)) &&
                writer->WriteRaw(bytes.substr(crlf + 2)) && writer->Close());
    auto reader = this->env()->OpenTextReader(this->Path("T.TXT"), nullptr);
    ASSERT_NE(reader, nullptr);
    std::vector<std::string> lines;
    for (std::string line; reader->ReadLine(&line);) lines.push_back(line);
    EXPECT_TRUE(lines == expected) << bytes.substr(0, 20);
  }
}

TYPED_TEST(EnvTest, DirectoriesSearchAndRename) {
  Env* env = this->env();
  ASSERT_TRUE(env->CreateDirectory(this->Path("Sub")));
  EXPECT_FALSE(env->CreateDirectory(this->Path("sub")));
  for (const char* name : {"a.msg", "B.MSG", ".hidden", "c.txt"}) {
    Put(env, this->Path(name), name);
  }
  auto names = [&](const std::string& mask, uint8_t attributes) {
    std::string found;
    auto search = env->NewFileSearch();
    FoundEntry entry;
    for (bool more = search->Start(this->Path(mask), attributes, &entry); more;
         more = search->Next(&entry)) {
      found += entry.name + " ";
    }
    return found;
  };
  EXPECT_EQ(names("*.MSG", 0), "B.MSG a.msg ");
  EXPECT_EQ(names("*", kAttrAll), ". .. .hidden B.MSG Sub a.msg c.txt ");

  int error = 0;
  EXPECT_FALSE(env->RenameFileNoReplace(this->Path("a.msg"),
                                        this->Path("b.msg"), &error));
  EXPECT_EQ(error, kErrorExists);
  EXPECT_TRUE(env->RenameFileNoReplace(this->Path("a.msg"),
                                       this->Path("Sub\\d.msg"), &error));
  EXPECT_TRUE(env->RenameFile(this->Path("c.txt"), this->Path("b.msg")));
  EXPECT_EQ(Slurp(env, this->Path("b.msg")), "c.txt");
  EXPECT_EQ(Slurp(env, this->Path("sub\\D.MSG")), "a.msg");
  EXPECT_TRUE(env->DeleteFile(this->Path("B.msg")));
  EXPECT_FALSE(env->PathExists(this->Path("b.msg")));
  FileFacts facts;
  ASSERT_TRUE(env->ExamineFile(this->Path("SUB\\d.msg"), &facts));
  EXPECT_EQ(facts.size, 5u);
  // The file to rename spelled in another case than on disk.
  EXPECT_TRUE(env->RenameFileNoReplace(this->Path("SUB\\D.msg"),
                                       this->Path("e.msg"), &error));
  EXPECT_EQ(Slurp(env, this->Path("E.MSG")), "a.msg");
}

// A directory asked twice whether a new name is taken is watched from then
// on; entries another program makes or removes there show at once.
TEST(PosixEnvTest, WatchedDirectoryShowsEntriesOfOtherPrograms) {
  PosixRoot root;
  Env* env = root.env();
  int error = 0;
  for (const char* name : {"new.1", "new.2"}) {
    ASSERT_NE(env->OpenFile(root.Path(name), FileMode::kCreateNew, &error),
              nullptr);
  }
  EXPECT_TRUE(env->PathExists(root.Path("NEW.1")));
  EXPECT_FALSE(env->PathExists(root.Path("other.txt")));
  root.dir.WriteFile("Other.TXT", "x");
  EXPECT_TRUE(env->PathExists(root.Path("other.txt")));
  std::remove(root.dir.Join("new.2").c_str());
  EXPECT_FALSE(env->PathExists(root.Path("new.2")));
  // Not in a directory that is not there.
  EXPECT_FALSE(env->PathExists(root.Path("none\\other.txt")));
}

// A file without a name is in no listing until it is linked; the link
// refuses a name taken in any case, and a file closed unlinked leaves
// nothing.
TEST(PosixEnvTest, UnnamedFilesAppearOnlyWhenLinked) {
  PosixRoot root;
  Env* env = root.env();
  auto entries = [&root] {
    std::vector<std::string> names;
    for (const auto& entry :
         std::filesystem::directory_iterator(root.dir.path())) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  };
  auto file = env->OpenUnnamedFile(root.dir.path());
  ASSERT_NE(file, nullptr);
  ASSERT_TRUE(file->Write("abc", 3));
  EXPECT_TRUE(entries().empty());
  root.dir.WriteFile("Taken.TXT", "x");
  int error = 0;
  EXPECT_FALSE(file->LinkAs(root.Path("taken.txt"), &error));
  EXPECT_EQ(error, kErrorExists);
  ASSERT_TRUE(file->LinkAs(root.Path("NEW.TXT"), &error));
  // Named once; a file named so is not linked again.
  EXPECT_FALSE(file->LinkAs(root.Path("other.txt"), &error));
  file.reset();
  EXPECT_EQ(Slurp(env, root.Path("new.txt")), "abc");
  EXPECT_TRUE(env->PathExists(root.Path("New.Txt")));
  auto dropped = env->OpenUnnamedFile(root.dir.path());
  ASSERT_NE(dropped, nullptr);
  ASSERT_TRUE(dropped->Write("zz", 2));
  dropped.reset();
  EXPECT_EQ(entries(), (std::vector<std::string>{"NEW.TXT", "Taken.TXT"}));
  EXPECT_EQ(MemEnv().OpenUnnamedFile("C:\\"), nullptr);
}

TEST(MemEnvTest, LocksOfAnotherFileConflict) {
  MemEnv env;
  Put(&env, "a", "x");
  auto one = env.OpenFile("a", FileMode::kOpenReadWrite, nullptr);
  auto two = env.OpenFile("A", FileMode::kOpenReadWrite, nullptr);
  ASSERT_TRUE(one->LockRange(0, 1, 0));
  EXPECT_FALSE(two->LockRange(0, 2, 1000));
  EXPECT_EQ(two->last_error(), kErrorAccess);
  EXPECT_TRUE(two->LockRange(1, 1, 0));
  one.reset();
  EXPECT_TRUE(two->LockRange(0, 1, 0));
}

}  // namespace
}  // namespace kavel
