#include "decoding/file_set.h"

#include <algorithm>

namespace kavel {

std::vector<const SectionPosition*> FileSet::PartsInOrder() const {
  std::vector<const SectionPosition*> out;
  out.reserve(parts.size());
  for (const auto& [part, section] : parts) out.push_back(&section);
  std::sort(out.begin(), out.end(),
            [](const SectionPosition* a, const SectionPosition* b) {
              return a->part < b->part;
            });
  return out;
}

void FileSetList::AddSection(const std::string& name, int32_t total_parts,
                             const SectionPosition& section, int64_t written,
                             const std::string& target_dir) {
  std::vector<size_t>& open_sets = by_name_[name];
  for (size_t i = 0; i < open_sets.size(); ++i) {
    FileSet& set = *sets_[open_sets[i]];
    const int64_t distance = written > set.firstWritten
                                 ? written - set.firstWritten
                                 : set.firstWritten - written;
    if (set.totalParts == total_parts && !set.HasPart(section.part) &&
        distance <= kSamePostingSeconds) {
      set.parts.emplace(section.part, section);
      if (set.IsComplete()) open_sets.erase(open_sets.begin() + i);
      return;
    }
  }
  auto set = std::make_unique<FileSet>();
  set->fileName = name;
  set->targetDir = target_dir;
  set->totalParts = total_parts;
  set->firstWritten = written;
  set->parts.emplace(section.part, section);
  if (!set->IsComplete()) open_sets.push_back(sets_.size());
  sets_.push_back(std::move(set));
}

void FileSetList::Clear() {
  sets_.clear();
  by_name_.clear();
}

}  // namespace kavel
