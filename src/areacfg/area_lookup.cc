#include "areacfg/area_lookup.h"

#include <memory>
#include <string>

#include "areacfg/area_files.h"
#include "areacfg/area_list.h"
#include "areacfg/area_tree.h"
#include "context/run_context.h"
#include "util/text.h"

namespace kavel {
namespace {

bool IsZero(const FtnAddress& a) {
  return a.zone == 0 && a.net == 0 && a.node == 0 && a.point == 0;
}

void ClearAreaFields(PostingJob* job) {
  job->baseType.clear();
  job->basePath.clear();
  job->areaDescription.clear();
  job->ownAddress = job->fromAddress;
  job->areaKind = AreaKind::kNone;
  job->passthrough = false;
  job->areaTag.clear();
  job->echoTossLog.clear();
}

AreaKind KindOf(AreaKeyword keyword) {
  switch (keyword) {
    case AreaKeyword::kNetmail:
      return AreaKind::kNetmail;
    case AreaKeyword::kEcho:
      return AreaKind::kEchomail;
    default:
      return AreaKind::kLocal;
  }
}

void TakeArea(RunContext& ctx, const AreaTree& tree, const AreaDefinition& area,
              PostingJob* job) {
  for (const auto& [error, text] : area.notes) {
    if (error) {
      LogError(ctx, text);
    } else {
      LogInfo(ctx, text);
    }
  }
  // A node whose Kavel.cfg names no FROMADDR posts from the tree's address,
  // never from 0:0/0.
  if (IsZero(job->fromAddress) && !tree.firstAddress.empty()) {
    ParseAddress(tree.firstAddress, &job->ownAddress);
  }
  if (!area.akaText.empty()) ParseAddress(area.akaText, &job->ownAddress);
  job->areaKind = KindOf(area.keyword);
  job->areaDescription = area.description;
  job->passthrough = area.passthrough;
  job->basePath = area.basePath;
  job->baseType = area.baseType;
  job->areaTag = area.tag;
  job->echoTossLog = tree.echoTossLog;
}

}  // namespace

bool LookUpArea(RunContext& ctx) {
  PostingJob* job = ctx.postingJob.get();
  ClearAreaFields(job);
  const char kind = ChooseAreaFileKind(ctx.areaFiles);
  if (kind == 0) {
    // No line here: the caller's own failure line follows.
    NoteFailure(ctx.log, RunFailure::kNoAreasFile);
    return false;
  }
  const std::string path = AreaFilePath(ctx.areaFiles, kind);
  const AreaTree* tree = nullptr;
  AreaTree own;
  if (ctx.areaList.tree && ctx.areaList.kind == kind &&
      ctx.areaList.path == path) {
    tree = ctx.areaList.tree.get();
  } else if (ReadAreaTree(ctx, kind, path, &own)) {
    tree = &own;
  } else {
    ReportAreaFileUnopened(ctx, kind);
    return false;
  }
  const AreaDefinition* area = FindArea(*tree, job->areaName);
  if (area == nullptr) {
    LogFailure(ctx, "Area " + job->areaName + " not found... ");
    return false;
  }
  TakeArea(ctx, *tree, *area, job);
  return true;
}

}  // namespace kavel
