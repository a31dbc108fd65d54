#include "platform/file_queries.h"

namespace kavel {
namespace {

int last_io_result = 0;

bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

bool FirstMatchingEntry(std::string_view name, uint8_t mask,
                        FoundEntry* entry) {
  if (name.empty()) return false;
  std::unique_ptr<FileSearch> search = NewFileSearch();
  bool found = search->Start(name, mask, entry);
  search->End();
  return found;
}

}  // namespace

bool FileExists(std::string_view name) {
  FoundEntry entry;
  return FirstMatchingEntry(name, kAttrAll, &entry);
}

bool DirectoryExists(std::string_view path) {
  std::string_view name = path;
  if (!name.empty() && IsPathSeparator(name.back())) name.remove_suffix(1);
  // A root ("\", "C:\", "C:") has no entry of its own in its parent.
  if (name.empty() || name.back() == ':' || IsPathSeparator(name.back())) {
    return !path.empty() && IsDirectory(path);
  }
  std::unique_ptr<FileSearch> search = NewFileSearch();
  FoundEntry entry;
  bool found = search->Start(name, kAttrDirectory | kAttrHidden, &entry);
  while (found && !(entry.attributes & kAttrDirectory)) {
    found = search->Next(&entry);
  }
  search->End();
  return found;
}

uint32_t FileSizeOf(std::string_view name) {
  FoundEntry entry;
  return FirstMatchingEntry(name, kAttrAll, &entry) ? entry.size : 0;
}

bool TryOpenForReading(std::string_view name,
                       std::unique_ptr<TextReader>* file) {
  int error = kErrorNone;
  *file = OpenTextReader(name, &error);
  if (*file == nullptr && error == kErrorNone) error = kErrorOther;
  last_io_result = *file ? kErrorNone : error;
  return *file != nullptr;
}

int LastIoResult() { return last_io_result; }

}  // namespace kavel
