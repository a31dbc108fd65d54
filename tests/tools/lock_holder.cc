// Test peer that plays another FTN tool holding a base's write lock.
//
//   kavel_lock_holder <file> <ready-file> <release-file>
//
// Takes the write lock on byte 0 of <file>, creates <ready-file>, holds the
// lock until <release-file> exists (at most two minutes), then releases it,
// deletes <release-file> and exits with 0. Exits with 2 when the file cannot be
// opened or locked.
#include <string>

#include "platform/platform.h"

int main(int argc, char** argv) {
  using namespace kavel;
  if (argc != 4) return 2;
  int error = 0;
  std::unique_ptr<PlatformFile> file =
      OpenPlatformFile(argv[1], FileMode::kOpenReadWrite, &error);
  if (!file || !file->LockRange(0, 1, 10000)) return 2;
  std::unique_ptr<TextWriter> ready = OpenTextWriter(argv[2], false, &error);
  if (!ready || !ready->Close()) return 2;
  for (int waited = 0; waited < 120000 && !PathExists(argv[3]); waited += 10) {
    SleepMilliseconds(10);
  }
  file->UnlockRange(0, 1);
  DeleteFile(argv[3]);  // tells the test that the lock is gone
  return 0;
}
