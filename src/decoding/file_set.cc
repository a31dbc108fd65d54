#include "decoding/file_set.h"

#include <algorithm>

namespace kavel {

namespace {

bool PartBefore(const SectionPosition& section, int32_t part) {
  return section.part < part;
}

}  // namespace

bool FileSet::HasPart(int32_t part) const {
  auto it = std::lower_bound(parts.begin(), parts.end(), part, PartBefore);
  return it != parts.end() && it->part == part;
}

void FileSet::AddPart(const SectionPosition& section) {
  parts.insert(
      std::lower_bound(parts.begin(), parts.end(), section.part, PartBefore),
      section);
}

std::vector<const SectionPosition*> FileSet::PartsInOrder() const {
  std::vector<const SectionPosition*> out;
  out.reserve(parts.size());
  for (const SectionPosition& section : parts) out.push_back(&section);
  return out;
}

const std::string* HeldSections::TextOf(int32_t part) const {
  for (const auto& [held_part, text] : texts) {
    if (held_part == part) return &text;
  }
  return nullptr;
}

size_t FileSetList::AddSection(const std::string& name, int32_t total_parts,
                               const SectionPosition& section, int64_t written,
                               const std::string& target_dir) {
  auto open = by_name_.find(name);
  if (open != by_name_.end()) {
    std::vector<size_t>& open_sets = open->second;
    for (size_t i = 0; i < open_sets.size(); ++i) {
      FileSet& set = at(open_sets[i]);
      const int64_t distance = written > set.firstWritten
                                   ? written - set.firstWritten
                                   : set.firstWritten - written;
      if (set.totalParts == total_parts && !set.HasPart(section.part) &&
          distance <= kSamePostingSeconds) {
        set.AddPart(section);
        if (set.IsComplete()) {
          const size_t index = open_sets[i];
          open_sets.erase(open_sets.begin() + i);
          if (open_sets.empty()) by_name_.erase(open);
          return index;
        }
        return open_sets[i];
      }
    }
  }
  FileSet* set = &sets_.emplace_back();
  // Room for the parts of an ordinary posting; a begin line may claim
  // any number of them.
  set->parts.reserve(static_cast<size_t>(std::min(total_parts, 64)));
  set->fileName = name;
  if (!last_dir_ || *last_dir_ != target_dir) {
    last_dir_ = std::make_shared<const std::string>(target_dir);
  }
  set->targetDir = last_dir_;
  set->totalParts = total_parts;
  set->firstWritten = written;
  set->AddPart(section);
  if (!set->IsComplete()) by_name_[name].push_back(size() - 1);
  return size() - 1;
}

FileSet FileSetList::TakeFront() {
  FileSet set = std::move(sets_.front());
  sets_.pop_front();
  ++taken_;
  return set;
}

void FileSetList::Clear() {
  sets_.clear();
  taken_ = 0;
  by_name_.clear();
  last_dir_.reset();
}

}  // namespace kavel
