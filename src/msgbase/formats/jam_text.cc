#include "msgbase/formats/jam_text.h"

#include <utility>

#include "msgbase/formats/jam_crc.h"

namespace kavel {
namespace {

constexpr char kCr = '\r';

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
  static constexpr std::string_view kFlagsColon = "\x01" "FLAGS: ";
  static constexpr std::string_view kFlags = "\x01" "FLAGS ";
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
  } else if (StartsWith(line, "\x01INTL") || StartsWith(line, "\x01" "FMPT") ||
             StartsWith(line, "\x01TOPT")) {
    // Dropped: the address subfields hold the addresses.
  } else if (!AddTrailingLine(out, line)) {
    AddSubfield(out, kJamFtsKludge, line.substr(1));
  }
}

void AddLine(std::string* text, std::string_view prefix, std::string_view data) {
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
  bool leading = true;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = pos;
    while (end < text.size() && text[end] != kCr && text[end] != '\0') ++end;
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

std::string JoinJamText(const std::vector<JamSubfield>& subfields,
                        std::string_view body) {
  std::string text;
  for (const JamSubfield& subfield : subfields) {
    switch (subfield.loId) {
      case kJamMsgId:
        AddLine(&text, "\x01MSGID: ", subfield.data);
        break;
      case kJamReplyId:
        AddLine(&text, "\x01REPLY: ", subfield.data);
        break;
      case kJamPid:
        AddLine(&text, "\x01PID: ", subfield.data);
        break;
      case kJamFtsKludge:
        if (!IsViaKludge(subfield)) AddLine(&text, "\x01", subfield.data);
        break;
      case kJamFlags:
        AddLine(&text, "\x01" "FLAGS: ", subfield.data);
        break;
      case kJamTzUtcInfo:
        AddLine(&text, "\x01TZUTC: ", subfield.data);
        break;
      default:
        break;
    }
  }
  if (!text.empty() && !body.empty() && body[0] == '\n') text.push_back('\n');
  text.append(body);

  std::string trailing;
  for (const JamSubfield& subfield : subfields) {
    if (subfield.loId == kJamTrace) AddLine(&trailing, "\x01Via ", subfield.data);
    if (IsViaKludge(subfield)) AddLine(&trailing, "\x01", subfield.data);
  }
  for (const JamSubfield& subfield : subfields) {
    if (subfield.loId == kJamSeenBy2D) {
      AddLine(&trailing, "SEEN-BY: ", subfield.data);
    }
  }
  for (const JamSubfield& subfield : subfields) {
    if (subfield.loId == kJamPath2D) AddLine(&trailing, "\x01PATH: ", subfield.data);
  }
  if (!trailing.empty() && !EndsWithLineEnd(body)) text.push_back(kCr);
  text.append(trailing);
  return text;
}

}  // namespace kavel
