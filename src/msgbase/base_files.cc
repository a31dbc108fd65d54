#include "msgbase/base_files.h"

#include <algorithm>
#include <limits>

#include "msgbase/base_lock.h"
#include "msgbase/byte_stream.h"
#include "platform/file_queries.h"
#include "platform/platform.h"
#include "util/text.h"

namespace kavel {

namespace {

// Largest piece moved by one stream Read or Write.
constexpr size_t kPiece = 32768;
constexpr int64_t kMaxOffset = std::numeric_limits<int32_t>::max();

std::string FileName(const std::string& base, std::string_view extension) {
  return base + std::string(extension);
}

// An open stream for `name` in `mode`, or none.
std::unique_ptr<ByteStream> OpenStream(const std::string& name,
                                       StreamMode mode) {
  std::unique_ptr<ByteStream> stream = NewFileStream(name, mode);
  if (stream && stream->status == kStreamOk) return stream;
  return nullptr;
}

bool Fail(std::span<const BaseFile> files, int32_t code, int32_t* status) {
  for (const BaseFile& file : files) file.stream->reset();
  *status = code;
  return false;
}

}  // namespace

std::string BasePath(std::string_view path) {
  std::string base(path);
  if (base.empty() || base.back() != '.') base.push_back('.');
  return base;
}

bool OpenBaseFiles(const std::string& base, std::span<const BaseFile> files,
                   bool* read_only, int32_t* status) {
  for (const BaseFile& file : files) {
    if (file.missingError != 0 && !FileExists(FileName(base, file.extension))) {
      return Fail(files, file.missingError, status);
    }
  }
  for (const BaseFile& file : files) {
    const std::string name = FileName(base, file.extension);
    if (file.missingError == 0 && !FileExists(name)) continue;
    *file.stream = OpenStream(name, ModeOpenReadWrite);
    if (!*file.stream) {
      // A base the user may only read is opened for reading.
      *file.stream = OpenStream(name, ModeOpenRead);
      if (!*file.stream) return Fail(files, file.openError, status);
      *read_only = true;
    }
  }
  return true;
}

bool CreateBaseFiles(const std::string& base, std::span<const BaseFile> files,
                     int32_t lock_error, const std::function<bool()>& laid_down,
                     std::string_view new_header, bool* made_meanwhile,
                     int32_t* status) {
  const BaseFile& lead = files.front();
  const std::string lead_name = FileName(base, lead.extension);
  *lead.stream = OpenStream(lead_name, ModeCreateNew);
  if (!*lead.stream) *lead.stream = OpenStream(lead_name, ModeOpenReadWrite);
  if (!*lead.stream) return Fail(files, lead.createError, status);
  ByteStream* header = lead.stream->get();
  BaseLock lock(header);
  if (!lock.Acquire()) return Fail(files, lock_error, status);

  bool meanwhile = true;
  for (const BaseFile& file : files.subspan(1)) {
    if (file.missingError != 0 && !FileExists(FileName(base, file.extension))) {
      meanwhile = false;
    }
  }
  meanwhile = meanwhile && laid_down();
  for (const BaseFile& file : files.subspan(1)) {
    const std::string name = FileName(base, file.extension);
    const bool keep = meanwhile && FileExists(name);
    *file.stream = OpenStream(name, keep ? ModeOpenReadWrite : ModeCreate);
    if (!*file.stream) {
      lock.Release();
      return Fail(files, keep ? file.openError : file.createError, status);
    }
  }
  if (!meanwhile) {
    header->ResetStatus();
    header->Seek(0);
    header->Truncate();
    bool written = WriteAt(header, 0, new_header);
    if (written) {
      header->Flush();  // the header is on disk, or creation failed
      written = header->status == kStreamOk;
    }
    if (!written) {
      header->ResetStatus();
      header->Seek(0);
      header->Truncate();
      lock.Release();
      return Fail(files, lead.createError, status);
    }
  }
  *made_meanwhile = meanwhile;
  return true;
}

bool BeginBaseUpdate(BaseLock* lock, int32_t lock_error,
                     const std::function<bool()>& read_header,
                     int32_t header_error, int32_t* status) {
  if (!lock->Acquire()) {
    *status = lock_error;
    return false;
  }
  if (!read_header()) {
    *status = header_error;
    return false;
  }
  return true;
}

bool AnyBaseFileExists(const std::string& base,
                       std::span<const BaseFile> files) {
  return std::any_of(files.begin(), files.end(), [&](const BaseFile& file) {
    return FileExists(FileName(base, file.extension));
  });
}

bool BaseFilesEmpty(const std::string& base, std::span<const BaseFile> files) {
  uint64_t size = 0;
  if (!FileSize(FileName(base, files.front().extension), &size) || size != 0) {
    return false;
  }
  for (const BaseFile& file : files.subspan(1)) {
    const std::string name = FileName(base, file.extension);
    if (FileExists(name) && (!FileSize(name, &size) || size != 0)) return false;
  }
  return true;
}

int64_t SizeCovering(ByteStream* file, int64_t needed, int64_t* seen) {
  if (*seen >= 0 && needed <= *seen) return *seen;
  file->ResetStatus();
  const int64_t size = file->Size();
  if (file->status != kStreamOk || size < 0) return 0;
  *seen = size;
  return size;
}

bool ReadAt(ByteStream* stream, int64_t offset, void* buffer, size_t count,
            int64_t size) {
  if (size < 0) size = stream->Size();
  if (offset < 0 || offset > size ||
      static_cast<int64_t>(count) > size - offset) {
    stream->ResetStatus();
    return false;
  }
  stream->Seek(static_cast<int32_t>(offset));
  uint8_t* bytes = static_cast<uint8_t*>(buffer);
  while (count > 0 && stream->status == kStreamOk) {
    const size_t piece = std::min(count, kPiece);
    stream->Read(bytes, static_cast<uint16_t>(piece));
    bytes += piece;
    count -= piece;
  }
  if (stream->status != kStreamOk) {
    stream->ResetStatus();
    return false;
  }
  return true;
}

bool ReadAt(ByteStream* stream, int64_t offset, int64_t count, std::string* out,
            int64_t size) {
  out->clear();
  if (count < 0) return false;
  out->resize(static_cast<size_t>(count));
  if (ReadAt(stream, offset, out->data(), out->size(), size)) return true;
  out->clear();
  return false;
}

bool WriteAll(ByteStream* stream, const void* data, size_t count) {
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  while (count > 0 && stream->status == kStreamOk) {
    const size_t piece = std::min(count, kPiece);
    stream->Write(bytes, static_cast<uint16_t>(piece));
    bytes += piece;
    count -= piece;
  }
  return stream->status == kStreamOk;
}

bool WriteAt(ByteStream* stream, int64_t offset, std::string_view data) {
  if (offset < 0 || offset > kMaxOffset ||
      static_cast<int64_t>(data.size()) > kMaxOffset - offset) {
    return false;
  }
  stream->Seek(static_cast<int32_t>(offset));
  return stream->status == kStreamOk &&
         WriteAll(stream, data.data(), data.size());
}

}  // namespace kavel
