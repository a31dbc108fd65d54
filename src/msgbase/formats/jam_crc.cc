#include "msgbase/formats/jam_crc.h"

#include <array>

namespace kavel {
namespace {

constexpr std::array<uint32_t, 256> MakeTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kTable = MakeTable();

}  // namespace

uint32_t JamCrc(std::string_view text) {
  uint32_t crc = 0xFFFFFFFFu;
  for (char ch : text) {
    uint8_t b = static_cast<uint8_t>(ch);
    if (b >= 'A' && b <= 'Z') b = static_cast<uint8_t>(b - 'A' + 'a');
    crc = kTable[(crc ^ b) & 0xFF] ^ (crc >> 8);
  }
  return crc;
}

}  // namespace kavel
