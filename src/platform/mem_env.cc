#include "platform/mem_env.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/path_cache.h"
#include "util/case_fold.h"

namespace kavel {

struct MemEnv::Node {
  struct Lock {
    const void* owner;
    uint64_t offset, length;
  };
  std::string spelling;  // full path as made, "/Dir/Name"
  bool directory = false;
  std::string bytes;
  uint32_t time = 0;  // DOS packed time of the last write
  std::vector<Lock> locks;
};

namespace {

using Node = MemEnv::Node;

constexpr uint64_t kMaxFileBytes = 64 << 20;

std::string KeyOf(const std::vector<std::string>& parts) {
  std::string key;
  for (const std::string& part : parts) {
    key.push_back('/');
    key.append(UpperText(part));
  }
  return key.empty() ? "/" : key;
}

// The children of `key` sit below "key/"; the root's below "/".
std::string ChildPrefix(const std::string& key) {
  std::string prefix = key;
  if (prefix != "/") prefix.push_back('/');
  return prefix;
}

class MemFile : public PlatformFile {
 public:
  MemFile(std::shared_ptr<Node> node, bool readable, bool writable, bool append,
          uint32_t time)
      : node_(std::move(node)),
        readable_(readable),
        writable_(writable),
        append_(append),
        time_(time) {}
  ~MemFile() override {
    auto& locks = node_->locks;
    locks.erase(std::remove_if(locks.begin(), locks.end(),
                               [this](const Node::Lock& lock) {
                                 return lock.owner == this;
                               }),
                locks.end());
  }

  bool Read(void* buffer, size_t n, size_t* got) override {
    *got = 0;
    if (!readable_) return Fail(kErrorAccess);
    const std::string& bytes = node_->bytes;
    if (position_ < bytes.size()) {
      *got = std::min<uint64_t>(n, bytes.size() - position_);
      std::memcpy(buffer, bytes.data() + position_, *got);
      position_ += *got;
    }
    return true;
  }
  bool Write(const void* buffer, size_t n) override {
    if (!writable_) return Fail(kErrorAccess);
    std::string& bytes = node_->bytes;
    if (append_) position_ = bytes.size();
    // Memory is a small disk: a file never grows past kMaxFileBytes.
    if (position_ + n > kMaxFileBytes) return Fail(kErrorNoSpace);
    if (bytes.size() < position_ + n) bytes.resize(position_ + n, '\0');
    std::memcpy(bytes.data() + position_, buffer, n);
    position_ += n;
    node_->time = time_;
    return true;
  }
  bool Seek(uint64_t position) override {
    position_ = position;
    return true;
  }
  bool Size(uint64_t* size) override {
    *size = node_->bytes.size();
    return true;
  }
  bool Truncate(uint64_t size) override {
    if (!writable_) return Fail(kErrorAccess);
    node_->bytes.resize(size, '\0');
    return true;
  }
  bool Sync() override { return true; }
  bool LockRange(uint64_t offset, uint64_t length, int) override {
    for (const Node::Lock& lock : node_->locks) {
      if (lock.owner != this && offset < lock.offset + lock.length &&
          lock.offset < offset + length) {
        return Fail(kErrorAccess);
      }
    }
    node_->locks.push_back({this, offset, length});
    return true;
  }
  void UnlockRange(uint64_t offset, uint64_t length) override {
    auto& locks = node_->locks;
    locks.erase(std::remove_if(locks.begin(), locks.end(),
                               [&](const Node::Lock& lock) {
                                 return lock.owner == this &&
                                        lock.offset == offset &&
                                        lock.length == length;
                               }),
                locks.end());
  }
  int last_error() const override { return error_; }

 private:
  bool Fail(int error) {
    error_ = error;
    return false;
  }

  std::shared_ptr<Node> node_;
  bool readable_, writable_, append_;
  uint32_t time_;
  uint64_t position_ = 0;
  int error_ = kErrorNone;
};

class MemTextReader : public TextReader {
 public:
  explicit MemTextReader(std::string bytes) : bytes_(std::move(bytes)) {}
  bool ReadLine(std::string* line) override {
    line->clear();
    if (at_ >= bytes_.size()) return false;
    const size_t end =
        std::min(bytes_.find_first_of("\r\n", at_), bytes_.size());
    line->assign(bytes_, at_, end - at_);
    at_ = end + 1;
    if (end < bytes_.size() && bytes_[end] == '\r' && at_ < bytes_.size() &&
        bytes_[at_] == '\n') {
      ++at_;
    }
    return true;
  }

 private:
  std::string bytes_;
  size_t at_ = 0;
};

class MemTextWriter : public TextWriter {
 public:
  explicit MemTextWriter(std::shared_ptr<Node> node) : node_(std::move(node)) {}
  bool WriteLine(std::string_view line) override {
    return WriteRaw(line) && WriteRaw("\r\n");
  }
  bool WriteRaw(std::string_view bytes) override {
    if (closed_) return false;
    node_->bytes.append(bytes);
    return true;
  }
  bool Close() override {
    closed_ = true;
    return true;
  }

 private:
  std::shared_ptr<Node> node_;
  bool closed_ = false;
};

}  // namespace

class MemFileSearch : public platform_internal::ListedFileSearch {
 public:
  explicit MemFileSearch(MemEnv* env) : env_(env) {}

  bool Start(std::string_view pattern, uint8_t mask,
             FoundEntry* entry) override {
    End();
    const size_t split = pattern.find_last_of("\\/:");
    const std::string_view dir_part =
        split == std::string_view::npos ? "" : pattern.substr(0, split + 1);
    const std::string_view name_part =
        split == std::string_view::npos ? pattern : pattern.substr(split + 1);
    std::shared_ptr<Node> dir = env_->Find(dir_part);
    if (name_part.empty() || dir == nullptr || !dir->directory) return false;
    std::vector<std::string> parts;
    MemEnv::Split(dir_part, &parts);
    const std::string prefix = ChildPrefix(KeyOf(parts));
    std::vector<std::pair<std::string, const Node*>> names;
    for (auto it = env_->nodes_.lower_bound(prefix);
         it != env_->nodes_.end() && it->first.starts_with(prefix); ++it) {
      if (it->first.size() == prefix.size() ||
          it->first.find('/', prefix.size()) != std::string::npos) {
        continue;
      }
      const std::string& spelling = it->second->spelling;
      names.emplace_back(spelling.substr(spelling.rfind('/') + 1),
                         it->second.get());
    }
    std::sort(names.begin(), names.end());
    if (mask & kAttrDirectory) {
      names.insert(names.begin(), {{".", dir.get()}, {"..", dir.get()}});
    }
    for (const auto& [name, node] : names) {
      if (!platform_internal::MatchesDosPattern(name_part, name)) continue;
      FoundEntry found;
      found.name = name;
      found.attributes = node->directory ? kAttrDirectory : kAttrArchive;
      if (name[0] == '.' && name != "." && name != "..") {
        found.attributes |= kAttrHidden;
      }
      if ((found.attributes & (kAttrDirectory | kAttrHidden) & ~mask) != 0) {
        continue;
      }
      found.time = node->time;
      found.size = static_cast<uint32_t>(node->bytes.size());
      results_.push_back(found);
    }
    return Next(entry);
  }

 private:
  MemEnv* env_;
};

MemEnv::MemEnv() {
  clock_.year = 2000;
  clock_.month = 1;
  clock_.day = 1;
  clock_.day_of_week = 6;
  auto root = std::make_shared<Node>();
  root->directory = true;
  nodes_["/"] = root;
}

MemEnv::~MemEnv() = default;

void MemEnv::Clear() {
  std::shared_ptr<Node> root = nodes_["/"];
  nodes_.clear();
  nodes_["/"] = root;
}

bool MemEnv::Split(std::string_view path, std::vector<std::string>* parts) {
  parts->clear();
  if (path.size() >= 2 && path[1] == ':') path.remove_prefix(2);
  size_t at = 0;
  while (at <= path.size()) {
    size_t end = path.find_first_of("\\/", at);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view part = path.substr(at, end - at);
    at = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (parts->empty()) return false;
      parts->pop_back();
      continue;
    }
    parts->emplace_back(part);
  }
  return true;
}

std::shared_ptr<Node> MemEnv::Find(std::string_view path) {
  std::vector<std::string> parts;
  if (!Split(path, &parts)) return nullptr;
  auto it = nodes_.find(KeyOf(parts));
  return it == nodes_.end() ? nullptr : it->second;
}

std::shared_ptr<Node> MemEnv::Make(std::string_view path, bool directory,
                                   int* error) {
  std::vector<std::string> parts;
  if (!Split(path, &parts) || parts.empty()) {
    *error = kErrorAccess;
    return nullptr;
  }
  const std::string key = KeyOf(parts);
  if (auto it = nodes_.find(key); it != nodes_.end()) {
    if (it->second->directory != directory) {
      *error = kErrorAccess;
      return nullptr;
    }
    return it->second;
  }
  const std::string name = parts.back();
  parts.pop_back();
  auto parent = nodes_.find(KeyOf(parts));
  if (parent == nodes_.end() || !parent->second->directory) {
    *error = kErrorNotFound;
    return nullptr;
  }
  auto node = std::make_shared<Node>();
  node->spelling = parent->second->spelling;
  node->spelling.push_back('/');
  node->spelling.append(name);
  node->directory = directory;
  node->time = PackedNow();
  nodes_[key] = node;
  return node;
}

uint32_t MemEnv::PackedNow() const {
  const ClockReading& c = clock_;
  const uint32_t year = c.year < 1980 ? 0 : c.year - 1980u;
  return (year << 25) | (uint32_t{c.month} << 21) | (uint32_t{c.day} << 16) |
         (uint32_t{c.hour} << 11) | (uint32_t{c.minute} << 5) | (c.second / 2u);
}

bool MemEnv::GetFileContents(std::string_view path, std::string* bytes) {
  std::shared_ptr<Node> node = Find(path);
  if (node == nullptr || node->directory) return false;
  *bytes = node->bytes;
  return true;
}

bool MemEnv::SetFileContents(std::string_view path, std::string_view bytes) {
  int error;
  std::shared_ptr<Node> node = Make(path, false, &error);
  if (node == nullptr) return false;
  node->bytes = bytes;
  node->time = PackedNow();
  return true;
}

std::unique_ptr<PlatformFile> MemEnv::OpenFile(std::string_view path,
                                               FileMode mode, int* error) {
  int ignored;
  if (error == nullptr) error = &ignored;
  *error = kErrorNone;
  std::shared_ptr<Node> node = Find(path);
  const bool creates = mode == FileMode::kCreate ||
                       mode == FileMode::kCreateNew ||
                       mode == FileMode::kAppend;
  if (node != nullptr && mode == FileMode::kCreateNew) {
    *error = kErrorExists;
    return nullptr;
  }
  if (node == nullptr && !creates) {
    *error = kErrorNotFound;
    return nullptr;
  }
  if (node != nullptr && node->directory) {
    *error = kErrorAccess;
    return nullptr;
  }
  if (node == nullptr) node = Make(path, false, error);
  if (node == nullptr) return nullptr;
  if (mode == FileMode::kCreate) node->bytes.clear();
  const bool readable =
      mode != FileMode::kOpenWrite && mode != FileMode::kAppend;
  const bool writable = mode != FileMode::kOpenRead;
  return std::make_unique<MemFile>(node, readable, writable,
                                   mode == FileMode::kAppend, PackedNow());
}

std::unique_ptr<TextReader> MemEnv::OpenTextReader(std::string_view path,
                                                   int* error) {
  std::string bytes;
  if (!GetFileContents(path, &bytes)) {
    if (error != nullptr) *error = Find(path) ? kErrorAccess : kErrorNotFound;
    return nullptr;
  }
  if (error != nullptr) *error = kErrorNone;
  return std::make_unique<MemTextReader>(std::move(bytes));
}

std::unique_ptr<TextWriter> MemEnv::OpenTextWriter(std::string_view path,
                                                   bool append, int* error) {
  int ignored;
  if (error == nullptr) error = &ignored;
  *error = kErrorNone;
  std::shared_ptr<Node> node = Find(path);
  if (append && node == nullptr) {
    *error = kErrorNotFound;
    return nullptr;
  }
  if (!append) node = Make(path, false, error);
  if (node == nullptr) return nullptr;
  if (node->directory) {
    *error = kErrorAccess;
    return nullptr;
  }
  if (!append) node->bytes.clear();
  node->time = PackedNow();
  return std::make_unique<MemTextWriter>(node);
}

std::unique_ptr<TextWriter> MemEnv::OpenTextAppender(std::string_view path,
                                                     bool* created,
                                                     int* error) {
  int ignored;
  if (error == nullptr) error = &ignored;
  *error = kErrorNone;
  *created = Find(path) == nullptr;
  std::shared_ptr<Node> node = Make(path, false, error);
  if (node == nullptr) return nullptr;
  return std::make_unique<MemTextWriter>(node);
}

std::unique_ptr<FileSearch> MemEnv::NewFileSearch() {
  return std::make_unique<MemFileSearch>(this);
}

bool MemEnv::CreateDirectory(std::string_view path) {
  int error;
  return Find(path) == nullptr && Make(path, true, &error) != nullptr;
}

bool MemEnv::DeleteFile(std::string_view path) {
  std::vector<std::string> parts;
  if (!Split(path, &parts)) return false;
  auto it = nodes_.find(KeyOf(parts));
  if (it == nodes_.end() || it->second->directory) return false;
  nodes_.erase(it);
  return true;
}

bool MemEnv::Move(std::string_view from, std::string_view to, bool replace,
                  int* error) {
  std::vector<std::string> from_parts, to_parts;
  if (!Split(from, &from_parts) || !Split(to, &to_parts) ||
      from_parts.empty() || to_parts.empty()) {
    *error = kErrorAccess;
    return false;
  }
  const std::string from_key = KeyOf(from_parts), to_key = KeyOf(to_parts);
  auto source = nodes_.find(from_key);
  if (source == nodes_.end()) {
    *error = kErrorNotFound;
    return false;
  }
  std::shared_ptr<Node> moved = source->second;
  const std::string name = to_parts.back();
  to_parts.pop_back();
  auto parent = nodes_.find(KeyOf(to_parts));
  if (parent == nodes_.end() || !parent->second->directory ||
      to_key.starts_with(ChildPrefix(from_key))) {
    *error = kErrorNotFound;
    return false;
  }
  if (auto target = nodes_.find(to_key);
      target != nodes_.end() && to_key != from_key) {
    if (!replace) {
      *error = kErrorExists;
      return false;
    }
    if (target->second->directory || moved->directory) {
      *error = kErrorAccess;
      return false;
    }
  }
  const std::string old_spelling = moved->spelling;
  std::string new_spelling = parent->second->spelling;
  new_spelling.push_back('/');
  new_spelling.append(name);
  // The entry and, for a directory, everything below it.
  std::vector<std::pair<std::string, std::shared_ptr<Node>>> carried;
  for (auto it = nodes_.lower_bound(from_key);
       it != nodes_.end() && (it->first == from_key ||
                              it->first.starts_with(ChildPrefix(from_key)));) {
    std::string key = to_key;
    key.append(it->first, from_key.size());
    carried.emplace_back(std::move(key), it->second);
    it = nodes_.erase(it);
  }
  for (auto& [key, node] : carried) {
    node->spelling.replace(0, old_spelling.size(), new_spelling);
    nodes_[key] = node;
  }
  *error = kErrorNone;
  return true;
}

bool MemEnv::RenameFile(std::string_view from, std::string_view to) {
  int error;
  return Move(from, to, true, &error);
}

bool MemEnv::RenameFileNoReplace(std::string_view from, std::string_view to,
                                 int* error) {
  int ignored;
  return Move(from, to, false, error != nullptr ? error : &ignored);
}

bool MemEnv::PathExists(std::string_view path) { return Find(path) != nullptr; }

bool MemEnv::IsDirectory(std::string_view path) {
  std::shared_ptr<Node> node = Find(path);
  return node != nullptr && node->directory;
}

bool MemEnv::FileSize(std::string_view path, uint64_t* size) {
  std::shared_ptr<Node> node = Find(path);
  if (node == nullptr) return false;
  *size = node->bytes.size();
  return true;
}

bool MemEnv::ExamineFile(std::string_view path, FileFacts* facts) {
  std::shared_ptr<Node> node = Find(path);
  if (node == nullptr) return false;
  facts->canonical = node->spelling.empty() ? "/" : node->spelling;
  facts->regular = !node->directory;
  facts->size = node->bytes.size();
  return true;
}

void MemEnv::ConsoleWrite(std::string_view text) {
  if (terminal_) console_.append(text);
}

void MemEnv::ConsoleWriteLine(std::string_view text) {
  console_.append(text);
  console_.push_back('\n');
}

bool MemEnv::ConsoleGetCursor(int* row, int* column) {
  if (!terminal_) return false;
  *row = 1;
  *column = 1;
  return true;
}

std::string MemEnv::GetEnvironmentVariable(std::string_view name) {
  auto it = variables_.find(std::string(name));
  return it == variables_.end() ? std::string() : it->second;
}

}  // namespace kavel
