#include "msgbase/formats/squish_records.h"

#include <cstring>

#include "util/coding.h"

namespace kavel {

namespace {

constexpr uint16_t kLegacyFrameHeaderSizeField = 240;
constexpr uint16_t kStandardFrameHeaderSizeField = 28;

void EncodeAddress(uint8_t* dst, const SquishStoredAddress& a) {
  EncodeFixed16(dst, static_cast<uint16_t>(a.zone));
  EncodeFixed16(dst + 2, static_cast<uint16_t>(a.net));
  EncodeFixed16(dst + 4, static_cast<uint16_t>(a.node));
  EncodeFixed16(dst + 6, static_cast<uint16_t>(a.point));
}

SquishStoredAddress DecodeAddress(const uint8_t* src) {
  SquishStoredAddress a;
  a.zone = static_cast<int16_t>(DecodeFixed16(src));
  a.net = static_cast<int16_t>(DecodeFixed16(src + 2));
  a.node = static_cast<int16_t>(DecodeFixed16(src + 4));
  a.point = static_cast<int16_t>(DecodeFixed16(src + 6));
  return a;
}

}  // namespace

// ------------------------------------------------------------ base header

SquishBaseHeader SquishBaseHeader::ForNewBase() {
  SquishBaseHeader h;
  h.baseName = "$QORVN$";
  return h;
}

void SquishBaseHeader::EncodeTo(uint8_t* dst) const {
  EncodeFixed16(dst + 0, headerLength);
  EncodeFixed16(dst + 2, reserved1);
  EncodeFixed32(dst + 4, messageCount);
  EncodeFixed32(dst + 8, highMessage);
  EncodeFixed32(dst + 12, skipMessages);
  EncodeFixed32(dst + 16, highWater);
  EncodeFixed32(dst + 20, nextUid);
  EncodeFixedString(dst + 24, kBaseNameSize, baseName);
  EncodeFixed32(dst + 104, firstFrame);
  EncodeFixed32(dst + 108, lastFrame);
  EncodeFixed32(dst + 112, firstFreeFrame);
  EncodeFixed32(dst + 116, lastFreeFrame);
  EncodeFixed32(dst + 120, endOfData);
  EncodeFixed32(dst + 124, maxMessages);
  EncodeFixed16(dst + 128, keepDays);
  EncodeFixed16(dst + 130, frameHeaderSize);
  std::memcpy(dst + 132, reserved2.data(), kReserved2Size);
}

bool SquishBaseHeader::DecodeFrom(const uint8_t* src, size_t size) {
  if (size < kEncodedSize) return false;
  headerLength = DecodeFixed16(src + 0);
  reserved1 = DecodeFixed16(src + 2);
  messageCount = DecodeFixed32(src + 4);
  highMessage = DecodeFixed32(src + 8);
  skipMessages = DecodeFixed32(src + 12);
  highWater = DecodeFixed32(src + 16);
  nextUid = DecodeFixed32(src + 20);
  baseName = DecodeFixedString(src + 24, kBaseNameSize);
  firstFrame = DecodeFixed32(src + 104);
  lastFrame = DecodeFixed32(src + 108);
  firstFreeFrame = DecodeFixed32(src + 112);
  lastFreeFrame = DecodeFixed32(src + 116);
  endOfData = DecodeFixed32(src + 120);
  maxMessages = DecodeFixed32(src + 124);
  keepDays = DecodeFixed16(src + 128);
  frameHeaderSize = DecodeFixed16(src + 130);
  std::memcpy(reserved2.data(), src + 132, kReserved2Size);
  return true;
}

// ----------------------------------------------------------- frame header

void SquishFrameHeader::EncodeTo(uint8_t* dst) const {
  EncodeFixed32(dst + 0, signature);
  EncodeFixed32(dst + 4, nextFrame);
  EncodeFixed32(dst + 8, prevFrame);
  EncodeFixed32(dst + 12, frameLength);
  EncodeFixed32(dst + 16, messageLength);
  EncodeFixed32(dst + 20, controlLength);
  EncodeFixed16(dst + 24, frameType);
  EncodeFixed16(dst + 26, reserved);
}

bool SquishFrameHeader::DecodeFrom(const uint8_t* src, size_t size) {
  if (size < kEncodedSize) return false;
  signature = DecodeFixed32(src + 0);
  nextFrame = DecodeFixed32(src + 4);
  prevFrame = DecodeFixed32(src + 8);
  frameLength = DecodeFixed32(src + 12);
  messageLength = DecodeFixed32(src + 16);
  controlLength = DecodeFixed32(src + 20);
  frameType = DecodeFixed16(src + 24);
  reserved = DecodeFixed16(src + 26);
  return true;
}

// --------------------------------------------------------- message header

size_t SquishMessageHeaderSize(SquishLayout layout) {
  return layout == SquishLayout::kLegacy
             ? SquishMessageHeader::kLegacyEncodedSize
             : SquishMessageHeader::kEncodedSize;
}

SquishLayout SquishLayoutOf(const SquishBaseHeader& header) {
  return header.frameHeaderSize == kLegacyFrameHeaderSizeField
             ? SquishLayout::kLegacy
             : SquishLayout::kStandard;
}

uint16_t SquishFrameHeaderSizeField(SquishLayout layout) {
  return layout == SquishLayout::kLegacy ? kLegacyFrameHeaderSizeField
                                         : kStandardFrameHeaderSizeField;
}

void SquishMessageHeader::EncodeTo(uint8_t* dst, SquishLayout layout) const {
  EncodeFixed32(dst + 0, attributes);
  EncodeFixedString(dst + 4, kNameSize, fromName);
  EncodeFixedString(dst + 40, kNameSize, toName);
  EncodeFixedString(dst + 76, kSubjectSize, subject);
  EncodeAddress(dst + 148, origAddress);
  EncodeAddress(dst + 156, destAddress);
  EncodeFixed32(dst + 164, dateWritten);
  EncodeFixed32(dst + 168, dateArrived);
  EncodeFixed16(dst + 172, static_cast<uint16_t>(utcOffset));
  EncodeFixed32(dst + 174, replyTo);
  for (size_t i = 0; i < kReplyCount; ++i) {
    EncodeFixed32(dst + 178 + 4 * i, replies[i]);
  }
  size_t tail = 214;
  if (layout == SquishLayout::kLegacy) {
    EncodeFixed16(dst + 214, legacyPad);
    tail = 216;
  }
  EncodeFixed32(dst + tail, uniqueId);
  EncodeFixedString(dst + tail + 4, kFtsDateSize, ftsDate);
}

bool SquishMessageHeader::DecodeFrom(const uint8_t* src, size_t size,
                                     SquishLayout layout) {
  if (size < SquishMessageHeaderSize(layout)) return false;
  attributes = DecodeFixed32(src + 0);
  fromName = DecodeFixedString(src + 4, kNameSize);
  toName = DecodeFixedString(src + 40, kNameSize);
  subject = DecodeFixedString(src + 76, kSubjectSize);
  origAddress = DecodeAddress(src + 148);
  destAddress = DecodeAddress(src + 156);
  dateWritten = DecodeFixed32(src + 164);
  dateArrived = DecodeFixed32(src + 168);
  utcOffset = static_cast<int16_t>(DecodeFixed16(src + 172));
  replyTo = DecodeFixed32(src + 174);
  for (size_t i = 0; i < kReplyCount; ++i) {
    replies[i] = DecodeFixed32(src + 178 + 4 * i);
  }
  size_t tail = 214;
  legacyPad = 0;
  if (layout == SquishLayout::kLegacy) {
    legacyPad = DecodeFixed16(src + 214);
    tail = 216;
  }
  uniqueId = DecodeFixed32(src + tail);
  ftsDate = DecodeFixedString(src + tail + 4, kFtsDateSize);
  return true;
}

// ----------------------------------------------------------- index record

void SquishIndexRecord::EncodeTo(uint8_t* dst) const {
  EncodeFixed32(dst + 0, frameOffset);
  EncodeFixed32(dst + 4, uniqueId);
  EncodeFixed32(dst + 8, toHash);
}

bool SquishIndexRecord::DecodeFrom(const uint8_t* src, size_t size) {
  if (size < kEncodedSize) return false;
  frameOffset = DecodeFixed32(src + 0);
  uniqueId = DecodeFixed32(src + 4);
  toHash = DecodeFixed32(src + 8);
  return true;
}

// -------------------------------------------------------------- name hash

uint32_t ToNameHash(std::string_view name) {
  uint32_t h = 0;
  for (char ch : name) {
    uint32_t c = static_cast<uint8_t>(ch);
    if (c >= 'A' && c <= 'Z') c += 'a' - 'A';
    h = (h << 4) + c;
    uint32_t g = h & 0xF0000000u;
    if (g != 0) h |= (g >> 24) | g;
  }
  return h & 0x7FFFFFFFu;
}

}  // namespace kavel
