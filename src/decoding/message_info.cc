#include "decoding/message_info.h"

#include <algorithm>

#include "util/text.h"

namespace kavel {
namespace {

constexpr int32_t kMaxFieldWidth = 255;

std::string Sanitised(std::string_view value) {
  std::string out(value);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 32) c = ' ';
  }
  return out;
}

// Position of `token` in `text` at or after `from`, case ignored.
size_t FindToken(const std::string& upper_text, const std::string& upper_token,
                 size_t from) {
  return upper_text.find(upper_token, from);
}

}  // namespace

std::string FormatField(std::string_view format_and_rest,
                        std::string_view value, std::string* rest) {
  std::string_view after = format_and_rest.substr(1);  // past the "("
  const size_t close = after.find(')');
  std::string_view format;
  if (close == std::string_view::npos) {
    format = after;
    *rest = std::string(after);
  } else {
    format = after.substr(0, close);
    *rest = std::string(after.substr(close + 1));
  }
  int32_t width = 0;
  char align = 'R';
  const size_t comma = format.find(',');
  if (comma == std::string_view::npos) {
    width = TextToInt(format);
  } else {
    width = TextToInt(FirstWord(format.substr(0, comma)));
    const std::string word = FirstWord(format.substr(comma + 1));
    if (!word.empty()) align = word[0];
  }
  width = std::clamp(width, 0, kMaxFieldWidth);
  std::string out(value);
  if (out.size() >= static_cast<size_t>(width)) return out;
  const size_t pad = static_cast<size_t>(width) - out.size();
  switch (align) {
    case 'L':
      out.append(pad, ' ');
      break;
    case 'C':
      out.insert(0, pad / 2, ' ');
      out.append(pad - pad / 2, ' ');
      break;
    default:
      out.insert(0, pad, ' ');
      break;
  }
  return out;
}

void ExpandToken(TemplateLine* line, std::string_view value,
                 std::string_view token) {
  if (token.empty()) return;
  const std::string clean = Sanitised(value);
  const std::string upper_token = UpperText(token);
  TemplateLine out;
  for (TemplatePiece& piece : *line) {
    if (piece.isValue) {
      out.push_back(std::move(piece));
      continue;
    }
    std::string text = std::move(piece.text);
    for (;;) {
      const size_t at = FindToken(UpperText(text), upper_token, 0);
      if (at == std::string::npos) break;
      if (at > 0) out.push_back({false, text.substr(0, at)});
      std::string rest = text.substr(at + token.size());
      if (!rest.empty() && rest[0] == '(') {
        std::string after;
        out.push_back({true, FormatField(rest, clean, &after)});
        rest = std::move(after);
      } else {
        out.push_back({true, clean});
      }
      text = std::move(rest);
    }
    if (!text.empty()) out.push_back({false, std::move(text)});
  }
  *line = std::move(out);
}

std::string BuildInfoLine(std::string_view tmpl, const MessageInfo& info) {
  TemplateLine line{{false, std::string(tmpl)}};
  ExpandToken(&line, info.fileName, "@File");
  ExpandToken(&line, IntToText(info.size), "@Size");
  ExpandToken(&line, info.fromName, "@FromName");
  ExpandToken(&line, info.toName, "@ToName");
  ExpandToken(&line, info.toAddr, "@ToAddr");
  ExpandToken(&line, info.fromAddr, "@FromAddr");
  ExpandToken(&line, info.subject, "@Subject");
  ExpandToken(&line, info.dateWritten, "@DateWritten");
  ExpandToken(&line, info.dateArrived, "@DateArrived");
  ExpandToken(&line, info.timeWritten, "@TimeWritten");
  ExpandToken(&line, info.timeArrived, "@TimeArrived");
  ExpandToken(&line, " ", "@Space");
  std::string out;
  for (const TemplatePiece& piece : line) {
    if (piece.isValue) {
      out += piece.text;
      continue;
    }
    // "\n" (either case of the letter) in the template's own text is a
    // line break of the list.
    const std::string& text = piece.text;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\\' && i + 1 < text.size() &&
          (text[i + 1] == 'n' || text[i + 1] == 'N')) {
        out += "\r\n";
        ++i;
      } else {
        out += text[i];
      }
    }
  }
  if (out.size() > kShortStringMax) {
    out.resize(kShortStringMax);
    // Never leave half a line break at the cut.
    if (out.back() == '\r') out.pop_back();
  }
  return out;
}

}  // namespace kavel
