#include <limits>
#include <string>

#include "decoding/area_decoder.h"
#include "decoding/file_name_safety.h"
#include "decoding/output_file.h"
#include "decoding/recode.h"
#include "msgbase/message_area.h"
#include "platform/charset.h"
#include "platform/platform.h"
#include "util/text.h"

namespace kavel {
namespace {

constexpr size_t kAnyLineLength = std::numeric_limits<size_t>::max();

bool ContainsIgnoringCase(std::string_view text, std::string_view part) {
  if (part.empty()) return false;
  return FindIgnoringCase(text, part) != std::string_view::npos;
}

// The text after the first occurrence of `label`, without leading blanks;
// false when the line does not hold `label` (exact case).
bool ValueAfter(const std::string& line, const std::string& label,
                std::string* value) {
  if (label.empty()) return false;
  const size_t at = line.find(label);
  if (at == std::string::npos) return false;
  std::string rest = line.substr(at + label.size());
  TrimLeadingBlanks(&rest);
  *value = ShortString(rest);
  return true;
}

}  // namespace

bool AreaDecoder::IsForwardStart(std::string_view line, int32_t message_number,
                                 int32_t line_pos, int32_t next_pos) {
  for (size_t m = 0; m < options_.markers.size(); ++m) {
    if (!ContainsIgnoringCase(line, options_.markers[m].key)) continue;
    ForwardRecord record;
    record.messageNumber = message_number;
    record.linePos = line_pos;
    record.textPos = next_pos;
    record.markerIndex = static_cast<int32_t>(m);
    forwards_.push_back(record);
    return true;
  }
  return false;
}

bool AreaDecoder::IsForwardEnd(std::string_view line) const {
  for (const ForwardMarkerText& marker : options_.markers) {
    if (ContainsIgnoringCase(line, marker.endText)) return true;
  }
  return false;
}

void AreaDecoder::ApplyForwardHeader(const std::string& line,
                                     MessageInfo* info) const {
  ValueAfter(line, options_.forwardFrom, &info->fromName);
  ValueAfter(line, options_.forwardTo, &info->toName);
  ValueAfter(line, options_.forwardSubj, &info->subject);
  ValueAfter(line, options_.forwardDate, &info->dateWritten);
}

bool AreaDecoder::SaveForward(const ForwardRecord& record) {
  if (!IsSafeFileName(
          NumberedFileName(options_.forwardMask, 0, options_.forwardExt))) {
    log_->Error("Forward of message " + IntToText(record.messageNumber) +
                " not saved: FORWARDMASK and FORWARDEXT must make a plain "
                "file name");
    return false;
  }
  const std::string dir = EnsureDirectory(fwd_dir_);
  auto next_free_name = [&] {
    return names_->Next(dir, options_.forwardMask, options_.forwardExt,
                        [](const std::string& p) { return PathExists(p); });
  };
  std::string name = next_free_name();
  log_->Info(" [ :) ] -> Saving forward '" + name + "'");

  const std::string where = IntToText(record.messageNumber);
  switch (LoadByNumber(record.messageNumber)) {
    case Reopen::kGone:
      log_->Error("Error while opening message " + where +
                  ", there is no one message has this number.. :-/");
      return false;
    case Reopen::kUnloadable:
      log_->Error("Error while loading message " + where +
                  ", forward is lost.. :-/");
      return false;
    case Reopen::kOk:
      break;
  }
  // The marker line must still stand where the scan found it.
  std::string line;
  area_->SetTextPos(record.linePos);
  area_->ReadLine(&line);
  const bool marker_found =
      record.markerIndex >= 0 &&
      static_cast<size_t>(record.markerIndex) < options_.markers.size() &&
      ContainsIgnoringCase(line, options_.markers[record.markerIndex].key) &&
      area_->TextPos() == record.textPos;
  if (!marker_found) {
    area_->ReleaseMessage();
    log_->Error("Error while searching message " + where +
                " for its forward, message was obducted.. ;-///");
    return false;
  }

  // Written without a name (or under a temporary one) and put in place
  // once complete, so that a run that dies leaves no partial forward.
  OutputFile out(&output_buffer_);
  if (!CreateForPlacing(&out, dir, name)) {
    retry_save_ = true;
    area_->ReleaseMessage();
    log_->Error("Error while saving file \"" + name + "\"");
    return false;
  }
  const std::string temp = out.path();
  MessageInfo info;
  FillMessageInfo(&info);
  std::unique_ptr<CharsetConverter> recoder = RecoderForMessage(name);
  std::string recoded_line;

  area_->SetTextPos(record.textPos);
  if (options_.checkForEmptyLine) {
    while (!area_->AtTextEnd()) {
      area_->ReadLineRaw(&line, kAnyLineLength);
      ApplyForwardHeader(line, &info);
      if (line.empty()) break;
    }
  }
  while (!area_->AtTextEnd()) {
    area_->ReadLineRaw(&line, kAnyLineLength);
    ApplyForwardHeader(line, &info);
    if (IsForwardEnd(line)) break;
    WriteRecoded(out, line, recoder.get(), &recoded_line);
  }
  area_->ReleaseMessage();
  if (!(temp.empty() ? out.Finish() : out.Close())) {
    retry_save_ = true;
    log_->Error("Error while saving file \"" + name + "\"");
    return false;
  }
  // The name is claimed only now, while it is free; one that another run
  // took meanwhile gives way to the next free one.
  bool existed = false;
  bool new_name = false;
  if (MoveIntoPlace(&out, temp, false, ExistingFileChoice::kNewName,
                    next_free_name, &name, &existed,
                    &new_name) != Placed::kPlaced) {
    log_->Error("Error while saving file \"" + name + "\"");
    return false;
  }
  out.Close();
  info.fileName = name.substr(dir.size());
  uint64_t size = 0;
  FileSize(name, &size);
  info.size = static_cast<uint32_t>(size);
  WriteInfoLine(info, dir);
  return true;
}

}  // namespace kavel
