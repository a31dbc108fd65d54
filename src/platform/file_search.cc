// DOS-style file search over Linux directories.
#include <dirent.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/path_cache.h"
#include "platform/platform.h"
#include "platform/posix_env.h"
#include "util/case_fold.h"

namespace kavel {
namespace platform_internal {
namespace {

// Length of the character at name[n]: one byte, or a whole UTF-8
// character when the name is UTF-8 (a "?" stands for one character).
size_t CharLength(std::string_view name, size_t n, bool utf8) {
  if (!utf8) return 1;
  size_t length = 1;
  while (n + length < name.size() &&
         (static_cast<unsigned char>(name[n + length]) & 0xC0) == 0x80) {
    ++length;
  }
  return length;
}

// Pattern and name are both folded already.
bool GlobMatch(std::string_view pattern, std::string_view name, bool utf8) {
  size_t p = 0, n = 0;
  size_t star = std::string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
      n += pattern[p] == '?' ? CharLength(name, n, utf8) : 1;
      ++p;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      resume += CharLength(name, resume, utf8);
      n = resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool GlobMatch(std::string_view pattern, std::string_view name) {
  return GlobMatch(UpperText(pattern), UpperText(name), IsUtf8Name(name));
}

}  // namespace

bool MatchesDosPattern(std::string_view pattern, std::string_view name) {
  if (GlobMatch(pattern, name)) return true;
  bool name_has_dot = name.find('.') != std::string_view::npos;
  if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" &&
      !name_has_dot) {
    return GlobMatch(pattern.substr(0, pattern.size() - 2), name);
  }
  if (!pattern.empty() && pattern.back() == '.' && !name_has_dot) {
    return GlobMatch(pattern.substr(0, pattern.size() - 1), name);
  }
  return false;
}

uint32_t DosPackedTime(int64_t unix_seconds) {
  time_t t = static_cast<time_t>(unix_seconds);
  struct tm local;
  if (localtime_r(&t, &local) == nullptr) return (1u << 21) | (1u << 16);
  int year = local.tm_year + 1900;
  if (year < 1980) return (1u << 21) | (1u << 16);
  if (year > 2107) {
    return (127u << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) |
           29u;
  }
  uint32_t date = (static_cast<uint32_t>(year - 1980) << 9) |
                  (static_cast<uint32_t>(local.tm_mon + 1) << 5) |
                  static_cast<uint32_t>(local.tm_mday);
  uint32_t time = (static_cast<uint32_t>(local.tm_hour) << 11) |
                  (static_cast<uint32_t>(local.tm_min) << 5) |
                  static_cast<uint32_t>(local.tm_sec / 2);
  return (date << 16) | time;
}

}  // namespace platform_internal

namespace {

bool HasWildcard(std::string_view name) {
  return name.find_first_of("*?") != std::string_view::npos;
}

bool ReadOnlyFor(const std::string& native, const struct stat& st) {
  static const bool root = geteuid() == 0;  // the program never changes it
  if (root) {
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
  }
  return access(native.c_str(), W_OK) != 0;
}

// Fills *entry for the entry `name` found at `native`; false when the entry
// is of a kind never reported (devices, sockets, dangling links) or carries
// an attribute the mask excludes.
bool DescribeEntry(const std::string& native, const std::string& name,
                   uint8_t mask, FoundEntry* entry) {
  struct stat st;
  if (stat(native.c_str(), &st) != 0) return false;
  uint8_t attributes = 0;
  if (S_ISDIR(st.st_mode)) {
    attributes |= kAttrDirectory;
  } else if (S_ISREG(st.st_mode)) {
    attributes |= kAttrArchive;
  } else {
    return false;
  }
  bool dots = name == "." || name == "..";
  if (!dots && !name.empty() && name[0] == '.') attributes |= kAttrHidden;
  if (ReadOnlyFor(native, st)) attributes |= kAttrReadOnly;
  uint8_t filtered = attributes & (kAttrDirectory | kAttrHidden);
  if ((filtered & ~mask) != 0) return false;
  entry->name = name;
  entry->attributes = attributes;
  entry->size = static_cast<uint32_t>(st.st_size);
  entry->time = platform_internal::DosPackedTime(st.st_mtime);
  return true;
}

std::string JoinDir(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

class LinuxFileSearch : public platform_internal::ListedFileSearch {
 public:
  bool Start(std::string_view pattern, uint8_t attribute_mask,
             FoundEntry* entry) override {
    End();
    size_t split = pattern.find_last_of("\\/");
    std::string_view dir_part, name_part;
    if (split != std::string_view::npos) {
      dir_part = pattern.substr(0, split + 1);
      name_part = pattern.substr(split + 1);
    } else if (pattern.size() >= 2 && pattern[1] == ':') {
      dir_part = pattern.substr(0, 2);
      name_part = pattern.substr(2);
    } else {
      name_part = pattern;
    }
    if (name_part.empty()) return false;
    std::string dir = NativePath(dir_part);
    if (dir.empty()) dir.push_back('.');

    bool dots = name_part == "." || name_part == "..";
    if (!HasWildcard(name_part) && !dots) {
      // One name: resolved through the cached lookup, no directory scan.
      std::string native = NativePath(pattern);
      size_t slash = native.find_last_of('/');
      std::string on_disk =
          slash == std::string::npos ? native : native.substr(slash + 1);
      FoundEntry found;
      if (DescribeEntry(native, on_disk, attribute_mask, &found) &&
          UpperText(on_disk) == UpperText(name_part)) {
        results_.push_back(found);
      }
    } else {
      std::vector<std::string> names;
      if (DIR* handle = opendir(dir.c_str())) {
        while (struct dirent* d = readdir(handle)) {
          std::string name = d->d_name;
          if (name != "." && name != "..") names.push_back(name);
        }
        closedir(handle);
        std::sort(names.begin(), names.end());
        if (attribute_mask & kAttrDirectory) {
          names.insert(names.begin(), {".", ".."});
        }
      }
      for (const std::string& name : names) {
        if (!platform_internal::MatchesDosPattern(name_part, name)) continue;
        FoundEntry found;
        if (DescribeEntry(JoinDir(dir, name), name, attribute_mask, &found)) {
          results_.push_back(found);
        }
      }
    }
    return Next(entry);
  }
};

}  // namespace

std::unique_ptr<FileSearch> PosixEnv::NewFileSearch() {
  return std::make_unique<LinuxFileSearch>();
}

}  // namespace kavel
