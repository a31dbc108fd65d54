#include "msgbase/base_lock.h"

#include "msgbase/byte_stream.h"
#include "platform/env.h"

namespace kavel {

namespace {

int32_t configured_wait_ms = 60000;

}  // namespace

int32_t BaseLockWaitMs() {
  return CurrentEnv()->LockWaitMs(configured_wait_ms);
}

void SetBaseLockWaitMs(int32_t ms) { configured_wait_ms = ms < 0 ? 0 : ms; }

bool BaseLock::Acquire() {
  if (held_) return true;
  held_ = file_->LockRange(0, 1, BaseLockWaitMs());
  return held_;
}

void BaseLock::Release() {
  if (!held_) return;
  file_->UnlockRange(0, 1);
  held_ = false;
}

}  // namespace kavel
