#include "areacfg/area_list.h"

#include "areacfg/area_files.h"
#include "driver/run_context.h"
#include "util/text.h"

namespace kavel {

void ReportAreaFileUnopened(RunContext& ctx, char kind) {
  LogFailure(ctx, "Unable to open areas configuration file",
             RunFailure::kNoAreasFile);
  LogInfo(ctx, TriedAreaFileLine(ctx.areaFiles, kind));
}

bool OpenAreaList(RunContext& ctx, char kind) {
  CloseAreaList(ctx);
  const std::string& path = AreaFilePath(ctx.areaFiles, kind);
  int error = 0;
  if (!path.empty()) ctx.areaList.reader = OpenTextReader(path, &error);
  if (!ctx.areaList.reader) {
    ReportAreaFileUnopened(ctx, kind);
    return false;
  }
  ctx.areaList.kind = kind;
  return true;
}

std::string NextAreaName(RunContext& ctx) {
  AreaList& list = ctx.areaList;
  if (!list.reader) return std::string();
  std::string raw;
  while (list.reader->ReadLine(&raw)) {
    if (list.kind != kFidoconfigAreas && list.kind != kSquishAreas) continue;
    std::string line = NormalizeAreaLine(raw);
    if (IsAreaCommentOrEmpty(line)) continue;
    if (list.kind == kFidoconfigAreas &&
        FirstWord(line) == "ECHOAREADEFAULTS") {
      continue;
    }
    std::string name = FirstWord(AfterFirstWord(line));
    if (!name.empty()) return name;
  }
  return std::string();
}

void CloseAreaList(RunContext& ctx) {
  ctx.areaList.reader.reset();
  ctx.areaList.kind = 0;
}

}  // namespace kavel
