#include "areacfg/area_list.h"

#include "areacfg/area_files.h"
#include "driver/run_context.h"
#include "util/text.h"

namespace kavel {

bool OpenAreaList(RunContext& ctx, char kind) {
  CloseAreaList(ctx);
  const std::string path = AreaFilePath(ctx.areaFiles, kind);
  auto tree = std::make_unique<AreaTree>();
  if (path.empty() || !ReadAreaTree(ctx, kind, path, tree.get())) {
    LogInfo(ctx, "Unable to open areas configuration file");
    if (kind == 0) {
      LogInfo(ctx,
              "No areas file: HPTPATH, SQUISH and TERMINATE are not set in "
              "Kavel.cfg, and FIDOCONFIG names no readable file");
    }
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
