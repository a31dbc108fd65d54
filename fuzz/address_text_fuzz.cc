// An address text through the parser, the printers and the word splitter.
//
// Input: the text; its first byte also picks the record's defaults.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "msgbase/ftn_address.h"
#include "util/text.h"

using namespace kavel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  FtnAddress defaults{2, 5020, 0, 0};
  if (size > 0 && (data[0] & 1)) defaults = FtnAddress{-1, 32767, -32768, 7};
  FtnAddress a = defaults;
  if (ParseAddress(text, &a)) {
    // The four-part print of a parsed address reads back the same (a
    // negative component prints with a sign, which the parser refuses).
    if (a.zone >= 0 && a.net >= 0 && a.node >= 0 && a.point >= 0) {
      FtnAddress b{9, 9, 9, 9};
      KAVEL_FUZZ_CHECK(ParseAddress(AddressToText4D(a), &b));
      KAVEL_FUZZ_CHECK(b == a);
      FtnAddress c{9, 9, 9, 9};
      KAVEL_FUZZ_CHECK(ParseAddress(AddressToText(a), &c));
      KAVEL_FUZZ_CHECK(c == a);
    }
    AddressToText3D(a);
    KAVEL_FUZZ_CHECK(CompareAddresses(a, a) == 0);
    KAVEL_FUZZ_CHECK(CompareAddresses(a, defaults) ==
                     -CompareAddresses(defaults, a));
  } else {
    KAVEL_FUZZ_CHECK(a == defaults);
  }
  for (int n = 0; n < 6; ++n) {
    std::string w = NthWord(n, text, ":/.");
    KAVEL_FUZZ_CHECK(w.find_first_of(":/.") == std::string::npos);
  }
  int16_t v = 0;
  TextToInt16(text, &v);
  TextToInt(text);
  UpperText(text);
  return 0;
}
