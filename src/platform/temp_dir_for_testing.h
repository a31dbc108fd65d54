// A fresh temporary directory for unit tests, removed with everything in it
// when the object goes out of scope. Test code only.
#ifndef KAVEL_PLATFORM_TEMP_DIR_FOR_TESTING_H_
#define KAVEL_PLATFORM_TEMP_DIR_FOR_TESTING_H_

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "platform/env.h"
#include "platform/platform.h"

namespace kavel {

class TempDirForTesting {
 public:
  TempDirForTesting() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "kavel-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
    Env::Default()->ForgetPathCache();
  }
  ~TempDirForTesting() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
    Env::Default()->ForgetPathCache();
  }
  TempDirForTesting(const TempDirForTesting&) = delete;
  TempDirForTesting& operator=(const TempDirForTesting&) = delete;

  // The directory, without a trailing "/".
  const std::string& path() const { return path_; }
  // path() + "/" + relative (relative uses "/").
  std::string Join(std::string_view relative) const {
    return path_ + "/" + std::string(relative);
  }
  // Writes bytes to a file (relative name), creating parent directories.
  void WriteFile(std::string_view relative, std::string_view bytes) const {
    std::filesystem::path file = Join(relative);
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  // The whole file, or "<missing>" when it cannot be read.
  std::string ReadFile(std::string_view relative) const {
    std::ifstream in(Join(relative), std::ios::binary);
    if (!in) return "<missing>";
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  bool Exists(std::string_view relative) const {
    return std::filesystem::exists(
        std::filesystem::symlink_status(Join(relative)));
  }
  void MakeDirectory(std::string_view relative) const {
    std::filesystem::create_directories(Join(relative));
  }

 private:
  std::string path_;
};

}  // namespace kavel

#endif  // KAVEL_PLATFORM_TEMP_DIR_FOR_TESTING_H_
