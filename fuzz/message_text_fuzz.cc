// Message text through the line reader (and its in-place walk), the
// kludge finder, replacer and remover, and the address kludge readers.
//
// Input: "<name>" kFileSeparator "<text>": the kludge name to work with and
// the message text. Without a separator the whole input is the text and
// the name is "\x01MSGID:".
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz_support.h"
#include "msgbase/byte_stream.h"
#include "msgbase/message_text.h"

using namespace kavel;

namespace {

std::unique_ptr<ByteStream> StreamOf(std::string_view bytes) {
  std::unique_ptr<ByteStream> s = NewMemoryStream(0);
  s->Write(bytes.data(),
           static_cast<uint16_t>(std::min<size_t>(bytes.size(), 0xFFFF)));
  s->Seek(0);
  return s;
}

// Every line, read with the given limit; checks that reading moves on.
std::vector<std::string> Lines(ByteStream* text, size_t max_length) {
  std::vector<std::string> lines;
  text->Seek(0);
  std::string line;
  while (!AtEndOfText(text)) {
    int32_t before = text->Position();
    ReadTextLine(text, &line, max_length);
    KAVEL_FUZZ_CHECK(text->Position() > before);
    KAVEL_FUZZ_CHECK(line.size() <= max_length);
    KAVEL_FUZZ_CHECK(line.find('\r') == std::string::npos);
    KAVEL_FUZZ_CHECK(line.find('\0') == std::string::npos);
    lines.push_back(line);
  }
  return lines;
}

// The in-place walk gives the very lines and positions of ReadTextLine.
void CheckWalk(ByteStream* text, size_t max_length,
               std::string_view text_name) {
  std::vector<std::string> lines;
  std::vector<int32_t> starts;
  text->Seek(0);
  std::string line;
  while (!AtEndOfText(text)) {
    starts.push_back(text->Position());
    ReadTextLine(text, &line, max_length);
    lines.push_back(line);
  }
  starts.push_back(text->Size());
  text->Seek(0);
  TextLineWalk walk(text, max_length);
  std::string_view got;
  int32_t at = 0, after = 0;
  size_t n = 0;
  while (walk.Next(&got, &at, &after)) {
    KAVEL_FUZZ_CHECK(n < lines.size());
    KAVEL_FUZZ_CHECK(got == lines[n]);
    KAVEL_FUZZ_CHECK(at == starts[n] && after == starts[n + 1]);
    ++n;
  }
  KAVEL_FUZZ_CHECK(n == lines.size());
  // A walk passing over lines gives those its leads admit, with the same
  // positions: leads of the name's first byte, one case or both, and of
  // its second byte.
  std::string_view name = text_name;
  if (!name.empty() && name[0] == '\x01') name.remove_prefix(1);
  for (int variant = 0; variant < 3 && !name.empty(); ++variant) {
    LineLeads leads;
    const auto first = static_cast<unsigned char>(name[0]);
    leads.Mark(first);
    if (variant >= 1) leads.Mark(first ^ 0x20);
    if (variant == 2 && name.size() > 1) {
      leads.MarkSecond(static_cast<unsigned char>(name[1]));
    }
    text->Seek(0);
    TextLineWalk passing(text, max_length);
    size_t k = 0;
    while (passing.NextAdmitted(leads, &got, &at, &after)) {
      while (k < lines.size() && !leads.Admits(lines[k])) ++k;
      KAVEL_FUZZ_CHECK(k < lines.size());
      KAVEL_FUZZ_CHECK(got == lines[k]);
      KAVEL_FUZZ_CHECK(at == starts[k] && after == starts[k + 1]);
      ++k;
    }
    while (k < lines.size() && !leads.Admits(lines[k])) ++k;
    KAVEL_FUZZ_CHECK(k == lines.size());
  }
}

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::InitOnce();
  std::vector<std::string_view> parts = fuzz::SplitFiles(data, size);
  std::string_view name = "\x01MSGID:";
  std::string_view body = parts[0];
  if (parts.size() > 1) {
    name = parts[0].substr(0, 64);
    body = parts[1];
  }
  std::unique_ptr<ByteStream> text = StreamOf(body);

  std::vector<std::string> full = Lines(text.get(), static_cast<size_t>(-1));
  std::vector<std::string> cut = Lines(text.get(), kMaxTextLine);
  KAVEL_FUZZ_CHECK(full.size() == cut.size());
  for (size_t i = 0; i < full.size(); ++i) {
    KAVEL_FUZZ_CHECK(cut[i] == full[i].substr(0, kMaxTextLine));
  }
  Lines(text.get(), 0);
  CheckWalk(text.get(), static_cast<size_t>(-1), name);
  CheckWalk(text.get(), kMaxTextLine, name);

  // Finding agrees with the lines.
  std::string found;
  bool has = FindKludgeLine(text.get(), name, &found, static_cast<size_t>(-1));
  bool expected = false;
  for (const std::string& l : full) {
    if (l.size() > name.size() && StartsWith(l, name)) {
      if (!expected) KAVEL_FUZZ_CHECK(has && found == l);
      expected = true;
    }
  }
  KAVEL_FUZZ_CHECK(has == expected);

  FtnAddress orig{2, 5020, 1, 0}, dest;
  ScanAddressKludges(text.get(), &orig, &dest);
  for (const std::string& l : full) {
    AddressFromOrigKludge(l, &orig);
    AddressFromDestKludge(l, &dest);
  }

  // Replacing: the new line is then the one found. A name that cannot
  // stand at the start of a line (CR, zero byte) is left alone.
  // Lines are rewritten ending in CR alone, so a line that began with an
  // LF (after CR LF LF) loses it; such texts are left out of the checks.
  bool plain_name = name.find('\r') == std::string_view::npos &&
                    name.find('\0') == std::string_view::npos &&
                    !StartsWith(name, "\n");
  for (const std::string& l : full) {
    if (StartsWith(l, "\n")) plain_name = false;
  }
  std::string replacement = std::string(name) + " 2:5020/1.5 0badf00d";
  if (plain_name && PutKludgeLine(&text, name, replacement)) {
    KAVEL_FUZZ_CHECK(
        FindKludgeLine(text.get(), name, &found, static_cast<size_t>(-1)));
    KAVEL_FUZZ_CHECK(found == replacement);
  }
  // Removing: afterwards nothing begins with the name.
  if (plain_name && RemoveKludgeLines(&text, name)) {
    for (const std::string& l : Lines(text.get(), static_cast<size_t>(-1))) {
      KAVEL_FUZZ_CHECK(!StartsWith(l, name) || name.empty());
    }
  }
  return 0;
}
