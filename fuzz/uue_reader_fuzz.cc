// The UUE reader: the input's lines fed to the block decoder, and the
// numbering readers of other posters' parts. A block that decodes is
// encoded again and must read back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "decoding/uue_decoder.h"
#include "fuzz_support.h"
#include "posting/uue_reader.h"
#include "util/uue_line.h"

using namespace kavel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  UueDecoder decoder;
  std::string bytes;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    decoder.Line(line, &bytes);
    PartNumbering numbering;
    std::string rest;
    if (ParseSectionLine(line, 4096, &numbering) ||
        ParseSubjectNumbering(line, 4096, &numbering, &rest)) {
      KAVEL_FUZZ_CHECK(numbering.part >= 1 &&
                       numbering.part <= numbering.total &&
                       numbering.total <= 4096);
    }
  }
  if (decoder.Finish()) {
    KAVEL_FUZZ_CHECK(!decoder.name().empty());
    UueDecoder again;
    std::string back;
    KAVEL_FUZZ_CHECK(again.Line("begin 644 x", &back));
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    for (size_t at = 0; at < bytes.size(); at += kUueLineBytes) {
      std::string line;
      EncodeUueLine(p + at, std::min(kUueLineBytes, bytes.size() - at), &line);
      KAVEL_FUZZ_CHECK(IsUueDataLine(line));
      KAVEL_FUZZ_CHECK(again.Line(line, &back));
    }
    KAVEL_FUZZ_CHECK(again.Line("end", &back) && again.Finish());
    KAVEL_FUZZ_CHECK(back == bytes);
  } else {
    KAVEL_FUZZ_CHECK(!decoder.ProblemText().empty());
  }
  return 0;
}
