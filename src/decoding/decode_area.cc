#include "decoding/decode_area.h"

#include <string>

#include "areacfg/area_files.h"
#include "areacfg/area_list.h"
#include "areacfg/area_lookup.h"
#include "context/run_context.h"
#include "decoding/area_decoder.h"
#include "decoding/area_selection.h"
#include "decoding/decode_options.h"
#include "decoding/decoding_run.h"
#include "decoding/decoding_settings.h"
#include "decoding/file_name_safety.h"
#include "decoding/unique_name.h"
#include "platform/file_queries.h"
#include "platform/platform.h"
#include "util/text.h"

namespace kavel {
namespace {

class RunLog : public DecodeLog {
 public:
  explicit RunLog(RunContext& ctx) : ctx_(ctx) {}
  void Info(std::string_view message) override { LogInfo(ctx_, message); }
  void Error(std::string_view message) override { LogError(ctx_, message); }
  void Failure(std::string_view message) override { LogFailure(ctx_, message); }
  void BeginBatch() override { BeginLogBatch(ctx_.log); }
  void EndBatch() override { EndLogBatch(ctx_.log); }

 private:
  RunContext& ctx_;
};

// The last component of a path, whichever separator it uses.
std::string LastComponent(std::string_view path) {
  const size_t cut = path.find_last_of("\\/");
  return std::string(cut == std::string_view::npos ? path
                                                   : path.substr(cut + 1));
}

ExistingFileChoice ChoiceOf(int setting) {
  switch (setting) {
    case kExistNewName:
      return ExistingFileChoice::kNewName;
    case kExistKeep:
      return ExistingFileChoice::kKeep;
    default:
      return ExistingFileChoice::kOverwrite;
  }
}

DecodeOptions OptionsFrom(RunContext& ctx) {
  const DecodingSettings& s = ctx.decoding;
  DecodeOptions o;
  o.beginString = ctx.encoding.beginString;
  o.endString = ctx.encoding.endString;
  o.saveIfNotEnoughSections = s.saveIfNotEnoughSections;
  o.existingFile = ChoiceOf(s.whatDoWithExistFile);
  o.decodeUue = s.decodeUue;
  for (const ForwardMarker& marker : s.forwardMarkers) {
    o.markers.push_back({marker.key, marker.endText});
  }
  o.checkForEmptyLine = s.checkForEmptyLine;
  o.forwardFrom = s.forwardFrom;
  o.forwardTo = s.forwardTo;
  o.forwardSubj = s.forwardSubj;
  o.forwardDate = s.forwardDate;
  o.forwardMask = s.forwardMask;
  o.forwardExt = s.forwardExt;
  o.filesBbsName = s.filesBbsName;
  o.rewriteFilesBbs = s.rewriteFilesBbs;
  o.filesBbsSavingString = s.filesBbsSavingString;
  o.protectedNames = {"Kavel.cfg", "Kavel.log", kStateFileName, kStateLockName,
                      kStateTempName};
  const std::string* own_files[] = {
      &s.filesBbsName, &ctx.msgIdSequence, &ctx.areaFiles.hptPath,
      &ctx.areaFiles.squishPath, &ctx.areaFiles.terminatePath};
  for (const std::string* own : own_files) {
    const std::string name = LastComponent(*own);
    if (!name.empty()) o.protectedNames.push_back(name);
  }
  o.showProgress = ConsoleIsTerminal();
  o.saveWhileScanning = s.saveWhileScanning;
  o.localCharset = ctx.postingJob->localCharset;
  return o;
}

// Creates the last level of a base directory named by a setting, spelled as
// the setting spells it.
void PrepareBase(RunContext& ctx, const std::string& path,
                 std::string_view error_text) {
  if (path.empty() || DirectoryExists(path)) return;
  std::string bare = path;
  while (bare.size() > 1 && (bare.back() == '\\' || bare.back() == '/')) {
    bare.pop_back();
  }
  // Another run may create it at the same moment.
  if (!CreateDirectory(bare) && !DirectoryExists(path)) {
    LogError(ctx, std::string(error_text) + bare);
  }
}

// DecodeArea. A passthrough area has no base to scan: it is announced, or
// passed by without a line while `walking` over all areas.
void DecodeNamedArea(RunContext& ctx, std::string_view text, UniqueNames* names,
                     bool walking) {
  UniqueNames own_names;
  if (names == nullptr) names = &own_names;
  PostingJob& job = *ctx.postingJob;
  job.areaName = FirstWord(text);
  LookUpArea(ctx);
  if (job.passthrough) {
    if (!walking) {
      LogInfo(ctx, "Area " + job.areaName +
                       " is passthrough, it has no message base");
    }
    return;
  }

  const DecodingSettings& s = ctx.decoding;
  PrepareBase(ctx, s.baseTextPath, "Error create txt-base directory ");
  PrepareBase(ctx, s.baseFwdPath, "Error create fwd-base directory ");
  const bool text_subdir = s.useTextSubdir && !s.baseTextPath.empty();
  const bool fwd_subdir = s.useFwdSubdir && !s.baseFwdPath.empty();
  if ((text_subdir || fwd_subdir) && !IsSafeAreaTag(job.areaName)) {
    LogError(ctx, "Area tag " + job.areaName +
                      " can't be used as a directory name, area skipped");
    return;
  }
  std::string text_dir = s.baseTextPath;
  // The tag was upper-cased on the way; on disk it is spelled as the Linux
  // tools spell it. An existing directory in another case is still used.
  if (text_subdir) text_dir += LowerText(job.areaName);
  std::string fwd_dir = s.baseFwdPath;
  if (fwd_subdir) fwd_dir += LowerText(job.areaName);

  const DecodeOptions options = OptionsFrom(ctx);
  RunLog log(ctx);
  AreaDecoder decoder(options, &log, names);
  decoder.UseHistory(ctx.decodeHistory);
  decoder.ScanArea(job.areaName, job.baseType, job.basePath, text_dir, fwd_dir);
}

}  // namespace

void DecodeArea(RunContext& ctx, std::string_view text, UniqueNames* names) {
  DecodeNamedArea(ctx, text, names, false);
}

void DecodeAllAreas(RunContext& ctx) {
  InstallStopHandlers();
  const char kind = ChooseAreaFileKind(ctx.areaFiles);
  if (kind != 0) ctx.areaConfigKind = kind;
  if (OpenAreaList(ctx, ctx.areaConfigKind)) {
    UniqueNames names;
    while (const AreaDefinition* area = NextArea(ctx)) {
      if (!AreaSelected(ctx.decoding, area->tag,
                        AreaKeywordName(area->keyword))) {
        continue;
      }
      const std::string name = UpperText(area->tag);
      DecodeNamedArea(ctx, name, &names, true);
      if (ConsoleKeyPressed() || StopRequested()) break;
    }
  }
  CloseAreaList(ctx);
}

}  // namespace kavel
