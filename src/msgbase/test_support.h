// Test-only helpers for the message-base tests: a fresh directory per test
// and whole-file reads and writes. Included by *_test.cc files only.
#ifndef KAVEL_MSGBASE_TEST_SUPPORT_H_
#define KAVEL_MSGBASE_TEST_SUPPORT_H_

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/platform.h"

namespace kavel::testing_support {

// A directory that exists for the lifetime of the object.
class TempDir {
 public:
  TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "kavel-msgbase-XXXXXX")
            .string();
    char* made = mkdtemp(pattern.data());
    path_ = made ? made : "";
    ForgetPathCache();
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 ignored);
    std::filesystem::remove_all(path_, ignored);
    ForgetPathCache();
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The directory with a trailing "/".
  std::string path() const { return path_ + "/"; }
  std::string Sub(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ForgetPathCache();
}

inline bool RunningAsRoot() { return geteuid() == 0; }

}  // namespace kavel::testing_support

#endif  // KAVEL_MSGBASE_TEST_SUPPORT_H_
