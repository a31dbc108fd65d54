#include "decoding/area_decoder.h"

#include <optional>
#include <string>

#include "decoding/framing.h"
#include "msgbase/byte_stream.h"
#include "msgbase/date_time.h"
#include "msgbase/message_area.h"
#include "msgbase/message_text.h"
#include "platform/file_queries.h"
#include "platform/platform.h"
#include "util/text.h"

namespace kavel {
namespace {

constexpr int kBarWidth = 50;
constexpr int kBarColumn = 15;
// CP866 block and dot (a UTF-8 terminal shows them converted); ASCII on
// any other terminal.
char BarFilled() { return ConsoleIsUtf8() ? static_cast<char>(254) : '#'; }
char BarEmpty() { return ConsoleIsUtf8() ? static_cast<char>(249) : '.'; }

std::string WithSeparator(std::string_view dir) {
  std::string out(dir);
  if (!out.empty() && out.back() != '\\' && out.back() != '/') out += '\\';
  return out;
}

}  // namespace

AreaDecoder::AreaDecoder(const DecodeOptions& options, DecodeLog* log,
                         UniqueNames* names)
    : options_(options),
      end_filter_(options.endString),
      log_(log),
      names_(names) {}

AreaDecoder::~AreaDecoder() = default;

void AreaDecoder::ScanArea(std::string_view area_name,
                           std::string_view base_type,
                           std::string_view base_path,
                           std::string_view text_dir,
                           std::string_view fwd_dir) {
  if (!BeginArea(area_name, base_type, base_path, text_dir, fwd_dir)) return;
  if (!CollectAndSaveMeanwhile()) {
    CollectKeepingSections();
    SaveCollected();
  }
  EndArea();
}

bool AreaDecoder::BeginArea(std::string_view area_name,
                            std::string_view base_type,
                            std::string_view base_path,
                            std::string_view text_dir,
                            std::string_view fwd_dir) {
  area_.reset();
  std::string area_id(base_type);
  area_id += base_path;
  if (base_path.empty() || !OpenMessageArea(&area_, area_id)) {
    log_->Failure("Unable to open message base " + std::string(base_path));
    return false;
  }
  area_name_ = std::string(area_name);
  text_dir_ = std::string(text_dir);
  fwd_dir_ = std::string(fwd_dir);
  sets_.Clear();
  foreign_sets_.Clear();
  forwards_.clear();
  area_id_ = std::move(area_id);
  log_->Info(" [+] -> Scaning area " + area_name_);
  return true;
}

void AreaDecoder::CollectSections() {
  if (!area_) return;
  const int32_t highest = area_->HighestNumber();
  shown_progress_ = -1;
  progress_drawn_ = false;
  // Without forward markers only begin lines matter, and most lines are
  // passed over by their first characters.
  const FramingFilter begin_filter(options_.beginString);
  const LineLeads every_line;
  const LineLeads& wanted =
      options_.markers.empty() ? begin_filter.leads() : every_line;
  // The format's own walk: it knows where numbers without a message can be
  // passed over (a JAM base numbered from near 2^31).
  std::optional<TextLineWalk> lines;
  for (StartWalk(); area_->IsOnMessage(); area_->GoNext()) {
    const int32_t i = area_->CurrentIndex();
    ShowScanProgress(i, highest);
    if (!area_->LoadMessage()) continue;
    const int32_t number = area_->CurrentNumber();
    const size_t marks_before = sections_seen_ + forwards_.size();
    area_->SetTextPos(0);
    if (area_->text) {
      if (lines) {
        lines->Restart(area_->text.get());
      } else {
        lines.emplace(area_->text.get(), kMaxTextLine);
      }
      std::string_view line;
      int32_t line_pos = 0;
      int32_t next_pos = 0;
      while (lines->NextAdmitted(wanted, &line, &line_pos, &next_pos)) {
        if (!line.empty()) ExamineLine(line, number, line_pos, next_pos);
      }
    }
    if (options_.decodeUue) NoteForeignUue(number);
    if (history_) {
      NoteMessage(number, marks_before != sections_seen_ + forwards_.size());
    }
    if (after_message_) after_message_();
    area_->ReleaseMessage();
  }
  EndScanProgress();
}

void AreaDecoder::SaveCollected() {
  if (!area_) return;
  if (history_) {
    SaveNewOnly();
    return;
  }
  // The saves' lines reach the log and the console a batch of sets at a
  // time, one write each.
  constexpr size_t kSetsPerBatch = 64;
  size_t in_batch = 0;
  log_->BeginBatch();
  // Sets taken from the list were saved while the scan went on.
  for (size_t s = sets_.taken(); s < sets_.size(); ++s) {
    if (in_batch++ == kSetsPerBatch) {
      log_->EndBatch();
      log_->BeginBatch();
      in_batch = 1;
    }
    const FileSet& set = sets_.at(s);
    if (set.IsComplete()) {
      SaveFileSet(set);
    } else {
      log_->Info(" [ :( ] -> Not all sections was found..");
      // A binary with a section missing would be a damaged file.
      if (options_.saveIfNotEnoughSections &&
          !(options_.decodeUue && LooksUuencoded(set))) {
        SaveFileSet(set);
      }
    }
  }
  log_->EndBatch();
  sets_.Clear();
  SaveForeignUueSets();
  for (const ForwardRecord& record : forwards_) SaveForward(record);
  forwards_.clear();
}

void AreaDecoder::EndArea() {
  if (!area_) return;
  if (!CloseMessageArea(&area_)) log_->Error("Unable to close msgbase");
}

void AreaDecoder::ExamineLine(std::string_view line, int32_t message_number,
                              int32_t line_pos, int32_t next_pos) {
  if (IsForwardStart(line, message_number, line_pos, next_pos)) return;
  BeginLine begin;
  switch (ParseBeginLine(line, options_.beginString, &begin)) {
    case BeginLineKind::kNotBegin:
    case BeginLineKind::kMalformed:
      return;
    case BeginLineKind::kUnsafe:
      if (message_number <= seen_through_) return;
      log_->Error("Unsafe file name '" + begin.fileName + "' in message " +
                  IntToText(message_number) + " of area " + area_name_ +
                  ", section ignored");
      return;
    case BeginLineKind::kValid:
      break;
  }
  DateTimeRecord written;
  area_->DateWritten(&written);
  SectionPosition section;
  section.part = begin.part;
  section.messageNumber = message_number;
  section.beginPos = line_pos;
  section.textPos = next_pos;
  ++sections_seen_;
  const size_t set = sets_.AddSection(begin.fileName, begin.totalParts, section,
                                      DateTimeToSeconds(written), text_dir_);
  if (hold_sections_) {
    found_sections_.push_back({set, section.part, section.textPos});
  }
}

AreaDecoder::Reopen AreaDecoder::LoadByNumber(int32_t number) {
  area_->GoToNumber(number);
  if (!area_->IsOnMessage() || !area_->HasMessage(area_->CurrentIndex()) ||
      area_->CurrentNumber() != number) {
    return Reopen::kGone;
  }
  return area_->LoadMessage() ? Reopen::kOk : Reopen::kUnloadable;
}

bool AreaDecoder::IsProtected(std::string_view file_name) const {
  const std::string name = UpperText(file_name);
  for (const std::string& own : options_.protectedNames) {
    if (!own.empty() && UpperText(own) == name) return true;
  }
  return false;
}

std::string AreaDecoder::EnsureDirectory(std::string_view dir) {
  if (!dir.empty() && ready_dirs_.find(dir) == ready_dirs_.end()) {
    bool ready = DirectoryExists(dir);
    if (!ready) {
      std::string bare(dir);
      while (bare.size() > 1 && (bare.back() == '\\' || bare.back() == '/')) {
        bare.pop_back();
      }
      // Another run may create it at the same moment.
      ready = CreateDirectory(bare) || DirectoryExists(dir);
      if (!ready) log_->Error("Error creating " + std::string(dir));
    }
    if (ready) ready_dirs_.emplace(dir);
  }
  return WithSeparator(dir);
}

void AreaDecoder::ShowScanProgress(int32_t i, int32_t highest) {
  if (!options_.showProgress || highest <= 0) return;
  const int32_t filled =
      static_cast<int32_t>(static_cast<int64_t>(i) * kBarWidth / highest);
  // Redraw when the bar moves, and now and then for the counter.
  if (filled == shown_progress_ && i != highest && (i & 63) != 0) return;
  shown_progress_ = filled;
  std::string text = "\r";
  text += IntToText(i);
  text += "..";
  text += IntToText(highest);
  if (text.size() < kBarColumn) text.append(kBarColumn - text.size(), ' ');
  text.append(filled, BarFilled());
  const int32_t dots = kBarWidth - filled - 1;
  if (dots >= 1) text.append(dots, BarEmpty());
  text += '\r';
  ConsoleWrite(text);
  progress_drawn_ = true;
}

void AreaDecoder::EndScanProgress() {
  if (!options_.showProgress || !progress_drawn_) return;
  ConsoleWrite("\n" + std::string(79, ' ') + "\r");
}

}  // namespace kavel
