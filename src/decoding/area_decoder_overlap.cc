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

// Log lines kept in memory in their order, to be written later. Lines
// one after another mostly begin alike (the same words, the same
// directory), so each is kept as the length it shares with the line
// before it and the rest.
class HeldLog : public DecodeLog {
 public:
  void Info(std::string_view message) override { Hold(Kind::kInfo, message); }
  void Error(std::string_view message) override { Hold(Kind::kError, message); }
  void Failure(std::string_view message) override {
    Hold(Kind::kFailure, message);
  }

  // Writes every held line to `log`, in the order they came.
  void WriteTo(DecodeLog* log) const {
    std::string line;
    size_t start = 0;
    for (const Entry& entry : entries_) {
      line.resize(entry.shared);
      line.append(rests_, start, entry.end - start);
      start = entry.end;
      switch (entry.kind) {
        case Kind::kInfo:
          log->Info(line);
          break;
        case Kind::kError:
          log->Error(line);
          break;
        case Kind::kFailure:
          log->Failure(line);
          break;
      }
    }
  }

 private:
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
    rests_.append(message.substr(shared));
    entries_.push_back({kind, static_cast<uint32_t>(shared), rests_.size()});
    last_.assign(message);
  }

  std::string last_;   // the line held last
  std::string rests_;  // what each line does not share, one after another
  std::vector<Entry> entries_;
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
    saving = std::thread([&saver, &queue] {
      FileSet set;
      while (queue.Take(&set)) saver.SaveFileSet(set);
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
  saving.join();
  // Only read through; nothing of it is left to write.
  CloseMessageArea(&saver.area_);
  held.WriteTo(log_);
  retry_save_ = retry_save_ || saver.retry_save_;
  ready_dirs_.merge(saver.ready_dirs_);
  output_buffer_.swap(saver.output_buffer_);
  SaveCollected();
  return true;
}

}  // namespace kavel
