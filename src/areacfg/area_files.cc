#include "areacfg/area_files.h"

#include "platform/platform.h"

namespace kavel {
namespace {

// The file $FIDOCONFIG names when it is a regular file, else empty.
std::string FidoconfigFromEnvironment() {
  std::string path = GetEnvironmentVariable("FIDOCONFIG");
  FileFacts facts;
  if (path.empty() || !ExamineFile(path, &facts) || !facts.regular) {
    return std::string();
  }
  return path;
}

}  // namespace

char ChooseAreaFileKind(const AreaFileSettings& files) {
  if (!files.hptPath.empty()) return kFidoconfigAreas;
  if (!files.squishPath.empty()) return kSquishAreas;
  if (!files.terminatePath.empty()) return kTerminateAreas;
  if (!FidoconfigFromEnvironment().empty()) return kFidoconfigAreas;
  return 0;
}

std::string AreaFilePath(const AreaFileSettings& files, char kind) {
  switch (kind) {
    case kFidoconfigAreas:
      return files.hptPath.empty() ? FidoconfigFromEnvironment()
                                   : files.hptPath;
    case kSquishAreas:
      return files.squishPath;
    case kTerminateAreas:
      return files.terminatePath;
    default:
      return std::string();
  }
}

std::string TriedAreaFileLine(const AreaFileSettings& files, char kind) {
  const char* keyword = kind == kFidoconfigAreas
                            ? (files.hptPath.empty() ? "FIDOCONFIG" : "HPTPATH")
                        : kind == kSquishAreas    ? "SQUISH"
                        : kind == kTerminateAreas ? "TERMINATE"
                                                  : nullptr;
  if (keyword == nullptr) {
    return "Areas configuration file not named: none of HPTPATH, SQUISH, "
           "TERMINATE is set, and FIDOCONFIG names no readable file";
  }
  return std::string("Areas configuration file tried: ") + keyword + " \"" +
         AreaFilePath(files, kind) + "\"";
}

}  // namespace kavel
