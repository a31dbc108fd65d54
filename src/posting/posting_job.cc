#include "posting/posting_job.h"

#include <memory>

#include "driver/run_context.h"
#include "posting/posting_settings.h"

namespace kavel {
namespace {

constexpr uint32_t kAttributeLoc = 256;
constexpr std::string_view kNoAddress = "0:0/0.0";

void SetAddressDefault(RunContext& ctx, FtnAddress* address) {
  *address = FtnAddress();
  if (!ParseAddress(kNoAddress, address)) {
    LogInfo(ctx, "Error converting " + std::string(kNoAddress));
  }
}

}  // namespace

void CreatePostingJob(RunContext& ctx) {
  ctx.postingJob = std::make_unique<PostingJob>();
  SetPostingDefaults(ctx);
}

void SetPostingDefaults(RunContext& ctx) {
  PostingJob& job = *ctx.postingJob;
  job.runToday = true;
  EvaluateWhen("DAILY", &job.runToday);
  job.fromName = "Sysop";
  job.toName = "All";
  job.subject.clear();
  job.attributes = kAttributeLoc;
  job.tearline.clear();
  job.origin = "Autoposted message";
  job.areaDescription.clear();
  job.fileName.clear();
  job.areaName.clear();
  ctx.encoding = EncodingSettings();
  SetAddressDefault(ctx, &job.ownAddress);
  SetAddressDefault(ctx, &job.toAddress);
  job.fromAddress = job.ownAddress;
}

}  // namespace kavel
