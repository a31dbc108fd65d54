// The binary records of a JAM message base. A base is four files sharing a
// path: NAME.jhr (base header, then message headers with their subfields),
// NAME.jdx (index), NAME.jdt (message texts back to back) and NAME.jlr
// (last-read records). All numbers are little-endian; times are seconds
// since 1970-01-01 00:00 of the local clock.
#ifndef KAVEL_MSGBASE_FORMATS_JAM_RECORDS_H_
#define KAVEL_MSGBASE_FORMATS_JAM_RECORDS_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kavel {

// "JAM" and a zero byte, at the start of the base header and of every
// message header.
inline constexpr std::array<uint8_t, 4> kJamSignature = {'J', 'A', 'M', 0};

// The value of a CRC or offset field that holds nothing; an index record
// whose headerOffset holds it is empty (its message deleted).
inline constexpr uint32_t kJamNone = 0xFFFFFFFFu;

// Base header, offset 0 of the header file:
//    0  4  signature        "JAM\0"
//    4  4  dateCreated      seconds
//    8  4  modCounter       raised by every writer on every change
//   12  4  activeMessages   live messages in the base
//   16  4  passwordCrc      0xFFFFFFFF: no password
//   20  4  baseNumber       number of the message in index record 0
//   24 1000 reserved        kept as read
struct JamBaseHeader {
  static constexpr size_t kEncodedSize = 1024;
  static constexpr size_t kReservedSize = 1000;

  std::array<uint8_t, 4> signature = kJamSignature;
  uint32_t dateCreated = 0;
  uint32_t modCounter = 0;
  uint32_t activeMessages = 0;
  uint32_t passwordCrc = kJamNone;
  uint32_t baseNumber = 1;
  std::array<uint8_t, kReservedSize> reserved{};

  // Appends exactly kEncodedSize bytes.
  void EncodeTo(std::string* dst) const;
  // False (record unchanged) when `src` holds fewer than kEncodedSize bytes.
  bool DecodeFrom(std::string_view src);
};

// Fixed part of a message header, followed directly by subfieldLength bytes
// of subfields:
//    0  4  signature      "JAM\0"        40  4  dateReceived
//    4  2  revision       1              44  4  dateProcessed
//    6  2  reservedWord                  48  4  messageNumber
//    8  4  subfieldLength                52  4  attribute
//   12  4  timesRead                     56  4  attribute2
//   16  4  msgIdCrc                      60  4  textOffset   (in .jdt)
//   20  4  replyCrc                      64  4  textLength
//   24  4  replyTo                       68  4  passwordCrc
//   28  4  replyFirst                    72  4  cost
//   32  4  replyNext
//   36  4  dateWritten
struct JamMessageHeader {
  static constexpr size_t kEncodedSize = 76;

  std::array<uint8_t, 4> signature = kJamSignature;
  uint16_t revision = 1;
  uint16_t reservedWord = 0;
  uint32_t subfieldLength = 0;
  uint32_t timesRead = 0;
  uint32_t msgIdCrc = kJamNone;
  uint32_t replyCrc = kJamNone;
  uint32_t replyTo = 0;
  uint32_t replyFirst = 0;
  uint32_t replyNext = 0;
  uint32_t dateWritten = 0;
  uint32_t dateReceived = 0;
  uint32_t dateProcessed = 0;
  uint32_t messageNumber = 0;
  uint32_t attribute = 0;
  uint32_t attribute2 = 0;
  uint32_t textOffset = 0;
  uint32_t textLength = 0;
  uint32_t passwordCrc = kJamNone;
  uint32_t cost = 0;

  void EncodeTo(std::string* dst) const;
  bool DecodeFrom(std::string_view src);
  bool HasSignature() const { return signature == kJamSignature; }
};

// Message header attribute bits that are not generic message attributes.
inline constexpr uint32_t kJamAttrTypeLocal = 0x00800000u;
inline constexpr uint32_t kJamAttrTypeEcho = 0x01000000u;
inline constexpr uint32_t kJamAttrTypeNet = 0x02000000u;
inline constexpr uint32_t kJamAttrDeleted = 0x80000000u;

// Subfield ids (loId).
enum JamSubfieldId : uint16_t {
  kJamOAddress = 0,
  kJamDAddress = 1,
  kJamSenderName = 2,
  kJamReceiverName = 3,
  kJamMsgId = 4,
  kJamReplyId = 5,
  kJamSubject = 6,
  kJamPid = 7,
  kJamTrace = 8,
  kJamEnclosedFile = 9,
  kJamEnclosedFreq = 11,
  kJamFtsKludge = 2000,
  kJamSeenBy2D = 2001,
  kJamPath2D = 2002,
  kJamFlags = 2003,
  kJamTzUtcInfo = 2004,
};

// One subfield:
//   0  2  loId
//   2  2  hiId         written 0, ignored when read
//   4  4  dataLength
//   8  dataLength bytes of data, no terminator
struct JamSubfield {
  static constexpr size_t kHeaderSize = 8;

  uint16_t loId = 0;
  uint16_t hiId = 0;
  std::string data;

  size_t EncodedSize() const { return kHeaderSize + data.size(); }
  // Appends EncodedSize() bytes; dataLength is data.size().
  void EncodeTo(std::string* dst) const;
  // Decodes the subfield at the start of `src`. False (record unchanged)
  // when `src` cannot hold the 8-byte head or the data it announces;
  // otherwise *used receives the subfield's encoded size.
  bool DecodeFrom(std::string_view src, size_t* used);
};

// Decodes the subfields of `block` (the subfieldLength bytes after a
// message header) in order into *out. Answers false when the block ends
// inside a subfield; the subfields before that point are still delivered.
// Strings taken from *spare (when given) hold the data, so that their
// buffers serve again.
bool DecodeJamSubfields(std::string_view block, std::vector<JamSubfield>* out,
                        std::vector<std::string>* spare = nullptr);

// Index record; message number baseNumber + i owns record i, at offset
// i * 8 of the index file:
//   0  4  toCrc          JamCrc of the recipient name
//   4  4  headerOffset   message header offset in .jhr; kJamNone: empty
struct JamIndexRecord {
  static constexpr size_t kEncodedSize = 8;

  uint32_t toCrc = kJamNone;
  uint32_t headerOffset = kJamNone;

  void EncodeTo(std::string* dst) const;
  bool DecodeFrom(std::string_view src);
  bool IsEmpty() const { return headerOffset == kJamNone; }
};

// Last-read record:
//   0  4  userCrc    4  4  userId    8  4  lastRead    12  4  highRead
struct JamLastReadRecord {
  static constexpr size_t kEncodedSize = 16;

  uint32_t userCrc = 0;
  uint32_t userId = 0;
  uint32_t lastRead = 0;
  uint32_t highRead = 0;

  void EncodeTo(std::string* dst) const;
  bool DecodeFrom(std::string_view src);
};

}  // namespace kavel

#endif  // KAVEL_MSGBASE_FORMATS_JAM_RECORDS_H_
