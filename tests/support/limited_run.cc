#include "support/limited_run.h"

#include <unistd.h>

#include <filesystem>

namespace kavel::e2e {

bool CopyProgramForNobody(const RunDirectory& dir, std::string* program) {
  *program = dir.Join("kavel");
  std::error_code ec;
  if (!std::filesystem::copy_file(KAVEL_BINARY, *program, ec)) return false;
  return geteuid() != 0 || chown(program->c_str(), kNobody, kNobody) == 0;
}

bool GiveToNobody(const RunDirectory& dir, const std::string& except) {
  if (geteuid() != 0) return true;
  namespace fs = std::filesystem;
  for (const auto& e : fs::recursive_directory_iterator(dir.path())) {
    if (e.path().string().rfind(except, 0) == 0) continue;
    if (chown(e.path().c_str(), kNobody, kNobody) != 0) return false;
  }
  return chown(dir.path().c_str(), kNobody, kNobody) == 0;
}

}  // namespace kavel::e2e
