#include <limits>
#include <string>

#include "decoding/area_decoder.h"
#include "decoding/framing.h"
#include "decoding/output_file.h"
#include "msgbase/message_area.h"
#include "msgbase/message_text.h"
#include "platform/platform.h"
#include "util/text.h"

namespace kavel {
namespace {

constexpr size_t kAnyLineLength = std::numeric_limits<size_t>::max();
constexpr int kTempAttempts = 1000;

// Creates a temporary file beside `target` (same directory, so the final
// rename stays on one file system) that did not exist before.
bool CreateTempBeside(const std::string& target, OutputFile* out) {
  for (int n = 0; n < kTempAttempts; ++n) {
    std::string candidate = target + ".kv$";
    if (n > 0) candidate += IntToText(n);
    if (out->CreateNew(candidate)) return true;
    if (PathExists(candidate)) continue;
    return false;
  }
  return false;
}

bool SameBeginLine(const BeginLine& a, const BeginLine& b) {
  return a.part == b.part && a.totalParts == b.totalParts &&
         a.fileName == b.fileName;
}

}  // namespace

bool AreaDecoder::SaveFileSet(const FileSet& set) {
  const std::string dir = EnsureDirectory(set.targetDir);
  // The begin line's name was upper-cased when read; the file gets it in
  // lower case, as the Linux tools name files.
  const std::string file_name = LowerText(set.fileName);
  std::string target = dir + file_name;
  if (IsProtected(set.fileName)) {
    log_->Error("Refused to write '" + target + "' from area " + area_name_ +
                ": it is one of the program's own files");
    return false;
  }
  // A set saved incomplete before is completed over the same file.
  if (!force_target_.empty()) target = force_target_;
  const bool existed = !force_target_.empty() || PathExists(target);
  bool new_name = false;
  if (existed && force_target_.empty()) {
    switch (options_.existingFile) {
      case ExistingFileChoice::kKeep:
        return false;
      case ExistingFileChoice::kNewName: {
        std::string stem, ext;
        SplitFileName(file_name, &stem, &ext);
        target = names_->Next(
            dir, stem, ext, [](const std::string& p) { return PathExists(p); });
        new_name = true;
        break;
      }
      case ExistingFileChoice::kOverwrite:
        break;
    }
  }
  log_->Info(" [ :) ] -> Saving file '" + target + "'");

  OutputFile out;
  if (!CreateTempBeside(target, &out)) {
    retry_save_ = true;
    log_->Error("I can't rewrite " + target +
                " file!.. Check the path to messages txt-base!..");
    return false;
  }

  const FramingFilter end_filter(options_.endString);
  MessageInfo info;
  bool have_info = false;
  std::string line;
  for (const SectionPosition* section : set.PartsInOrder()) {
    const std::string where = IntToText(section->messageNumber);
    switch (LoadByNumber(section->messageNumber)) {
      case Reopen::kGone:
        log_->Error("Error while opening message " + where +
                    ", there is no one message has this number.. :-/");
        return false;
      case Reopen::kUnloadable:
        log_->Error("Error while loading message " + where + ", part " +
                    IntToText(section->part) + " of " + set.fileName +
                    " is lost.. :-/");
        return false;
      case Reopen::kOk:
        break;
    }
    // The section must still begin where the scan found it.
    area_->SetTextPos(section->beginPos);
    area_->ReadLine(&line);
    BeginLine expected{section->part, set.totalParts, set.fileName};
    BeginLine found;
    if (ParseBeginLine(line, options_.beginString, &found) !=
            BeginLineKind::kValid ||
        !SameBeginLine(found, expected) ||
        area_->TextPos() != section->textPos) {
      area_->ReleaseMessage();
      log_->Error("Error while searching message " + where + " for part " +
                  IntToText(section->part) + " of " + set.fileName +
                  ", message was obducted.. ;-///");
      return false;
    }
    if (!have_info) {
      // Reading the header moves the text position.
      FillMessageInfo(&info);
      area_->SetTextPos(section->textPos);
      have_info = true;
    }
    if (area_->text) {
      TextLineWalk lines(area_->text.get(), kAnyLineLength);
      std::string_view text_line;
      while (lines.Next(&text_line)) {
        if (end_filter.MayMatch(text_line) &&
            IsFramingLine(text_line, options_.endString)) {
          break;
        }
        out.WriteLine(text_line);
      }
    }
    area_->ReleaseMessage();
  }

  const std::string temp = out.path();
  if (!out.Close()) {
    retry_save_ = true;
    log_->Error("Error while saving file \"" + target + "\"");
    return false;
  }
  if (!RenameFile(temp, target)) {
    retry_save_ = true;
    DeleteFile(temp);
    log_->Error("I can't rewrite " + target +
                " file!.. Check the path to messages txt-base!..");
    return false;
  }
  if (have_info && (!existed || new_name)) {
    info.fileName = target.substr(dir.size());
    uint64_t size = 0;
    FileSize(target, &size);
    info.size = static_cast<uint32_t>(size);
    WriteInfoLine(info, dir);
  }
  saved_target_ = target;
  return true;
}

}  // namespace kavel
