// On-disk records of a Squish message base (see docs/squish-format.md).
//
// A base is a data file (".sqd"): a 256-byte base header followed by frames,
// each a 28-byte frame header and its data; an index file (".sqi") of one
// 12-byte record per message; and a last-read file (".sql") of 32-bit
// values. All numbers are little-endian. Every record is encoded and decoded
// field by field; DecodeFrom answers false, leaving the record untouched,
// when fewer bytes than the record's encoded size are given.
#ifndef KAVEL_MSGBASE_FORMATS_SQUISH_RECORDS_H_
#define KAVEL_MSGBASE_FORMATS_SQUISH_RECORDS_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kavel {

constexpr uint32_t kSquishFrameSignature = 0xAFAE4453;
constexpr uint16_t kSquishMessageFrame = 0;
constexpr uint16_t kSquishFreeFrame = 1;

// The base header at offset 0 of the data file.
//
//   off size field
//     0    2 headerLength      always 256
//     2    2 reserved1
//     4    4 messageCount      number of messages (= index records)
//     8    4 highMessage       moves with messageCount
//    12    4 skipMessages      not interpreted
//    16    4 highWater         not interpreted
//    20    4 nextUid           unique number of the next new message
//    24   80 baseName          zero-terminated text
//   104    4 firstFrame        head of the message chain, 0 = empty
//   108    4 lastFrame         tail of the message chain
//   112    4 firstFreeFrame    head of the free chain
//   116    4 lastFreeFrame     tail of the free chain
//   120    4 endOfData         where a frame appended at the end goes
//   124    4 maxMessages       0 = no limit (enforced by other tools)
//   128    2 keepDays          0 = no limit (enforced by other tools)
//   130    2 frameHeaderSize   size of the message header: 28 in the
//                              standard layout (238-byte message headers),
//                              240 in the legacy layout of the same number
//   132  124 reserved2         kept as read
struct SquishBaseHeader {
  static constexpr size_t kEncodedSize = 256;
  static constexpr size_t kBaseNameSize = 80;
  static constexpr size_t kReserved2Size = 124;

  uint16_t headerLength = kEncodedSize;
  uint16_t reserved1 = 0;
  uint32_t messageCount = 0;
  uint32_t highMessage = 0;
  uint32_t skipMessages = 0;
  uint32_t highWater = 0;
  uint32_t nextUid = 1;
  std::string baseName;
  uint32_t firstFrame = 0;
  uint32_t lastFrame = 0;
  uint32_t firstFreeFrame = 0;
  uint32_t lastFreeFrame = 0;
  uint32_t endOfData = kEncodedSize;
  uint32_t maxMessages = 0;
  uint16_t keepDays = 0;
  uint16_t frameHeaderSize = 28;
  std::array<uint8_t, kReserved2Size> reserved2{};

  // The header of a newly created base: base name "$QORVN$", nextUid 1,
  // endOfData 256, no message limits, the standard layout.
  static SquishBaseHeader ForNewBase();

  // Writes kEncodedSize bytes to dst. A base name longer than 79 characters
  // is cut.
  void EncodeTo(uint8_t* dst) const;
  bool DecodeFrom(const uint8_t* src, size_t size);
};

// The header at the start of every frame.
//
//   off size field
//     0    4 signature         0xAFAE4453
//     4    4 nextFrame         next frame of the same chain, 0 = none
//     8    4 prevFrame         previous frame of the same chain, 0 = none
//    12    4 frameLength       bytes of frame data after this header
//    16    4 messageLength     bytes of the frame data in use
//    20    4 controlLength     control block length, its final zero included
//    24    2 frameType         0 = message, 1 = free
//    26    2 reserved
struct SquishFrameHeader {
  static constexpr size_t kEncodedSize = 28;

  uint32_t signature = kSquishFrameSignature;
  uint32_t nextFrame = 0;
  uint32_t prevFrame = 0;
  uint32_t frameLength = 0;
  uint32_t messageLength = 0;
  uint32_t controlLength = 0;
  uint16_t frameType = kSquishMessageFrame;
  uint16_t reserved = 0;

  void EncodeTo(uint8_t* dst) const;
  bool DecodeFrom(const uint8_t* src, size_t size);
};

// Layout of the message header, chosen per base by its frameHeaderSize.
enum class SquishLayout {
  kStandard,  // 238 bytes; frameHeaderSize 28
  kLegacy,    // 240 bytes; frameHeaderSize 240
};

// Size of the message header in the given layout.
size_t SquishMessageHeaderSize(SquishLayout layout);

// Layout named by a base header's frameHeaderSize field: 240 means the
// legacy layout, every other value the standard one.
SquishLayout SquishLayoutOf(const SquishBaseHeader& header);

// The value of a base header's frameHeaderSize field for a layout.
uint16_t SquishFrameHeaderSizeField(SquishLayout layout);

// An address as the message header stores it (four signed 16-bit numbers).
struct SquishStoredAddress {
  int16_t zone = 0;
  int16_t net = 0;
  int16_t node = 0;
  int16_t point = 0;
};

// The header at the start of a message frame's data.
//
//   standard (238)  legacy (240)
//   off size        off size   field
//     0    4          0    4   attributes
//     4   36          4   36   fromName        zero-terminated text
//    40   36         40   36   toName          zero-terminated text
//    76   72         76   72   subject         zero-terminated text
//   148    8        148    8   origAddress     zone, net, node, point
//   156    8        156    8   destAddress
//   164    4        164    4   dateWritten     date word, then time word
//   168    4        168    4   dateArrived     date word, then time word
//   172    2        172    2   utcOffset       signed
//   174    4        174    4   replyTo         not interpreted, kept
//   178   36        178   36   replies[9]      not interpreted, kept
//     -    -        214    2   legacyPad       not interpreted, kept
//   214    4        216    4   uniqueId
//   218   20        220   20   ftsDate         zero-terminated text
//
// Text fields are cut to their width less one on encoding so that they
// always hold their terminator.
struct SquishMessageHeader {
  static constexpr size_t kEncodedSize = 238;
  static constexpr size_t kLegacyEncodedSize = 240;
  static constexpr size_t kNameSize = 36;
  static constexpr size_t kSubjectSize = 72;
  static constexpr size_t kFtsDateSize = 20;
  static constexpr size_t kReplyCount = 9;

  uint32_t attributes = 0;
  std::string fromName;
  std::string toName;
  std::string subject;
  SquishStoredAddress origAddress;
  SquishStoredAddress destAddress;
  uint32_t dateWritten = 0;
  uint32_t dateArrived = 0;
  int16_t utcOffset = 0;
  uint32_t replyTo = 0;
  std::array<uint32_t, kReplyCount> replies{};
  uint16_t legacyPad = 0;
  uint32_t uniqueId = 0;
  std::string ftsDate;

  // Writes SquishMessageHeaderSize(layout) bytes to dst.
  void EncodeTo(uint8_t* dst, SquishLayout layout) const;
  bool DecodeFrom(const uint8_t* src, size_t size, SquishLayout layout);
};

// One record of the index file; record i - 1 belongs to message position i.
//
//   off size field
//     0    4 frameOffset       offset of the message's frame in the data file
//     4    4 uniqueId
//     8    4 toHash            ToNameHash of the recipient
struct SquishIndexRecord {
  static constexpr size_t kEncodedSize = 12;

  uint32_t frameOffset = 0;
  uint32_t uniqueId = 0;
  uint32_t toHash = 0;

  void EncodeTo(uint8_t* dst) const;
  bool DecodeFrom(const uint8_t* src, size_t size);
};

// The recipient hash of the index: h := h * 16 + c (A-Z folded to a-z);
// the top nibble g of h, when not zero, is ORed back in both at bit 4 and in
// place. The result keeps the low 31 bits.
uint32_t ToNameHash(std::string_view name);

}  // namespace kavel

#endif  // KAVEL_MSGBASE_FORMATS_SQUISH_RECORDS_H_
