// The decoder over a *.MSG area of fuzzed messages: begin and end lines
// through the section collector, reassembly into the text base, forwards,
// and file-list lines built from hostile header values. Whatever the
// messages say, every file the decoder writes stays in the text base and
// the forward base.
//
// Input: "<settings>" then up to five messages, separated by
// kFileSeparator. Settings lines (LF): begin line pattern, end line,
// forward marker, forward end text, file-list template, flags (first byte:
// bit 0 save incomplete sets, bits 1-2 the existing-file choice, bit 7
// decode uuencoded files). A
// message: "<from>\n<subject>\n<date>\n<text>".
#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>

#include "decoding/area_decoder.h"
#include "decoding/decode_options.h"
#include "decoding/unique_name.h"
#include "fuzz_support.h"
#include "msgbase/formats/msg_area.h"
#include "platform/platform.h"

using namespace kavel;

namespace {

class QuietLog : public DecodeLog {
 public:
  void Info(std::string_view) override {}
  void Error(std::string_view) override {}
};

std::string_view NextLine(std::string_view* rest) {
  size_t end = rest->find('\n');
  std::string_view line = rest->substr(0, end);
  rest->remove_prefix(end == std::string_view::npos ? rest->size() : end + 1);
  return line;
}

// The entries of a directory; *files_only tells whether all are files.
std::set<std::string> Names(const std::string& dir,
                            bool* files_only = nullptr) {
  std::set<std::string> names;
  if (files_only != nullptr) *files_only = true;
  std::unique_ptr<FileSearch> search = NewFileSearch();
  FoundEntry e;
  for (bool more = search->Start(dir + "/*", kAttrAll, &e); more;
       more = search->Next(&e)) {
    if (e.name == "." || e.name == "..") continue;
    names.insert(e.name);
    if (files_only != nullptr && (e.attributes & kAttrDirectory)) {
      *files_only = false;
    }
  }
  return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::InitOnce();
  static fuzz::ScratchDir dir;
  dir.Reset();
  fuzz::ScratchDir::EndOfInput end_of_input;
  std::vector<std::string_view> parts = fuzz::SplitFiles(data, size);

  DecodeOptions options;
  std::string_view settings = parts[0];
  std::string_view v = NextLine(&settings);
  if (!v.empty()) options.beginString = std::string(v.substr(0, 255));
  v = NextLine(&settings);
  if (!v.empty()) options.endString = std::string(v.substr(0, 255));
  ForwardMarkerText marker;
  marker.key = std::string(NextLine(&settings).substr(0, 255));
  marker.endText = std::string(NextLine(&settings).substr(0, 255));
  options.markers.push_back(marker);
  v = NextLine(&settings);
  if (!v.empty()) options.filesBbsSavingString = std::string(v.substr(0, 255));
  uint8_t flags = settings.empty() ? 0 : static_cast<uint8_t>(settings[0]);
  options.saveIfNotEnoughSections = flags & 1;
  options.existingFile = static_cast<ExistingFileChoice>((flags >> 1) % 3);
  options.decodeUue = (flags & 0x80) != 0;
  options.filesBbsName = "files.bbs";
  options.protectedNames = {"KAVEL.CFG", "KAVEL.LOG", "FILES.BBS"};

  for (size_t i = 1; i < parts.size() && i <= 5; ++i) {
    std::string_view rest = parts[i];
    MsgHeader header;
    header.fromName = std::string(NextLine(&rest));
    header.toName = "All";
    header.subject = std::string(NextLine(&rest));
    header.dateTime = std::string(NextLine(&rest));
    uint8_t raw[MsgHeader::kEncodedSize];
    header.EncodeTo(raw);
    std::string file(reinterpret_cast<char*>(raw), sizeof raw);
    file.append(rest);
    file.push_back('\0');
    dir.Write("a/b/base/" + std::to_string(i + 1) + ".msg", file);
  }
  if (parts.size() < 2) return 0;
  dir.MakeDirectory("a/b/txt");
  dir.MakeDirectory("a/b/fwd");

  QuietLog log;
  UniqueNames names;
  {
    AreaDecoder decoder(options, &log, &names);
    decoder.ScanArea("RU.KAVEL.TEST", "M", dir.Join("a/b/base/"),
                     dir.Join("a/b/txt/"), dir.Join("a/b/fwd/"));
  }

  // Nothing outside the two bases, and no directories made in them.
  KAVEL_FUZZ_CHECK(Names(dir.path()) == std::set<std::string>{"a"});
  KAVEL_FUZZ_CHECK(Names(dir.Join("a")) == std::set<std::string>{"b"});
  KAVEL_FUZZ_CHECK(Names(dir.Join("a/b")) ==
                   (std::set<std::string>{"base", "fwd", "txt"}));
  for (const char* out : {"a/b/txt", "a/b/fwd"}) {
    bool files_only = false;
    Names(dir.Join(out), &files_only);
    KAVEL_FUZZ_CHECK(files_only);
  }
  return 0;
}
