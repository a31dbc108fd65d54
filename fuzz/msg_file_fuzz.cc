// A *.MSG directory of fuzzed message files (and a fuzzed lastread file):
// opened, read whole as the decoder reads it, then one message stored into
// it and read back.
//
// Input: up to six files separated by kFileSeparator; the first five
// become 2.msg ... 6.msg, the sixth "lastread".
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
  for (size_t i = 0; i < parts.size() && i < 6; ++i) {
    std::string name =
        i < 5 ? "area/" + std::to_string(i + 2) + ".msg" : "area/lastread";
    dir.Write(name, parts[i]);
  }
  const std::string id = "M" + dir.Join("area/");
  std::unique_ptr<MessageArea> area;
  if (!OpenMessageArea(&area, id)) return 0;
  fuzz::ReadWholeArea(area.get());
  area->SetAreaFlag(kAreaFlagAddressKludges, parts.size() % 2 == 0);
  fuzz::StoreAndVerify(area.get(), id, parts[0]);
  area->StoreLastRead(3, 1234);
  CloseMessageArea(&area);
  return 0;
}
