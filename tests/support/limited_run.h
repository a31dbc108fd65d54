// End-to-end test support: runs the real program under limits of its
// surroundings that RunDirectory::Run cannot set: a file-size limit (as on a
// full disk) and, when the tests run as root, an unprivileged user.
#ifndef KAVEL_TESTS_SUPPORT_LIMITED_RUN_H_
#define KAVEL_TESTS_SUPPORT_LIMITED_RUN_H_

#include <sys/resource.h>
#include <sys/types.h>

#include <string>
#include <vector>

#include "support/e2e.h"

namespace kavel::e2e {

// The unprivileged user (and group) "nobody".
constexpr uid_t kNobody = 65534;

struct Limits {
  rlim_t fileSize = RLIM_INFINITY;  // RLIMIT_FSIZE of the program
  bool asNobody = false;            // run as kNobody (only when root)
  std::string program;              // another copy of the program
};

// Runs the program (KAVEL_BINARY unless limits.program is set) with
// `arguments` in `dir`, KAVEL_FAKE_CLOCK set as RunDirectory::Run sets it,
// SIGXFSZ ignored under a file-size limit. Standard output and standard
// error come back together in `out` through a pipe, which no file-size
// limit applies to; `err` stays empty.
RunResult RunLimited(const RunDirectory& dir,
                     const std::vector<std::string>& arguments,
                     const Limits& limits);

// Copies KAVEL_BINARY to `dir`/kavel, owned by kNobody when root, so that
// the unprivileged user can surely run it wherever the build is. Returns
// the copy's path in *program; false when it could not be made.
bool CopyProgramForNobody(const RunDirectory& dir, std::string* program);

// When root: gives the run directory and everything below it to kNobody,
// but for the path `except` and what is below it (by path prefix); false
// when an owner cannot be changed. Does nothing for another user.
bool GiveToNobody(const RunDirectory& dir, const std::string& except);

}  // namespace kavel::e2e

#endif  // KAVEL_TESTS_SUPPORT_LIMITED_RUN_H_
