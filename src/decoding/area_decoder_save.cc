#include <functional>
#include <limits>
#include <string>

#include "decoding/area_decoder.h"
#include "decoding/file_name_safety.h"
#include "decoding/framing.h"
#include "decoding/output_file.h"
#include "decoding/recode.h"
#include "decoding/section_lines.h"
#include "decoding/uue_decoder.h"
#include "msgbase/message_area.h"
#include "msgbase/message_text.h"
#include "platform/charset.h"
#include "platform/platform.h"
#include "util/text.h"

namespace kavel {
namespace {

constexpr size_t kAnyLineLength = std::numeric_limits<size_t>::max();

// Names tried for one file before the save is given up.
constexpr int kClaimAttempts = 1000;

// The sections the scan kept of `set` when it kept them all (and the
// files.bbs facts when they are wanted); null otherwise.
const HeldSections* WholeHeld(const FileSet& set, bool want_info) {
  const HeldSections* held = set.held.get();
  if (held == nullptr || set.keptNone ||
      held->texts.size() != set.parts.size() || (want_info && !held->hasInfo)) {
    return nullptr;
  }
  for (const SectionPosition& section : set.parts) {
    if (held->TextOf(section.part) == nullptr) return nullptr;
  }
  return held;
}

bool SameBeginLine(const BeginLine& a, const BeginLine& b) {
  return a.part == b.part && a.totalParts == b.totalParts &&
         a.fileName == b.fileName;
}

}  // namespace

AreaDecoder::Placed AreaDecoder::MoveIntoPlace(
    OutputFile* out, const std::string& temp, bool replace,
    ExistingFileChoice choice, const std::function<std::string()>& next_name,
    std::string* target, bool* existed, bool* new_name) {
  // A name that was free when it was chosen is claimed only now, by a
  // rename that refuses to replace: another run may have taken it
  // meanwhile. Then the choice for an existing file is made again.
  for (int n = 0; n < kClaimAttempts; ++n) {
    int error = kErrorNone;
    if (ClaimName(out, temp, replace, *target, &error)) return Placed::kPlaced;
    if (replace || error != kErrorExists) break;
    *existed = true;
    switch (choice) {
      case ExistingFileChoice::kKeep:
        if (!temp.empty()) DeleteFile(temp);
        log_->Info(" [ :) ] -> '" + *target +
                   "' was saved meanwhile by another run: kept");
        return Placed::kKept;
      case ExistingFileChoice::kNewName: {
        const std::string taken = *target;
        *target = next_name();
        *new_name = true;
        log_->Info(" [ :) ] -> '" + taken +
                   "' was taken meanwhile: saving as '" + *target + "'");
        break;
      }
      case ExistingFileChoice::kOverwrite:
        replace = true;
        break;
    }
  }
  if (!temp.empty()) DeleteFile(temp);
  retry_save_ = true;
  return Placed::kFailed;
}

bool AreaDecoder::SaveFileSet(const FileSet& set) {
  UueSet uue;
  if ((options_.decodeUue || set.foreignUue) && !CheckUueSet(set, &uue)) {
    return false;
  }
  const std::string dir = EnsureDirectory(*set.targetDir);
  // Text and name come in the charset of the lowest part's message; a
  // uuencoded file's bytes and name are never recoded.
  std::unique_ptr<CharsetConverter> recoder;
  std::string name = set.fileName;
  const std::vector<const SectionPosition*> parts = set.PartsInOrder();
  if (!uue.isUue && !options_.localCharset.empty() && !parts.empty() &&
      LoadByNumber(parts.front()->messageNumber) == Reopen::kOk) {
    recoder = RecoderForMessage(set.fileName);
    area_->ReleaseMessage();
    std::string recoded;
    // A name that cannot be recoded whole, or that recoding would make
    // unsafe (UTF-7 spells "/" in letters), keeps its bytes.
    if (recoder && recoder->Convert(name, &recoded) == 0 &&
        IsSafeFileName(recoded)) {
      name = recoded;
    }
  }
  // The begin line's name was upper-cased when read; the file gets it in
  // lower case, as the Linux tools name files.
  const std::string& source_name = uue.isUue ? uue.name : name;
  const std::string file_name = LowerText(source_name);
  std::string target = dir + file_name;
  if (IsProtected(source_name)) {
    log_->Error("Refused to write '" + target + "' from area " + area_name_ +
                ": it is one of the program's own files");
    return false;
  }
  std::string stem, ext;
  SplitFileName(file_name, &stem, &ext);
  auto next_free_name = [&] {
    return names_->Next(dir, stem, ext,
                        [](const std::string& p) { return PathExists(p); });
  };
  // A set saved incomplete before is completed over the same file.
  if (!force_target_.empty()) target = force_target_;
  bool existed = !force_target_.empty() || PathExists(target);
  bool new_name = false;
  if (existed && force_target_.empty()) {
    switch (options_.existingFile) {
      case ExistingFileChoice::kKeep:
        return false;
      case ExistingFileChoice::kNewName:
        target = next_free_name();
        new_name = true;
        break;
      case ExistingFileChoice::kOverwrite:
        break;
    }
  }
  // The saving line waits for the first line of the file, so that a set
  // without lines is not reported saved; every error line follows it.
  bool announced = false;
  auto announce = [&] {
    if (!announced) log_->Info(" [ :) ] -> Saving file '" + target + "'");
    announced = true;
  };

  // Written without a name where the platform can: a run that dies
  // leaves nothing, and no temporary name is made and renamed.
  OutputFile out(&output_buffer_);
  if (!CreateForPlacing(&out, dir, target)) {
    retry_save_ = true;
    announce();
    log_->Error("I can't rewrite " + target +
                " file!.. Check the path to messages txt-base!..");
    return false;
  }

  const bool unnamed = out.path().empty();
  MessageInfo info;
  bool have_info = false;
  std::string line;
  std::string recoded_line;
  UueDecoder decoder;
  std::string bytes;
  auto take = [&](std::string_view text_line) {
    announce();
    if (!uue.isUue) {
      WriteRecoded(out, text_line, recoder.get(), &recoded_line);
    } else if (decoder.Line(text_line, &bytes)) {
      out.WriteBytes(bytes);
      bytes.clear();
    }
  };
  // Plain text goes to the file several lines at a time.
  const std::function<void(std::string_view)> take_lines =
      [&](std::string_view lines) {
        announce();
        out.WriteTextLines(lines);
      };
  const HeldSections* held =
      uue.isUue || recoder || set.foreignUue
          ? nullptr
          : WholeHeld(set, !options_.filesBbsName.empty());
  if (held != nullptr) {
    for (const SectionPosition* section : parts) {
      const std::string& text = *held->TextOf(section->part);
      if (!text.empty()) {
        announce();
        out.WriteBytes(text);
      }
    }
    if (held->hasInfo) {
      info = held->info;
      have_info = true;
    }
  } else {
    for (const SectionPosition* section : parts) {
      const std::string where = IntToText(section->messageNumber);
      switch (LoadByNumber(section->messageNumber)) {
        case Reopen::kGone:
          announce();
          log_->Error("Error while opening message " + where +
                      ", there is no one message has this number.. :-/");
          return false;
        case Reopen::kUnloadable:
          announce();
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
      if (!set.foreignUue && (ParseBeginLine(line, options_.beginString,
                                             &found) != BeginLineKind::kValid ||
                              !SameBeginLine(found, expected) ||
                              area_->TextPos() != section->textPos)) {
        area_->ReleaseMessage();
        announce();
        log_->Error("Error while searching message " + where + " for part " +
                    IntToText(section->part) + " of " + set.fileName +
                    ", message was obducted.. ;-///");
        return false;
      }
      if (!have_info && !options_.filesBbsName.empty()) {
        // For the files.bbs line. Reading the header moves the text position.
        FillMessageInfo(&info);
        have_info = true;
      }
      area_->SetTextPos(section->textPos);
      if (area_->text) {
        if (set.foreignUue) {
          // Another poster's part: its UUE lines end at its first empty line.
          TextLineWalk lines(area_->text.get(), kAnyLineLength);
          std::string_view text_line;
          while (lines.Next(&text_line) && !text_line.empty() &&
                 !decoder.ended()) {
            take(text_line);
          }
        } else {
          WalkSectionLines(area_->text.get(), section->textPos,
                           options_.endString, end_filter_, take,
                           uue.isUue || recoder ? nullptr : &take_lines);
        }
      }
      area_->ReleaseMessage();
    }
  }

  if (uue.isUue && !decoder.Finish()) {
    log_->Error("Binary file '" + uue.name + "' in area " + area_name_ +
                " not saved: " + decoder.ProblemText());
    return false;
  }
  const std::string temp = out.path();
  if (!announced) {
    // A posted file is never empty: sections without a line were damaged
    // or cut on the way.
    out.Discard();
    log_->Error(set.fileName + " in area " + area_name_ +
                ": its sections hold no line, not saved");
    return false;
  }
  const uint64_t written = out.size();
  if (!(unnamed ? out.Finish() : out.Close())) {
    retry_save_ = true;
    log_->Error("Error while saving file \"" + target + "\"");
    return false;
  }
  switch (MoveIntoPlace(&out, temp, existed && !new_name, options_.existingFile,
                        next_free_name, &target, &existed, &new_name)) {
    case Placed::kPlaced:
      break;
    case Placed::kKept:
      return false;
    case Placed::kFailed:
      log_->Error("I can't rewrite " + target +
                  " file!.. Check the path to messages txt-base!..");
      return false;
  }
  out.Close();
  if (have_info && (!existed || new_name)) {
    info.fileName = target.substr(dir.size());
    info.size = static_cast<uint32_t>(written);
    WriteInfoLine(info, dir);
  }
  saved_target_ = target;
  return true;
}

}  // namespace kavel
