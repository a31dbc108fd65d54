#include "decoding/decode_state.h"

#include <charconv>
#include <memory>
#include <vector>

#include "platform/platform.h"
#include "util/text.h"

namespace kavel {
namespace {

constexpr char kHeader[] = "KAVEL-STATE\t1";

std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  for (;;) {
    const size_t tab = line.find('\t');
    fields.push_back(line.substr(0, tab));
    if (tab == std::string_view::npos) return fields;
    line.remove_prefix(tab + 1);
  }
}

template <typename Int>
bool ParseNumber(std::string_view text, Int* value) {
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, *value);
  return result.ec == std::errc() && result.ptr == end;
}

bool ReadWholeFile(std::string_view path, std::string* bytes, bool* missing) {
  int error = 0;
  std::unique_ptr<PlatformFile> file =
      OpenPlatformFile(path, FileMode::kOpenRead, &error);
  *missing = !file && error == kErrorNotFound;
  if (!file) return false;
  bytes->clear();
  char buffer[8192];
  for (;;) {
    size_t got = 0;
    if (!file->Read(buffer, sizeof buffer, &got)) return false;
    if (got == 0) return true;
    bytes->append(buffer, got);
  }
}

}  // namespace

std::string StateField(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  }
  return out;
}

DecodeState::LoadResult DecodeState::Load(std::string_view path) {
  Clear();
  std::string bytes;
  bool missing = false;
  if (!ReadWholeFile(path, &bytes, &missing)) {
    return missing ? LoadResult::kMissing : LoadResult::kDamaged;
  }
  if (!Parse(bytes)) return LoadResult::kDamaged;
  changed_ = false;
  return LoadResult::kLoaded;
}

bool DecodeState::Save(std::string_view path) const {
  const std::string temp = std::string(path) + ".new";
  const std::string bytes = Serialize();
  int error = 0;
  std::unique_ptr<PlatformFile> file =
      OpenPlatformFile(temp, FileMode::kCreate, &error);
  if (!file) return false;
  const bool written = file->Write(bytes.data(), bytes.size()) && file->Sync();
  file.reset();
  if (!written || !RenameFile(temp, path)) {
    DeleteFile(temp);
    return false;
  }
  return true;
}

bool DecodeState::Parse(std::string_view bytes) {
  Clear();
  bool header = false;
  bool ended = false;
  size_t records = 0;
  while (!bytes.empty()) {
    const size_t eol = bytes.find('\n');
    if (eol == std::string_view::npos || ended) break;  // cut or trailing
    const std::string_view line = bytes.substr(0, eol);
    bytes.remove_prefix(eol + 1);
    if (!header) {
      if (line != kHeader) break;
      header = true;
      continue;
    }
    const std::vector<std::string_view> f = SplitFields(line);
    if (f[0] == "A" && f.size() == 6) {
      AreaPosition p;
      if (f[1].empty() || !ParseNumber(f[2], &p.last) ||
          !ParseNumber(f[3], &p.lastWritten) || !ParseNumber(f[4], &p.reach) ||
          !ParseNumber(f[5], &p.reachWritten)) {
        break;
      }
      positions_[std::string(f[1])] = p;
    } else if (f[0] == "E" && f.size() == 4) {
      Entry e;
      if (!ParseNumber(f[1], &e.recorded) || f[2].empty()) break;
      e.value = std::string(f[3]);
      entries_[std::string(f[2])] = std::move(e);
    } else if (f[0] == "END" && f.size() == 2) {
      size_t count = 0;
      if (!ParseNumber(f[1], &count) || count != records) break;
      ended = true;
      continue;
    } else {
      break;
    }
    ++records;
  }
  if (!ended || !bytes.empty()) {
    Clear();
    return false;
  }
  return true;
}

std::string DecodeState::Serialize() const {
  std::string out = kHeader;
  out += '\n';
  for (const auto& [area, p] : positions_) {
    out += "A\t" + area + '\t' + IntToText(p.last) + '\t' +
           IntToText(p.lastWritten) + '\t' + IntToText(p.reach) + '\t' +
           IntToText(p.reachWritten) + '\n';
  }
  for (const auto& [key, e] : entries_) {
    out += "E\t" + IntToText(e.recorded) + '\t' + key + '\t' + e.value + '\n';
  }
  out += "END\t" +
         IntToText(static_cast<int64_t>(positions_.size() + entries_.size()));
  out += '\n';
  return out;
}

bool DecodeState::FindPosition(const std::string& area,
                               AreaPosition* position) const {
  const auto it = positions_.find(area);
  if (it == positions_.end()) return false;
  *position = it->second;
  return true;
}

void DecodeState::SetPosition(const std::string& area,
                              const AreaPosition& position) {
  const auto [it, added] = positions_.try_emplace(StateField(area), position);
  AreaPosition& p = it->second;
  changed_ = changed_ || added || p.last != position.last ||
             p.lastWritten != position.lastWritten ||
             p.reach != position.reach ||
             p.reachWritten != position.reachWritten;
  p = position;
}

const DecodeState::Entry* DecodeState::Find(const std::string& key) const {
  const auto it = entries_.find(StateField(key));
  return it == entries_.end() ? nullptr : &it->second;
}

void DecodeState::Put(const std::string& key, std::string_view value,
                      int64_t recorded) {
  Entry& e = entries_[StateField(key)];
  changed_ = true;
  e.recorded = recorded;
  e.value = StateField(value);
}

void DecodeState::DropRecordedBefore(int64_t oldest) {
  for (auto it = entries_.begin(); it != entries_.end();) {
    if (it->second.recorded >= oldest) {
      ++it;
      continue;
    }
    it = entries_.erase(it);
    changed_ = true;
  }
}

void DecodeState::Clear() {
  positions_.clear();
  entries_.clear();
  changed_ = true;
}

}  // namespace kavel
