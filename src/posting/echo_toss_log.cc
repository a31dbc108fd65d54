#include "posting/echo_toss_log.h"

#include <memory>
#include <string>

#include "context/run_context.h"
#include "platform/platform.h"
#include "util/text.h"

namespace kavel {

void NoteEchoToss(RunContext& ctx) {
  const PostingJob& job = *ctx.postingJob;
  if (job.areaKind != AreaKind::kEchomail || job.echoTossLog.empty() ||
      job.areaTag.empty()) {
    return;
  }
  if (!ctx.echoTossLogged.insert(UpperText(job.areaTag)).second) return;
  int error = 0;
  std::unique_ptr<TextWriter> log =
      OpenTextWriter(job.echoTossLog, true, &error);
  if (!log && !PathExists(job.echoTossLog)) {
    log = OpenTextWriter(job.echoTossLog, false, &error);
  }
  if (!log || !log->WriteRaw(job.areaTag + "\n") || !log->Close()) {
    LogError(ctx, "Unable to write EchoTossLog " + job.echoTossLog);
  }
}

}  // namespace kavel
