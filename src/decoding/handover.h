// What passes between the scanning thread and the saving thread when sets
// are saved while the scan goes on: the sets to save, and the log lines of
// the saves.
#ifndef KAVEL_DECODING_HANDOVER_H_
#define KAVEL_DECODING_HANDOVER_H_

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "decoding/decode_options.h"
#include "decoding/file_set.h"

namespace kavel {

// Log lines of one thread, kept in their order until another writes them.
// Lines one after another mostly begin alike (the same words, the same
// directory), so each is kept as the length it shares with the line
// before it and the rest.
class HeldLog : public DecodeLog {
 public:
  void Info(std::string_view message) override;
  void Error(std::string_view message) override;
  void Failure(std::string_view message) override;

  // No line follows; wakes WriteHeld.
  void Finish();

  // Waits for a batch of lines (or the last ones) and writes them to
  // `log` in their order; false once every line is written and Finish was
  // called. One thread writes.
  bool WriteHeld(DecodeLog* log);

  // Lines the writer takes at a time while more may come.
  static constexpr size_t kBatch = 64;

 private:
  enum class Kind : char { kInfo, kError, kFailure };
  struct Entry {
    Kind kind;
    uint32_t shared;  // bytes taken from the line before
    size_t end;       // where the rest ends in rests_
  };

  void Hold(Kind kind, std::string_view message);

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

// Sets handed from one thread to another, first in first out. The
// sections the sets hold count from Put until the taker calls Done.
class SetQueue {
 public:
  void Put(FileSet set);
  // No set follows.
  void Close();
  // Waits for the next set; false once the queue is closed and empty.
  bool Take(FileSet* set);
  // The taker is through with `set`: what it held no longer counts, and
  // its section buffers are kept (up to kMostSpareBytes) for TakeSpare.
  void Done(FileSet* set);
  // Swaps an empty buffer of an earlier set's section, its room kept, into
  // *text; false when none is spare.
  bool TakeSpare(std::string* text);
  static constexpr size_t kMostSpareBytes = 256 * 1024;
  // When the sets put and not done hold more than `most` bytes, waits
  // until they hold at most half of it (the taker then works through a
  // batch before the putter is woken).
  void WaitForRoom(size_t most);

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::condition_variable room_;
  std::deque<FileSet> sets_;
  size_t held_ = 0;  // bytes of the sets put and not done
  std::vector<std::string> spare_;
  size_t spare_bytes_ = 0;
  // While the putter waits for room: held_ at which it is woken.
  size_t wake_at_ = 0;
  bool waiting_ = false;
  bool closed_ = false;
};

}  // namespace kavel

#endif  // KAVEL_DECODING_HANDOVER_H_
