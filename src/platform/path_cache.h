// Path resolution internals shared by the platform files: the per-directory
// cache of case-folded listings and the hooks that keep it current when this
// process itself creates or removes entries.
#ifndef KAVEL_PLATFORM_PATH_CACHE_H_
#define KAVEL_PLATFORM_PATH_CACHE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace kavel::platform_internal {

// Records that `native_path` (as returned by NativePath) now exists.
void NoteEntryCreated(std::string_view native_path);
// Records that `native_path` no longer exists.
void NoteEntryRemoved(std::string_view native_path);

// True when the directory of `native_path` holds an entry whose name equals
// its last component in any letter case (the directory is read afresh).
bool NameTakenInAnyCase(std::string_view native_path);

// Held by a platform call that asks several questions about one entry
// (its spelling, then whether it is taken in another case): the watches'
// event queue is read at the first question only, so every answer is as
// of that moment. Entries another process makes in between are met by
// the call's own exclusive create or no-replace rename.
class OneWatchDrainScope {
 public:
  OneWatchDrainScope();
  ~OneWatchDrainScope();
  OneWatchDrainScope(const OneWatchDrainScope&) = delete;
  OneWatchDrainScope& operator=(const OneWatchDrainScope&) = delete;
};

// When the directory that `path` names literally is watched: true, with
// *exists telling whether it holds an entry of the last component's name
// in any letter case (as of this call). False when it is not watched.
bool WatchedEntryExists(std::string_view path, bool* exists);

// `path` mapped to a native path without looking anything up (separators
// and drive letter only), or "" when it names no file by its components
// alone (a "." or ".." component, no component, a final separator). When
// an entry exists at that spelling, NativePath(path) answers the same path:
// callers try it first and fall back to NativePath when it is not there.
std::string LiteralNativePath(std::string_view path);

// The native path for an entry about to be created exclusively or claimed
// by a rename that refuses to replace: as NativePath, except that the last
// component is not tested at its exact spelling (the create or rename
// answers for it); a spelling in another case that the directory's listing
// holds is taken, so that the claim is refused.
std::string NativePathForNewEntry(std::string_view path);

// For a path whose literal spelling (LiteralNativePath) names nothing: the
// native path NativePath would answer, without testing the literal
// spelling again. False when no entry was found (*native is then the path
// a new entry would get).
bool NativePathOfMissingLiteral(std::string_view path, std::string* native);

// Number of directory listings read from disk since the process started
// (tests use it to see that lookups are served from the cache).
long DirectoryListingsRead();

// DOS name matching: "*" any run of characters, "?" one character, case
// ignored (CP866 letters included); a pattern ending in ".*" also matches
// names without a dot, and one ending in "." matches names without a dot.
bool MatchesDosPattern(std::string_view pattern, std::string_view name);

// DOS packed date-time (date in the high word) of a local time in seconds
// since 1970; clamped to 1980-01-01 00:00:00 .. 2107-12-31 23:59:58.
uint32_t DosPackedTime(int64_t unix_seconds);

// Maps an errno value to one of the kError* codes of platform.h.
int ErrorFromErrno(int errno_value);

// A FileSearch whose Start puts every match into results_ at once (and
// then answers Next); Next hands them out in order.
class ListedFileSearch : public FileSearch {
 public:
  bool Next(FoundEntry* entry) override {
    if (next_ >= results_.size()) return false;
    *entry = results_[next_++];
    return true;
  }
  void End() override {
    results_.clear();
    next_ = 0;
  }

 protected:
  std::vector<FoundEntry> results_;
  size_t next_ = 0;
};

}  // namespace kavel::platform_internal

#endif  // KAVEL_PLATFORM_PATH_CACHE_H_
