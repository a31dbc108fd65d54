// A "Kavel.cfg" through the common pass and the decoding pass.
//
// Input: the file.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "context/run_context.h"
#include "driver/config_file.h"
#include "fuzz_support.h"
#include "platform/platform.h"
#include "posting/posting_settings.h"

using namespace kavel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::InitOnce();
  static fuzz::ScratchDir dir;
  dir.Reset();
  fuzz::ScratchDir::EndOfInput end_of_input;
  {
    // The program reads Kavel.cfg from the current directory, which is
    // the in-memory file system's root.
    int error = 0;
    std::unique_ptr<PlatformFile> file =
        OpenPlatformFile("Kavel.cfg", FileMode::kCreate, &error);
    KAVEL_FUZZ_CHECK(file != nullptr);
    KAVEL_FUZZ_CHECK(size == 0 || file->Write(data, size));
  }
  RunContext ctx;
  CreatePostingJob(ctx);
  if (!LocateConfigFile(ctx)) return 0;
  LoadCommonSettings(ctx);
  LoadDecodingSettings(ctx);
  return 0;
}
