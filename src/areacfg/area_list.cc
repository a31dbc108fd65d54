#include "areacfg/area_list.h"

#include "areacfg/area_files.h"
#include "context/run_context.h"
#include "util/text.h"

namespace kavel {

void ReportAreaFileUnopened(RunContext& ctx, char kind) {
  LogFailure(ctx, "Unable to open areas configuration file",
             RunFailure::kNoAreasFile);
  LogInfo(ctx, TriedAreaFileLine(ctx.areaFiles, kind));
}

bool OpenAreaList(RunContext& ctx, char kind) {
  CloseAreaList(ctx);
  const std::string path = AreaFilePath(ctx.areaFiles, kind);
  auto tree = std::make_unique<AreaTree>();
  if (path.empty() || !ReadAreaTree(ctx, kind, path, tree.get())) {
    ReportAreaFileUnopened(ctx, kind);
    return false;
  }
  ctx.areaList.tree = std::move(tree);
  ctx.areaList.kind = kind;
  ctx.areaList.path = path;
  ctx.areaList.next = 0;
  return true;
}

const AreaDefinition* NextArea(RunContext& ctx) {
  AreaList& list = ctx.areaList;
  if (!list.tree || list.next >= list.tree->areas.size()) return nullptr;
  return &list.tree->areas[list.next++];
}

std::string NextAreaName(RunContext& ctx) {
  const AreaDefinition* area = NextArea(ctx);
  return area == nullptr ? std::string() : UpperText(area->tag);
}

void CloseAreaList(RunContext& ctx) {
  ctx.areaList.tree.reset();
  ctx.areaList.kind = 0;
  ctx.areaList.path.clear();
  ctx.areaList.next = 0;
}

}  // namespace kavel
