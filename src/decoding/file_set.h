// The sections of posted files that a scan of one area has found, grouped
// into one set per posting of a file.
#ifndef KAVEL_DECODING_FILE_SET_H_
#define KAVEL_DECODING_FILE_SET_H_

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "decoding/message_info.h"

namespace kavel {

// Where one section lies: the message (by its own number, which stays
// valid when other messages are deleted), the text position of its begin
// line and of the line after it.
struct SectionPosition {
  int32_t part = 0;
  int32_t messageNumber = 0;
  int32_t beginPos = 0;
  int32_t textPos = 0;
};

// The sections of a set as the scan found them in their loaded messages,
// kept so that saving need not read the messages again.
struct HeldSections {
  // (part, the section's lines as the saved file holds them), in the
  // order the sections were found.
  std::vector<std::pair<int32_t, std::string>> texts;
  // Of the message of part 1, for the set's files.bbs line.
  bool hasInfo = false;
  MessageInfo info;
  size_t bytes = 0;  // memory the texts take

  // The kept text of `part`; null when it was not kept.
  const std::string* TextOf(int32_t part) const;
};

// The sections of one posting of one file.
struct FileSet {
  std::string fileName;  // upper-cased, from the begin line
  // The text base of the area when the set began (shared by the sets of
  // one area).
  std::shared_ptr<const std::string> targetDir;
  int32_t totalParts = 0;
  // Parts of another poster's uuencoded file: each begins at its first
  // uuencoded line and ends at its first empty line.
  bool foreignUue = false;
  // Date written (seconds since 1970) of the message of the set's first
  // section; a section of another posting lies more than an hour away.
  int64_t firstWritten = 0;
  std::vector<SectionPosition> parts;  // in ascending part order
  // What the scan kept of the sections; null when it kept nothing.
  std::unique_ptr<HeldSections> held;
  // A section of the set was not kept: none is kept, and the set is read
  // again when it is saved.
  bool keptNone = false;

  int32_t foundParts() const { return static_cast<int32_t>(parts.size()); }
  bool HasPart(int32_t part) const;
  bool IsComplete() const { return foundParts() == totalParts; }
  // Adds a section whose part the set lacks.
  void AddPart(const SectionPosition& section);
  // The found sections in ascending part order.
  std::vector<const SectionPosition*> PartsInOrder() const;
};

// All sets of one area in the order they were begun. A section joins the
// first set of its name that lacks its part, announces the same number of
// parts and began within an hour of the section's message; otherwise it
// begins a set of its own.
class FileSetList {
 public:
  static constexpr int64_t kSamePostingSeconds = 3600;

  // `name` upper-cased; 1 <= part <= total_parts.
  // Answers the index (as for at) of the set the section joined.
  size_t AddSection(const std::string& name, int32_t total_parts,
                    const SectionPosition& section, int64_t written,
                    const std::string& target_dir);

  // Sets begun, the taken ones included; at(i) for i >= taken().
  size_t size() const { return taken_ + sets_.size(); }
  FileSet& at(size_t i) { return sets_[i - taken_]; }
  size_t taken() const { return taken_; }
  // Removes the first set not taken yet, which must be complete, and
  // gives it to the caller; the indexes of the others stay.
  FileSet TakeFront();
  void Clear();

 private:
  std::deque<FileSet> sets_;  // in place: a run may collect 100,000
  size_t taken_ = 0;          // sets removed from the front
  std::shared_ptr<const std::string> last_dir_;  // of the set begun last
  // Upper-cased file name -> indexes (as for at) of the incomplete sets of
  // that name, in creation order (a complete set takes no more sections;
  // a name without incomplete sets has no entry).
  std::unordered_map<std::string, std::vector<size_t>> by_name_;
};

}  // namespace kavel

#endif  // KAVEL_DECODING_FILE_SET_H_
