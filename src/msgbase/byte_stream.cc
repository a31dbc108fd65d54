#include "msgbase/byte_stream.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/platform.h"

namespace kavel {

// ------------------------------------------------------------ ByteStream

void ByteStream::CopyFrom(ByteStream* source, int32_t count) {
  uint8_t piece[1024];
  while (count > 0) {
    uint16_t n = static_cast<uint16_t>(std::min<int32_t>(count, sizeof piece));
    source->Read(piece, n);
    Write(piece, n);
    count -= n;
  }
}

bool ByteStream::LockRange(int32_t, int32_t, int32_t) { return true; }

void ByteStream::UnlockRange(int32_t, int32_t) {}

int32_t ByteStream::View(const uint8_t**) { return 0; }

// ------------------------------------------------------------ FileStream

namespace {

FileMode PlatformMode(StreamMode mode) {
  switch (mode) {
    case ModeCreate:
      return FileMode::kCreate;
    case ModeOpenReadWrite:
      return FileMode::kOpenReadWrite;
    case ModeOpenRead:
      return FileMode::kOpenRead;
    case ModeOpenWrite:
      return FileMode::kOpenWrite;
    case ModeCreateNew:
      return FileMode::kCreateNew;
  }
  return FileMode::kOpenRead;
}

}  // namespace

FileStream::FileStream(std::string_view name, StreamMode mode)
    : buffer_(new uint8_t[kReadAhead]) {
  int error = 0;
  file_ = OpenPlatformFile(name, PlatformMode(mode), &error);
  if (!file_) {
    open_error_ = error ? error : kErrorOther;
    status = kStreamOpenFailed;
  }
}

FileStream::FileStream(std::unique_ptr<PlatformFile> file)
    : file_(std::move(file)), buffer_(new uint8_t[kReadAhead]) {
  if (!file_) {
    open_error_ = kErrorOther;
    status = kStreamOpenFailed;
  }
}

bool FileStream::LinkAs(std::string_view path, int* error) {
  if (!file_ || !Settle() || status != kStreamOk) {
    *error = kErrorOther;
    return false;
  }
  return file_->LinkAs(path, error);
}

FileStream::~FileStream() {
  if (file_) Settle();
}

void FileStream::Fail(int32_t code) {
  if (status == kStreamOk) status = code;
}

bool FileStream::WritePending() {
  if (!buffer_dirty_) return true;
  return Settle();
}

bool FileStream::Settle() {
  if (!file_) return false;
  if (buffer_dirty_) {
    const bool ok = file_->WriteAt(static_cast<uint64_t>(buffer_start_),
                                   buffer_.get(), buffer_fill_);
    if (!ok) {
      Fail(file_->last_error() == kErrorNoSpace ? kStreamShortWrite
                                                : kStreamIoError);
    }
    buffer_start_ += static_cast<int64_t>(buffer_fill_);
    buffer_fill_ = buffer_pos_ = 0;
    buffer_dirty_ = false;
    return ok;
  }
  buffer_start_ += static_cast<int64_t>(buffer_pos_);
  buffer_fill_ = buffer_pos_ = 0;
  return true;
}

void FileStream::Read(void* buffer, uint16_t count) {
  uint8_t* out = static_cast<uint8_t*>(buffer);
  if (count == 0) return;
  if (status != kStreamOk || !file_) {
    std::memset(out, 0, count);
    return;
  }
  if (buffer_dirty_ && !Settle()) {
    std::memset(out, 0, count);
    return;
  }
  size_t done = 0;
  while (done < count) {
    if (buffer_pos_ < buffer_fill_) {
      size_t n = std::min<size_t>(count - done, buffer_fill_ - buffer_pos_);
      std::memcpy(out + done, buffer_.get() + buffer_pos_, n);
      buffer_pos_ += n;
      done += n;
      continue;
    }
    // The first read at a new place (a header read under a lock, a message
    // loaded again) reads little more than it was asked for; reading on
    // from where the last read-ahead ended reads twice as far each time,
    // up to the whole buffer (a base read through from start to end).
    const bool reading_on = buffer_fill_ > 0;
    buffer_start_ += static_cast<int64_t>(buffer_pos_);
    buffer_fill_ = buffer_pos_ = 0;
    const size_t wanted = std::max<size_t>(
        count - done, reading_on ? 2 * last_window_ : kFirstReadAhead);
    const size_t window = std::min(kReadAhead, wanted);
    last_window_ = window;
    size_t got = 0;
    if (!file_->ReadAt(static_cast<uint64_t>(buffer_start_), buffer_.get(),
                       window, &got)) {
      Fail(kStreamIoError);
      std::memset(out, 0, count);
      return;
    }
    if (got == 0) {
      Fail(kStreamPastEnd);
      std::memset(out, 0, count);
      return;
    }
    buffer_fill_ = got;
  }
}

void FileStream::Write(const void* buffer, uint16_t count) {
  if (status != kStreamOk || !file_ || count == 0) return;
  if (!buffer_dirty_) {
    // Drop the read-ahead; output starts at the logical position.
    Settle();
    buffer_dirty_ = true;
  }
  const uint8_t* in = static_cast<const uint8_t*>(buffer);
  size_t done = 0;
  while (done < count) {
    size_t n = std::min<size_t>(count - done, kReadAhead - buffer_fill_);
    std::memcpy(buffer_.get() + buffer_fill_, in + done, n);
    buffer_fill_ += n;
    buffer_pos_ = buffer_fill_;
    done += n;
    if (buffer_fill_ == kReadAhead) {
      if (!Settle()) return;
      buffer_dirty_ = true;
    }
  }
}

void FileStream::Seek(int32_t position) {
  if (!file_) return;
  const int64_t target = position < 0 ? 0 : position;
  if (!buffer_dirty_ && target >= buffer_start_ &&
      target <= buffer_start_ + static_cast<int64_t>(buffer_fill_)) {
    buffer_pos_ = static_cast<size_t>(target - buffer_start_);
    return;
  }
  Settle();
  buffer_start_ = target;
}

int32_t FileStream::Position() {
  int64_t position = buffer_start_ + static_cast<int64_t>(buffer_pos_);
  return static_cast<int32_t>(std::min<int64_t>(position, INT32_MAX));
}

int32_t FileStream::Size() {
  if (!file_) return 0;
  WritePending();
  uint64_t size = 0;
  if (!file_->Size(&size)) {
    Fail(kStreamIoError);
    return 0;
  }
  return static_cast<int32_t>(std::min<uint64_t>(size, INT32_MAX));
}

void FileStream::Flush() {
  if (file_) WritePending();
}

void FileStream::Truncate() {
  if (!file_) return;
  Settle();
  if (!file_->Truncate(static_cast<uint64_t>(buffer_start_))) {
    Fail(kStreamIoError);
  }
}

void FileStream::ResetStatus() {
  if (file_) status = kStreamOk;
}

bool FileStream::LockRange(int32_t offset, int32_t length, int32_t timeout_ms) {
  if (!file_ || offset < 0 || length <= 0) return false;
  // What was read ahead before the lock may be stale once it is held.
  Settle();
  return file_->LockRange(static_cast<uint64_t>(offset),
                          static_cast<uint64_t>(length),
                          std::max<int32_t>(timeout_ms, 0));
}

void FileStream::UnlockRange(int32_t offset, int32_t length) {
  if (!file_ || offset < 0 || length <= 0) return;
  Settle();
  file_->UnlockRange(static_cast<uint64_t>(offset),
                     static_cast<uint64_t>(length));
}

// ---------------------------------------------------------- MemoryStream

namespace {

// Blocks of released memory streams, kept for the next ones: a decoding run
// loads one message after another, each into a new stream.
constexpr size_t kKeptBlocks = 32;
thread_local std::vector<std::unique_ptr<uint8_t[]>> keptBlocks;

std::unique_ptr<uint8_t[]> NewBlock() {
  if (keptBlocks.empty()) {
    return std::unique_ptr<uint8_t[]>(new (std::nothrow)
                                          uint8_t[MemoryStream::kGrowthStep]);
  }
  std::unique_ptr<uint8_t[]> block = std::move(keptBlocks.back());
  keptBlocks.pop_back();
  return block;
}

// Keeps a block of kGrowthStep bytes for NewBlock, or frees it.
void ReleaseBlock(std::unique_ptr<uint8_t[]> block) {
  if (block && keptBlocks.size() < kKeptBlocks) {
    keptBlocks.push_back(std::move(block));
  }
}

}  // namespace

MemoryStream::MemoryStream(int32_t limit) : limit_(limit) {
  chunks_.emplace_back();
}

MemoryStream::~MemoryStream() {
  for (Chunk& chunk : chunks_) {
    if (chunk.allocated == kGrowthStep) ReleaseBlock(std::move(chunk.data));
  }
}

bool MemoryStream::Locate(int32_t position, size_t* chunk,
                          int32_t* offset) const {
  if (position < 0 || position >= size_) return false;
  // Start from the chunk found last when the position lies at or after it:
  // reading front to back then costs one step per chunk, not a walk from
  // the first chunk for every piece.
  size_t i = 0;
  int32_t start = 0;
  if (hintChunk_ < chunks_.size() && position >= hintStart_) {
    i = hintChunk_;
    start = hintStart_;
  }
  for (; i < chunks_.size(); ++i) {
    if (position - start < chunks_[i].capacity) {
      *chunk = i;
      *offset = position - start;
      hintChunk_ = i;
      hintStart_ = start;
      return true;
    }
    start += chunks_[i].capacity;
  }
  return false;
}

bool MemoryStream::Grow(int32_t new_size, int32_t filled_from) {
  if (new_size <= size_) return true;
  if (new_size > limit_) return false;
  const int32_t old_size = size_;
  // Zeroes the new bytes [at, at + n) of the stream, stored from `data` on,
  // that the caller will not write.
  auto zero_gap = [filled_from](uint8_t* data, int32_t at, int32_t n) {
    if (at < filled_from) std::memset(data, 0, std::min(n, filled_from - at));
  };
  while (size_ < new_size) {
    int32_t step = std::min(new_size - size_, kGrowthStep);
    Chunk& last = chunks_.back();
    if (last.capacity < step) {
      if (last.allocated < step) {
        std::unique_ptr<uint8_t[]> data = NewBlock();
        if (!data) {
          Shrink(old_size);
          return false;
        }
        if (last.capacity > 0) {
          std::memcpy(data.get(), last.data.get(), last.capacity);
        }
        last.data = std::move(data);
        last.allocated = kGrowthStep;
      }
      zero_gap(last.data.get() + last.capacity, size_, step - last.capacity);
      size_ += step - last.capacity;
      last.capacity = step;
    } else if (last.allocated > last.capacity) {
      // Small writes fill the room the last chunk has before a new chunk
      // is made; a chunk per write would make every later walk over the
      // text slow (a text of many short lines).
      int32_t take = std::min(step, last.allocated - last.capacity);
      zero_gap(last.data.get() + last.capacity, size_, take);
      last.capacity += take;
      size_ += take;
    } else {
      Chunk chunk;
      chunk.data = NewBlock();
      if (!chunk.data) {
        Shrink(old_size);
        return false;
      }
      zero_gap(chunk.data.get(), size_, step);
      chunk.capacity = step;
      chunk.allocated = kGrowthStep;
      chunks_.push_back(std::move(chunk));
      size_ += step;
    }
  }
  return true;
}

void MemoryStream::Shrink(int32_t new_size) {
  if (new_size < 0) new_size = 0;
  hintChunk_ = 0;
  hintStart_ = 0;
  while (size_ > new_size) {
    int32_t excess = size_ - new_size;
    Chunk& last = chunks_.back();
    if (excess > last.capacity && chunks_.size() > 1) {
      size_ -= last.capacity;
      if (last.allocated == kGrowthStep) ReleaseBlock(std::move(last.data));
      chunks_.pop_back();
    } else {
      int32_t cut = std::min(excess, last.capacity);
      last.capacity -= cut;
      size_ -= cut;
      if (cut == 0) break;  // only the first chunk is left, already empty
    }
  }
}

void MemoryStream::Read(void* buffer, uint16_t count) {
  uint8_t* out = static_cast<uint8_t*>(buffer);
  int32_t done = 0;
  while (done < count) {
    size_t chunk;
    int32_t offset;
    if (!Locate(position_, &chunk, &offset)) return;
    int32_t n =
        std::min<int32_t>(count - done, chunks_[chunk].capacity - offset);
    std::memcpy(out + done, chunks_[chunk].data.get() + offset, n);
    done += n;
    position_ += n;
  }
}

void MemoryStream::Write(const void* buffer, uint16_t count) {
  if (status != kStreamOk || count == 0) return;
  if (position_ < 0 ||
      static_cast<int64_t>(position_) + count > kDefaultLimit ||
      !Grow(position_ + count, position_)) {
    status = kStreamShortWrite;
    return;
  }
  const uint8_t* in = static_cast<const uint8_t*>(buffer);
  int32_t done = 0;
  while (done < count) {
    size_t chunk;
    int32_t offset;
    if (!Locate(position_, &chunk, &offset)) return;
    int32_t n =
        std::min<int32_t>(count - done, chunks_[chunk].capacity - offset);
    std::memcpy(chunks_[chunk].data.get() + offset, in + done, n);
    done += n;
    position_ += n;
  }
}

void MemoryStream::CopyFrom(ByteStream* source, int32_t count) {
  if (count <= 0) return;
  if (status != kStreamOk) return;
  // A file stream fills what it cannot read with zeros; a memory stream
  // copies only what it holds, so the new bytes are zeroed first.
  const int32_t filled_from = dynamic_cast<MemoryStream*>(source) != nullptr
                                  ? position_ + count
                                  : position_;
  if (position_ < 0 ||
      static_cast<int64_t>(position_) + count > kDefaultLimit ||
      !Grow(position_ + count, filled_from)) {
    status = kStreamShortWrite;
    return;
  }
  // Straight into the chunks, which now hold room for every byte.
  while (count > 0) {
    size_t chunk;
    int32_t offset;
    if (!Locate(position_, &chunk, &offset)) return;
    const int32_t n =
        std::min<int32_t>(count, chunks_[chunk].capacity - offset);
    source->Read(chunks_[chunk].data.get() + offset, static_cast<uint16_t>(n));
    position_ += n;
    count -= n;
  }
}

void MemoryStream::Seek(int32_t position) { position_ = position; }
int32_t MemoryStream::Position() { return position_; }
int32_t MemoryStream::Size() { return size_; }
void MemoryStream::Flush() {}

void MemoryStream::Truncate() {
  if (position_ >= 0 && position_ < size_) Shrink(position_);
}

void MemoryStream::ResetStatus() {}

int32_t MemoryStream::View(const uint8_t** data) {
  size_t chunk;
  int32_t offset;
  if (!Locate(position_, &chunk, &offset)) return 0;
  *data = chunks_[chunk].data.get() + offset;
  return chunks_[chunk].capacity - offset;
}

std::vector<int32_t> MemoryStream::ChunkSizes() const {
  std::vector<int32_t> sizes;
  for (const Chunk& chunk : chunks_) sizes.push_back(chunk.capacity);
  return sizes;
}

// ------------------------------------------------------ DirectoryScanner

DirectoryScanner::DirectoryScanner() = default;
DirectoryScanner::~DirectoryScanner() { EndSearch(); }

namespace {

void FillFromEntry(const FoundEntry& entry, DirectoryScanner* scanner) {
  scanner->name = entry.name;
  scanner->attributes = entry.attributes;
  scanner->time = entry.time;
  scanner->size = entry.size;
}

}  // namespace

bool DirectoryScanner::StartSearch(std::string_view pattern,
                                   uint8_t attribute_mask) {
  EndSearch();
  search_ = NewFileSearch();
  if (!search_) return false;
  FoundEntry entry;
  if (!search_->Start(pattern, attribute_mask, &entry)) return false;
  FillFromEntry(entry, this);
  return true;
}

bool DirectoryScanner::NextMatch() {
  if (!search_) return false;
  FoundEntry entry;
  if (!search_->Next(&entry)) return false;
  FillFromEntry(entry, this);
  return true;
}

void DirectoryScanner::EndSearch() {
  if (search_) {
    search_->End();
    search_.reset();
  }
}

// ------------------------------------------------------------ factories

std::unique_ptr<ByteStream> NewFileStream(std::string_view name,
                                          StreamMode mode) {
  return std::make_unique<FileStream>(name, mode);
}

std::unique_ptr<ByteStream> NewMemoryStream(int32_t) {
  return std::make_unique<MemoryStream>();
}

std::unique_ptr<DirectoryScanner> NewDirectoryScanner() {
  return std::make_unique<DirectoryScanner>();
}

// --------------------------------------------------------- file helpers

bool EraseFile(std::string_view name) { return DeleteFile(name); }

bool ReplaceFile(std::string_view from, std::string_view to) {
  return RenameFile(from, to);
}

bool MakeDirectory(std::string_view path) {
  std::string dir(path);
  if (dir.size() != 3 && !dir.empty() &&
      (dir.back() == '\\' || dir.back() == '/')) {
    dir.pop_back();
  }
  if (dir.empty()) return false;
  return CreateDirectory(dir);
}

}  // namespace kavel
