#include "msgbase/formats/jam_text.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "msgbase/base_files.h"
#include "msgbase/byte_stream.h"
#include "msgbase/formats/jam_crc.h"
#include "util/find_cr.h"

namespace kavel {
namespace {

constexpr char kCr = '\r';
// The most a loaded text may hold (a memory stream's positions are 32-bit).
constexpr int64_t kMaxJamText = 0x7FFFFFFF;

bool StartsWith(std::string_view line, std::string_view prefix) {
  return line.substr(0, prefix.size()) == prefix;
}

void AddSubfield(JamSplitText* out, uint16_t id, std::string_view data) {
  JamSubfield subfield;
  subfield.loId = id;
  subfield.data.assign(data);
  out->subfields.push_back(std::move(subfield));
}

// Subfield of a line that may stand anywhere; false when it is none.
bool AddTrailingLine(JamSplitText* out, std::string_view line) {
  static constexpr std::string_view kSeenBy = "SEEN-BY: ";
  static constexpr std::string_view kPath = "\x01PATH: ";
  static constexpr std::string_view kVia = "\x01Via ";
  // Most lines are body text.
  if (line.empty() || (line[0] != 'S' && line[0] != '\x01')) return false;
  if (StartsWith(line, kSeenBy)) {
    AddSubfield(out, kJamSeenBy2D, line.substr(kSeenBy.size()));
  } else if (StartsWith(line, kPath)) {
    AddSubfield(out, kJamPath2D, line.substr(kPath.size()));
  } else if (StartsWith(line, kVia)) {
    AddSubfield(out, kJamTrace, line.substr(kVia.size()));
  } else {
    return false;
  }
  return true;
}

void AddLeadingKludge(JamSplitText* out, std::string_view line) {
  static constexpr std::string_view kMsgId = "\x01MSGID: ";
  static constexpr std::string_view kReply = "\x01REPLY: ";
  static constexpr std::string_view kPid = "\x01PID: ";
  static constexpr std::string_view kFlagsColon =
      "\x01"
      "FLAGS: ";
  static constexpr std::string_view kFlags =
      "\x01"
      "FLAGS ";
  if (StartsWith(line, kMsgId)) {
    std::string_view value = line.substr(kMsgId.size());
    out->msgIdCrc = JamCrc(value);
    AddSubfield(out, kJamMsgId, value);
  } else if (StartsWith(line, kReply)) {
    std::string_view value = line.substr(kReply.size());
    out->replyCrc = JamCrc(value);
    AddSubfield(out, kJamReplyId, value);
  } else if (StartsWith(line, kPid)) {
    AddSubfield(out, kJamPid, line.substr(kPid.size()));
  } else if (StartsWith(line, kFlagsColon)) {
    AddSubfield(out, kJamFlags, line.substr(kFlagsColon.size()));
  } else if (StartsWith(line, kFlags)) {
    AddSubfield(out, kJamFlags, line.substr(kFlags.size()));
  } else if (StartsWith(line, "\x01INTL") ||
             StartsWith(line,
                        "\x01"
                        "FMPT") ||
             StartsWith(line, "\x01TOPT")) {
    // Dropped: the address subfields hold the addresses.
  } else if (!AddTrailingLine(out, line)) {
    AddSubfield(out, kJamFtsKludge, line.substr(1));
  }
}

void AddLine(std::string* text, std::string_view prefix,
             std::string_view data) {
  text->append(prefix);
  text->append(data);
  text->push_back(kCr);
}

bool IsViaKludge(const JamSubfield& subfield) {
  return subfield.loId == kJamFtsKludge && StartsWith(subfield.data, "Via ");
}

// Whether the text's last line has its end (CR or zero, maybe with an LF).
bool EndsWithLineEnd(std::string_view text) {
  if (text.empty()) return true;
  char last = text.back();
  if (last == kCr || last == '\0') return true;
  if (last == '\n' && text.size() >= 2) {
    char before = text[text.size() - 2];
    return before == kCr || before == '\0';
  }
  return false;
}

}  // namespace

void SplitJamText(std::string_view text, JamSplitText* out) {
  *out = JamSplitText();
  if (text.empty()) return;
  out->body.reserve(text.size());
  bool leading = true;
  size_t pos = 0;
  // The first zero byte at or after `from`, or the text's end: a line ends
  // at a CR or a zero, whichever comes first.
  auto zero_from = [text](size_t from) {
    const void* zero = std::memchr(text.data() + from, 0, text.size() - from);
    return zero ? static_cast<size_t>(static_cast<const char*>(zero) -
                                      text.data())
                : text.size();
  };
  size_t zero_at = zero_from(0);
  while (pos < text.size()) {
    if (zero_at < pos) zero_at = zero_from(pos);
    const size_t end = FindCr(text.data(), pos, zero_at);
    std::string_view line = text.substr(pos, end - pos);
    pos = end;
    if (pos < text.size()) {
      ++pos;  // the line end
      if (pos < text.size() && text[pos] == '\n') ++pos;
    }
    if (leading && (line.empty() || line[0] != '\x01')) leading = false;
    if (leading) {
      AddLeadingKludge(out, line);
    } else if (!AddTrailingLine(out, line)) {
      // An LF right after a line end belongs to that end when read back; a
      // line that begins with one keeps it behind an LF of its own.
      if (!line.empty() && line[0] == '\n' && !out->body.empty()) {
        out->body.push_back('\n');
      }
      out->body.append(line);
      out->body.push_back(kCr);
    }
  }
}

namespace {

// The lines of steps 1 (*head) and 3 (*tail) of ReadJamText.
void JamKludgeLines(const std::vector<JamSubfield>& subfields,
                    std::string* head, std::string* tail) {
  head->clear();
  tail->clear();
  for (const JamSubfield& subfield : subfields) {
    switch (subfield.loId) {
      case kJamMsgId:
        AddLine(head, "\x01MSGID: ", subfield.data);
        break;
      case kJamReplyId:
        AddLine(head, "\x01REPLY: ", subfield.data);
        break;
      case kJamPid:
        AddLine(head, "\x01PID: ", subfield.data);
        break;
      case kJamFtsKludge:
        if (!IsViaKludge(subfield)) AddLine(head, "\x01", subfield.data);
        break;
      case kJamFlags:
        AddLine(head,
                "\x01"
                "FLAGS: ",
                subfield.data);
        break;
      case kJamTzUtcInfo:
        AddLine(head, "\x01TZUTC: ", subfield.data);
        break;
      default:
        break;
    }
  }
  for (const JamSubfield& subfield : subfields) {
    if (subfield.loId == kJamTrace) AddLine(tail, "\x01Via ", subfield.data);
    if (IsViaKludge(subfield)) AddLine(tail, "\x01", subfield.data);
  }
  for (const JamSubfield& subfield : subfields) {
    if (subfield.loId == kJamSeenBy2D) {
      AddLine(tail, "SEEN-BY: ", subfield.data);
    }
  }
  for (const JamSubfield& subfield : subfields) {
    if (subfield.loId == kJamPath2D) AddLine(tail, "\x01PATH: ", subfield.data);
  }
}

}  // namespace

bool ReadJamText(ByteStream* text_file, int64_t offset, int64_t length,
                 int64_t file_size, const std::vector<JamSubfield>& subfields,
                 ByteStream* out) {
  // Kept from message to message: a scan reads one after another.
  thread_local std::string head, tail;
  JamKludgeLines(subfields, &head, &tail);
  if (length < 0 ||
      length > kMaxJamText - static_cast<int64_t>(head.size() + tail.size())) {
    return false;
  }
  char first = 0;
  if (length > 0 && !ReadAt(text_file, offset, &first, 1, file_size)) {
    return false;
  }
  if (!head.empty() && first == '\n') head.push_back('\n');
  if (!WriteAll(out, head.data(), head.size())) return false;
  if (length > 0) {
    // Straight from the file's read-ahead into the text.
    text_file->Seek(static_cast<int32_t>(offset));
    out->CopyFrom(text_file, static_cast<int32_t>(length));
    if (text_file->status != kStreamOk) {
      text_file->ResetStatus();
      return false;
    }
  }
  if (!tail.empty()) {
    const int32_t edge = static_cast<int32_t>(std::min<int64_t>(length, 2));
    char last[2] = {};
    out->Seek(out->Size() - edge);
    out->Read(last, static_cast<uint16_t>(edge));
    if (!EndsWithLineEnd(std::string_view(last, edge))) {
      tail.insert(tail.begin(), kCr);
    }
    if (!WriteAll(out, tail.data(), tail.size())) return false;
  }
  return out->status == kStreamOk;
}

}  // namespace kavel
