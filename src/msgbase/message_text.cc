#include "msgbase/message_text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "msgbase/byte_stream.h"
#include "util/find_cr.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include "util/cpu_features.h"
#if defined(KAVEL_HAVE_AVX2_TARGET)
#include <immintrin.h>
#endif

namespace kavel {

namespace {

constexpr char kCr = 0x0D;
constexpr char kLf = 0x0A;
constexpr size_t kUnlimited = static_cast<size_t>(-1);

bool StartsWith(std::string_view line, std::string_view name) {
  return line.size() >= name.size() && line.substr(0, name.size()) == name;
}

// Hint every caller passes to NewMemoryStream.
constexpr int32_t kTextSizeHint = 65536;

// Rewrites the text: every line passes through `keep`; lines it returns
// true for are written back (possibly changed) with one CR. Answers the
// new stream, or null when it could not be built.
template <typename Rewrite>
std::unique_ptr<ByteStream> RewriteLines(ByteStream* text, Rewrite rewrite,
                                         bool* any_matched) {
  std::unique_ptr<ByteStream> out = NewMemoryStream(kTextSizeHint);
  *any_matched = false;
  text->Seek(0);
  std::string line;
  while (!AtEndOfText(text)) {
    ReadTextLine(text, &line, kUnlimited);
    if (rewrite(&line, any_matched) && !WriteTextLine(out.get(), line)) {
      return nullptr;
    }
  }
  return out->status == kStreamOk ? std::move(out) : nullptr;
}

}  // namespace

bool AtEndOfText(ByteStream* text) { return text->Position() >= text->Size(); }

namespace {

// Offset of the first CR or zero byte in bytes[0, n), or n.
size_t LineEnd(const char* bytes, size_t n) {
  const void* cr = std::memchr(bytes, kCr, n);
  size_t end =
      cr ? static_cast<size_t>(static_cast<const char*>(cr) - bytes) : n;
  const void* zero = std::memchr(bytes, 0, end);
  return zero ? static_cast<size_t>(static_cast<const char*>(zero) - bytes)
              : end;
}

}  // namespace

void ReadTextLine(ByteStream* text, std::string* line, size_t max_length) {
  line->clear();
  char piece[1024];
  for (;;) {
    int32_t position = text->Position();
    int32_t available = text->Size() - position;
    if (available <= 0 || position < 0) return;
    // Text held in memory is looked at where it lies; other streams are
    // read a piece at a time.
    const uint8_t* view = nullptr;
    int32_t viewed = text->View(&view);
    const char* bytes = piece;
    size_t n;
    if (viewed > 0) {
      bytes = reinterpret_cast<const char*>(view);
      n = static_cast<size_t>(std::min(viewed, available));
    } else {
      n = static_cast<uint16_t>(
          std::min<int32_t>(available, static_cast<int32_t>(sizeof piece)));
      text->Read(piece, static_cast<uint16_t>(n));
    }
    size_t end = LineEnd(bytes, n);
    size_t room = max_length - line->size();
    line->append(bytes, std::min(end, room));
    if (end == n) {  // no line end yet: go on after what was looked at
      text->Seek(position + static_cast<int32_t>(n));
      continue;
    }
    int32_t after = position + static_cast<int32_t>(end) + 1;
    char next = 0;
    if (end + 1 < n) {
      next = bytes[end + 1];
    } else if (after < text->Size()) {
      text->Seek(after);
      text->Read(&next, 1);
    }
    text->Seek(next == kLf ? after + 1 : after);
    return;
  }
}

TextLineWalk::TextLineWalk(ByteStream* text, size_t max_length)
    : text_(text),
      max_length_(max_length),
      pos_(text->Position()),
      size_(text->Size()) {}

void TextLineWalk::Restart(ByteStream* text) {
  text_ = text;
  pos_ = text->Position();
  size_ = text->Size();
  view_ = nullptr;
  view_start_ = 0;
  view_len_ = 0;
  zero_at_ = 0;
}

namespace {

// FindCr at int32_t offsets (those of a stream).
int32_t FindCrAt(const char* bytes, int32_t from, int32_t to) {
  return static_cast<int32_t>(
      FindCr(bytes, static_cast<size_t>(from), static_cast<size_t>(to)));
}

#if defined(__SSE2__)
// For a walk passing over lines: the offset of the first CR in
// bytes[from, to - 1) whose next byte may lead a line that `leads` admits
// (a marked byte, or a byte up to 0x20: blank, 0x01, LF, ... which the
// caller looks at closely), or -1 when none is found before the last
// sixteen bytes. *line gets the offset after the last CR passed over (the
// start of a line not admitted) and is left alone while none is.
// Precondition: leads.marked <= LineLeads::kFewLeads.
int32_t FindCrBeforeLead(const char* bytes, int32_t from, int32_t to,
                         const LineLeads& leads, int32_t* line) {
  const __m128i cr = _mm_set1_epi8(kCr);
  const __m128i blank = _mm_set1_epi8(' ');
  __m128i lead[LineLeads::kFewLeads];
  for (int k = 0; k < LineLeads::kFewLeads; ++k) {
    lead[k] =
        _mm_set1_epi8(static_cast<char>(leads.few[k < leads.marked ? k : 0]));
  }
  auto load = [bytes](int32_t at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at));
  };
  // Bit i set where bytes[at + i] is a CR.
  auto crs_at = [&](int32_t at) {
    return static_cast<uint32_t>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(load(at), cr)));
  };
  // Bit i set where bytes[at + i] may lead an admitted line.
  auto maybe_at = [&](int32_t at) {
    const __m128i next = load(at);
    __m128i maybe = _mm_cmpeq_epi8(_mm_min_epu8(next, blank), next);
    for (int k = 0; k < LineLeads::kFewLeads; ++k) {
      maybe = _mm_or_si128(maybe, _mm_cmpeq_epi8(next, lead[k]));
    }
    return static_cast<uint32_t>(_mm_movemask_epi8(maybe));
  };
  // Thirty-two bytes a step, then sixteen; no branch on where the CRs lie
  // (most steps hold one, at no foreseeable place).
  int32_t p = from;
  for (; p + 33 <= to; p += 32) {
    const uint32_t crs = crs_at(p) | crs_at(p + 16) << 16;
    const uint32_t hits = crs & (maybe_at(p + 1) | maybe_at(p + 17) << 16);
    if (hits != 0) return p + __builtin_ctz(hits);
    *line = crs != 0 ? p + 32 - __builtin_clz(crs) : *line;
  }
  for (; p + 17 <= to; p += 16) {
    const uint32_t crs = crs_at(p);
    const uint32_t hits = crs & maybe_at(p + 1);
    if (hits != 0) return p + __builtin_ctz(hits);
    *line = crs != 0 ? p + 32 - __builtin_clz(crs) : *line;
  }
  return -1;
}
#endif

#if defined(KAVEL_HAVE_AVX2_TARGET)
// Bit i set where bytes[at + i] may lead an admitted line (as maybe_at in
// FindCrBeforeLead, thirty-two bytes).
KAVEL_AVX2_TARGET inline uint32_t WideMaybeAt(const char* bytes, int32_t at,
                                              const __m256i* lead) {
  const __m256i next =
      _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + at));
  const __m256i blank = _mm256_set1_epi8(' ');
  __m256i maybe = _mm256_cmpeq_epi8(_mm256_min_epu8(next, blank), next);
  for (int k = 0; k < LineLeads::kFewLeads; ++k) {
    maybe = _mm256_or_si256(maybe, _mm256_cmpeq_epi8(next, lead[k]));
  }
  return static_cast<uint32_t>(_mm256_movemask_epi8(maybe));
}

KAVEL_AVX2_TARGET inline uint32_t WideCrsAt(const char* bytes, int32_t at) {
  const __m256i next =
      _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + at));
  return static_cast<uint32_t>(
      _mm256_movemask_epi8(_mm256_cmpeq_epi8(next, _mm256_set1_epi8(kCr))));
}

// FindCrBeforeLead sixty-four bytes a step with AVX2; the last stretch
// goes to FindCrBeforeLead. Same answers and precondition.
KAVEL_AVX2_TARGET int32_t FindCrBeforeLeadWide(const char* bytes, int32_t from,
                                               int32_t to,
                                               const LineLeads& leads,
                                               int32_t* line) {
  __m256i lead[LineLeads::kFewLeads];
  for (int k = 0; k < LineLeads::kFewLeads; ++k) {
    lead[k] = _mm256_set1_epi8(
        static_cast<char>(leads.few[k < leads.marked ? k : 0]));
  }
  int32_t p = from;
  for (; p + 65 <= to; p += 64) {
    const uint64_t crs = WideCrsAt(bytes, p) |
                         static_cast<uint64_t>(WideCrsAt(bytes, p + 32)) << 32;
    const uint64_t maybe =
        WideMaybeAt(bytes, p + 1, lead) |
        static_cast<uint64_t>(WideMaybeAt(bytes, p + 33, lead)) << 32;
    const uint64_t hits = crs & maybe;
    if (hits != 0) return p + __builtin_ctzll(hits);
    *line = crs != 0 ? p + 64 - __builtin_clzll(crs) : *line;
  }
  return FindCrBeforeLead(bytes, p, to, leads, line);
}
#endif

#if defined(__SSE2__)
// FindCrBeforeLead, as wide as the processor allows.
int32_t FindCrBeforeLeadAny(const char* bytes, int32_t from, int32_t to,
                            const LineLeads& leads, int32_t* line) {
#if defined(KAVEL_HAVE_AVX2_TARGET)
  if (UseAvx2()) {
    return FindCrBeforeLeadWide(bytes, from, to, leads, line);
  }
#endif
  return FindCrBeforeLead(bytes, from, to, leads, line);
}
#endif

}  // namespace

void TextLineWalk::ReadCopied(std::string_view* line, int32_t* next_pos) {
  text_->Seek(pos_);
  ReadTextLine(text_, &copied_, max_length_);
  *line = copied_;
  *next_pos = text_->Position();
}

bool TextLineWalk::Next(std::string_view* line, int32_t* line_pos,
                        int32_t* next_pos) {
  if (pos_ < 0 || pos_ >= size_) return false;
  *line_pos = pos_;
  if (pos_ < view_start_ || pos_ >= view_start_ + view_len_) {
    text_->Seek(pos_);
    const uint8_t* bytes = nullptr;
    view_len_ = std::min(text_->View(&bytes), size_ - pos_);
    view_start_ = pos_;
    if (view_len_ <= 0) {
      view_len_ = 0;
      ReadCopied(line, next_pos);
      pos_ = *next_pos;
      return true;
    }
    view_ = reinterpret_cast<const char*>(bytes);
    zero_at_ = -1;
  }
  const int32_t from = pos_ - view_start_;
  if (zero_at_ < from) {
    const void* zero = std::memchr(view_ + from, 0, view_len_ - from);
    zero_at_ =
        zero ? static_cast<int32_t>(static_cast<const char*>(zero) - view_)
             : view_len_;
  }
  const int32_t end = FindCrAt(view_, from, zero_at_);
  // A line whose end, or the byte after its end, lies beyond the view is
  // read the ordinary way.
  if (end >= view_len_ - 1 && view_start_ + view_len_ < size_) {
    ReadCopied(line, next_pos);
    pos_ = *next_pos;
    return true;
  }
  const size_t length = static_cast<size_t>(end - from);
  *line = std::string_view(view_ + from, std::min(length, max_length_));
  int32_t after = view_start_ + end + 1;
  if (end == view_len_) {
    after = size_;
  } else if (end + 1 < view_len_ && view_[end + 1] == kLf) {
    ++after;
  }
  *next_pos = after;
  pos_ = after;
  return true;
}

void TextLineWalk::PassOver(const LineLeads& leads, std::string_view* passed) {
  if (passed != nullptr) *passed = {};
  if (leads.any || pos_ < view_start_ || pos_ >= view_start_ + view_len_) {
    return;
  }
  const int32_t start = pos_ - view_start_;
  int32_t from = start;
  if (zero_at_ < from) return;  // Next looks for the zero byte first
  // Lines that end at a CR before the next zero byte, with the byte after
  // the CR inside the view (or the text ending there), are passed over
  // here; Next reads the others.
  const bool view_ends_text = view_start_ + view_len_ >= size_;
  const int32_t max_lead = static_cast<int32_t>(
      std::min<size_t>(max_length_, static_cast<size_t>(INT32_MAX)));
  while (from < zero_at_) {
    int32_t i = from;
    while (i < zero_at_ && view_[i] == ' ') ++i;
    if (i < zero_at_ && view_[i] == '\x01') ++i;
    // The leads look at two bytes from i: as far as they belong to the
    // line (before its CR or zero byte) cut at max_length, they are what
    // Admits would see.
    int32_t n = std::min(i + 2, zero_at_);
    if (n - from > max_lead) n = from + max_lead;
    for (int32_t k = i; k < n; ++k) {
      if (view_[k] == kCr) n = k;
    }
    if (leads.LeadsAt(view_ + from, static_cast<size_t>(i - from),
                      static_cast<size_t>(n - from))) {
      break;
    }
#if defined(__SSE2__)
    if (leads.marked <= LineLeads::kFewLeads) {
      const int32_t cr = FindCrBeforeLeadAny(view_, i, zero_at_, leads, &from);
      if (cr >= 0) {
        from = cr + 1;
        if (view_[from] == kLf) ++from;
        continue;
      }
      i = std::max(i, from);
    }
#endif
    const int32_t end = FindCrAt(view_, i, zero_at_);
    if (end == zero_at_ || (end >= view_len_ - 1 && !view_ends_text)) break;
    from = end + 1;
    if (from < view_len_ && view_[from] == kLf) ++from;
  }
  pos_ = view_start_ + from;
  if (passed != nullptr)
    *passed = std::string_view(view_ + start, from - start);
}

bool TextLineWalk::NextAdmitted(const LineLeads& leads, std::string_view* line,
                                int32_t* line_pos, int32_t* next_pos) {
  for (;;) {
    PassOver(leads);
    if (!Next(line, line_pos, next_pos)) return false;
    if (leads.Admits(*line)) return true;
  }
}

bool WriteTextLine(ByteStream* text, std::string_view line) {
  // A line of ordinary length goes in with its CR in one write.
  char joined[256];
  if (line.size() < sizeof joined) {
    if (!line.empty()) std::memcpy(joined, line.data(), line.size());
    joined[line.size()] = kCr;
    text->Write(joined, static_cast<uint16_t>(line.size() + 1));
    return text->status == kStreamOk;
  }
  const char cr = kCr;
  while (!line.empty()) {
    uint16_t n = static_cast<uint16_t>(std::min<size_t>(line.size(), 65535));
    text->Write(line.data(), n);
    line.remove_prefix(n);
  }
  text->Write(&cr, 1);
  return text->status == kStreamOk;
}

bool FindKludgeLine(ByteStream* text, std::string_view name, std::string* line,
                    size_t max_length) {
  text->Seek(0);
  while (!AtEndOfText(text)) {
    ReadTextLine(text, line, max_length);
    if (line->size() > name.size() && StartsWith(*line, name)) return true;
  }
  line->clear();
  return false;
}

bool PutKludgeLine(std::unique_ptr<ByteStream>* text, std::string_view name,
                   std::string_view line) {
  bool matched = false;
  std::unique_ptr<ByteStream> out = RewriteLines(
      text->get(),
      [&](std::string* l, bool* any) {
        if (StartsWith(*l, name)) {
          *l = std::string(line);
          *any = true;
        }
        return true;
      },
      &matched);
  if (!out) return false;
  if (!matched) {
    out = NewMemoryStream(kTextSizeHint);
    WriteTextLine(out.get(), line);
    ByteStream* old = text->get();
    old->Seek(0);
    out->CopyFrom(old, old->Size());
    if (out->status != kStreamOk) return false;
  }
  *text = std::move(out);
  return true;
}

bool RemoveKludgeLines(std::unique_ptr<ByteStream>* text,
                       std::string_view name) {
  bool matched = false;
  std::unique_ptr<ByteStream> out = RewriteLines(
      text->get(),
      [&](std::string* l, bool* any) {
        if (!StartsWith(*l, name)) return true;
        *any = true;
        return false;
      },
      &matched);
  if (!out) return false;
  *text = std::move(out);
  return true;
}

void AddressFromOrigKludge(std::string_view line, FtnAddress* address) {
  if (StartsWith(line, kKludgeMsgId)) {
    ParseAddress(NthWord(2, line, " "), address);
  } else if (StartsWith(line, kKludgeIntl)) {
    int16_t point = address->point;
    ParseAddress(NthWord(3, line, " "), address);
    address->point = point;
  } else if (StartsWith(line, kKludgeFmpt)) {
    int16_t point;
    if (TextToInt16(NthWord(2, line, " "), &point)) address->point = point;
  }
}

void AddressFromDestKludge(std::string_view line, FtnAddress* address) {
  if (StartsWith(line, kKludgeIntl)) {
    int16_t point = address->point;
    ParseAddress(NthWord(2, line, " "), address);
    address->point = point;
  } else if (StartsWith(line, kKludgeTopt)) {
    int16_t point;
    if (TextToInt16(NthWord(2, line, " "), &point)) address->point = point;
  }
}

void ScanAddressKludges(ByteStream* text, FtnAddress* orig, FtnAddress* dest) {
  // The walk stops only at lines that may be one of the four kludges read
  // here (MSGID, INTL, FMPT, TOPT): the body's lines are passed over by
  // their first two characters.
  static const LineLeads kAddressKludges = [] {
    LineLeads leads;
    for (std::string_view kludge :
         {kKludgeMsgId, kKludgeIntl, kKludgeFmpt, kKludgeTopt}) {
      leads.Mark(static_cast<unsigned char>(kludge[1]));
      leads.MarkSecond(static_cast<unsigned char>(kludge[2]));
    }
    return leads;
  }();
  text->Seek(0);
  TextLineWalk lines(text, kMaxTextLine);
  std::string_view line;
  int32_t line_pos = 0;
  int32_t next_pos = 0;
  while (lines.NextAdmitted(kAddressKludges, &line, &line_pos, &next_pos)) {
    if (line.empty() || line[0] != 0x01) continue;
    if (orig) AddressFromOrigKludge(line, orig);
    if (dest) AddressFromDestKludge(line, dest);
  }
}

}  // namespace kavel
