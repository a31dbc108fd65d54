// The write lock that message-base writers on this system share: a POSIX
// record lock on byte 0 (length 1) of one file of the base (the Squish data
// file, the JAM header file). A writer takes it before it changes anything,
// re-reads the base header under it, writes, and releases it; readers take
// no lock. The protocol is described in docs/locking.md.
#ifndef KAVEL_MSGBASE_BASE_LOCK_H_
#define KAVEL_MSGBASE_BASE_LOCK_H_

#include <cstdint>

namespace kavel {

class ByteStream;

// How long a writer waits for the lock, in milliseconds: the configured
// wait (60 seconds until SetBaseLockWaitMs) as the current Env's LockWaitMs
// answers for it. 0 tries once.
int32_t BaseLockWaitMs();
// Sets the configured wait (the LOCKWAIT setting); negative values count
// as 0.
void SetBaseLockWaitMs(int32_t ms);

// Holds the lock of one base file for a scope. The stream stays owned by
// the caller and must outlive this object.
class BaseLock {
 public:
  explicit BaseLock(ByteStream* file) : file_(file) {}
  ~BaseLock() { Release(); }
  BaseLock(const BaseLock&) = delete;
  BaseLock& operator=(const BaseLock&) = delete;

  // Waits up to BaseLockWaitMs for the lock; yes when it is held.
  bool Acquire();
  // Writes what the stream buffers, then releases the lock (when held).
  void Release();
  bool held() const { return held_; }

 private:
  ByteStream* file_;
  bool held_ = false;
};

}  // namespace kavel

#endif  // KAVEL_MSGBASE_BASE_LOCK_H_
