#include "msgbase/formats/squish_chain.h"

#include <cstring>

#include "msgbase/byte_stream.h"

namespace kavel {

namespace {

constexpr int64_t kFrameHeaderSize = SquishFrameHeader::kEncodedSize;

uint16_t FrameTypeOf(SquishChain chain) {
  return chain == SquishChain::kMessages ? kSquishMessageFrame
                                         : kSquishFreeFrame;
}

bool SameHeader(const SquishFrameHeader& a, const SquishFrameHeader& b) {
  uint8_t x[SquishFrameHeader::kEncodedSize];
  uint8_t y[SquishFrameHeader::kEncodedSize];
  a.EncodeTo(x);
  b.EncodeTo(y);
  return std::memcmp(x, y, sizeof x) == 0;
}

}  // namespace

SquishChainEdit::SquishChainEdit(ByteStream* data, const SquishBaseHeader& base)
    : data_(data),
      base_(base),
      dataSize_(data->Size()),
      originalEnd_(base.endOfData) {}

uint64_t SquishChainEdit::MaxFrames() const {
  if (dataSize_ <= static_cast<int64_t>(SquishBaseHeader::kEncodedSize)) {
    return 0;
  }
  return static_cast<uint64_t>(dataSize_ - SquishBaseHeader::kEncodedSize) /
         SquishFrameHeader::kEncodedSize;
}

uint32_t& SquishChainEdit::Head(SquishChain chain) {
  return chain == SquishChain::kMessages ? base_.firstFrame
                                         : base_.firstFreeFrame;
}

uint32_t& SquishChainEdit::Tail(SquishChain chain) {
  return chain == SquishChain::kMessages ? base_.lastFrame
                                         : base_.lastFreeFrame;
}

SquishFrameHeader* SquishChainEdit::Frame(uint32_t offset) {
  auto it = frames_.find(offset);
  if (it != frames_.end()) return &it->second.header;
  if (offset < SquishBaseHeader::kEncodedSize ||
      static_cast<int64_t>(offset) + kFrameHeaderSize > dataSize_) {
    return nullptr;
  }
  uint8_t buf[SquishFrameHeader::kEncodedSize];
  data_->Seek(static_cast<int32_t>(offset));
  data_->Read(buf, sizeof buf);
  if (data_->status != kStreamOk) {
    data_->ResetStatus();
    return nullptr;
  }
  Entry entry;
  if (!entry.header.DecodeFrom(buf, sizeof buf) ||
      entry.header.signature != kSquishFrameSignature) {
    return nullptr;
  }
  entry.original = entry.header;
  return &frames_.emplace(offset, entry).first->second.header;
}

void SquishChainEdit::AddFrame(uint32_t offset,
                               const SquishFrameHeader& header) {
  Entry entry;
  entry.header = header;
  entry.original = header;
  entry.fresh = true;
  frames_[offset] = entry;
}

bool SquishChainEdit::Unlink(uint32_t offset, SquishChain chain) {
  SquishFrameHeader* f = Frame(offset);
  if (f == nullptr) return false;
  const uint32_t prev = f->prevFrame;
  const uint32_t next = f->nextFrame;
  if (prev == offset || next == offset || (prev != 0 && prev == next)) {
    return false;
  }
  SquishFrameHeader* p = nullptr;
  SquishFrameHeader* n = nullptr;
  // Check both neighbours before changing either.
  if (prev != 0) {
    p = Frame(prev);
    if (p == nullptr || p->nextFrame != offset ||
        p->frameType != FrameTypeOf(chain)) {
      return false;
    }
  } else if (Head(chain) != offset) {
    return false;
  }
  if (next != 0) {
    n = Frame(next);
    if (n == nullptr || n->prevFrame != offset ||
        n->frameType != FrameTypeOf(chain)) {
      return false;
    }
  } else if (Tail(chain) != offset) {
    return false;
  }
  if (p != nullptr) {
    p->nextFrame = next;
  } else {
    Head(chain) = next;
  }
  if (n != nullptr) {
    n->prevFrame = prev;
  } else {
    Tail(chain) = prev;
  }
  return true;
}

bool SquishChainEdit::Link(uint32_t offset, SquishChain chain) {
  SquishFrameHeader* f = Frame(offset);
  if (f == nullptr) return false;
  const uint32_t prev = f->prevFrame;
  const uint32_t next = f->nextFrame;
  if (prev == offset || next == offset || (prev != 0 && prev == next)) {
    return false;
  }
  // The neighbours must be adjacent in the chain now: the frame goes
  // between them.
  SquishFrameHeader* p = nullptr;
  SquishFrameHeader* n = nullptr;
  if (prev != 0) {
    p = Frame(prev);
    // Appending after the tail the base header names, whose forward link
    // points beyond the end of data the base header records: that link was
    // left by a store cut short before it wrote the base header, and is
    // replaced.
    const bool after_tail = next == 0 && prev == Tail(chain) && p != nullptr &&
                            p->nextFrame >= originalEnd_;
    if (p == nullptr || (p->nextFrame != next && !after_tail) ||
        p->frameType != FrameTypeOf(chain)) {
      return false;
    }
  } else if (Head(chain) != next) {
    return false;
  }
  if (next != 0) {
    n = Frame(next);
    if (n == nullptr || n->prevFrame != prev ||
        n->frameType != FrameTypeOf(chain)) {
      return false;
    }
  } else if (Tail(chain) != prev) {
    return false;
  }
  if (p != nullptr) {
    p->nextFrame = offset;
  } else {
    Head(chain) = offset;
  }
  if (n != nullptr) {
    n->prevFrame = offset;
  } else {
    Tail(chain) = offset;
  }
  return true;
}

bool SquishChainEdit::Append(uint32_t offset, SquishChain chain) {
  SquishFrameHeader* f = Frame(offset);
  if (f == nullptr) return false;
  f->prevFrame = Tail(chain);
  f->nextFrame = 0;
  return Link(offset, chain);
}

bool SquishChainEdit::FindFreeFrame(uint32_t needed, uint32_t* offset) {
  *offset = 0;
  uint32_t at = base_.firstFreeFrame;
  uint32_t prev = 0;
  const uint64_t bound = MaxFrames();
  for (uint64_t steps = 0; at != 0; ++steps) {
    if (steps >= bound) return false;  // more links than frames: a loop
    SquishFrameHeader* f = Frame(at);
    if (f == nullptr || f->frameType != kSquishFreeFrame ||
        f->prevFrame != prev ||
        static_cast<int64_t>(at) + kFrameHeaderSize + f->frameLength >
            dataSize_) {
      return false;
    }
    if (f->frameLength >= needed) {
      *offset = at;
      return true;
    }
    prev = at;
    at = f->nextFrame;
  }
  return true;
}

bool SquishChainEdit::Commit() {
  uint8_t buf[SquishFrameHeader::kEncodedSize];
  for (const auto& [offset, entry] : frames_) {
    if (!entry.fresh && SameHeader(entry.header, entry.original)) continue;
    entry.header.EncodeTo(buf);
    data_->Seek(static_cast<int32_t>(offset));
    data_->Write(buf, sizeof buf);
  }
  data_->Flush();
  return data_->status == kStreamOk;
}

bool SquishChainEdit::Revert() {
  uint8_t buf[SquishFrameHeader::kEncodedSize];
  for (const auto& [offset, entry] : frames_) {
    if (entry.fresh || SameHeader(entry.header, entry.original)) continue;
    entry.original.EncodeTo(buf);
    data_->Seek(static_cast<int32_t>(offset));
    data_->Write(buf, sizeof buf);
  }
  data_->Flush();
  return data_->status == kStreamOk;
}

}  // namespace kavel
