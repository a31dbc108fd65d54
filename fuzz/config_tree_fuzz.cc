// A fidoconfig tree (main file and three files it may include as
// "[configdir]inc1" .. "[configdir]inc3") through the preprocessor and the
// area reader, by the walk and a lookup of every area it yields.
//
// Input: "<main>" kFileSeparator "<inc1>" kFileSeparator "<inc2>" ...
#include <cstddef>
#include <cstdint>
#include <string>

#include "areacfg/area_list.h"
#include "areacfg/area_lookup.h"
#include "areacfg/area_tree.h"
#include "context/posting_job.h"
#include "context/run_context.h"
#include "fuzz_support.h"
#include "posting/posting_settings.h"

using namespace kavel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::InitOnce();
  static fuzz::ScratchDir dir;
  dir.Reset();
  fuzz::ScratchDir::EndOfInput end_of_input;
  std::vector<std::string_view> parts = fuzz::SplitFiles(data, size);
  size_t lines = 0;
  for (size_t i = 0; i < parts.size() && i < 4; ++i) {
    dir.Write(i == 0 ? std::string("config") : "inc" + std::to_string(i),
              parts[i]);
    lines += 1;
    for (char c : parts[i]) lines += (c == '\n' || c == '\r');
  }

  RunContext ctx;
  CreatePostingJob(ctx);
  ctx.areaFiles.hptPath = dir.Join("config");
  // Every file is read at most once, and a line defines at most one area.
  size_t found = 0;
  if (OpenAreaList(ctx, 'H')) {
    while (const AreaDefinition* area = NextArea(ctx)) {
      KAVEL_FUZZ_CHECK(++found <= lines);
      KAVEL_FUZZ_CHECK(!area->tag.empty());
      KAVEL_FUZZ_CHECK(area->passthrough ? area->basePath.empty()
                                         : area->baseType.size() <= 1);
      ctx.postingJob->areaName = area->tag;
      KAVEL_FUZZ_CHECK(LookUpArea(ctx));
    }
    CloseAreaList(ctx);
  }
  return 0;
}
