#include "msgbase/formats/jam_records.h"

#include <algorithm>
#include <utility>

#include "util/coding.h"

namespace kavel {
namespace {

const uint8_t* Bytes(std::string_view src) {
  return reinterpret_cast<const uint8_t*>(src.data());
}

void PutBytes(std::string* dst, const uint8_t* bytes, size_t n) {
  dst->append(reinterpret_cast<const char*>(bytes), n);
}

}  // namespace

void JamBaseHeader::EncodeTo(std::string* dst) const {
  PutBytes(dst, signature.data(), signature.size());
  PutFixed32(dst, dateCreated);
  PutFixed32(dst, modCounter);
  PutFixed32(dst, activeMessages);
  PutFixed32(dst, passwordCrc);
  PutFixed32(dst, baseNumber);
  PutBytes(dst, reserved.data(), reserved.size());
}

bool JamBaseHeader::DecodeFrom(std::string_view src) {
  if (src.size() < kEncodedSize) return false;
  const uint8_t* p = Bytes(src);
  std::copy(p, p + 4, signature.begin());
  dateCreated = DecodeFixed32(p + 4);
  modCounter = DecodeFixed32(p + 8);
  activeMessages = DecodeFixed32(p + 12);
  passwordCrc = DecodeFixed32(p + 16);
  baseNumber = DecodeFixed32(p + 20);
  std::copy(p + 24, p + 24 + kReservedSize, reserved.begin());
  return true;
}

void JamMessageHeader::EncodeTo(std::string* dst) const {
  PutBytes(dst, signature.data(), signature.size());
  PutFixed16(dst, revision);
  PutFixed16(dst, reservedWord);
  PutFixed32(dst, subfieldLength);
  PutFixed32(dst, timesRead);
  PutFixed32(dst, msgIdCrc);
  PutFixed32(dst, replyCrc);
  PutFixed32(dst, replyTo);
  PutFixed32(dst, replyFirst);
  PutFixed32(dst, replyNext);
  PutFixed32(dst, dateWritten);
  PutFixed32(dst, dateReceived);
  PutFixed32(dst, dateProcessed);
  PutFixed32(dst, messageNumber);
  PutFixed32(dst, attribute);
  PutFixed32(dst, attribute2);
  PutFixed32(dst, textOffset);
  PutFixed32(dst, textLength);
  PutFixed32(dst, passwordCrc);
  PutFixed32(dst, cost);
}

bool JamMessageHeader::DecodeFrom(std::string_view src) {
  if (src.size() < kEncodedSize) return false;
  const uint8_t* p = Bytes(src);
  std::copy(p, p + 4, signature.begin());
  revision = DecodeFixed16(p + 4);
  reservedWord = DecodeFixed16(p + 6);
  subfieldLength = DecodeFixed32(p + 8);
  timesRead = DecodeFixed32(p + 12);
  msgIdCrc = DecodeFixed32(p + 16);
  replyCrc = DecodeFixed32(p + 20);
  replyTo = DecodeFixed32(p + 24);
  replyFirst = DecodeFixed32(p + 28);
  replyNext = DecodeFixed32(p + 32);
  dateWritten = DecodeFixed32(p + 36);
  dateReceived = DecodeFixed32(p + 40);
  dateProcessed = DecodeFixed32(p + 44);
  messageNumber = DecodeFixed32(p + 48);
  attribute = DecodeFixed32(p + 52);
  attribute2 = DecodeFixed32(p + 56);
  textOffset = DecodeFixed32(p + 60);
  textLength = DecodeFixed32(p + 64);
  passwordCrc = DecodeFixed32(p + 68);
  cost = DecodeFixed32(p + 72);
  return true;
}

void JamSubfield::EncodeTo(std::string* dst) const {
  PutFixed16(dst, loId);
  PutFixed16(dst, hiId);
  PutFixed32(dst, static_cast<uint32_t>(data.size()));
  dst->append(data);
}

bool JamSubfield::DecodeFrom(std::string_view src, size_t* used) {
  if (src.size() < kHeaderSize) return false;
  const uint8_t* p = Bytes(src);
  uint32_t length = DecodeFixed32(p + 4);
  if (length > src.size() - kHeaderSize) return false;
  loId = DecodeFixed16(p);
  hiId = DecodeFixed16(p + 2);
  data.assign(src.substr(kHeaderSize, length));
  *used = kHeaderSize + length;
  return true;
}

bool DecodeJamSubfields(std::string_view block, std::vector<JamSubfield>* out,
                        std::vector<std::string>* spare) {
  out->clear();
  while (!block.empty()) {
    JamSubfield subfield;
    if (spare != nullptr && !spare->empty()) {
      subfield.data = std::move(spare->back());
      spare->pop_back();
    }
    size_t used = 0;
    if (!subfield.DecodeFrom(block, &used)) return false;
    out->push_back(std::move(subfield));
    block.remove_prefix(used);
  }
  return true;
}

void JamIndexRecord::EncodeTo(std::string* dst) const {
  PutFixed32(dst, toCrc);
  PutFixed32(dst, headerOffset);
}

bool JamIndexRecord::DecodeFrom(std::string_view src) {
  if (src.size() < kEncodedSize) return false;
  toCrc = DecodeFixed32(Bytes(src));
  headerOffset = DecodeFixed32(Bytes(src) + 4);
  return true;
}

void JamLastReadRecord::EncodeTo(std::string* dst) const {
  PutFixed32(dst, userCrc);
  PutFixed32(dst, userId);
  PutFixed32(dst, lastRead);
  PutFixed32(dst, highRead);
}

bool JamLastReadRecord::DecodeFrom(std::string_view src) {
  if (src.size() < kEncodedSize) return false;
  const uint8_t* p = Bytes(src);
  userCrc = DecodeFixed32(p);
  userId = DecodeFixed32(p + 4);
  lastRead = DecodeFixed32(p + 8);
  highRead = DecodeFixed32(p + 12);
  return true;
}

}  // namespace kavel
