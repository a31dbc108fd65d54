#include "msgbase/msgid_sequence.h"

#include <memory>

#include "platform/platform.h"

namespace kavel {
namespace {

constexpr size_t kRecordSize = 10;  // eight digits, CR, LF
constexpr size_t kReadLimit = 64;   // enough to tell a record from garble

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Eight hex digits, then nothing but line ends and blanks.
bool ParseRecord(const char* data, size_t size, uint32_t* value) {
  if (size < 8) return false;
  uint32_t v = 0;
  for (size_t i = 0; i < 8; ++i) {
    const int digit = HexDigit(data[i]);
    if (digit < 0) return false;
    v = (v << 4) | static_cast<uint32_t>(digit);
  }
  for (size_t i = 8; i < size; ++i) {
    if (data[i] != '\r' && data[i] != '\n' && data[i] != ' ') return false;
  }
  *value = v;
  return true;
}

bool WriteRecord(PlatformFile* file, uint32_t value, uint64_t old_size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  char record[kRecordSize];
  for (int i = 7; i >= 0; --i) {
    record[i] = kDigits[value & 0xF];
    value >>= 4;
  }
  record[8] = '\r';
  record[9] = '\n';
  if (!file->Seek(0) || !file->Write(record, kRecordSize)) return false;
  return old_size <= kRecordSize || file->Truncate(kRecordSize);
}

// Opens the file for reading and writing, creating it when missing; a
// creation raced by another process opens that process's file.
std::unique_ptr<PlatformFile> OpenOrCreate(std::string_view path) {
  int error = kErrorNone;
  for (int attempt = 0; attempt < 2; ++attempt) {
    auto file = OpenPlatformFile(path, FileMode::kOpenReadWrite, &error);
    if (file || error != kErrorNotFound) return file;
    file = OpenPlatformFile(path, FileMode::kCreateNew, &error);
    if (file || error != kErrorExists) return file;
  }
  return nullptr;
}

}  // namespace

SequenceTake TakeSequenceSerial(std::string_view path, uint32_t clock_value,
                                const std::function<uint32_t()>& fallback,
                                uint32_t* serial, uint32_t count) {
  std::unique_ptr<PlatformFile> file = OpenOrCreate(path);
  if (!file || !file->LockRange(0, 1, kSequenceLockTimeoutMs)) {
    return SequenceTake::kFailed;
  }
  char data[kReadLimit];
  size_t got = 0;
  uint64_t size = 0;
  if (!file->Size(&size) || !file->Read(data, sizeof data, &got)) {
    file->UnlockRange(0, 1);
    return SequenceTake::kFailed;
  }
  uint32_t last = 0;
  SequenceTake outcome = SequenceTake::kTaken;
  uint32_t next = clock_value;
  if (size == 0) {
    // No serial given out yet.
  } else if (size <= kReadLimit && ParseRecord(data, got, &last)) {
    if (last + 1 > next) next = last + 1;
  } else {
    outcome = SequenceTake::kRewritten;
    next = fallback();
    count = 1;
  }
  const bool stored =
      WriteRecord(file.get(), next + (count > 0 ? count - 1 : 0), size);
  file->UnlockRange(0, 1);
  if (!stored) {
    if (outcome == SequenceTake::kTaken) return SequenceTake::kFailed;
    outcome = SequenceTake::kGarbled;
  }
  *serial = next;
  return outcome;
}

bool ReturnSequenceSerials(std::string_view path, uint32_t reserved_last,
                           uint32_t last_used) {
  auto file = OpenPlatformFile(path, FileMode::kOpenReadWrite, nullptr);
  if (!file || !file->LockRange(0, 1, kSequenceLockTimeoutMs)) return false;
  char data[kReadLimit];
  size_t got = 0;
  uint64_t size = 0;
  uint32_t stored = 0;
  bool ok = file->Size(&size) && file->Read(data, sizeof data, &got);
  if (ok && size <= kReadLimit && ParseRecord(data, got, &stored) &&
      stored == reserved_last) {
    ok = WriteRecord(file.get(), last_used, size);
  }
  file->UnlockRange(0, 1);
  return ok;
}

}  // namespace kavel
