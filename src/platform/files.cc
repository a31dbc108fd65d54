// Files of bytes, line-oriented text files and directory entries on Linux.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/path_cache.h"
#include "platform/platform.h"
#include "platform/posix_env.h"
#include "util/find_cr.h"

namespace kavel {
namespace {

using platform_internal::ErrorFromErrno;
using platform_internal::NoteEntryCreated;
using platform_internal::NoteEntryRemoved;

// Opens `native` with `flags`; refuses directories (as DOS does) with
// kErrorAccess. Returns -1 with *error set on failure.
int OpenNative(const std::string& native, int flags, int* error) {
  int fd;
  do {
    fd = open(native.c_str(), flags | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    *error = ErrorFromErrno(errno);
    return -1;
  }
  // Only a read-only open can succeed on a directory (the kernel refuses
  // writing ones with EISDIR).
  struct stat st;
  if ((flags & O_ACCMODE) == O_RDONLY &&
      (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode))) {
    close(fd);
    *error = kErrorAccess;
    return -1;
  }
  *error = kErrorNone;
  return fd;
}

// Opens an existing entry at the literal spelling of `path` when it is
// there (no lookup needed), otherwise where NativePath finds it.
int OpenExisting(std::string_view path, int flags, int* error) {
  const std::string literal = platform_internal::LiteralNativePath(path);
  if (!literal.empty()) {
    const int fd = OpenNative(literal, flags, error);
    if (fd >= 0) return fd;
  }
  return OpenNative(NativePath(path), flags, error);
}

// Opens an existing entry for appending, or creates it exclusively (so
// that two processes creating it at once share one file); never empties
// it. Returns -1 with *error set on failure.
int OpenForAppending(std::string_view path, bool* created, int* error) {
  *created = false;
  for (int attempt = 0; attempt < 2; ++attempt) {
    int fd = OpenExisting(path, O_WRONLY | O_APPEND, error);
    if (fd >= 0 || *error != kErrorNotFound) return fd;
    const std::string native = NativePath(path);
    fd = OpenNative(native, O_WRONLY | O_APPEND | O_CREAT | O_EXCL, error);
    if (fd >= 0) {
      NoteEntryCreated(native);
      *created = true;
      return fd;
    }
    if (*error != kErrorExists) return -1;
  }
  return -1;
}

bool WriteAll(int fd, const char* data, size_t n) {
  while (n > 0) {
    ssize_t written = write(fd, data, n);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (written == 0) {
      errno = ENOSPC;
      return false;
    }
    data += written;
    n -= static_cast<size_t>(written);
  }
  return true;
}

// The native path that a new entry `path` gets; false (*error
// kErrorExists) when the name is taken in any letter case: "12.MSG" of
// another program takes "12.msg" as well. Callers drain the watch's queue
// once for the call (OneWatchDrainScope).
bool NativePathOfFreeName(std::string_view path, std::string* native,
                          int* error) {
  *native = platform_internal::NativePathForNewEntry(path);
  if (platform_internal::NameTakenInAnyCase(*native)) {
    *error = kErrorExists;
    return false;
  }
  return true;
}

// Links the file open as `fd` under `native_to`; false with errno set.
// Linking the descriptor itself (AT_EMPTY_PATH) spares the walk through
// /proc, but kernels before 6.10 allow it only with CAP_DAC_READ_SEARCH
// (ENOENT otherwise); once the walk through /proc succeeds where the
// direct link was refused, it alone is used.
bool LinkOpenFile(int fd, const std::string& native_to) {
  static std::atomic<bool> direct{true};
  const bool try_direct = direct.load(std::memory_order_relaxed);
  if (try_direct) {
    if (linkat(fd, "", AT_FDCWD, native_to.c_str(), AT_EMPTY_PATH) == 0) {
      return true;
    }
    if (errno != ENOENT && errno != EPERM && errno != EINVAL) return false;
  }
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, native_to.c_str(),
             AT_SYMLINK_FOLLOW) != 0) {
    return false;
  }
  if (try_direct) direct.store(false, std::memory_order_relaxed);
  return true;
}

class LinuxFile : public PlatformFile {
 public:
  LinuxFile(int fd, bool writable, bool unnamed = false)
      : fd_(fd), writable_(writable), unnamed_(unnamed) {}
  ~LinuxFile() override { close(fd_); }

  bool LinkAs(std::string_view path, int* error) override {
    if (!unnamed_) {
      *error = kErrorOther;
      return false;
    }
    std::string native_to;
    {
      platform_internal::OneWatchDrainScope one_drain;
      if (!NativePathOfFreeName(path, &native_to, error)) return false;
    }
    // The link refuses a name that exists, as a rename that must not
    // replace does; the path cache is free for other threads meanwhile.
    if (!LinkOpenFile(fd_, native_to)) {
      *error = ErrorFromErrno(errno);
      return false;
    }
    unnamed_ = false;
    NoteEntryCreated(native_to);
    return true;
  }

  bool Read(void* buffer, size_t n, size_t* got) override {
    return ReadFully(n, got, [&](size_t done) {
      return read(fd_, static_cast<char*>(buffer) + done, n - done);
    });
  }

  bool Write(const void* buffer, size_t n) override {
    if (!WriteAll(fd_, static_cast<const char*>(buffer), n)) return Fail();
    return true;
  }

  bool ReadAt(uint64_t offset, void* buffer, size_t n, size_t* got) override {
    *got = 0;
    if (offset > static_cast<uint64_t>(INT64_MAX) - n) {
      error_ = kErrorOther;
      return false;
    }
    return ReadFully(n, got, [&](size_t done) {
      return pread(fd_, static_cast<char*>(buffer) + done, n - done,
                   static_cast<off_t>(offset + done));
    });
  }

  bool WriteAt(uint64_t offset, const void* buffer, size_t n) override {
    const char* data = static_cast<const char*>(buffer);
    if (offset > static_cast<uint64_t>(INT64_MAX) - n) {
      error_ = kErrorOther;
      return false;
    }
    while (n > 0) {
      ssize_t written = pwrite(fd_, data, n, static_cast<off_t>(offset));
      if (written < 0) {
        if (errno == EINTR) continue;
        return Fail();
      }
      if (written == 0) {
        errno = ENOSPC;
        return Fail();
      }
      data += written;
      offset += static_cast<uint64_t>(written);
      n -= static_cast<size_t>(written);
    }
    return true;
  }

  bool Seek(uint64_t position) override {
    if (position > static_cast<uint64_t>(INT64_MAX)) {
      error_ = kErrorOther;
      return false;
    }
    if (lseek(fd_, static_cast<off_t>(position), SEEK_SET) < 0) return Fail();
    return true;
  }

  bool Size(uint64_t* size) override {
    struct stat st;
    if (fstat(fd_, &st) != 0) return Fail();
    *size = static_cast<uint64_t>(st.st_size);
    return true;
  }

  bool Truncate(uint64_t size) override {
    // A file already of that size is left alone: cutting a file to zero
    // bytes makes ext4 write all of it out when it is closed, which for a
    // base just created costs more than writing the base.
    struct stat st;
    if (fstat(fd_, &st) == 0 && static_cast<uint64_t>(st.st_size) == size) {
      return true;
    }
    if (ftruncate(fd_, static_cast<off_t>(size)) != 0) return Fail();
    return true;
  }

  bool Sync() override {
    if (fsync(fd_) != 0) return Fail();
    return true;
  }

  bool LockRange(uint64_t offset, uint64_t length, int timeout_ms) override {
    struct flock lock;
    std::memset(&lock, 0, sizeof lock);
    lock.l_type = writable_ ? F_WRLCK : F_RDLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = static_cast<off_t>(offset);
    lock.l_len = static_cast<off_t>(length);
    // Locks held for microseconds (a sequence file) are retried soon; the
    // pause doubles up to 10 ms for locks held longer (a base being
    // written).
    int64_t waited_us = 0;
    int pause_us = 50;
    while (fcntl(fd_, F_SETLK, &lock) != 0) {
      if (errno != EACCES && errno != EAGAIN && errno != EINTR) return Fail();
      if (waited_us >= int64_t{timeout_ms} * 1000) {
        error_ = kErrorAccess;
        return false;
      }
      SleepMicroseconds(pause_us);
      waited_us += pause_us;
      pause_us = std::min(pause_us * 2, 10000);
    }
    return true;
  }

  void UnlockRange(uint64_t offset, uint64_t length) override {
    struct flock lock;
    std::memset(&lock, 0, sizeof lock);
    lock.l_type = F_UNLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = static_cast<off_t>(offset);
    lock.l_len = static_cast<off_t>(length);
    fcntl(fd_, F_SETLK, &lock);
  }

  int last_error() const override { return error_; }

 private:
  // Reads with `read_some(done)` (the count read, 0 at the end of the
  // file, -1 with errno) until n bytes are read or the file ends; an
  // interrupted read is retried. *got receives the count.
  template <typename ReadSome>
  bool ReadFully(size_t n, size_t* got, ReadSome read_some) {
    size_t total = 0;
    while (total < n) {
      const ssize_t r = read_some(total);
      if (r < 0) {
        if (errno == EINTR) continue;
        *got = total;
        return Fail();
      }
      if (r == 0) break;
      total += static_cast<size_t>(r);
    }
    *got = total;
    return true;
  }

  bool Fail() {
    error_ = ErrorFromErrno(errno);
    return false;
  }

  int fd_;
  bool writable_;
  bool unnamed_;  // made by OpenUnnamedFile and not linked yet
  int error_ = kErrorNone;
};

class LinuxTextReader : public TextReader {
 public:
  explicit LinuxTextReader(int fd) : fd_(fd) {}
  ~LinuxTextReader() override { close(fd_); }

  bool ReadLine(std::string* line) override {
    line->clear();
    bool any = false;
    for (;;) {
      if (pos_ == end_ && !Fill()) return any;
      any = true;
      // The line runs to the first CR or LF in the buffer, or past it.
      const char* from = buffer_ + pos_;
      const size_t n = end_ - pos_;
      const char* stop = FirstLineEnd(from, n);
      if (stop == nullptr) {
        line->append(from, n);
        pos_ = end_;
        continue;
      }
      line->append(from, static_cast<size_t>(stop - from));
      pos_ += static_cast<size_t>(stop - from) + 1;
      if (*stop == '\r') {
        if (pos_ == end_ && !Fill()) return true;
        if (buffer_[pos_] == '\n') ++pos_;
      }
      return true;
    }
  }

 private:
  // The first CR or LF in bytes[0, n), or null.
  static const char* FirstLineEnd(const char* bytes, size_t n) {
    const size_t at = FindCrOrLf(bytes, 0, n);
    return at < n ? bytes + at : nullptr;
  }

  bool Fill() {
    for (;;) {
      ssize_t r = read(fd_, buffer_, sizeof buffer_);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) return false;
      pos_ = 0;
      end_ = static_cast<size_t>(r);
      return true;
    }
  }

  int fd_;
  char buffer_[65536];
  size_t pos_ = 0;
  size_t end_ = 0;
};

class LinuxTextWriter : public TextWriter {
 public:
  explicit LinuxTextWriter(int fd) : fd_(fd) {}
  ~LinuxTextWriter() override { Close(); }

  bool WriteLine(std::string_view line) override {
    if (fd_ < 0) return false;
    buffer_.append(line);
    buffer_.append("\r\n");
    return buffer_.size() < kFlushAt || Flush();
  }

  bool WriteRaw(std::string_view bytes) override {
    if (fd_ < 0) return false;
    buffer_.append(bytes);
    return buffer_.size() < kFlushAt || Flush();
  }

  bool Flush() override {
    if (fd_ < 0) return false;
    if (!buffer_.empty()) {
      if (!WriteAll(fd_, buffer_.data(), buffer_.size())) failed_ = true;
      buffer_.clear();
    }
    return !failed_;
  }

  bool Close() override {
    if (fd_ < 0) return !failed_;
    Flush();
    if (close(fd_) != 0) failed_ = true;
    fd_ = -1;
    return !failed_;
  }

 private:
  static constexpr size_t kFlushAt = 65536;
  int fd_;
  std::string buffer_;
  bool failed_ = false;
};

}  // namespace

std::unique_ptr<PlatformFile> PosixEnv::OpenFile(std::string_view path,
                                                 FileMode mode, int* error) {
  int flags = 0;
  bool creates = false;
  switch (mode) {
    case FileMode::kCreate:
      flags = O_RDWR | O_CREAT | O_TRUNC;
      creates = true;
      break;
    case FileMode::kOpenReadWrite:
      flags = O_RDWR;
      break;
    case FileMode::kOpenRead:
      flags = O_RDONLY;
      break;
    case FileMode::kOpenWrite:
      flags = O_WRONLY;
      break;
    case FileMode::kCreateNew:
      flags = O_RDWR | O_CREAT | O_EXCL;
      creates = true;
      break;
    case FileMode::kAppend:
      flags = O_WRONLY | O_APPEND;
      break;
  }
  int ignored;
  if (error == nullptr) error = &ignored;
  if (mode == FileMode::kAppend) {
    bool created = false;
    const int fd = OpenForAppending(path, &created, error);
    if (fd < 0) return nullptr;
    return std::make_unique<LinuxFile>(fd, true);
  }
  if (!creates) {
    const int fd = OpenExisting(path, flags, error);
    if (fd < 0) return nullptr;
    return std::make_unique<LinuxFile>(fd, mode != FileMode::kOpenRead);
  }
  const bool create_new = mode == FileMode::kCreateNew;
  platform_internal::OneWatchDrainScope one_drain;
  std::string native;
  if (!create_new) {
    native = NativePath(path);
  } else if (!NativePathOfFreeName(path, &native, error)) {
    return nullptr;
  }
  int fd = OpenNative(native, flags, error);
  if (fd < 0) return nullptr;
  if (creates) NoteEntryCreated(native);
  return std::make_unique<LinuxFile>(fd, mode != FileMode::kOpenRead);
}

std::unique_ptr<PlatformFile> PosixEnv::OpenUnnamedFile(std::string_view dir) {
  // LinkAs names the file through its entry under /proc.
  static const bool can_link = access("/proc/self/fd", X_OK) == 0;
  if (!can_link) return nullptr;
  std::string native = dir.empty() ? std::string(".") : NativePath(dir);
  int fd;
  do {
    fd = open(native.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return nullptr;
  return std::make_unique<LinuxFile>(fd, true, true);
}

std::unique_ptr<TextReader> PosixEnv::OpenTextReader(std::string_view path,
                                                     int* error) {
  int ignored;
  if (error == nullptr) error = &ignored;
  const int fd = OpenExisting(path, O_RDONLY, error);
  if (fd < 0) return nullptr;
  return std::make_unique<LinuxTextReader>(fd);
}

std::unique_ptr<TextWriter> PosixEnv::OpenTextWriter(std::string_view path,
                                                     bool append, int* error) {
  int ignored;
  if (error == nullptr) error = &ignored;
  std::string native = NativePath(path);
  int flags = append ? (O_WRONLY | O_APPEND) : (O_WRONLY | O_CREAT | O_TRUNC);
  int fd = OpenNative(native, flags, error);
  if (fd < 0) return nullptr;
  if (!append) NoteEntryCreated(native);
  return std::make_unique<LinuxTextWriter>(fd);
}

std::unique_ptr<TextWriter> PosixEnv::OpenTextAppender(std::string_view path,
                                                       bool* created,
                                                       int* error) {
  int ignored;
  if (error == nullptr) error = &ignored;
  const int fd = OpenForAppending(path, created, error);
  if (fd < 0) return nullptr;
  return std::make_unique<LinuxTextWriter>(fd);
}

bool PosixEnv::CreateDirectory(std::string_view path) {
  std::string native = NativePath(path);
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  if (native.empty()) return false;
  if (mkdir(native.c_str(), 0777) != 0) return false;
  NoteEntryCreated(native);
  return true;
}

bool PosixEnv::DeleteFile(std::string_view path) {
  std::string native = NativePath(path);
  struct stat st;
  // Directories are not files (DOS refuses to delete them this way).
  if (lstat(native.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  if (unlink(native.c_str()) != 0) return false;
  NoteEntryRemoved(native);
  return true;
}

bool PosixEnv::RenameFile(std::string_view from, std::string_view to) {
  std::string native_from = NativePath(from);
  std::string native_to = NativePath(to);
  if (rename(native_from.c_str(), native_to.c_str()) != 0) return false;
  NoteEntryRemoved(native_from);
  NoteEntryCreated(native_to);
  return true;
}

bool PosixEnv::RenameFileNoReplace(std::string_view from, std::string_view to,
                                   int* error) {
  int ignored;
  if (error == nullptr) error = &ignored;
  // `from` is usually where it is spelled; only when the rename misses it
  // is it looked up.
  std::string native_from = platform_internal::LiteralNativePath(from);
  platform_internal::OneWatchDrainScope one_drain;
  std::string native_to;
  if (!NativePathOfFreeName(to, &native_to, error)) return false;
  const char* new_name = native_to.c_str();
  auto claim = [new_name](const std::string& from_name) {
    return renameat2(AT_FDCWD, from_name.c_str(), AT_FDCWD, new_name,
                     RENAME_NOREPLACE) == 0;
  };
  bool renamed = !native_from.empty() && claim(native_from);
  if (!renamed && (native_from.empty() || errno == ENOENT)) {
    const int saved = errno;
    std::string looked_up = NativePath(from);
    if (looked_up != native_from) {
      native_from = std::move(looked_up);
      renamed = claim(native_from);
    } else {
      errno = saved;
    }
  }
  const char* old_name = native_from.c_str();
  if (!renamed && (errno == EINVAL || errno == ENOSYS)) {
    // A file system without the flag: a second link refuses an existing
    // name as well; then the old name goes.
    renamed = link(old_name, new_name) == 0;
    if (renamed) {
      unlink(old_name);
    } else if (errno == EPERM || errno == EOPNOTSUPP) {
      // Nor hard links (vfat): the name is claimed by creating it
      // exclusively, then replaced.
      const int fd =
          open(new_name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd >= 0) {
        close(fd);
        renamed = rename(old_name, new_name) == 0;
        if (!renamed) {
          const int saved = errno;
          unlink(new_name);
          errno = saved;
        }
      }
    }
  }
  if (!renamed) {
    *error = ErrorFromErrno(errno);
    return false;
  }
  NoteEntryRemoved(native_from);
  NoteEntryCreated(native_to);
  *error = kErrorNone;
  return true;
}

namespace {

// stat (or lstat) of the entry `path` names: at its literal spelling when
// it is there, otherwise where NativePath finds it.
bool StatPath(std::string_view path, bool follow, struct stat* st) {
  auto query = [follow, st](const std::string& native) {
    return (follow ? stat(native.c_str(), st) : lstat(native.c_str(), st)) == 0;
  };
  const std::string literal = platform_internal::LiteralNativePath(path);
  if (literal.empty()) return query(NativePath(path));
  if (query(literal)) return true;
  // Missing as spelled: only another spelling can still name it.
  std::string native;
  return platform_internal::NativePathOfMissingLiteral(path, &native) &&
         query(native);
}

}  // namespace

bool PosixEnv::PathExists(std::string_view path) {
  // A watched directory knows its entries without a stat.
  bool exists = false;
  if (platform_internal::WatchedEntryExists(path, &exists)) return exists;
  struct stat st;
  return StatPath(path, false, &st);
}

bool PosixEnv::IsDirectory(std::string_view path) {
  struct stat st;
  return StatPath(path, true, &st) && S_ISDIR(st.st_mode);
}

bool PosixEnv::FileSize(std::string_view path, uint64_t* size) {
  struct stat st;
  if (!StatPath(path, true, &st)) return false;
  *size = static_cast<uint64_t>(st.st_size);
  return true;
}

bool PosixEnv::ExamineFile(std::string_view path, FileFacts* facts) {
  std::string native = platform_internal::LiteralNativePath(path);
  struct stat st;
  if (native.empty() || stat(native.c_str(), &st) != 0) {
    native = NativePath(path);
    if (stat(native.c_str(), &st) != 0) return false;
  }
  facts->regular = S_ISREG(st.st_mode);
  facts->size = static_cast<uint64_t>(st.st_size);
  char* resolved = realpath(native.c_str(), nullptr);
  facts->canonical = resolved != nullptr ? std::string(resolved) : native;
  std::free(resolved);
  return true;
}

}  // namespace kavel
