// Program path text to native Linux paths: separators, drive letters and
// case-insensitive lookup through a per-directory listing cache.
#include <dirent.h>
#include <errno.h>
#include <limits.h>
#include <pthread.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/path_cache.h"
#include "platform/platform.h"
#include "platform/posix_env.h"
#include "util/case_fold.h"

namespace kavel {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The entries of one directory, found by their upper-cased spelling.
// Several entries may share a folded name (foo.msg and FOO.MSG); the one
// first in byte order is the answer, so the choice among them is stable.
// One string a name: a text base holds thousands.
class FoldedNames {
 public:
  void Add(const std::string& name) {
    if (!Holds(name)) names_.insert(name);
  }
  void Remove(const std::string& name) {
    auto [from, to] = names_.equal_range(name);
    for (auto it = from; it != to; ++it) {
      if (*it == name) {
        names_.erase(it);
        return;
      }
    }
  }
  // The spelling of `name` in any case, or null.
  const std::string* Find(const std::string& name) const {
    auto [from, to] = names_.equal_range(name);
    const std::string* first = nullptr;
    for (auto it = from; it != to; ++it) {
      if (first == nullptr || *it < *first) first = &*it;
    }
    return first;
  }
  // `name` itself when held as spelled, otherwise as Find.
  const std::string* Spelling(const std::string& name) const {
    auto [from, to] = names_.equal_range(name);
    auto exact = std::find(from, to, name);
    return exact != to ? &*exact : Find(name);
  }
  void Clear() { names_.clear(); }

 private:
  bool Holds(const std::string& name) const {
    auto [from, to] = names_.equal_range(name);
    return std::find(from, to, name) != to;
  }
  // FNV-1a over the bytes of UpperText(name). Names of plain ASCII (most)
  // are folded byte by byte without a copy; a name with other bytes never
  // equals one of plain ASCII (its folded form keeps bytes above 127).
  struct FoldedHash {
    size_t operator()(const std::string& name) const {
      uint64_t hash = kFnvBasis;
      for (char c : name) {
        if (static_cast<unsigned char>(c) >= 0x80) return Raw(UpperText(name));
        hash = Step(hash, UpperChar(c));
      }
      return static_cast<size_t>(hash);
    }
    static constexpr uint64_t kFnvBasis = 14695981039346656037ull;
    static uint64_t Step(uint64_t hash, char c) {
      return (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    static size_t Raw(const std::string& folded) {
      uint64_t hash = kFnvBasis;
      for (char c : folded) hash = Step(hash, c);
      return static_cast<size_t>(hash);
    }
  };
  struct FoldedEqual {
    bool operator()(const std::string& a, const std::string& b) const {
      return EqualIgnoringCase(a, b);
    }
  };
  std::unordered_multiset<std::string, FoldedHash, FoldedEqual> names_;
};

struct Listing {
  FoldedNames names;
};

struct PathCache {
  // Both keyed by absolute directory, in order, so that what lies under a
  // removed directory is one range.
  std::map<std::string, Listing> listings;
  // Absolute directories found to exist exactly as spelled; forgotten when
  // this process removes or renames them (or an ancestor).
  std::set<std::string> directories;
  // Directories asked whether a new name is taken in them.
  std::unordered_set<std::string> asked_for_new;
  long listings_read = 0;
};

// The cache and the watches below serve every thread of the process:
// each entry point of this file holds this lock while it works on them.
std::recursive_mutex& PathLock() {
  static std::recursive_mutex* lock = new std::recursive_mutex();
  return *lock;
}
using PathGuard = std::lock_guard<std::recursive_mutex>;

PathCache& Cache() {
  static PathCache* cache = new PathCache();
  return *cache;
}

std::string CurrentDirectory() {
  std::vector<char> buffer(4096);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return "/";
    buffer.resize(buffer.size() * 2);
  }
  return std::string(buffer.data());
}

// Lexically normalised absolute path: no "." or empty components, "x/.."
// pairs folded, no trailing "/" (except the root itself).
std::string NormaliseAbsolute(std::string_view path) {
  std::vector<std::string_view> parts;
  size_t i = 0;
  while (i < path.size()) {
    while (i < path.size() && path[i] == '/') ++i;
    size_t start = i;
    while (i < path.size() && path[i] != '/') ++i;
    std::string_view part = path.substr(start, i - start);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string out;
  for (std::string_view part : parts) {
    out += '/';
    out += part;
  }
  return out.empty() ? "/" : out;
}

std::string JoinNative(const std::string& dir, std::string_view name) {
  std::string out = dir;
  if (!out.empty() && out.back() != '/') out += '/';
  out += name;
  return out;
}

// Listings of directories that the kernel reports every change of
// (inotify), for lookups in directories asked about often: a listing is
// read once, after its watch was set, and every event since is applied
// before an answer, so it is as current as a fresh read (an entry another
// process made before the question was asked has queued its event by
// then) at the cost of one read of the event queue.
class DirectoryWatches {
 public:
  // False when the directory cannot be watched; otherwise *taken answers.
  bool Taken(const std::string& abs_dir, std::string_view name, bool* taken) {
    if (fd_ == -2) {
      fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
      if (fd_ >= 0) pthread_atfork(nullptr, nullptr, [] { in_child = true; });
    }
    // A forked child shares the event queue: it must not take the events
    // from its parent.
    if (fd_ < 0 || in_child) return false;
    DrainForQuestion();
    auto it = dirs_.find(abs_dir);
    if (it == dirs_.end()) {
      // A run goes from directory to directory (one per area): the watch
      // asked about longest ago makes room.
      if (dirs_.size() >= kMaxWatched) ForgetLeastRecent();
      const int wd = inotify_add_watch(fd_, abs_dir.c_str(),
                                       IN_CREATE | IN_DELETE | IN_MOVED_FROM |
                                           IN_MOVED_TO | IN_DELETE_SELF |
                                           IN_MOVE_SELF | IN_ONLYDIR);
      if (wd < 0) return false;
      Watched& watched = dirs_[abs_dir];
      watched.wd = wd;
      by_wd_[wd] = abs_dir;
      // The watched names answer lookups in this directory from now on.
      Cache().listings.erase(abs_dir);
      DIR* dir = opendir(abs_dir.c_str());
      if (dir == nullptr) {
        Forget(wd);
        return false;
      }
      ++Cache().listings_read;
      while (struct dirent* entry = readdir(dir)) {
        watched.names.Add(entry->d_name);
      }
      closedir(dir);
      // Changes made while the listing was read.
      Drain();
      it = dirs_.find(abs_dir);
      if (it == dirs_.end()) return false;
    }
    it->second.last_asked = ++questions_;
    *taken = it->second.names.Find(std::string(name)) != nullptr;
    return true;
  }

  bool Watching(const std::string& abs_dir) const {
    return dirs_.count(abs_dir) != 0;
  }

  // The names of `abs_dir`, current as of this call, when it is watched;
  // null otherwise.
  const FoldedNames* CurrentNames(const std::string& abs_dir) {
    if (fd_ < 0 || in_child || dirs_.find(abs_dir) == dirs_.end()) {
      return nullptr;
    }
    DrainForQuestion();
    auto it = dirs_.find(abs_dir);
    return it == dirs_.end() ? nullptr : &it->second.names;
  }

  // Questions within one platform call read the queue once
  // (OneWatchDrainScope).
  void EnterCall() { ++call_depth_; }
  void LeaveCall() {
    if (--call_depth_ == 0) drained_in_call_ = false;
  }

 private:
  struct Watched {
    int wd = -1;
    uint64_t last_asked = 0;
    FoldedNames names;
  };
  static constexpr size_t kMaxWatched = 64;

  void ForgetLeastRecent() {
    auto oldest = dirs_.begin();
    for (auto it = dirs_.begin(); it != dirs_.end(); ++it) {
      if (it->second.last_asked < oldest->second.last_asked) oldest = it;
    }
    if (oldest != dirs_.end()) Forget(oldest->second.wd);
  }

  void Forget(int wd) {
    auto it = by_wd_.find(wd);
    if (it == by_wd_.end()) return;
    dirs_.erase(it->second);
    inotify_rm_watch(fd_, wd);
    by_wd_.erase(it);
  }

  // Drain, unless a question of the same platform call drained already.
  void DrainForQuestion() {
    if (drained_in_call_) return;
    Drain();
    drained_in_call_ = call_depth_ > 0;
  }

  // Applies every queued event; on an overflow every listing is dropped.
  void Drain() {
    alignas(struct inotify_event) char buffer[16384];
    // A read that left room for the largest event took the whole queue.
    constexpr ssize_t kWholeQueue =
        sizeof buffer - (sizeof(struct inotify_event) + NAME_MAX + 1);
    for (ssize_t got = sizeof buffer; got >= kWholeQueue;) {
      got = read(fd_, buffer, sizeof buffer);
      if (got <= 0) return;
      for (ssize_t at = 0; at < got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        if (event->mask & IN_Q_OVERFLOW) {
          while (!by_wd_.empty()) Forget(by_wd_.begin()->first);
          continue;
        }
        auto dir = by_wd_.find(event->wd);
        if (dir == by_wd_.end()) continue;
        if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) {
          Forget(event->wd);
          continue;
        }
        if (event->len == 0) continue;
        const std::string entry(event->name);
        FoldedNames& names = dirs_[dir->second].names;
        if (event->mask & (IN_CREATE | IN_MOVED_TO)) {
          names.Add(entry);
        } else if (event->mask & (IN_DELETE | IN_MOVED_FROM)) {
          names.Remove(entry);
        }
      }
    }
  }

  int fd_ = -2;  // -2: not tried yet, -1: not available
  uint64_t questions_ = 0;
  int call_depth_ = 0;
  bool drained_in_call_ = false;
  // Set in a child forked after the queue was made.
  static inline bool in_child = false;
  std::unordered_map<std::string, Watched> dirs_;
  std::unordered_map<int, std::string> by_wd_;
};

DirectoryWatches& Watches() {
  static DirectoryWatches* watches = new DirectoryWatches();
  return *watches;
}

// Names with at most this many letters are checked spelling by spelling.
constexpr size_t kMaxSpelledLetters = 4;

bool EntryExists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

Listing* LoadListing(const std::string& abs_dir) {
  DIR* dir = opendir(abs_dir.c_str());
  if (dir == nullptr) return nullptr;
  PathCache& cache = Cache();
  ++cache.listings_read;
  Listing& listing = cache.listings[abs_dir];
  listing.names.Clear();
  while (struct dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    listing.names.Add(name);
  }
  closedir(dir);
  return &listing;
}

Listing* FindListing(const std::string& abs_dir) {
  auto it = Cache().listings.find(abs_dir);
  return it == Cache().listings.end() ? nullptr : &it->second;
}

// How the last component of a path is looked up.
enum class LastLookup {
  kFull,      // as every other component
  kNoExact,   // its exact spelling is known not to exist: listing only
  kNewEntry,  // about to be created or claimed: listing only, not verified
};

// The on-disk spelling of `name` inside `abs_dir`, or `name` itself when no
// entry matches; *found tells whether an entry was found. kNoExact skips
// the test of the exact spelling; kNewEntry also takes a spelling the
// listing holds without testing it (the exclusive create or the rename
// that refuses to replace answers for it).
std::string LookUpComponent(const std::string& abs_dir, std::string_view name,
                            LastLookup how, bool* found) {
  const std::string wanted(name);
  // A watched directory's names are current: they answer alone.
  if (const FoldedNames* names = Watches().CurrentNames(abs_dir)) {
    const std::string* spelled = names->Spelling(wanted);
    *found = spelled != nullptr;
    return spelled ? *spelled : wanted;
  }
  if (how == LastLookup::kFull && EntryExists(JoinNative(abs_dir, name))) {
    *found = true;
    return wanted;
  }
  // A cached listing may be stale (another process removed the entry): a
  // spelling it names is tested, and the listing read once more when the
  // test misses.
  for (int attempt = 0; attempt < 2; ++attempt) {
    Listing* listing = attempt == 0 ? FindListing(abs_dir) : nullptr;
    if (listing == nullptr) listing = LoadListing(abs_dir);
    if (listing == nullptr) break;
    const std::string* spelled = listing->names.Find(wanted);
    if (spelled == nullptr) break;
    const std::string candidate = *spelled;
    if (how == LastLookup::kNewEntry ||
        EntryExists(JoinNative(abs_dir, candidate))) {
      *found = true;
      return candidate;
    }
  }
  *found = false;
  return std::string(name);
}

// Splits a native path into its normalised absolute directory and its last
// component. False when the path has no last component.
bool SplitNative(std::string_view native, std::string* abs_dir,
                 std::string* name) {
  std::string path(native);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (path.empty() || path == "/") return false;
  std::string absolute =
      path[0] == '/' ? path : JoinNative(CurrentDirectory(), path);
  size_t slash = absolute.rfind('/');
  *name = absolute.substr(slash + 1);
  if (*name == "." || *name == "..") return false;
  *abs_dir = NormaliseAbsolute(absolute.substr(0, slash));
  return true;
}

// Joins the components of `text` onto *out (and *abs_dir when given) the
// way the lookup joins components it found spelled as given. False when a
// component is "." or ".." (the lexical folding of those differs from the
// kernel's) or there is no component; the outputs are then partly joined.
bool JoinPlainComponents(std::string_view text, std::string* out,
                         std::string* abs_dir) {
  bool any = false;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsSeparator(text[i])) ++i;
    const size_t start = i;
    while (i < text.size() && !IsSeparator(text[i])) ++i;
    const std::string_view component = text.substr(start, i - start);
    if (component.empty()) break;
    if (component == "." || component == "..") return false;
    *out = JoinNative(*out, component);
    if (abs_dir) *abs_dir = JoinNative(*abs_dir, component);
    any = true;
  }
  return any;
}

// True when `abs_dir` is a directory; a directory once found is remembered
// for the rest of the run (it is asked about for every file saved in it).
bool KnownDirectory(const std::string& abs_dir) {
  auto& known = Cache().directories;
  if (known.count(abs_dir) != 0) return true;
  struct stat st;
  if (stat(abs_dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  known.insert(abs_dir);
  return true;
}

// Most paths name an entry of a directory spelled on disk exactly as given.
// When the directory part of `rest` (up to its last separator) exists so
// spelled, one test (or none, once remembered) stands for the walk through
// its components, since every component of an existing path exists; the
// components are then joined onto *out and *abs_dir as the walk would join
// them, and the answer is the offset in `rest` where the walk goes on. 0
// (nothing changed) when the directory part holds "." or "..", or is no
// directory exactly so spelled.
size_t ExactDirectoryPrefix(std::string_view rest, std::string* out,
                            std::string* abs_dir) {
  size_t last = rest.size();
  while (last > 0 && !IsSeparator(rest[last - 1])) --last;
  if (last == 0) return 0;
  std::string joined_out = *out;
  std::string joined_dir = *abs_dir;
  if (!JoinPlainComponents(rest.substr(0, last), &joined_out, &joined_dir) ||
      !KnownDirectory(joined_dir)) {
    return 0;
  }
  *out = std::move(joined_out);
  *abs_dir = std::move(joined_dir);
  return last;
}

}  // namespace

namespace {

// The start of a native path for `path`: *out gets what the path's root
// maps to ("/", a drive's directory, or nothing for a relative path) and
// the answer is the length of `path` that the root took. *abs_dir, when
// given, gets the absolute directory the first component lives in.
size_t NativeRoot(std::string_view path, std::string* out,
                  std::string* abs_dir) {
  size_t taken = 0;
  out->clear();
  std::string dir;
  if (path.size() >= 2 && path[1] == ':' &&
      std::isalpha(static_cast<unsigned char>(path[0]))) {
    std::string variable = "KAVEL_DRIVE_";
    variable +=
        static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
    const char* mapped = std::getenv(variable.c_str());
    if (mapped != nullptr && *mapped != '\0') {
      out->assign(mapped);
    } else {
      out->assign(1, '/');
    }
    taken = 2;
    if (abs_dir) {
      dir = (*out)[0] == '/' ? *out : JoinNative(CurrentDirectory(), *out);
    }
  } else if (!path.empty() && IsSeparator(path[0])) {
    out->assign(1, '/');
    dir.assign(1, '/');
  } else if (abs_dir) {
    dir = CurrentDirectory();
  }
  if (abs_dir) *abs_dir = NormaliseAbsolute(dir);
  return taken;
}

}  // namespace

namespace platform_internal {

std::string LiteralNativePath(std::string_view path) {
  std::string out;
  std::string_view rest = path.substr(NativeRoot(path, &out, nullptr));
  if (rest.empty() || IsSeparator(rest.back()) ||
      !JoinPlainComponents(rest, &out, nullptr)) {
    return "";
  }
  return out;
}

}  // namespace platform_internal

namespace {

// NativePath with the last component looked up as `last` says; *found
// (when given) tells whether every component was found.
std::string ResolveNative(std::string_view path, LastLookup last, bool* found) {
  std::string out;      // the native path as returned
  std::string abs_dir;  // absolute directory the next component lives in
  std::string_view rest = path.substr(NativeRoot(path, &out, &abs_dir));

  bool missing = false;  // a component did not exist; the rest cannot
  size_t i = ExactDirectoryPrefix(rest, &out, &abs_dir);
  // The shortcuts for the last component hold only in a directory spelled
  // as given (where the caller's literal path lies).
  if (i == 0) last = LastLookup::kFull;
  while (i < rest.size()) {
    while (i < rest.size() && IsSeparator(rest[i])) ++i;
    size_t start = i;
    while (i < rest.size() && !IsSeparator(rest[i])) ++i;
    std::string_view component = rest.substr(start, i - start);
    if (component.empty()) break;
    std::string spelled(component);
    if (component != "." && component != ".." && !missing) {
      const bool is_last = i == rest.size();
      bool found_here = false;
      spelled = LookUpComponent(
          abs_dir, component, is_last ? last : LastLookup::kFull, &found_here);
      missing = !found_here;
    }
    out = JoinNative(out, spelled);
    abs_dir = NormaliseAbsolute(JoinNative(abs_dir, spelled));
  }
  if (!rest.empty() && IsSeparator(rest.back()) && !out.empty() &&
      out.back() != '/') {
    out += '/';
  }
  if (out.empty() && !path.empty()) out.assign(1, '.');
  if (found) *found = !missing;
  return out;
}

}  // namespace

std::string NativePath(std::string_view path) {
  PathGuard guard(PathLock());
  return ResolveNative(path, LastLookup::kFull, nullptr);
}

void PosixEnv::ForgetPathCache() {
  PathGuard guard(PathLock());
  Cache().listings.clear();
  Cache().directories.clear();
  Cache().asked_for_new.clear();
}

namespace {

// Erases the keys `dir` and those below it ("dir/...") of an ordered
// container of absolute directories.
template <typename Container>
void EraseUnder(const std::string& dir, Container* keys) {
  keys->erase(dir);
  // Keys below `dir` sort from "dir/" up to, not including, "dir0".
  keys->erase(keys->lower_bound(dir + '/'), keys->lower_bound(dir + '0'));
}

}  // namespace

namespace platform_internal {

std::string NativePathForNewEntry(std::string_view path) {
  PathGuard guard(PathLock());
  return ResolveNative(path, LastLookup::kNewEntry, nullptr);
}

bool NativePathOfMissingLiteral(std::string_view path, std::string* native) {
  PathGuard guard(PathLock());
  bool found = false;
  *native = ResolveNative(path, LastLookup::kNoExact, &found);
  return found;
}

void NoteEntryCreated(std::string_view native_path) {
  PathGuard guard(PathLock());
  std::string abs_dir, name;
  if (!SplitNative(native_path, &abs_dir, &name)) return;
  if (Listing* listing = FindListing(abs_dir)) {
    listing->names.Add(name);
  }
}

void NoteEntryRemoved(std::string_view native_path) {
  PathGuard guard(PathLock());
  std::string abs_dir, name;
  if (!SplitNative(native_path, &abs_dir, &name)) return;
  if (Listing* listing = FindListing(abs_dir)) {
    listing->names.Remove(name);
  }
  // A removed directory takes its own listing (and those below it) along.
  std::string prefix = NormaliseAbsolute(JoinNative(abs_dir, name));
  EraseUnder(prefix, &Cache().listings);
  EraseUnder(prefix, &Cache().directories);
}

// The scope holds the lock for the whole platform call, so that the
// questions it asks are answered as of one moment for one thread.
OneWatchDrainScope::OneWatchDrainScope() {
  PathLock().lock();
  Watches().EnterCall();
}
OneWatchDrainScope::~OneWatchDrainScope() {
  Watches().LeaveCall();
  PathLock().unlock();
}

bool WatchedEntryExists(std::string_view path, bool* exists) {
  PathGuard guard(PathLock());
  const std::string literal = LiteralNativePath(path);
  std::string abs_dir, name;
  if (literal.empty() || !SplitNative(literal, &abs_dir, &name)) return false;
  const FoldedNames* names = Watches().CurrentNames(abs_dir);
  if (names == nullptr) return false;
  *exists = names->Find(name) != nullptr;
  return true;
}

bool NameTakenInAnyCase(std::string_view native_path) {
  PathGuard guard(PathLock());
  std::string abs_dir, name;
  if (!SplitNative(native_path, &abs_dir, &name)) return false;
  // Asked afresh, never from the cached listing: another process may have
  // made the entry since it was taken. A watched directory answers from its
  // current names; a directory asked about again is likely to be asked
  // about often (a message base being posted into) and is watched from
  // then on.
  bool taken = false;
  const bool asked_before = !Cache().asked_for_new.insert(abs_dir).second;
  if ((asked_before || Watches().Watching(abs_dir)) &&
      Watches().Taken(abs_dir, name, &taken)) {
    return taken;
  }
  // A name with few letters has few spellings, and looking each up costs
  // less than reading a directory of thousands of messages. Each letter:
  // where it stands and its spelling in the other case (of the same
  // length, so positions stay valid in every spelling).
  std::vector<std::pair<size_t, std::string>> letters;
  const bool utf8 = IsUtf8Name(name);
  std::string other;
  for (size_t i = 0; i < name.size();) {
    const size_t length = OtherCaseAt(name, i, utf8, &other);
    if (!other.empty()) letters.emplace_back(i, other);
    i += length;
  }
  if (letters.size() <= kMaxSpelledLetters) {
    std::string spelling = name;
    for (uint32_t mask = 0; mask < (1u << letters.size()); ++mask) {
      for (size_t k = 0; k < letters.size(); ++k) {
        const auto& [at, swapped] = letters[k];
        spelling.replace(
            at, swapped.size(),
            (mask >> k) & 1 ? swapped : name.substr(at, swapped.size()));
      }
      if (EntryExists(JoinNative(abs_dir, spelling))) return true;
    }
    return false;
  }
  if (Watches().Taken(abs_dir, name, &taken)) return taken;
  // Without a watch the directory is read through, comparing as it goes.
  DIR* dir = opendir(abs_dir.c_str());
  if (dir == nullptr) return false;
  ++Cache().listings_read;
  while (struct dirent* entry = readdir(dir)) {
    if (EqualIgnoringCase(entry->d_name, name)) {
      taken = true;
      break;
    }
  }
  closedir(dir);
  return taken;
}

long DirectoryListingsRead() {
  PathGuard guard(PathLock());
  return Cache().listings_read;
}

int ErrorFromErrno(int errno_value) {
  switch (errno_value) {
    case 0:
      return kErrorNone;
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
      return kErrorNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
      return kErrorAccess;
    case EEXIST:
      return kErrorExists;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return kErrorNoSpace;
    default:
      return kErrorOther;
  }
}

}  // namespace platform_internal
}  // namespace kavel
