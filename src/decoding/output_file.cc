#include "decoding/output_file.h"

#include <algorithm>
#include <cstring>

#include "platform/platform.h"
#include "util/cpu_features.h"
#include "util/find_cr.h"
#include "util/text.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(KAVEL_HAVE_AVX2_TARGET)
#include <immintrin.h>
#endif

namespace kavel {
namespace {

constexpr size_t kFlushBytes = 64 * 1024;

// Copies the bytes of [in, end) up to and including the first CR (all of
// them when there is none) to `out`; answers how many. May store up to
// fifteen bytes more past them.
size_t CopyThroughCr(const char* in, const char* end, char* out) {
  size_t k = 0;
#if defined(__SSE2__)
  const __m128i cr = _mm_set1_epi8('\r');
  for (; end - in - static_cast<ptrdiff_t>(k) >= 16; k += 16) {
    const __m128i block =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + k));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), block);
    const unsigned crs =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, cr)));
    if (crs != 0) return k + static_cast<size_t>(__builtin_ctz(crs)) + 1;
  }
#endif
  for (; in + k < end; ++k) {
    out[k] = in[k];
    if (in[k] == '\r') return k + 1;
  }
  return k;
}

#if defined(KAVEL_HAVE_AVX2_TARGET)
// CopyThroughCr thirty-two bytes a step; may store up to thirty-one bytes
// more past what it copies.
KAVEL_AVX2_TARGET size_t CopyThroughCrWide(const char* in, const char* end,
                                           char* out) {
  size_t k = 0;
  const __m256i cr = _mm256_set1_epi8('\r');
  for (; end - in - static_cast<ptrdiff_t>(k) >= 32; k += 32) {
    const __m256i block =
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + k));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + k), block);
    const unsigned crs = static_cast<unsigned>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(block, cr)));
    if (crs != 0) return k + static_cast<size_t>(__builtin_ctz(crs)) + 1;
  }
  return k + CopyThroughCr(in + k, end, out + k);
}
#endif

// Copies lines ending in a CR, each maybe followed by an LF, to `out`,
// every line ending in CR LF there (a last line without a CR too); answers
// the bytes written. `out` must hold 2 * n + 32 bytes.
// Inlined into each caller, so that the AVX2 one gets its copy inlined too
// and pays no call per line.
template <size_t (*kCopyThroughCr)(const char*, const char*, char*)>
__attribute__((always_inline)) inline size_t CopyWithCrLf(const char* in,
                                                          size_t n, char* out) {
  const char* const end = in + n;
  char* const out_start = out;
  while (in < end) {
    const size_t k = kCopyThroughCr(in, end, out);
    in += k;
    out += k;
    if (out[-1] != '\r') *out++ = '\r';
    *out++ = '\n';
    if (in < end && *in == '\n') ++in;
  }
  return static_cast<size_t>(out - out_start);
}

#if defined(KAVEL_HAVE_AVX2_TARGET)
KAVEL_AVX2_TARGET size_t ConvertLinesWide(const char* in, size_t n, char* out) {
  return CopyWithCrLf<CopyThroughCrWide>(in, n, out);
}
#endif

// CopyWithCrLf by the widest copy this processor has.
size_t ConvertLines(const char* in, size_t n, char* out) {
#if defined(KAVEL_HAVE_AVX2_TARGET)
  if (UseAvx2()) return ConvertLinesWide(in, n, out);
#endif
  return CopyWithCrLf<CopyThroughCr>(in, n, out);
}

}  // namespace

void AppendLineCrLf(std::string_view line, std::string* out) {
  out->append(line);
  out->append("\r\n");
}

void AppendTextLinesCrLf(std::string_view lines, std::string* out) {
  // Converted a piece at a time on the stack and appended from there:
  // growing `out` by the most a conversion may need would first fill twice
  // the text with zeros. Pieces end after a line's CR (and its LF), so the
  // conversion sees whole lines and gives what one call over all would.
  constexpr size_t kPiece = 8192;
  // Room for a piece and the LF after its last CR, converted.
  char converted[2 * (kPiece + 1) + 32];
  while (!lines.empty()) {
    size_t n = std::min(lines.size(), kPiece);
    while (n < lines.size() && n > 0 && lines[n - 1] != '\r') --n;
    if (n == 0) {
      // One line longer than a piece: it alone is converted in `out`.
      n = std::min(FindCr(lines.data(), 0, lines.size()) + 1, lines.size());
    }
    if (n < lines.size() && lines[n] == '\n') ++n;
    if (2 * n + 32 <= sizeof converted) {
      out->append(converted, ConvertLines(lines.data(), n, converted));
    } else {
      const size_t used = out->size();
      out->resize(used + 2 * n + 32);
      out->resize(used + ConvertLines(lines.data(), n, out->data() + used));
    }
    lines.remove_prefix(n);
  }
}

OutputFile::OutputFile(std::string* buffer)
    : buffer_(buffer != nullptr ? *buffer : own_buffer_) {}

OutputFile::~OutputFile() { Discard(); }

bool OutputFile::CreateNew(std::string_view path, int* error) {
  Discard();
  int open_error = 0;
  file_ = OpenPlatformFile(path, FileMode::kCreateNew, &open_error);
  if (error != nullptr) *error = open_error;
  if (!file_) return false;
  Start(path);
  return true;
}

bool OutputFile::CreateUnnamed(std::string_view dir) {
  Discard();
  file_ = OpenUnnamedFile(dir);
  if (!file_) return false;
  Start("");
  return true;
}

void OutputFile::Start(std::string_view path) {
  path_ = std::string(path);
  failed_ = false;
  if (buffer_.size() < kFlushBytes) buffer_.resize(kFlushBytes);
  used_ = 0;
  size_ = 0;
}

bool OutputFile::Finish() { return file_ && Flush(); }

bool OutputFile::LinkAs(std::string_view path, int* error) {
  *error = kErrorOther;
  return file_ && !failed_ && file_->LinkAs(path, error);
}

void OutputFile::WriteLine(std::string_view line) {
  if (!file_ || failed_) return;
  size_ += line.size() + 2;
  if (line.size() + 2 <= buffer_.size() - used_) {
    char* at = buffer_.data() + used_;
    std::memcpy(at, line.data(), line.size());
    at[line.size()] = '\r';
    at[line.size() + 1] = '\n';
    used_ += line.size() + 2;
    return;
  }
  Append(line);
  Append("\r\n");
}

void OutputFile::WriteTextLines(std::string_view lines) {
  if (!file_ || failed_) return;
  // Every byte becomes two at most, and the copy stores up to thirty-two
  // bytes at a time, some of them past what it keeps.
  const size_t most = 2 * lines.size() + 32;
  if (most > buffer_.size() - used_) {
    if (!Flush()) return;
    if (most > buffer_.size()) {
      // A piece too long for the buffer goes line by line.
      while (!lines.empty()) {
        const size_t end = FindCr(lines.data(), 0, lines.size());
        WriteLine(lines.substr(0, end));
        size_t next = std::min(end + 1, lines.size());
        if (next < lines.size() && lines[next] == '\n') ++next;
        lines.remove_prefix(next);
      }
      return;
    }
  }
  const size_t n =
      ConvertLines(lines.data(), lines.size(), buffer_.data() + used_);
  used_ += n;
  size_ += n;
}

void OutputFile::WriteBytes(std::string_view bytes) {
  if (!file_ || failed_) return;
  size_ += bytes.size();
  Append(bytes);
}

void OutputFile::Append(std::string_view bytes) {
  if (bytes.size() > buffer_.size() - used_) {
    if (!Flush()) return;
    if (bytes.size() > buffer_.size()) {
      if (!file_->Write(bytes.data(), bytes.size())) failed_ = true;
      return;
    }
  }
  std::memcpy(buffer_.data() + used_, bytes.data(), bytes.size());
  used_ += bytes.size();
}

bool OutputFile::Flush() {
  if (!failed_ && used_ > 0 && !file_->Write(buffer_.data(), used_)) {
    failed_ = true;
  }
  used_ = 0;
  return !failed_;
}

bool OutputFile::Close() {
  if (!file_) return false;
  Flush();
  file_.reset();
  if (failed_) {
    if (!path_.empty()) DeleteFile(path_);
    path_.clear();
    return false;
  }
  path_.clear();
  return true;
}

void OutputFile::Discard() {
  if (!file_) return;
  file_.reset();
  if (!path_.empty()) DeleteFile(path_);
  path_.clear();
  buffer_.clear();
}

namespace {

constexpr int kTempAttempts = 1000;

// The n-th temporary name beside `target` (same directory, so the final
// rename stays on one file system): "<target>.kv$", then ".kv$1", ...
std::string TempNameBeside(const std::string& target, int n) {
  std::string name = target + ".kv$";
  if (n > 0) name += IntToText(n);
  return name;
}

}  // namespace

bool CreateForPlacing(OutputFile* out, std::string_view dir,
                      const std::string& target) {
  if (out->CreateUnnamed(dir)) return true;
  for (int n = 0; n < kTempAttempts; ++n) {
    const std::string candidate = TempNameBeside(target, n);
    // A name another run holds may be gone again by the time it is
    // looked at, so the refusal itself tells that it was taken.
    int error = kErrorNone;
    if (out->CreateNew(candidate, &error)) return true;
    if (error == kErrorExists || PathExists(candidate)) continue;
    return false;
  }
  return false;
}

bool ClaimName(OutputFile* out, const std::string& temp, bool replace,
               const std::string& target, int* error) {
  *error = kErrorNone;
  if (!temp.empty()) {
    return replace ? RenameFile(temp, target)
                   : RenameFileNoReplace(temp, target, error);
  }
  if (!replace) return out->LinkAs(target, error);
  // A link never replaces: the file takes a name of its own beside the
  // target first, and that name is renamed over it.
  for (int n = 0; n < kTempAttempts; ++n) {
    const std::string candidate = TempNameBeside(target, n);
    if (out->LinkAs(candidate, error)) {
      if (RenameFile(candidate, target)) return true;
      DeleteFile(candidate);
      return false;
    }
    if (*error != kErrorExists) return false;
  }
  return false;
}

}  // namespace kavel
