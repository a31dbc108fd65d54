#include "decoding/decoding_settings.h"

#include <new>

#include "context/run_context.h"
#include "util/text.h"

namespace kavel {
namespace {

int ExistFileAction(std::string_view value) {
  switch (value.empty() ? '\0' : UpperChar(value.front())) {
    case 'N':
      return kExistNewName;
    case 'U':
      return kExistUpdate;
    case 'K':
      return kExistKeep;
    default:
      return kExistReplace;
  }
}

}  // namespace

void AddForwardMarker(RunContext& ctx, std::string_view value) {
  try {
    ctx.decoding.forwardMarkers.push_back(
        ForwardMarker{FirstWord(value), RestOfLine(value)});
  } catch (const std::bad_alloc&) {
    LogError(ctx, "Not enough memory for load new fwd marker..");
  }
}

void ReadDecodingKeyword(RunContext& ctx, std::string_view line) {
  DecodingSettings& s = ctx.decoding;
  ReadFlagSetting("SAVEIFNOTENOUGHSECTIONS", &s.saveIfNotEnoughSections, line);
  ReadFlagSetting("DECODEUUE", &s.decodeUue, line);
  ReadPathSetting("BASETEXTPATH", &s.baseTextPath, line);
  ReadFlagSetting("USETEXTSUBDIR", &s.useTextSubdir, line);
  std::string keyword = FirstWord(line);
  if (keyword == "WHATDOWITHEXISTFILE") {
    s.whatDoWithExistFile = ExistFileAction(RestOfLine(line));
  }
  ReadPathSetting("BASEFWDPATH", &s.baseFwdPath, line);
  ReadFlagSetting("USEFWDSUBDIR", &s.useFwdSubdir, line);
  if (keyword == "FORWARDMARKER") AddForwardMarker(ctx, RestOfLine(line));
  ReadFlagSetting("CHECKFOREMPTYLINE", &s.checkForEmptyLine, line);
  ReadTextSetting("FORWARDFROM", &s.forwardFrom, line);
  ReadTextSetting("FORWARDTO", &s.forwardTo, line);
  ReadTextSetting("FORWARDSUBJ", &s.forwardSubj, line);
  ReadTextSetting("FORWARDDATE", &s.forwardDate, line);
  ReadTextSetting("FORWARDMASK", &s.forwardMask, line);
  ReadTextSetting("FORWARDEXT", &s.forwardExt, line);
  ReadTextSetting("FORWARDCOMMENT", &s.forwardComment, line);
  ReadTextSetting("FILESBBSNAME", &s.filesBbsName, line);
  ReadFlagSetting("REWRITEFILESBBS", &s.rewriteFilesBbs, line);
  ReadTextSetting("FILESBBSSAVINGSTRING", &s.filesBbsSavingString, line);
  ReadTextSetting("DECODEAREAS", &s.decodeAreas, line);
  ReadTextSetting("SKIPKINDS", &s.skipKinds, line);
  ReadFlagSetting("DECODENEWONLY", &s.decodeNewOnly, line);
  ReadFlagSetting("SAVEWHILESCANNING", &s.saveWhileScanning, line);
  std::string number;
  if (ReadTextSetting("DECODEHISTORYDAYS", &number, line)) {
    const int32_t days = TextToInt(number);
    if (days > 0) s.decodeHistoryDays = days;
  }
}

int32_t StateLockWaitSeconds(const RunContext& ctx) {
  return LockWaitSeconds(ctx);
}

}  // namespace kavel
