// Consistency check of a Squish base on disk, for tests: reads the data and
// index files directly and verifies every link, count and index record.
// Test code only.
#ifndef KAVEL_MSGBASE_FORMATS_SQUISH_CHECKER_FOR_TESTING_H_
#define KAVEL_MSGBASE_FORMATS_SQUISH_CHECKER_FOR_TESTING_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "msgbase/formats/squish_records.h"
#include "msgbase/test_support.h"

namespace kavel {

// Empty when the base whose files are `data_name` and `index_name` is
// consistent; otherwise a description of the first fault found:
//  * the frames tile the data file from 256 to endOfData (= file size),
//    each with the right signature and a type of 0 or 1;
//  * the message chain, walked from firstFrame, has consistent back links,
//    ends at lastFrame, holds only message frames, and visits exactly the
//    frames of the index records, in index order;
//  * the free chain, likewise, holds only free frames and ends at
//    lastFreeFrame;
//  * every frame is in exactly one chain;
//  * messageCount and highMessage equal the number of index records;
//  * each message's header carries the index record's unique number, its
//    recipient hashes to the record's toHash, the lengths fit the frame,
//    and every unique number is below nextUid.
inline std::string CheckSquishBase(const std::string& data_name,
                                   const std::string& index_name) {
  const std::string data = testing_support::ReadFile(data_name);
  const std::string index = testing_support::ReadFile(index_name);
  auto bytes = [&](size_t at) {
    return reinterpret_cast<const uint8_t*>(data.data()) + at;
  };
  SquishBaseHeader base;
  if (!base.DecodeFrom(bytes(0), data.size())) return "data file too short";
  const SquishLayout layout = SquishLayoutOf(base);
  const size_t header_size = SquishMessageHeaderSize(layout);
  if (base.endOfData != data.size()) return "endOfData != file size";
  std::map<uint32_t, SquishFrameHeader> frames;
  size_t at = SquishBaseHeader::kEncodedSize;
  while (at < data.size()) {
    SquishFrameHeader f;
    if (!f.DecodeFrom(bytes(at), data.size() - at) ||
        f.signature != kSquishFrameSignature || f.frameType > 1 ||
        at + 28 + static_cast<size_t>(f.frameLength) > data.size()) {
      return "bad frame at " + std::to_string(at);
    }
    frames[static_cast<uint32_t>(at)] = f;
    at += 28 + f.frameLength;
  }
  if (at != data.size()) return "frames do not end at the file end";

  if (index.size() % 12 != 0) return "index size not a multiple of 12";
  const size_t count = index.size() / 12;
  if (base.messageCount != count || base.highMessage != count) {
    return "messageCount or highMessage != index records";
  }
  std::vector<SquishIndexRecord> records(count);
  for (size_t i = 0; i < count; ++i) {
    records[i].DecodeFrom(
        reinterpret_cast<const uint8_t*>(index.data()) + 12 * i, 12);
  }

  std::map<uint32_t, int> seen;
  auto walk = [&](uint32_t head, uint32_t tail, uint16_t type,
                  std::vector<uint32_t>* order) -> std::string {
    uint32_t prev = 0;
    for (uint32_t o = head; o != 0;) {
      auto it = frames.find(o);
      if (it == frames.end() || ++seen[o] > 1 || it->second.frameType != type ||
          it->second.prevFrame != prev) {
        return "bad link, loop or frame type at " + std::to_string(o);
      }
      order->push_back(o);
      prev = o;
      o = it->second.nextFrame;
    }
    if (prev != tail) return "chain tail mismatch";
    return "";
  };
  std::vector<uint32_t> messages, free_frames;
  std::string fault =
      walk(base.firstFrame, base.lastFrame, kSquishMessageFrame, &messages) +
      walk(base.firstFreeFrame, base.lastFreeFrame, kSquishFreeFrame,
           &free_frames);
  if (!fault.empty()) return "chains: " + fault;
  if (seen.size() != frames.size()) return "frame in no chain";
  if (messages.size() != count) return "message chain length != index";
  for (size_t i = 0; i < count; ++i) {
    if (records[i].frameOffset != messages[i]) {
      return "index record " + std::to_string(i) + " not in chain order";
    }
    const SquishFrameHeader& f = frames[messages[i]];
    if (f.messageLength > f.frameLength ||
        header_size + f.controlLength > f.messageLength) {
      return "lengths do not fit frame " + std::to_string(messages[i]);
    }
    SquishMessageHeader m;
    m.DecodeFrom(bytes(messages[i] + 28), header_size, layout);
    if (m.uniqueId != records[i].uniqueId || m.uniqueId >= base.nextUid ||
        ToNameHash(m.toName) != records[i].toHash) {
      return "header does not match index record " + std::to_string(i);
    }
  }
  return "";
}

}  // namespace kavel

#endif  // KAVEL_MSGBASE_FORMATS_SQUISH_CHECKER_FOR_TESTING_H_
