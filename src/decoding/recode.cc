// Recoding of decoded text from the charset its messages name.
#include "decoding/recode.h"

#include "decoding/area_decoder.h"
#include "msgbase/message_area.h"
#include "platform/charset.h"
#include "util/text.h"

namespace kavel {
namespace {

constexpr std::string_view kChrsKludge =
    "\x01"
    "CHRS:";
constexpr std::string_view kDefaultCharset = "CP866";

}  // namespace

std::string ChrsCharsetOf(std::string_view kludge_line) {
  if (kludge_line.size() < kChrsKludge.size() ||
      !EqualIgnoringCase(kludge_line.substr(0, kChrsKludge.size()),
                         kChrsKludge)) {
    return "";
  }
  return FirstWord(kludge_line.substr(kChrsKludge.size()));
}

void WriteRecoded(OutputFile& out, std::string_view line,
                  CharsetConverter* recoder, std::string* buffer) {
  if (recoder == nullptr) {
    out.WriteLine(line);
    return;
  }
  recoder->Convert(line, buffer);
  out.WriteLine(*buffer);
}

std::unique_ptr<CharsetConverter> AreaDecoder::RecoderForMessage(
    std::string_view file) {
  if (options_.localCharset.empty()) return nullptr;
  std::string charset(kDefaultCharset);
  std::string line;
  area_->SetTextPos(0);
  while (!area_->AtTextEnd()) {
    area_->ReadLine(&line);
    if (line.empty() || line[0] != '\x01') continue;
    const std::string named = ChrsCharsetOf(line);
    if (!named.empty()) {
      charset = named;
      break;
    }
  }
  const std::string from = IconvCharsetName(charset);
  if (from == IconvCharsetName(options_.localCharset)) return nullptr;
  std::unique_ptr<CharsetConverter> recoder =
      CharsetConverter::Open(from, options_.localCharset);
  if (!recoder) {
    log_->Info("Charset " + charset + " of " + std::string(file) +
               " is not known here, saved as it is");
  }
  return recoder;
}

}  // namespace kavel
