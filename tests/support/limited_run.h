// End-to-end test support: lets the unprivileged user run the program on a
// run directory when the tests run as root (who writes anywhere).
#ifndef KAVEL_TESTS_SUPPORT_LIMITED_RUN_H_
#define KAVEL_TESTS_SUPPORT_LIMITED_RUN_H_

#include <string>

#include "support/e2e.h"

namespace kavel::e2e {

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
