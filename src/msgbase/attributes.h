// Message attributes and area flags: the generic attribute codes of the
// common message view, the one table that maps each code to the bit every
// stored format keeps for it, and the area-wide flags of
// MessageArea::areaFlags.
#ifndef KAVEL_MSGBASE_ATTRIBUTES_H_
#define KAVEL_MSGBASE_ATTRIBUTES_H_

#include <cstdint>

namespace kavel {

// Generic attribute codes; each format maps them to its own stored bits.
inline constexpr uint32_t kAttrPvt = 0x0001;  // private
inline constexpr uint32_t kAttrCra = 0x0002;  // crash
inline constexpr uint32_t kAttrRcv = 0x0004;  // received
inline constexpr uint32_t kAttrSnt = 0x0008;  // sent
inline constexpr uint32_t kAttrAtt = 0x0010;  // file attached
inline constexpr uint32_t kAttrTrs = 0x0020;  // in transit
inline constexpr uint32_t kAttrOrp = 0x0040;  // orphan
inline constexpr uint32_t kAttrKs = 0x0080;   // kill after sending
inline constexpr uint32_t kAttrLoc = 0x0100;  // local
inline constexpr uint32_t kAttrHld = 0x0200;  // hold
inline constexpr uint32_t kAttrFRq = 0x0400;  // file request
inline constexpr uint32_t kAttrRRq = 0x0800;  // return receipt requested
inline constexpr uint32_t kAttrRRc = 0x1000;  // is a return receipt
inline constexpr uint32_t kAttrARq = 0x2000;  // audit requested
inline constexpr uint32_t kAttrURq = 0x4000;  // update request
inline constexpr uint32_t kAttrSca = 0x8000;  // scanned

// The attribute words, index i naming bit 1 << i ("Pvt" ... "Sca").
inline constexpr const char* kAttributeNames[16] = {
    "Pvt", "Cra", "Rcv", "Snt", "Att", "Trs", "Orp", "K/s",
    "Loc", "Hld", "FRq", "RRq", "RRc", "ARq", "URq", "Sca"};

// The stored formats, as columns of the attribute table.
enum class StoredFormat { kMsg, kSquish, kJam };

// The bit `format` stores for `code`; 0 when it stores none for it, or when
// `code` is not exactly one generic code.
uint32_t StoredAttributeBit(StoredFormat format, uint32_t code);
// The generic codes whose bits are set in a stored attribute word.
uint32_t AttributesFromStored(StoredFormat format, uint32_t stored);
// `stored` with the bit of every code the format stores set as `codes`
// says; bits outside the table keep their value.
uint32_t AttributesToStored(StoredFormat format, uint32_t codes,
                            uint32_t stored);

// Area flags (MessageArea::areaFlags), set before messages are added.
// A netmail area: the destination and origin go into INTL, FMPT and TOPT
// kludges too, and JAM marks its messages netmail.
inline constexpr uint32_t kAreaFlagAddressKludges = 1;
// An echomail area: JAM marks its messages echomail, and a *.MSG area never
// gives a new message the number 1, which tossers keep as their high-water
// mark.
inline constexpr uint32_t kAreaFlagEchomail = 2;
// A local area: JAM marks its messages local.
inline constexpr uint32_t kAreaFlagLocal = 4;

}  // namespace kavel

#endif  // KAVEL_MSGBASE_ATTRIBUTES_H_
