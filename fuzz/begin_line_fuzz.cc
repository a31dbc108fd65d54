// A begin line read along a begin-line pattern, and the end-line test.
//
// Input: "<pattern>" kFileSeparator "<line>"; without a separator the whole
// input is the line and the pattern is the default one.
#include <cstddef>
#include <cstdint>
#include <string>

#include "decoding/file_name_safety.h"
#include "decoding/framing.h"
#include "fuzz_support.h"

using namespace kavel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string_view> parts = fuzz::SplitFiles(data, size);
  std::string_view pattern = "text.begin % of % of file %";
  std::string_view line = parts[0];
  if (parts.size() > 1) {
    pattern = parts[0];
    line = parts[1];
  }
  // The quick pre-test never turns away a framing line.
  if (IsFramingLine(line, pattern)) {
    KAVEL_FUZZ_CHECK(FramingFilter(pattern).MayMatch(line));
  }
  if (IsFramingLine(line, "text.end")) {
    KAVEL_FUZZ_CHECK(FramingFilter("text.end").MayMatch(line));
  }
  BeginLine begin;
  BeginLineKind kind = ParseBeginLine(line, pattern, &begin);
  if (kind == BeginLineKind::kValid) {
    KAVEL_FUZZ_CHECK(begin.part >= 1 && begin.part <= begin.totalParts);
    KAVEL_FUZZ_CHECK(IsSafeFileName(begin.fileName));
    KAVEL_FUZZ_CHECK(begin.fileName.find_first_of("\\/:") == std::string::npos);
    KAVEL_FUZZ_CHECK(begin.fileName != "." && begin.fileName != "..");
  }
  std::string_view p = pattern, l = line;
  for (int i = 0; i < 8; ++i) {
    size_t before = p.size();
    const std::string_view field = NextPatternField(&p, &l);
    // The field is a view into the line.
    KAVEL_FUZZ_CHECK(field.empty() || (field.data() >= line.data() &&
                                       field.data() + field.size() <=
                                           line.data() + line.size()));
    if (p.size() == before) break;
    KAVEL_FUZZ_CHECK(p.size() < before);
  }
  IsSafeAreaTag(line);
  return 0;
}
