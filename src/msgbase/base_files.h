// The file set of a Squish or JAM base: files that share one base path and
// differ by their extension. The first file of a set (the lead file: the
// Squish data file, the JAM header file) begins with the base header and
// carries the base lock (base_lock.h). Also the bounded reads and writes
// through which both formats move their records.
#ifndef KAVEL_MSGBASE_BASE_FILES_H_
#define KAVEL_MSGBASE_BASE_FILES_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace kavel {

class ByteStream;

// `path` with "." appended when it does not end in one; the files are
// named by appending their extensions.
std::string BasePath(std::string_view path);

// One file of a set.
struct BaseFile {
  std::string_view extension;
  std::unique_ptr<ByteStream>* stream;
  // status codes: the file does not exist (0: the file is optional and is
  // left unopened when it does not exist), cannot be opened, cannot be
  // created.
  int32_t missingError;
  int32_t openError;
  int32_t createError;
};

// Opens the files of an existing base at `base` (a BasePath): every file
// that is not optional must exist (checked for all, in order, before any
// is opened); each is opened for reading and writing, or for reading only
// when that is all it allows (*read_only := true then). False with *status
// set and every stream of the set closed on failure.
bool OpenBaseFiles(const std::string& base, std::span<const BaseFile> files,
                   bool* read_only, int32_t* status);

// Creates the files of a new base at `base`, which two writers may be
// creating at the same moment. The lead file (files[0]) is made
// exclusively or else opened as it is, and its base lock taken (lock_error
// when not had within the wait). Under the lock the base counts as made
// meanwhile by another writer when every file that is not optional exists
// and `laid_down` answers yes (it may read the lead file); then every file
// is opened as it is, and one that does not exist is made. Otherwise every
// file is made empty and `new_header` written at the start of the lead
// file; a header that does not reach the disk whole leaves the lead file
// empty again, so that the base counts as unfinished and the next writer
// lays it down. *made_meanwhile tells which happened. False with *status
// set, every stream closed and nothing written on failure. The lock is
// released before the answer.
bool CreateBaseFiles(const std::string& base, std::span<const BaseFile> files,
                     int32_t lock_error, const std::function<bool()>& laid_down,
                     std::string_view new_header, bool* made_meanwhile,
                     int32_t* status);

// Begins a change of an open base: takes the base lock, then reads the
// base header afresh through `read_header` (other writers may have changed
// the base since it was last read). False with *status := lock_error when
// the lock was not had within the wait, or header_error when the header
// cannot be read: the header held in memory must not be written over
// another writer's. Nothing is written either way; the lock is released
// when `lock` goes out of scope.
class BaseLock;
bool BeginBaseUpdate(BaseLock* lock, int32_t lock_error,
                     const std::function<bool()>& read_header,
                     int32_t header_error, int32_t* status);

// True when any file of the set at `base` exists.
bool AnyBaseFileExists(const std::string& base,
                       std::span<const BaseFile> files);
// True when the lead file exists and is empty and every other file is
// absent or empty: a creation under way, or one whose writer was killed.
bool BaseFilesEmpty(const std::string& base, std::span<const BaseFile> files);

// The size of a base file as last taken (*seen; -1: not yet) when the
// first `needed` bytes lie inside it, otherwise taken afresh (the file may
// have grown) and kept; 0 when it cannot be taken. Reads check against the
// file itself as well: one that got shorter meanwhile fails them.
int64_t SizeCovering(ByteStream* file, int64_t needed, int64_t* seen);

// Reads `count` bytes at `offset` when they all lie inside the stream's
// first `size` bytes (a size taken earlier in the same operation, or -1 to
// take it now) and the stream reads them; otherwise false with the
// stream's status reset. A file that got shorter since `size` was taken
// fails the read itself.
bool ReadAt(ByteStream* stream, int64_t offset, void* buffer, size_t count,
            int64_t size = -1);
// The same into *out (resized to `count`; empty on failure, a negative
// count included).
bool ReadAt(ByteStream* stream, int64_t offset, int64_t count, std::string* out,
            int64_t size = -1);
// Writes `count` bytes at the stream's position in pieces the stream takes;
// false when the stream failed (its status is left for the caller).
bool WriteAll(ByteStream* stream, const void* data, size_t count);
// Writes at `offset`; false as well when the bytes would reach past the
// largest stream position.
bool WriteAt(ByteStream* stream, int64_t offset, std::string_view data);

}  // namespace kavel

#endif  // KAVEL_MSGBASE_BASE_FILES_H_
