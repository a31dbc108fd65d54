// A tosser areas file (fidoconfig or Squish syntax) through the lookup of
// one area and the walk over all of them, every area found by the walk
// looked up again.
//
// Input: "<kind><areas file>" kFileSeparator "<area tag>"; the kind byte
// picks the syntax (even: fidoconfig, odd: Squish).
#include <cstddef>
#include <cstdint>
#include <string>

#include "areacfg/area_list.h"
#include "areacfg/area_lookup.h"
#include "context/posting_job.h"
#include "context/run_context.h"
#include "fuzz_support.h"
#include "posting/posting_settings.h"

using namespace kavel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  fuzz::InitOnce();
  static fuzz::ScratchDir dir;
  dir.Reset();
  fuzz::ScratchDir::EndOfInput end_of_input;
  std::vector<std::string_view> parts = fuzz::SplitFiles(data + 1, size - 1);
  const bool squish = data[0] & 1;
  dir.Write("areas", parts[0]);

  RunContext ctx;
  CreatePostingJob(ctx);
  if (squish) {
    ctx.areaFiles.squishPath = dir.Join("areas");
  } else {
    ctx.areaFiles.hptPath = dir.Join("areas");
  }
  ctx.postingJob->areaName =
      parts.size() > 1 ? std::string(parts[1].substr(0, 255)) : "RU.KAVEL.TEST";
  LookUpArea(ctx);

  // Every line yields at most one area.
  size_t lines = 1;
  for (char c : parts[0]) lines += (c == '\n' || c == '\r');
  const char kind = squish ? 'S' : 'H';
  size_t found = 0;
  if (OpenAreaList(ctx, kind)) {
    for (std::string name = NextAreaName(ctx); !name.empty();
         name = NextAreaName(ctx)) {
      KAVEL_FUZZ_CHECK(++found <= lines);
      if (found <= 16) {
        ctx.postingJob->areaName = name;
        LookUpArea(ctx);
      }
    }
    CloseAreaList(ctx);
  }
  return 0;
}
