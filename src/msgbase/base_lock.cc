#include "msgbase/base_lock.h"

#include <charconv>
#include <string>

#include "msgbase/byte_stream.h"
#include "platform/platform.h"

namespace kavel {

namespace {

int32_t configured_wait_ms = 60000;
int32_t wait_override = -1;

}  // namespace

int32_t BaseLockWaitMs() {
  if (wait_override >= 0) return wait_override;
  const std::string value = GetEnvironmentVariable("KAVEL_LOCK_WAIT_MS");
  int32_t ms = 0;
  const char* end = value.data() + value.size();
  auto [ptr, ec] = std::from_chars(value.data(), end, ms);
  if (!value.empty() && ec == std::errc() && ptr == end && ms >= 0) return ms;
  return configured_wait_ms;
}

void SetBaseLockWaitMs(int32_t ms) { configured_wait_ms = ms < 0 ? 0 : ms; }

void SetBaseLockWaitMsForTesting(int32_t ms) { wait_override = ms; }

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
