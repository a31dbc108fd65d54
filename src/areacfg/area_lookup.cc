#include "areacfg/area_lookup.h"

#include <memory>
#include <optional>
#include <string>

#include "areacfg/area_files.h"
#include "areacfg/area_list.h"
#include "areacfg/area_options.h"
#include "driver/run_context.h"
#include "platform/platform.h"
#include "util/text.h"

namespace kavel {
namespace {

void ClearAreaFields(PostingJob* job) {
  job->baseType.clear();
  job->basePath.clear();
  job->areaDescription.clear();
  job->ownAddress = job->fromAddress;
  job->areaKind = AreaKind::kNone;
  job->passthrough = false;
}

bool IsPassthroughPath(std::string_view path) {
  return UpperText(path) == "PASSTHROUGH";
}

// Fills the job from a fidoconfig area line; `afterTag` is the text after
// the area tag (path and options).
void TakeFidoconfigArea(RunContext& ctx, std::string_view keyword,
                        std::string_view afterTag,
                        const std::optional<AreaOptions>& defaults,
                        PostingJob* job) {
  std::string path = WordAsWritten(afterTag);
  AreaOptions own;
  ParseAreaOptions(ctx, AfterFirstWord(afterTag), &own);
  const AreaOptions* fallback = defaults ? &*defaults : nullptr;

  std::string type = "S";
  bool passthrough = IsPassthroughPath(path);
  if (own.typeGiven) {
    type = own.typeLetter;
    passthrough = passthrough || own.passthrough;
  } else if (fallback != nullptr && fallback->typeGiven) {
    type = fallback->typeLetter;
    passthrough = passthrough || fallback->passthrough;
  }
  const std::string& description =
      !own.description.empty() || fallback == nullptr ? own.description
                                                      : fallback->description;
  const std::string& aka = !own.akaText.empty() || fallback == nullptr
                               ? own.akaText
                               : fallback->akaText;

  job->areaKind = AreaKindOfKeyword(keyword);
  job->areaDescription = description;
  if (!aka.empty()) ParseAddress(aka, &job->ownAddress);
  if (passthrough) {
    job->passthrough = true;
  } else {
    job->basePath = path;
    job->baseType = type;
  }
}

bool ScanFidoconfig(RunContext& ctx, TextReader* reader, PostingJob* job) {
  const std::string tag = UpperText(job->areaName);
  std::optional<AreaOptions> defaults;
  std::string raw;
  while (reader->ReadLine(&raw)) {
    std::string line = NormalizeAreaLine(raw);
    if (IsAreaCommentOrEmpty(line)) continue;
    std::string keyword = FirstWord(line);
    std::string_view rest = AfterFirstWord(line);
    if (keyword == "ECHOAREADEFAULTS") {
      // A later defaults line replaces an earlier one; one without options
      // clears the defaults.
      defaults.emplace();
      ParseAreaOptions(ctx, rest, &*defaults);
      continue;
    }
    if (rest.empty() || FirstWord(rest) != tag) continue;
    TakeFidoconfigArea(ctx, keyword, AfterFirstWord(rest), defaults, job);
    return !job->basePath.empty() || job->passthrough;
  }
  return false;
}

bool ScanSquish(TextReader* reader, PostingJob* job) {
  const std::string tag = UpperText(job->areaName);
  std::string raw;
  while (reader->ReadLine(&raw)) {
    std::string line = NormalizeAreaLine(raw);
    if (IsAreaCommentOrEmpty(line)) continue;
    std::string_view rest = AfterFirstWord(line);
    if (rest.empty() || FirstWord(rest) != tag) continue;
    // A later definition replaces an earlier one entirely.
    ClearAreaFields(job);
    job->areaKind = AreaKindOfKeyword(FirstWord(line));
    std::string_view words = AfterFirstWord(rest);
    job->basePath = WordAsWritten(words);
    job->baseType.assign(1, 'M');
    for (words = AfterFirstWord(words); !words.empty();
         words = AfterFirstWord(words)) {
      std::string word = WordAsWritten(words);
      if (word == "-$") {
        job->baseType.assign(1, 'S');
      } else if (word.size() >= 2 && word[0] == '-' &&
                 (word[1] == 'P' || word[1] == 'p')) {
        ParseAddress(word.substr(2), &job->ownAddress);
      }
    }
  }
  return !job->basePath.empty();
}

}  // namespace

AreaKind AreaKindOfKeyword(std::string_view keyword) {
  std::string upper = UpperText(keyword);
  if (upper == "NETMAILAREA" || upper == "NETAREA") return AreaKind::kNetmail;
  if (upper == "LOCALAREA" || upper == "BADAREA" || upper == "DUPEAREA") {
    return AreaKind::kLocal;
  }
  return AreaKind::kEchomail;
}

bool LookUpArea(RunContext& ctx) {
  PostingJob* job = ctx.postingJob.get();
  ClearAreaFields(job);
  char kind = ChooseAreaFileKind(ctx.areaFiles);
  if (kind == 0) {
    // No line here: the caller's own failure line follows.
    NoteFailure(ctx.log, RunFailure::kNoAreasFile);
    return false;
  }
  int error = 0;
  std::unique_ptr<TextReader> reader =
      OpenTextReader(AreaFilePath(ctx.areaFiles, kind), &error);
  if (!reader) {
    ReportAreaFileUnopened(ctx, kind);
    return false;
  }
  bool found = false;
  if (kind == kFidoconfigAreas) {
    found = ScanFidoconfig(ctx, reader.get(), job);
  } else if (kind == kSquishAreas) {
    found = ScanSquish(reader.get(), job);
  }
  if (!found) {
    ClearAreaFields(job);
    LogFailure(ctx, "Area " + job->areaName + " not found... ");
  }
  return found;
}

}  // namespace kavel
