// A file-list template expanded with hostile values: names, subjects and
// addresses as they arrive in messages, widths and alignments as the
// configuration gives them.
//
// Input: "<template>" then up to eleven values (file, size, from, to, to
// address, from address, subject, dates and times), separated by
// kFileSeparator.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "decoding/message_info.h"
#include "fuzz_support.h"

using namespace kavel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string_view> parts = fuzz::SplitFiles(data, size);
  auto value = [&](size_t i) {
    return i < parts.size() ? std::string(parts[i].substr(0, 255))
                            : std::string();
  };
  MessageInfo info;
  info.fileName = value(1);
  info.size = static_cast<uint32_t>(value(2).size() * 0x01010101u);
  info.fromName = value(3);
  info.toName = value(4);
  info.toAddr = value(5);
  info.fromAddr = value(6);
  info.subject = value(7);
  info.dateWritten = value(8);
  info.dateArrived = value(9);
  info.timeWritten = value(10);
  info.timeArrived = value(11);
  std::string line = BuildInfoLine(parts[0], info);
  KAVEL_FUZZ_CHECK(line.size() <= 255);
  // A field format as the expansion hands it over: it begins with "(".
  if (!parts[0].empty() && parts[0][0] == '(') {
    std::string rest;
    std::string field = FormatField(parts[0], info.fromName, &rest);
    KAVEL_FUZZ_CHECK(field.size() <=
                     std::max<size_t>(255, info.fromName.size()));
  }
  TemplateLine pieces{{false, std::string(parts[0])}};
  ExpandToken(&pieces, info.subject, "@Subject");
  return 0;
}
