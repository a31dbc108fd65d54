// Uuencoded files: finding the parts of other posters' ones during the
// scan, and checking a set's block before it is saved.
#include <limits>
#include <string>

#include "decoding/area_decoder.h"
#include "decoding/file_name_safety.h"
#include "decoding/framing.h"
#include "decoding/uue_decoder.h"
#include "msgbase/date_time.h"
#include "msgbase/message_area.h"
#include "msgbase/message_text.h"
#include "util/text.h"

namespace kavel {
namespace {

constexpr size_t kAnyLineLength = std::numeric_limits<size_t>::max();
constexpr int32_t kMaxParts = 4096;
constexpr char kKludgeMark = '\x01';

// A whole data line of 45 bytes.
bool IsFullDataLine(std::string_view line) {
  return line.size() >= 61 && line[0] == 'M' && IsUueDataLine(line);
}

}  // namespace

void AreaDecoder::NoteForeignUue(int32_t message_number) {
  if (!area_->text) return;
  area_->SetTextPos(0);
  TextLineWalk lines(area_->text.get(), kMaxTextLine);
  std::string_view line;
  int32_t line_pos = 0;
  int32_t next_pos = 0;
  PartNumbering numbering;
  bool section_line = false;
  std::string begin_name;
  int32_t begin_pos = -1;
  int32_t first_data = -1;
  bool strong = false;  // a whole 45-byte line, or data followed by "end"
  while (lines.Next(&line, &line_pos, &next_pos)) {
    if (line.empty()) continue;
    // A message of a framed posting is never also another poster's part.
    if (IsFramingLine(line, options_.beginString)) return;
    if (line[0] == kKludgeMark) continue;
    if (begin_pos < 0 && first_data < 0 &&
        ParseUueBeginLine(line, &begin_name)) {
      begin_pos = line_pos;
    } else if (!section_line && begin_pos < 0 && first_data < 0 &&
               ParseSectionLine(line, kMaxParts, &numbering)) {
      section_line = true;
    } else if (IsUueDataLine(line)) {
      if (first_data < 0) first_data = line_pos;
      if (IsFullDataLine(line)) strong = true;
    } else if (line == "end" && first_data >= 0) {
      strong = true;
    }
  }

  std::string key;
  std::string rest;
  PartNumbering by_subject;
  const bool numbered_subject =
      ParseSubjectNumbering(area_->Subject(), kMaxParts, &by_subject, &rest);
  if (section_line) {
    key = numbering.fileName.empty() ? rest : numbering.fileName;
    if (key.empty() && !numbered_subject) key = area_->Subject();
  } else if (numbered_subject) {
    numbering = by_subject;
    key = rest;
  } else {
    numbering.part = numbering.total = 1;
    key = begin_name;
  }

  SectionPosition section;
  section.part = numbering.part;
  section.messageNumber = message_number;
  if (numbering.part == 1) {
    if (begin_pos < 0) return;
    section.textPos = begin_pos;
  } else {
    if (first_data < 0 || !(section_line || strong)) return;
    section.textPos = first_data;
  }
  section.beginPos = section.textPos;
  DateTimeRecord written;
  area_->DateWritten(&written);
  foreign_sets_.AddSection(UpperText(key), numbering.total, section,
                           DateTimeToSeconds(written), text_dir_);
}

bool AreaDecoder::CheckUueSet(const FileSet& set, UueSet* out) {
  out->isUue = false;
  const FramingFilter end_filter(options_.endString);
  UueDecoder decoder;
  std::string bytes;
  for (const SectionPosition* section : set.PartsInOrder()) {
    // A message that cannot be read again is reported by the save.
    if (LoadByNumber(section->messageNumber) != Reopen::kOk) return true;
    area_->SetTextPos(section->textPos);
    if (area_->text) {
      TextLineWalk lines(area_->text.get(), kAnyLineLength);
      std::string_view line;
      while (lines.Next(&line)) {
        if (set.foreignUue) {
          if (line.empty() || decoder.ended()) break;
        } else if (end_filter.MayMatch(line) &&
                   IsFramingLine(line, options_.endString)) {
          break;
        }
        const bool ok = decoder.Line(line, &bytes);
        bytes.clear();
        if (!ok) break;
      }
    }
    area_->ReleaseMessage();
    if (decoder.problem() != UueDecoder::Problem::kNone) break;
  }
  decoder.Finish();
  const UueDecoder::Problem problem = decoder.problem();
  // Text around the block (or no block at all): a text file.
  if (!set.foreignUue && (problem == UueDecoder::Problem::kNoBegin ||
                          problem == UueDecoder::Problem::kTextAfterEnd)) {
    return true;
  }
  const std::string name =
      decoder.begun() ? decoder.name() : LowerText(set.fileName);
  std::string what;
  if (problem != UueDecoder::Problem::kNone) {
    what = decoder.ProblemText();
  } else if (!IsSafeFileName(name) || IsProtected(name)) {
    what = "unsafe file name";
  }
  if (!what.empty()) {
    log_->Error("Binary file '" + name + "' in area " + area_name_ +
                " not saved: " + what);
    return false;
  }
  out->isUue = true;
  out->name = name;
  return true;
}

bool AreaDecoder::LooksUuencoded(const FileSet& set) {
  std::vector<const SectionPosition*> parts = set.PartsInOrder();
  if (parts.empty() || LoadByNumber(parts[0]->messageNumber) != Reopen::kOk) {
    return false;
  }
  bool uue = false;
  area_->SetTextPos(parts[0]->textPos);
  if (area_->text) {
    TextLineWalk lines(area_->text.get(), kMaxTextLine);
    std::string_view line;
    std::string name;
    while (lines.Next(&line)) {
      if (line.empty() || line[0] == kKludgeMark) continue;
      uue = ParseUueBeginLine(line, &name) || IsFullDataLine(line);
      break;
    }
  }
  area_->ReleaseMessage();
  return uue;
}

void AreaDecoder::SaveForeignUueSets() {
  for (size_t s = 0; s < foreign_sets_.size(); ++s) {
    FileSet& set = foreign_sets_.at(s);
    set.foreignUue = true;
    if (set.IsComplete()) {
      SaveFileSet(set);
    } else {
      log_->Info(" [ :( ] -> Not all sections was found..");
    }
  }
  foreign_sets_.Clear();
}

}  // namespace kavel
