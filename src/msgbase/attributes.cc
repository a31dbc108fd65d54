#include "msgbase/attributes.h"

#include <bit>

namespace kavel {

namespace {

// Row i: the stored bits of the generic code 1 << i, in the column order
// of StoredFormat (*.MSG, Squish, JAM); 0 where the format has none.
constexpr uint32_t kAttributeTable[16][3] = {
    {0x0001, 0x00000001, 0x00000004},  // Pvt
    {0x0002, 0x00000002, 0x00000100},  // Cra
    {0x0004, 0x00000004, 0x00000008},  // Rcv
    {0x0008, 0x00000008, 0x00000010},  // Snt
    {0x0010, 0x00000010, 0x00002000},  // Att
    {0x0020, 0x00000020, 0x00000002},  // Trs
    {0x0040, 0x00000040, 0x00040000},  // Orp
    {0x0080, 0x00000080, 0x00000020},  // K/s
    {0x0100, 0x00000100, 0x00000001},  // Loc
    {0x0200, 0x00000200, 0x00000080},  // Hld
    {0x0800, 0x00000800, 0x00001000},  // FRq
    {0x1000, 0x00001000, 0x00010000},  // RRq
    {0x2000, 0x00002000, 0x00000000},  // RRc
    {0x4000, 0x00004000, 0x00020000},  // ARq
    {0x8000, 0x00008000, 0x00000000},  // URq
    {0x0000, 0x00010000, 0x00000000},  // Sca
};

uint32_t Bit(StoredFormat format, int row) {
  return kAttributeTable[row][static_cast<int>(format)];
}

}  // namespace

uint32_t StoredAttributeBit(StoredFormat format, uint32_t code) {
  if (code == 0 || code > kAttrSca || !std::has_single_bit(code)) return 0;
  return Bit(format, std::countr_zero(code));
}

uint32_t AttributesFromStored(StoredFormat format, uint32_t stored) {
  uint32_t codes = 0;
  for (int row = 0; row < 16; ++row) {
    const uint32_t bit = Bit(format, row);
    if (bit != 0 && (stored & bit) != 0) codes |= 1u << row;
  }
  return codes;
}

uint32_t AttributesToStored(StoredFormat format, uint32_t codes,
                            uint32_t stored) {
  for (int row = 0; row < 16; ++row) {
    const uint32_t bit = Bit(format, row);
    if ((codes >> row) & 1) {
      stored |= bit;
    } else {
      stored &= ~bit;
    }
  }
  return stored;
}

}  // namespace kavel
