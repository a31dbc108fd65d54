#include "areacfg/area_files.h"

#include "util/text.h"

namespace kavel {

char ChooseAreaFileKind(const AreaFileSettings& files) {
  if (!files.hptPath.empty()) return kFidoconfigAreas;
  if (!files.squishPath.empty()) return kSquishAreas;
  if (!files.terminatePath.empty()) return kTerminateAreas;
  return 0;
}

const std::string& AreaFilePath(const AreaFileSettings& files, char kind) {
  static const std::string kNoPath;
  switch (kind) {
    case kFidoconfigAreas:
      return files.hptPath;
    case kSquishAreas:
      return files.squishPath;
    case kTerminateAreas:
      return files.terminatePath;
    default:
      return kNoPath;
  }
}

std::string TriedAreaFileLine(const AreaFileSettings& files, char kind) {
  const char* keyword = kind == kFidoconfigAreas  ? "HPTPATH"
                        : kind == kSquishAreas    ? "SQUISH"
                        : kind == kTerminateAreas ? "TERMINATE"
                                                  : nullptr;
  if (keyword == nullptr) {
    return "Areas configuration file not named: none of HPTPATH, SQUISH, "
           "TERMINATE is set";
  }
  return std::string("Areas configuration file tried: ") + keyword + " \"" +
         AreaFilePath(files, kind) + "\"";
}

std::string NormalizeAreaLine(std::string_view raw) {
  std::string line = ShortString(raw);
  for (char& c : line) {
    if (c == '\t') c = ' ';
  }
  return line;
}

bool IsAreaCommentOrEmpty(std::string_view line) {
  size_t start = line.find_first_not_of(' ');
  if (start == std::string_view::npos) return true;
  return !IsSignificantLine(line.substr(start));
}

std::string WordAsWritten(std::string_view text) {
  size_t start = text.find_first_not_of(' ');
  if (start == std::string_view::npos) return std::string();
  size_t end = text.find(' ', start);
  if (end == std::string_view::npos) end = text.size();
  return std::string(text.substr(start, end - start));
}

std::string_view AfterFirstWord(std::string_view text) {
  size_t start = text.find_first_not_of(' ');
  if (start == std::string_view::npos) return std::string_view();
  size_t blank = text.find(' ', start);
  if (blank == std::string_view::npos) return std::string_view();
  size_t next = text.find_first_not_of(' ', blank);
  if (next == std::string_view::npos) return std::string_view();
  return text.substr(next);
}

}  // namespace kavel
