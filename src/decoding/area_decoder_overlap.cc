// Saving the sets that complete during the scan while the scan goes on: a
// second AreaDecoder, on its own handle of the base, saves them on a second
// thread, in the order SaveCollected saves them.
//
// While both run, the scanning thread only reads the base through its own
// handle and writes the log; the saving thread alone opens, writes and
// renames files and asks for names, and its log lines wait in memory. The
// name memory, the text base's directory and the file list are the saving
// thread's until it is joined.
#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "decoding/area_decoder.h"
#include "msgbase/message_area.h"

namespace kavel {
namespace {

// Log lines of the saving thread, kept in their order until the scanning
// thread writes them. Lines one after another mostly begin alike (the same
// words, the same directory), so each is kept as the length it shares
// with the line before it and the rest.
class HeldLog : public DecodeLog {
 public:
  void Info(std::string_view message) override { Hold(Kind::kInfo, message); }
  void Error(std::string_view message) override { Hold(Kind::kError, message); }
  void Failure(std::string_view message) override {
    Hold(Kind::kFailure, message);
  }

  // No line follows; wakes WriteHeld.
  void Finish() {
    {
      std::lock_guard<std::mutex> hold(mutex_);
      finished_ = true;
    }
    wake_.notify_one();
  }

  // Waits for a batch of lines (or the last ones) and writes them to
  // `log` in their order; false once every line is written and Finish was
  // called. One thread writes.
  bool WriteHeld(DecodeLog* log) {
    std::string rests;
    std::vector<Entry> entries;
    {
      std::unique_lock<std::mutex> hold(mutex_);
      wake_.wait(hold,
                 [this] { return finished_ || entries_.size() >= kBatch; });
      if (entries_.empty()) return false;
      rests.swap(rests_);
      entries.swap(entries_);
    }
    size_t start = 0;
    for (const Entry& entry : entries) {
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
    return true;
  }

 private:
  // Lines the writer takes at a time while more may come.
  static constexpr size_t kBatch = 64;
  enum class Kind : char { kInfo, kError, kFailure };
  struct Entry {
    Kind kind;
    uint32_t shared;  // bytes taken from the line before
    size_t end;       // where the rest ends in rests_
  };

  void Hold(Kind kind, std::string_view message) {
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

  std::string last_;     // the line held last (the holding thread's)
  std::string written_;  // the line written last (the writing thread's)
  std::mutex mutex_;
  std::condition_variable wake_;
  // Under mutex_: what each line held and not yet written does not share,
  // one after another, and the lines' entries.
  std::string rests_;
  std::vector<Entry> entries_;
  bool finished_ = false;
};

// Sets handed from the scanning thread to the saving one.
class SetQueue {
 public:
  void Put(FileSet set) {
    {
      std::lock_guard<std::mutex> hold(mutex_);
      sets_.push_back(std::move(set));
    }
    ready_.notify_one();
  }

  // No set follows.
  void Close() {
    {
      std::lock_guard<std::mutex> hold(mutex_);
      closed_ = true;
    }
    ready_.notify_one();
  }

  // Waits for the next set; false once the queue is closed and empty.
  bool Take(FileSet* set) {
    std::unique_lock<std::mutex> hold(mutex_);
    ready_.wait(hold, [this] { return closed_ || !sets_.empty(); });
    if (sets_.empty()) return false;
    *set = std::move(sets_.front());
    sets_.pop_front();
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<FileSet> sets_;
  bool closed_ = false;
};

// Below this many messages a second thread and handle of the base cost
// about what saving meanwhile would gain (a /ALL over many small areas).
constexpr int32_t kMinMessagesToSaveMeanwhile = 200;

// Squish and JAM bases are read through files opened with the base; a
// *.MSG base opens a file for every message, through the same path
// lookups as the saves.
bool ReadsOnlyOpenFiles(std::string_view area_id) {
  std::string path;
  const AreaType type = SplitAreaId(area_id, &path);
  return type == kAreaTypeSquish || type == kAreaTypeJam;
}

}  // namespace

bool AreaDecoder::CollectAndSaveMeanwhile() {
  // With a history, what is saved is decided after the whole scan.
  if (!options_.saveWhileScanning || history_ != nullptr || !area_ ||
      !ReadsOnlyOpenFiles(area_id_) ||
      area_->MessageCount() < kMinMessagesToSaveMeanwhile) {
    return false;
  }
  HeldLog held;
  AreaDecoder saver(options_, &held, names_);
  if (!OpenMessageArea(&saver.area_, area_id_)) return false;
  saver.area_id_ = area_id_;
  saver.area_name_ = area_name_;
  saver.text_dir_ = text_dir_;
  saver.fwd_dir_ = fwd_dir_;
  SetQueue queue;
  std::thread saving;
  try {
    saving = std::thread([&saver, &queue, &held] {
      FileSet set;
      while (queue.Take(&set)) saver.SaveFileSet(set);
      held.Finish();
    });
  } catch (const std::system_error&) {
    CloseMessageArea(&saver.area_);
    return false;
  }
  // A complete set goes over when every set begun before it has gone: the
  // first incomplete one holds the later ones back until the scan ends.
  after_message_ = [this, &queue] {
    while (sets_.taken() < sets_.size() &&
           sets_.at(sets_.taken()).IsComplete()) {
      queue.Put(sets_.TakeFront());
    }
  };
  CollectSections();
  after_message_ = nullptr;
  queue.Close();
  // The scan's lines are out: the saves' lines follow, written here while
  // the saving thread goes on.
  while (held.WriteHeld(log_)) {
  }
  saving.join();
  // Only read through; nothing of it is left to write.
  CloseMessageArea(&saver.area_);
  retry_save_ = retry_save_ || saver.retry_save_;
  ready_dirs_.merge(saver.ready_dirs_);
  output_buffer_.swap(saver.output_buffer_);
  SaveCollected();
  return true;
}

}  // namespace kavel
