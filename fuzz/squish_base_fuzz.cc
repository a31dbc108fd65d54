// A Squish base of a fuzzed data file and index file (and last-read file):
// opened, read whole as the decoder reads it, then one message stored into
// it and read back, and the first message deleted. Looped or crossed frame
// chains and lengths up to 2^32 must end in a failure, not a hang or an
// allocation of their size.
//
// Input: "<.sqd>" kFileSeparator "<.sqi>" [kFileSeparator "<.sql>"].
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "area_exercise.h"
#include "fuzz_support.h"
#include "msgbase/message_area.h"

using namespace kavel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::InitOnce();
  static fuzz::ScratchDir dir;
  dir.Reset();
  fuzz::ScratchDir::EndOfInput end_of_input;
  std::vector<std::string_view> parts = fuzz::SplitFiles(data, size);
  if (parts.size() < 2) return 0;
  dir.Write("echo.sqd", parts[0]);
  dir.Write("echo.sqi", parts[1]);
  if (parts.size() > 2) dir.Write("echo.sql", parts[2]);
  const std::string id = "S" + dir.Join("echo");
  std::unique_ptr<MessageArea> area;
  if (!OpenMessageArea(&area, id)) return 0;
  fuzz::ReadWholeArea(area.get());
  std::string_view body = parts.size() > 3 ? parts[3] : parts[0].substr(std::min<size_t>(256, parts[0].size()));
  fuzz::StoreAndVerify(area.get(), id, body);
  area->GoTo(1);
  if (area->IsOnMessage()) area->DeleteMessage();
  area->StoreLastRead(2, 77);
  CloseMessageArea(&area);
  // Whatever happened, the base still opens and reads without harm.
  if (OpenMessageArea(&area, id)) {
    fuzz::ReadWholeArea(area.get());
    CloseMessageArea(&area);
  }
  return 0;
}
