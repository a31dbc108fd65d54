// Changes to the two frame chains of a Squish data file (the message chain
// and the free chain), made as one unit.
//
// Every frame header the change touches is read once, checked, and changed
// in memory; nothing reaches the file until Commit. A frame that cannot be
// read or does not fit the chain makes the operation answer false before
// anything was written, so a failed change never leaves a half-linked frame
// behind. Chain walks are bounded by the number of frames the data file can
// hold, so a looped chain ends the walk as a failure.
#ifndef KAVEL_MSGBASE_FORMATS_SQUISH_CHAIN_H_
#define KAVEL_MSGBASE_FORMATS_SQUISH_CHAIN_H_

#include <cstdint>
#include <map>

#include "msgbase/formats/squish_records.h"

namespace kavel {

class ByteStream;

enum class SquishChain { kMessages, kFree };

class SquishChainEdit {
 public:
  // `data` is the open data file, `base` the base header in force; the edit
  // works on a copy of it (see base()).
  SquishChainEdit(ByteStream* data, const SquishBaseHeader& base);

  // The header of the frame at `offset`, read and checked on first use: the
  // offset lies at or after the base header, the whole frame header lies in
  // the data file, and the signature is right. Null otherwise.
  SquishFrameHeader* Frame(uint32_t offset);

  // Registers a frame that does not exist on disk yet (a frame appended at
  // the end of the data); Commit writes its header.
  void AddFrame(uint32_t offset, const SquishFrameHeader& header);

  // Takes the frame out of its chain: its neighbours (which must point back
  // at it) are joined, or the chain's head / tail moves. The frame's own
  // links are left as they were.
  bool Unlink(uint32_t offset, SquishChain chain);

  // Links the frame in where its prevFrame and nextFrame say: the frame at
  // nextFrame gets it as previous frame, the frame at prevFrame as next
  // frame; a missing neighbour makes it the chain's head or tail.
  bool Link(uint32_t offset, SquishChain chain);

  // Appends the frame after the chain's tail (its nextFrame is left as it
  // is, normally 0).
  bool Append(uint32_t offset, SquishChain chain);

  // First fit: the first frame of the free chain, in chain order, whose
  // frameLength is at least `needed`. *offset is 0 when none is large
  // enough. False when the chain cannot be walked (an unreadable frame, a
  // frame that is not free or reaches past the data, a loop).
  bool FindFreeFrame(uint32_t needed, uint32_t* offset);

  // Writes every frame header that was added or changed. False when a
  // write failed.
  bool Commit();
  // Writes back the headers as they were read, for every frame that Commit
  // changed (a store that failed after Commit). False when a write failed.
  bool Revert();

  // The base header as the edit left it (heads, tails).
  const SquishBaseHeader& base() const { return base_; }
  SquishBaseHeader& base() { return base_; }

  // Size of the data file when the edit began.
  int64_t data_size() const { return dataSize_; }

  // Most frames the data file can hold: the bound of every walk.
  uint64_t MaxFrames() const;

 private:
  struct Entry {
    SquishFrameHeader original;
    SquishFrameHeader header;
    bool fresh = false;  // added, not read from disk
  };

  uint32_t& Head(SquishChain chain);
  uint32_t& Tail(SquishChain chain);

  ByteStream* data_;
  SquishBaseHeader base_;
  int64_t dataSize_;
  uint32_t originalEnd_;  // endOfData when the edit began
  std::map<uint32_t, Entry> frames_;
};

}  // namespace kavel

#endif  // KAVEL_MSGBASE_FORMATS_SQUISH_CHAIN_H_
