// A JAM base of a fuzzed header file, text file, index file and last-read
// file: opened, read whole as the decoder reads it, then one message stored
// into it and read back, and the first message deleted. Index records
// that point back into the index or past the files, subfield lengths up to
// 2^32 and looped reply chains must end in a failure, not a hang or an
// allocation of their size.
//
// Input: "<.jhr>" kFileSeparator "<.jdt>" kFileSeparator "<.jdx>"
// [kFileSeparator "<.jlr>" [kFileSeparator "<text of the new message>"]].
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
  if (parts.size() < 3) return 0;
  dir.Write("echo.jhr", parts[0]);
  dir.Write("echo.jdt", parts[1]);
  dir.Write("echo.jdx", parts[2]);
  dir.Write("echo.jlr", parts.size() > 3 ? parts[3] : std::string_view());
  const std::string id = "J" + dir.Join("echo");
  std::unique_ptr<MessageArea> area;
  if (!OpenMessageArea(&area, id)) return 0;
  fuzz::ReadWholeArea(area.get());
  std::string_view body = parts.size() > 4 ? parts[4] : parts[1];
  fuzz::StoreAndVerify(area.get(), id, body);
  area->GoTo(1);
  if (area->IsOnMessage()) area->DeleteMessage();
  area->StoreLastRead(2, 77);
  CloseMessageArea(&area);
  if (OpenMessageArea(&area, id)) {
    fuzz::ReadWholeArea(area.get());
    CloseMessageArea(&area);
  }
  return 0;
}
