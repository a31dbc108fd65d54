// A "Kavel.cfg" through the common pass and the decoding pass.
//
// Input: the file.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "context/run_context.h"
#include "driver/config_file.h"
#include "fuzz_support.h"
#include "posting/posting_settings.h"

using namespace kavel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::InitOnce();
  static fuzz::ScratchDir dir;
  static bool entered = chdir(dir.path().c_str()) == 0;
  KAVEL_FUZZ_CHECK(entered);
  dir.Reset();
  fuzz::ScratchDir::EndOfInput end_of_input;
  dir.Write("Kavel.cfg",
            std::string_view(reinterpret_cast<const char*>(data), size));
  RunContext ctx;
  CreatePostingJob(ctx);
  if (!LocateConfigFile(ctx)) return 0;
  LoadCommonSettings(ctx);
  LoadDecodingSettings(ctx);
  return 0;
}
