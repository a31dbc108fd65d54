#include "platform/charset.h"

#include <errno.h>
#include <iconv.h>

#include <algorithm>

#include "util/case_fold.h"

namespace kavel {
namespace {

// FTS-5003 names that iconv spells otherwise.
constexpr struct {
  const char* chrs;
  const char* iconv;
} kCharsetNames[] = {
    {"LATIN-1", "ISO-8859-1"}, {"LATIN-2", "ISO-8859-2"},
    {"LATIN-5", "ISO-8859-9"}, {"LATIN-9", "ISO-8859-15"},
    {"IBMPC", "CP437"},        {"+7_FIDO", "CP866"},
    {"MAC", "MACINTOSH"},      {"CP10000", "MACINTOSH"},
    {"SJIS", "SHIFT_JIS"},
};

// Length of the UTF-8 sequence that starts with `lead`, 1 for a byte that
// starts none.
size_t Utf8SequenceLength(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 1;
}

class IconvConverter : public CharsetConverter {
 public:
  IconvConverter(iconv_t cd, bool from_utf8) : cd_(cd), from_utf8_(from_utf8) {}
  ~IconvConverter() override { iconv_close(cd_); }

  size_t Convert(std::string_view in, std::string* out) override {
    out->clear();
    size_t replaced = 0;
    char buffer[1024];
    char* src = const_cast<char*>(in.data());
    size_t left = in.size();
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    while (left > 0) {
      char* dst = buffer;
      size_t room = sizeof buffer;
      const size_t result = iconv(cd_, &src, &left, &dst, &room);
      out->append(buffer, static_cast<size_t>(dst - buffer));
      if (result != static_cast<size_t>(-1) || errno == E2BIG) continue;
      // An invalid or unconvertible character (EILSEQ), or one cut off at
      // the end (EINVAL): one "?" for the whole character.
      size_t skip = 1;
      if (from_utf8_) {
        skip = std::min(Utf8SequenceLength(static_cast<unsigned char>(*src)),
                        left);
        for (size_t i = 1; i < skip; ++i) {
          if ((static_cast<unsigned char>(src[i]) & 0xC0) != 0x80) {
            skip = 1;
            break;
          }
        }
      }
      src += skip;
      left -= skip;
      out->push_back('?');
      ++replaced;
    }
    char* dst = buffer;
    size_t room = sizeof buffer;
    iconv(cd_, nullptr, nullptr, &dst, &room);
    out->append(buffer, static_cast<size_t>(dst - buffer));
    return replaced;
  }

 private:
  iconv_t cd_;
  bool from_utf8_;
};

}  // namespace

std::string IconvCharsetName(std::string_view chrs_name) {
  const std::string upper = UpperText(chrs_name);
  for (const auto& entry : kCharsetNames) {
    if (upper == entry.chrs) return entry.iconv;
  }
  return upper;
}

std::unique_ptr<CharsetConverter> CharsetConverter::Open(std::string_view from,
                                                         std::string_view to) {
  const std::string from_name(from), to_name(to);
  iconv_t cd = iconv_open(to_name.c_str(), from_name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
  const std::string upper = UpperText(from_name);
  return std::make_unique<IconvConverter>(cd,
                                          upper == "UTF-8" || upper == "UTF8");
}

}  // namespace kavel
