#include "decoding/uue_decoder.h"

#include "util/text.h"

namespace kavel {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (IsBlank(text.front()) || text.front() == '\r')) {
    text.remove_prefix(1);
  }
  while (!text.empty() && (IsBlank(text.back()) || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

// The value of one encoded character, or -1 outside 32..96.
int Value(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  if (u < 32 || u > 96) return -1;
  return (u - 32) & 63;
}

// Characters that n bytes take.
size_t EncodedLength(int n) { return static_cast<size_t>((n + 2) / 3 * 4); }

bool IsDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// Reads a decimal number of at most 9 digits.
bool ReadNumber(std::string_view text, int32_t* out) {
  if (!IsDigits(text) || text.size() > 9) return false;
  int32_t n = 0;
  for (char c : text) n = n * 10 + (c - '0');
  *out = n;
  return true;
}

// Cuts the next blank-separated word off *text.
std::string_view NextWord(std::string_view* text) {
  while (!text->empty() && IsBlank(text->front())) text->remove_prefix(1);
  size_t end = 0;
  while (end < text->size() && !IsBlank((*text)[end])) ++end;
  std::string_view word = text->substr(0, end);
  text->remove_prefix(end);
  return word;
}

bool ValidNumbering(const PartNumbering& n, int32_t max_parts) {
  return n.part >= 1 && n.part <= n.total && n.total <= max_parts;
}

}  // namespace

bool ParseUueBeginLine(std::string_view line, std::string* name) {
  if (line.substr(0, 6) != "begin ") return false;
  line.remove_prefix(6);
  std::string_view mode = NextWord(&line);
  if (mode.empty() || mode.size() > 4) return false;
  for (char c : mode) {
    if (c < '0' || c > '7') return false;
  }
  std::string_view rest = Trimmed(line);
  if (rest.empty()) return false;
  name->assign(rest);
  return true;
}

bool IsUueDataLine(std::string_view line) {
  if (line.empty()) return false;
  const int n = Value(line[0]);
  if (n < 0) return false;
  const size_t want = 1 + EncodedLength(n);
  if (line.size() != want && line.size() != want + 1) return false;
  for (char c : line) {
    if (Value(c) < 0) return false;
  }
  return true;
}

bool UueDecoder::Fail(Problem problem) {
  problem_ = problem;
  state_ = State::kFailed;
  return false;
}

bool UueDecoder::Line(std::string_view line, std::string* bytes) {
  if (state_ == State::kFailed) return false;
  while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.empty() || line[0] == '\x01') return true;
  ++line_number_;
  switch (state_) {
    case State::kBeforeBegin:
      if (!ParseUueBeginLine(line, &name_)) return Fail(Problem::kNoBegin);
      state_ = State::kData;
      return true;
    case State::kData:
    case State::kWantEnd: {
      if (line == "end") {
        state_ = State::kEnded;
        return true;
      }
      if (state_ == State::kWantEnd) return Fail(Problem::kNoEnd);
      const int n = Value(line[0]);
      if (n < 0) return Fail(Problem::kBadCharacter);
      const size_t want = EncodedLength(n);
      if (line.size() != 1 + want && line.size() != 2 + want) {
        return Fail(Problem::kBadLength);
      }
      if (n == 0) {
        state_ = State::kWantEnd;
        return true;
      }
      for (size_t i = 1; i < line.size(); ++i) {
        if (Value(line[i]) < 0) return Fail(Problem::kBadCharacter);
      }
      const char* p = line.data() + 1;
      for (int left = n; left > 0; left -= 3, p += 4) {
        const unsigned a = static_cast<unsigned>(Value(p[0]));
        const unsigned b = static_cast<unsigned>(Value(p[1]));
        const unsigned c = static_cast<unsigned>(Value(p[2]));
        const unsigned d = static_cast<unsigned>(Value(p[3]));
        bytes->push_back(static_cast<char>((a << 2) | (b >> 4)));
        if (left > 1) bytes->push_back(static_cast<char>((b << 4) | (c >> 2)));
        if (left > 2) bytes->push_back(static_cast<char>((c << 6) | d));
      }
      return true;
    }
    case State::kEnded:
      return Fail(Problem::kTextAfterEnd);
    case State::kFailed:
      break;
  }
  return false;
}

bool UueDecoder::Finish() {
  if (state_ == State::kEnded) return true;
  if (state_ == State::kFailed) return false;
  if (state_ == State::kBeforeBegin) return Fail(Problem::kNoBegin);
  return Fail(Problem::kNoEnd);
}

std::string UueDecoder::ProblemText() const {
  const std::string where = " in line " + IntToText(line_number_);
  switch (problem_) {
    case Problem::kNone:
      break;
    case Problem::kNoBegin:
      return "no begin line";
    case Problem::kBadLength:
      return "bad length character" + where;
    case Problem::kBadCharacter:
      return "bad character" + where;
    case Problem::kNoEnd:
      return "no end line";
    case Problem::kTextAfterEnd:
      return "text after the end line" + where;
  }
  return std::string();
}

bool ParseSectionLine(std::string_view line, int32_t max_parts,
                      PartNumbering* out) {
  line = Trimmed(line);
  if (UpperText(NextWord(&line)) != "SECTION") return false;
  PartNumbering n;
  if (!ReadNumber(NextWord(&line), &n.part)) return false;
  if (UpperText(NextWord(&line)) != "OF") return false;
  if (!ReadNumber(NextWord(&line), &n.total)) return false;
  if (!ValidNumbering(n, max_parts)) return false;
  if (UpperText(NextWord(&line)) == "OF" &&
      UpperText(NextWord(&line)) == "FILE") {
    n.fileName.assign(NextWord(&line));
  }
  *out = n;
  return true;
}

bool ParseSubjectNumbering(std::string_view subject, int32_t max_parts,
                           PartNumbering* out, std::string* rest) {
  for (size_t open = 0; open < subject.size(); ++open) {
    const char close = subject[open] == '['   ? ']'
                       : subject[open] == '(' ? ')'
                                              : '\0';
    if (close == '\0') continue;
    const size_t slash = subject.find('/', open);
    const size_t end = subject.find(close, open);
    if (slash == std::string_view::npos || end == std::string_view::npos ||
        slash > end) {
      continue;
    }
    PartNumbering n;
    if (!ReadNumber(subject.substr(open + 1, slash - open - 1), &n.part) ||
        !ReadNumber(subject.substr(slash + 1, end - slash - 1), &n.total) ||
        !ValidNumbering(n, max_parts)) {
      continue;
    }
    *out = n;
    std::string joined(subject.substr(0, open));
    joined.push_back(' ');
    joined.append(subject.substr(end + 1));
    *rest = std::string(Trimmed(joined));
    return true;
  }
  return false;
}

}  // namespace kavel
