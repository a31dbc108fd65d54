// Saving the sets that complete during the scan while the scan goes on: a
// second AreaDecoder, on its own handle of the base, saves them on a second
// thread, in the order SaveCollected saves them.
//
// While both run, the scanning thread only reads the base through its own
// handle and writes the log; the saving thread alone opens, writes and
// renames files and asks for names, and its log lines wait in memory. The
// name memory, the text base's directory and the file list are the saving
// thread's until it is joined.
//
// Without a second thread, the scan still keeps the sections' lines for
// SaveCollected (CollectKeepingSections).
#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <thread>

#include "decoding/area_decoder.h"
#include "decoding/handover.h"
#include "decoding/output_file.h"
#include "decoding/section_lines.h"
#include "msgbase/message_area.h"

namespace kavel {
namespace {

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

// What the scan keeps of sections: in sets that wait for a section or for
// an earlier set, and in sets handed over and not yet saved.
constexpr size_t kMostHeldWaiting = 256 * 1024;
constexpr size_t kMostHeldHandedOver = 512 * 1024;

}  // namespace

void AreaDecoder::HoldFoundSections(size_t most_bytes, SetQueue* spares) {
  for (const FoundSection& found : found_sections_) {
    FileSet& set = sets_.at(found.set);
    if (set.keptNone) continue;
    if (!set.held) {
      // A set begun in an earlier message has sections that were not kept.
      size_t here = 0;
      for (const FoundSection& other : found_sections_) {
        if (other.set == found.set) ++here;
      }
      if (set.parts.size() != here) {
        set.keptNone = true;
        continue;
      }
      set.held = std::make_unique<HeldSections>();
    }
    HeldSections& held = *set.held;
    if (held_bytes_ >= most_bytes) {
      // Sets past the limit keep nothing, not even an empty record: a
      // large area without a second thread has thousands waiting.
      held_bytes_ -= held.bytes;
      set.held.reset();
      set.keptNone = true;
      continue;
    }
    std::string text;
    if (spares != nullptr) spares->TakeSpare(&text);
    if (area_->text) {
      // Room for the rest of the message with CR LF line ends, so that the
      // lines go in without growing the text step by step; a buffer given
      // back by the saving thread mostly has it.
      const size_t rest = static_cast<size_t>(
          std::max(area_->text->Size() - found.textPos, int32_t{0}));
      if (text.capacity() < rest) text.reserve(rest + rest / 16 + 64);
      const std::function<void(std::string_view)> take_lines =
          [&text](std::string_view lines) {
            AppendTextLinesCrLf(lines, &text);
          };
      WalkSectionLines(
          area_->text.get(), found.textPos, options_.endString, end_filter_,
          [&text](std::string_view line) { AppendLineCrLf(line, &text); },
          &take_lines);
    }
    if (found.part == 1 && !options_.filesBbsName.empty()) {
      FillMessageInfo(&held.info);
      held.hasInfo = true;
    }
    held.bytes += text.capacity();
    held_bytes_ += text.capacity();
    held.texts.emplace_back(found.part, std::move(text));
  }
  found_sections_.clear();
}

void AreaDecoder::CollectKeepingSections() {
  // In a large area the sets wait for the whole scan, and what they may
  // keep is a small part of them: only small areas (a /ALL over many)
  // keep their sections.
  hold_sections_ = history_ == nullptr && !options_.decodeUue &&
                   options_.localCharset.empty() && area_ &&
                   area_->MessageCount() < kMinMessagesToSaveMeanwhile;
  if (hold_sections_) {
    after_message_ = [this] { HoldFoundSections(kMostHeldWaiting, nullptr); };
  }
  CollectSections();
  after_message_ = nullptr;
  hold_sections_ = false;
  found_sections_.clear();
  held_bytes_ = 0;
}

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
      while (queue.Take(&set)) {
        saver.SaveFileSet(set);
        queue.Done(&set);
      }
      held.Finish();
    });
  } catch (const std::system_error&) {
    CloseMessageArea(&saver.area_);
    return false;
  }
  // A complete set goes over when every set begun before it has gone: the
  // first incomplete one holds the later ones back until the scan ends.
  // The saved files take the sections' lines as they stand: the scan
  // keeps them, so that the saving thread need not read them again.
  hold_sections_ = !options_.decodeUue && options_.localCharset.empty();
  after_message_ = [this, &queue] {
    if (hold_sections_) HoldFoundSections(kMostHeldWaiting, &queue);
    while (sets_.taken() < sets_.size() &&
           sets_.at(sets_.taken()).IsComplete()) {
      FileSet set = sets_.TakeFront();
      if (set.held) held_bytes_ -= set.held->bytes;
      queue.Put(std::move(set));
    }
    // The scan waits rather than keep more than the saving thread can take.
    queue.WaitForRoom(kMostHeldHandedOver);
  };
  CollectSections();
  after_message_ = nullptr;
  hold_sections_ = false;
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
