// What decoding remembers between runs when only new messages are decoded:
// the scan position of every area and the posted files and forwards that
// were already handled. Kept in one text file beside the log, rewritten
// whole at the end of a run (temporary file, then rename).
//
// File layout, lines ended by LF, fields separated by one TAB:
//   KAVEL-STATE <TAB> 1
//   A <TAB> area <TAB> last <TAB> lastWritten <TAB> reach <TAB> reachWritten
//   E <TAB> recorded <TAB> key <TAB> value
//   END <TAB> number of A and E lines
// Numbers are decimal; times are seconds since 1970 of the local clock. A
// file without its END line, or with any line that does not parse, is
// damaged as a whole.
#ifndef KAVEL_DECODING_DECODE_STATE_H_
#define KAVEL_DECODING_DECODE_STATE_H_

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace kavel {

// Where the last scan of an area stopped: the last message it read (own
// number and date written) and the oldest message of a set still waiting
// for sections (reach 0: none). The dates tell whether the base still
// holds the same messages under those numbers.
struct AreaPosition {
  int32_t last = 0;
  int64_t lastWritten = 0;
  int32_t reach = 0;
  int64_t reachWritten = 0;
};

class DecodeState {
 public:
  enum class LoadResult { kMissing, kLoaded, kDamaged };

  struct Entry {
    int64_t recorded = 0;  // the run that made the entry
    std::string value;
  };

  // Replaces the contents with the file's; on kMissing and kDamaged the
  // state is empty.
  LoadResult Load(std::string_view path);
  // Writes `path` + ".new" and renames it onto `path`.
  bool Save(std::string_view path) const;

  bool Parse(std::string_view bytes);  // false (and empty) when damaged
  std::string Serialize() const;

  // Positions are kept for ever; area tags are upper-cased by the caller.
  bool FindPosition(const std::string& area, AreaPosition* position) const;
  void SetPosition(const std::string& area, const AreaPosition& position);

  // Keys and values hold no TAB, CR or LF (they are replaced by blanks).
  const Entry* Find(const std::string& key) const;
  void Put(const std::string& key, std::string_view value, int64_t recorded);
  // Drops the entries recorded before `oldest`.
  void DropRecordedBefore(int64_t oldest);

  size_t entry_count() const { return entries_.size(); }
  // True when the contents differ from the file last loaded (or there was
  // no readable file).
  bool changed() const { return changed_; }
  void Clear();

 private:
  bool changed_ = true;
  std::map<std::string, AreaPosition> positions_;
  std::map<std::string, Entry> entries_;
};

// A key or value made fit for the file.
std::string StateField(std::string_view text);

}  // namespace kavel

#endif  // KAVEL_DECODING_DECODE_STATE_H_
