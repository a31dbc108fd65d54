// The scan and save of one area with a history (DECODENEWONLY).
//
// State entries of an area, keyed "<AREA>|S|<FILE>|<parts>|<part>|<id>" for
// a section and "<AREA>|F|<id>|<n>" for the n-th forward marker of a
// message (id: the message's MSGID kludge, or "@" and its date written):
//   "d"           the set or forward was decided (saved, kept, refused)
//   "r"           the section's set was reported incomplete
//   "p:<target>"  the section's set was saved incomplete into <target>
#include <string>
#include <vector>

#include "decoding/area_decoder.h"
#include "decoding/decoding_run.h"
#include "msgbase/date_time.h"
#include "msgbase/message_area.h"
#include "util/text.h"

namespace kavel {
namespace {

// The date of the last message read is read after the scan, not for every
// message.
constexpr int64_t kDateNotRead = -1;
constexpr char kDecided[] = "d";
constexpr char kReported[] = "r";
constexpr char kPartialPrefix[] = "p:";

int64_t WrittenSeconds(MessageArea* area) {
  DateTimeRecord written;
  area->DateWritten(&written);
  return DateTimeToSeconds(written);
}

bool IsPartial(const DecodeState::Entry* e) {
  return e != nullptr && e->value.rfind(kPartialPrefix, 0) == 0;
}

}  // namespace

bool AreaDecoder::IsSameMessage(int32_t number, int64_t written) {
  area_->GoToNumber(number);
  if (!area_->IsOnMessage() || !area_->HasMessage(area_->CurrentIndex()) ||
      area_->CurrentNumber() != number || !area_->LoadMessage()) {
    return false;
  }
  const bool same = WrittenSeconds(area_.get()) == written;
  area_->ReleaseMessage();
  return same;
}

void AreaDecoder::StartWalk() {
  marks_.clear();
  sections_seen_ = 0;
  position_ = AreaPosition();
  seen_through_ = 0;
  first_scan_ = true;
  if (!history_) {
    area_->GoTo(1);
    return;
  }
  AreaPosition last;
  first_scan_ = !history_->state.FindPosition(UpperText(area_name_), &last);
  // The remembered messages must still be there under their numbers;
  // otherwise the base was packed, renumbered or restored: read it all.
  if (!first_scan_ && last.last > 0 &&
      IsSameMessage(last.last, last.lastWritten)) {
    position_.last = last.last;
    position_.lastWritten = last.lastWritten;
    seen_through_ = last.last;
    if (last.reach <= 0) {
      area_->GoNext();
      return;
    }
    if (IsSameMessage(last.reach, last.reachWritten)) return;
  }
  position_ = AreaPosition();
  seen_through_ = 0;
  area_->GoTo(1);
}

void AreaDecoder::NoteMessage(int32_t number, bool marked) {
  if (number > position_.last || position_.last == 0) {
    position_.last = number;
    position_.lastWritten = kDateNotRead;  // read once, after the scan
  }
  if (!marked) return;
  const int64_t written = WrittenSeconds(area_.get());
  MessageMark& mark = marks_[number];
  mark.written = written;
  // A message older than the history is known by its date alone: its
  // sections and forwards count as handled by that date after the area's
  // first scan.
  const bool old =
      written > 0 && written < history_->now - history_->keepSeconds;
  std::string msgid;
  if (!old && area_->FindKludge("MSGID", &msgid) && !msgid.empty()) {
    mark.id = msgid;
  } else {
    mark.id = '@';
    mark.id += IntToText(written);
  }
}

AreaDecoder::MessageMark AreaDecoder::MarkOf(int32_t number) const {
  const auto it = marks_.find(number);
  if (it != marks_.end()) return it->second;
  MessageMark unknown;
  unknown.id = '#';
  unknown.id += IntToText(number);
  return unknown;
}

void AreaDecoder::SaveNewOnly() {
  DecodeState& state = history_->state;
  const int64_t now = history_->now;
  const int64_t old_before = now - history_->keepSeconds;
  const std::string area = UpperText(area_name_);
  // Written before the history began (an unknown date is never old). Only
  // an area's first scan saves such sets and forwards.
  auto is_old = [&](const MessageMark& m) {
    return m.written > 0 && m.written < old_before;
  };
  if (position_.lastWritten == kDateNotRead) {
    area_->GoToNumber(position_.last);
    if (area_->IsOnMessage() && area_->LoadMessage()) {
      position_.lastWritten = WrittenSeconds(area_.get());
      area_->ReleaseMessage();
    } else {
      position_ = AreaPosition();  // the next scan reads the whole area
    }
  }
  AreaPosition next = position_;
  next.reach = 0;
  next.reachWritten = 0;
  auto reach_back = [&](int32_t number, const MessageMark& m) {
    if (next.reach == 0 || number < next.reach) {
      next.reach = number;
      next.reachWritten = m.written;
    }
  };

  for (size_t s = 0; s < sets_.size(); ++s) {
    const FileSet& set = sets_.at(s);
    const std::vector<const SectionPosition*> sections = set.PartsInOrder();
    bool all_old = true;
    for (const SectionPosition* section : sections) {
      all_old = all_old && is_old(MarkOf(section->messageNumber));
    }
    if (all_old && !first_scan_) continue;
    // Sets older than the history are neither looked up nor recorded.
    std::vector<std::string> keys;
    bool any_decided = false, reported = false, all_partial = !all_old;
    std::string partial_target;
    for (size_t k = 0; !all_old && k < sections.size(); ++k) {
      keys.push_back(area + "|S|" + set.fileName + "|" +
                     IntToText(set.totalParts) + "|" +
                     IntToText(sections[k]->part) + "|" +
                     MarkOf(sections[k]->messageNumber).id);
      const DecodeState::Entry* e = state.Find(keys.back());
      any_decided = any_decided || (e != nullptr && e->value == kDecided);
      reported = reported || e != nullptr;
      all_partial = all_partial && IsPartial(e);
      if (IsPartial(e)) partial_target = e->value.substr(2);
    }
    // Sections of a decided set met again (the scan reached back past
    // them) form no new set.
    if (any_decided) continue;
    auto reach_set = [&] {
      for (const SectionPosition* section : sections) {
        reach_back(section->messageNumber, MarkOf(section->messageNumber));
      }
    };
    const bool complete = set.IsComplete();
    if (!complete) {
      if (!all_old) reach_set();
      if (!reported) log_->Info(" [ :( ] -> Not all sections was found..");
      if (!options_.saveIfNotEnoughSections || all_partial) {
        for (const std::string& key : keys) {
          if (state.Find(key) == nullptr) state.Put(key, kReported, now);
        }
        continue;
      }
    }
    force_target_ = partial_target;
    saved_target_.clear();
    retry_save_ = false;
    const bool saved = SaveFileSet(set);
    force_target_.clear();
    if (retry_save_) {
      reach_set();  // the next run reads the set again
      continue;
    }
    // Sets written before the history need no entry: later scans take
    // them as handled by their date.
    if (all_old) continue;
    std::string value = kDecided;
    if (!complete && saved) {
      value.assign(kPartialPrefix);
      value.append(saved_target_);
    } else if (!complete) {
      value.assign(kReported);
    }
    for (const std::string& key : keys) state.Put(key, value, now);
  }
  sets_.Clear();

  std::unordered_map<int32_t, int32_t> markers_in_message;
  for (const ForwardRecord& record : forwards_) {
    const int32_t n = ++markers_in_message[record.messageNumber];
    const MessageMark m = MarkOf(record.messageNumber);
    const std::string key = area + "|F|" + m.id + "|" + IntToText(n);
    if ((is_old(m) && !first_scan_) || state.Find(key) != nullptr) continue;
    retry_save_ = false;
    SaveForward(record);
    if (retry_save_) {
      reach_back(record.messageNumber, m);
    } else if (!is_old(m)) {
      state.Put(key, kDecided, now);
    }
  }
  forwards_.clear();
  marks_.clear();
  state.SetPosition(area, next);
}

}  // namespace kavel
