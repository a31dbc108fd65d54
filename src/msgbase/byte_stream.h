// Byte streams: the only way the message bases touch files (FileStream) and
// hold message text (MemoryStream), the directory scanner, and the three
// factory hooks through which the message-base code obtains all of them.
#ifndef KAVEL_MSGBASE_BYTE_STREAM_H_
#define KAVEL_MSGBASE_BYTE_STREAM_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kavel {

class PlatformFile;
class FileSearch;

// Stream status codes. 0 while healthy; the first failure sticks.
inline constexpr int32_t kStreamOk = 0;
inline constexpr int32_t kStreamIoError = -1;     // read/write/seek refused
inline constexpr int32_t kStreamOpenFailed = -2;  // open or create failed
inline constexpr int32_t kStreamPastEnd = -3;     // read past end of file
inline constexpr int32_t kStreamShortWrite = -4;  // fewer bytes stored

// Abstract stream of bytes; positions start at 0. Operations in slot order;
// the destructor is the Destroy slot.
class ByteStream {
 public:
  ByteStream() = default;
  ByteStream(const ByteStream&) = delete;
  ByteStream& operator=(const ByteStream&) = delete;
  virtual ~ByteStream() = default;

  // Copies `count` bytes from the source's position to this stream's
  // position in pieces of at most 1024 bytes (source Read, then own Write).
  virtual void CopyFrom(ByteStream* source, int32_t count);
  virtual void Read(void* buffer, uint16_t count) = 0;
  virtual void Write(const void* buffer, uint16_t count) = 0;
  virtual void Seek(int32_t position) = 0;
  virtual int32_t Position() = 0;
  virtual int32_t Size() = 0;
  virtual void Flush() = 0;
  // Cuts the stream at its current position.
  virtual void Truncate() = 0;
  // Clears a sticking failure (file streams only; a no-op elsewhere).
  virtual void ResetStatus() = 0;

  // Advisory write lock on `length` bytes at `offset`, the record lock that
  // the FTN tools on this system share. Waits up to timeout_ms, polling;
  // yes when held. Streams that are not shared files have nothing to lock
  // and answer yes. Not a slot of the classic stream.
  virtual bool LockRange(int32_t offset, int32_t length, int32_t timeout_ms);
  // Writes what is buffered, then releases the lock.
  virtual void UnlockRange(int32_t offset, int32_t length);
  // The bytes from the position on that the stream holds contiguously in
  // memory, without copying them: sets *data and answers their count (0 at
  // the end, and always 0 for streams that hold no such memory). The
  // pointer stays valid until the stream is written, truncated or
  // destroyed. Does not move the position. Not a slot of the classic
  // stream.
  virtual int32_t View(const uint8_t** data);

  // 0 or the code of the first failure (kStream* above).
  int32_t status = kStreamOk;
};

// Open modes. Opening takes no lock; other programs may read and write the
// same file meanwhile (see LockRange).
enum StreamMode : int {
  ModeCreate = 1,         // create or empty; read and write
  ModeOpenReadWrite = 2,  // must exist; read and write
  ModeOpenRead = 3,       // must exist; read only
  ModeOpenWrite = 4,      // must exist; write only
  ModeCreateNew = 5,      // create; fails when the name exists in any case
};

// A file read and written through one 64 KB buffer: output is written
// when the buffer is full or the stream settles; input is read ahead 4 KB
// (or what was asked) at a new place, then 64 KB at a time.
//  * Open failure: status -2 (kStreamOpenFailed).
//  * Read: when the file ends before `count` bytes (status -3) or the read
//    is refused (status -1), the whole destination is zero-filled. While
//    status is not 0, Read delivers zeros and Write does nothing.
//  * A short write sets -4, a refused seek/truncate/write -1.
//  * Seek, Size, Truncate and Flush first write what is buffered. Truncate,
//    Write, LockRange and UnlockRange drop what was read ahead, and so does
//    a Seek outside it; reading on from a Seek into the read-ahead uses it,
//    as a longer Read would have. The destructor writes what is buffered
//    and closes.
class FileStream : public ByteStream {
 public:
  static constexpr size_t kReadAhead = 65536;
  static constexpr size_t kFirstReadAhead = 4096;

  FileStream(std::string_view name, StreamMode mode);
  // A stream over a file open already (as OpenUnnamedFile makes them).
  explicit FileStream(std::unique_ptr<PlatformFile> file);
  ~FileStream() override;

  void Read(void* buffer, uint16_t count) override;
  void Write(const void* buffer, uint16_t count) override;
  void Seek(int32_t position) override;
  int32_t Position() override;
  int32_t Size() override;
  void Flush() override;
  void Truncate() override;
  void ResetStatus() override;
  bool LockRange(int32_t offset, int32_t length, int32_t timeout_ms) override;
  void UnlockRange(int32_t offset, int32_t length) override;

  // The platform error of the failed open (kErrorAccess for a file the
  // user may not open in this mode), 0 otherwise.
  int open_error() const { return open_error_; }
  // Writes what is pending, then names the file `path` as
  // PlatformFile::LinkAs does; false (*error set) when either fails.
  bool LinkAs(std::string_view path, int* error);

 private:
  // Writes the pending output; drops the read-ahead and moves the file to
  // the logical position. False (status set) on failure.
  bool Settle();
  // Writes the pending output only (a no-op while reading).
  bool WritePending();
  void Fail(int32_t code);

  std::unique_ptr<PlatformFile> file_;
  int open_error_ = 0;
  // kReadAhead bytes, left unset until read or written.
  std::unique_ptr<uint8_t[]> buffer_;
  int64_t buffer_start_ = 0;   // file offset of buffer_[0]
  size_t buffer_fill_ = 0;     // valid bytes in buffer_ (read-ahead or output)
  size_t last_window_ = 0;     // bytes the last read-ahead asked for
  size_t buffer_pos_ = 0;      // logical position within buffer_
  bool buffer_dirty_ = false;  // buffer_ holds output not yet written
};

// Message text in memory: a chain of chunks whose capacities add up to the
// size, grown by appending or enlarging the last chunk by at most 8192
// bytes at a time (content is never moved as a whole). Every chunk has room
// for 8192 bytes, and small writes fill the last chunk's room before a new
// chunk is made, so a text written line by line has size / 8192 chunks.
//
// Growing beyond `limit` bytes, or failing to get memory, leaves the content
// as it was, drops the write and sets status -4 (kStreamShortWrite); a
// message area that writes into the stream then answers no. Seeking past
// the end and writing there fills the gap with zero bytes.
class MemoryStream : public ByteStream {
 public:
  static constexpr int32_t kGrowthStep = 8192;
  static constexpr int32_t kDefaultLimit = 0x7FFFFFFF;

  explicit MemoryStream(int32_t limit = kDefaultLimit);
  ~MemoryStream() override;

  void CopyFrom(ByteStream* source, int32_t count) override;
  void Read(void* buffer, uint16_t count) override;
  void Write(const void* buffer, uint16_t count) override;
  void Seek(int32_t position) override;
  int32_t Position() override;
  int32_t Size() override;
  void Flush() override;
  void Truncate() override;
  void ResetStatus() override;
  int32_t View(const uint8_t** data) override;

  // The chunk capacities in order (tests and diagnostics).
  std::vector<int32_t> ChunkSizes() const;

 private:
  struct Chunk {
    std::unique_ptr<uint8_t[]> data;
    int32_t capacity = 0;   // bytes of content in this chunk
    int32_t allocated = 0;  // size of `data` (>= capacity after a shrink)
  };
  // Finds the chunk holding `position`; false when position >= size.
  bool Locate(int32_t position, size_t* chunk, int32_t* offset) const;
  // Grows the content to `new_size` bytes. The new bytes before
  // `filled_from` read as zero; those from there on are left for the
  // caller, who writes them next.
  bool Grow(int32_t new_size, int32_t filled_from);
  void Shrink(int32_t new_size);

  std::vector<Chunk> chunks_;
  // The chunk Locate found last and the stream position it starts at.
  mutable size_t hintChunk_ = 0;
  mutable int32_t hintStart_ = 0;
  int32_t position_ = 0;
  int32_t size_ = 0;
  int32_t limit_;
};

// Lists directory entries by a DOS pattern ("*", "?") and attribute mask.
// The fields describe the entry last found. Operations in slot order; the
// destructor is the Destroy slot.
class DirectoryScanner {
 public:
  DirectoryScanner();
  DirectoryScanner(const DirectoryScanner&) = delete;
  DirectoryScanner& operator=(const DirectoryScanner&) = delete;
  virtual ~DirectoryScanner();

  virtual bool StartSearch(std::string_view pattern, uint8_t attribute_mask);
  virtual bool NextMatch();
  virtual void EndSearch();

  std::string name;         // as stored on disk
  uint32_t attributes = 0;  // DOS attribute bits
  uint32_t time = 0;        // DOS packed last-write time
  uint32_t size = 0;

 private:
  std::unique_ptr<FileSearch> search_;
};

// The factories through which the message-base code creates streams and
// scanners. Files are reached through the current Env (platform/env.h).
//
// NewFileStream: the caller tests `status` of the result; non-zero means
// the open failed (the caller destroys the stream).
// NewMemoryStream: an empty stream; the size hint is not used.
std::unique_ptr<ByteStream> NewFileStream(std::string_view name,
                                          StreamMode mode);
std::unique_ptr<ByteStream> NewMemoryStream(int32_t size_hint);
std::unique_ptr<DirectoryScanner> NewDirectoryScanner();

// Attribute mask that lets every entry match.
inline constexpr uint8_t kScanAllEntries = 63;

// Deletes the file; true when that succeeded.
bool EraseFile(std::string_view name);
// Renames `from` to `to`, replacing `to` in one step; true when that
// succeeded.
bool ReplaceFile(std::string_view from, std::string_view to);
// Drops one trailing "\" (unless the path is a drive root such as C:\) and
// creates the directory; true when it was created.
bool MakeDirectory(std::string_view path);

}  // namespace kavel

#endif  // KAVEL_MSGBASE_BYTE_STREAM_H_
