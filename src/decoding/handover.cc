#include "decoding/handover.h"

#include <algorithm>
#include <utility>

namespace kavel {

void HeldLog::Info(std::string_view message) { Hold(Kind::kInfo, message); }

void HeldLog::Error(std::string_view message) { Hold(Kind::kError, message); }

void HeldLog::Failure(std::string_view message) {
  Hold(Kind::kFailure, message);
}

void HeldLog::Finish() {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    finished_ = true;
  }
  wake_.notify_one();
}

bool HeldLog::WriteHeld(DecodeLog* log) {
  std::string rests;
  std::vector<Entry> entries;
  {
    std::unique_lock<std::mutex> hold(mutex_);
    wake_.wait(hold, [this] { return finished_ || entries_.size() >= kBatch; });
    if (entries_.empty()) return false;
    rests.swap(rests_);
    entries.swap(entries_);
  }
  size_t start = 0;
  size_t in_batch = 0;
  log->BeginBatch();
  for (const Entry& entry : entries) {
    // Many lines wait when the scan ends: the log gets them kBatch at a
    // time, not all at once.
    if (in_batch++ == kBatch) {
      log->EndBatch();
      log->BeginBatch();
      in_batch = 1;
    }
    written_.resize(entry.shared);
    written_.append(rests, start, entry.end - start);
    start = entry.end;
    switch (entry.kind) {
      case Kind::kInfo:
        log->Info(written_);
        break;
      case Kind::kError:
        log->Error(written_);
        break;
      case Kind::kFailure:
        log->Failure(written_);
        break;
    }
  }
  log->EndBatch();
  return true;
}

void HeldLog::Hold(Kind kind, std::string_view message) {
  size_t shared = 0;
  const size_t most = std::min(message.size(), last_.size());
  while (shared < most && message[shared] == last_[shared]) ++shared;
  last_.assign(message);
  bool wake = false;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    rests_.append(message.substr(shared));
    entries_.push_back({kind, static_cast<uint32_t>(shared), rests_.size()});
    wake = entries_.size() == kBatch;
  }
  if (wake) wake_.notify_one();
}

void SetQueue::Put(FileSet set) {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    if (set.held) held_ += set.held->bytes;
    sets_.push_back(std::move(set));
  }
  ready_.notify_one();
}

void SetQueue::Close() {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    closed_ = true;
  }
  ready_.notify_one();
}

bool SetQueue::Take(FileSet* set) {
  std::unique_lock<std::mutex> hold(mutex_);
  ready_.wait(hold, [this] { return closed_ || !sets_.empty(); });
  if (sets_.empty()) return false;
  *set = std::move(sets_.front());
  sets_.pop_front();
  return true;
}

void SetQueue::Done(FileSet* set) {
  if (!set->held) return;
  bool wake = false;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    held_ -= set->held->bytes;
    for (auto& [part, text] : set->held->texts) {
      if (spare_bytes_ + text.capacity() > kMostSpareBytes) break;
      spare_bytes_ += text.capacity();
      text.clear();
      spare_.push_back(std::move(text));
    }
    wake = waiting_ && held_ <= wake_at_;
    if (wake) waiting_ = false;
  }
  set->held.reset();
  if (wake) room_.notify_one();
}

bool SetQueue::TakeSpare(std::string* text) {
  std::lock_guard<std::mutex> hold(mutex_);
  if (spare_.empty()) return false;
  spare_bytes_ -= spare_.back().capacity();
  text->swap(spare_.back());
  spare_.pop_back();
  return true;
}

void SetQueue::WaitForRoom(size_t most) {
  std::unique_lock<std::mutex> hold(mutex_);
  if (held_ <= most) return;
  wake_at_ = most / 2;
  waiting_ = true;
  room_.wait(hold, [this] { return !waiting_; });
}

}  // namespace kavel
