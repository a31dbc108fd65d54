#include "decoding/decoding_run.h"

#include <string>

#include "context/run_context.h"
#include "decoding/decoding_settings.h"
#include "msgbase/date_time.h"
#include "platform/platform.h"

namespace kavel {

constexpr int64_t kSecondsPerDay = 24 * 60 * 60;

DecodingRun::DecodingRun(RunContext& ctx) : ctx_(ctx) {}

DecodingRun::~DecodingRun() {
  if (!lock_) return;
  ctx_.decodeHistory = nullptr;
  history_.state.DropRecordedBefore(history_.now - history_.keepSeconds);
  if (history_.state.changed() && !history_.state.Save(kStateFileName)) {
    LogError(ctx_, std::string("Unable to write state file ") + kStateFileName);
  }
  lock_->UnlockRange(0, 1);
}

bool DecodingRun::Start() {
  if (!ctx_.decoding.decodeNewOnly) return true;
  int error = 0;
  std::unique_ptr<PlatformFile> lock =
      OpenPlatformFile(kStateLockName, FileMode::kOpenReadWrite, &error);
  if (!lock) lock = OpenPlatformFile(kStateLockName, FileMode::kCreate, &error);
  const int64_t wait_ms = int64_t{StateLockWaitSeconds(ctx_)} * 1000;
  if (!lock || !lock->LockRange(0, 1, static_cast<int>(wait_ms))) {
    LogInfo(ctx_, std::string("The decoding state ") + kStateFileName +
                      " is locked by another run, nothing decoded");
    return false;
  }
  lock_ = std::move(lock);

  DateTimeRecord now;
  CurrentDateTime(&now);
  history_.now = DateTimeToSeconds(now);
  history_.keepSeconds = ctx_.decoding.decodeHistoryDays * kSecondsPerDay;
  if (history_.state.Load(kStateFileName) ==
      DecodeState::LoadResult::kDamaged) {
    LogError(ctx_, std::string("State file ") + kStateFileName +
                       " is damaged or unreadable, starting with an empty "
                       "state");
  }
  ctx_.decodeHistory = &history_;
  return true;
}

}  // namespace kavel
