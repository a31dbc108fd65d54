// Decoding of one message area: the scan that collects the sections of
// posted files and the forward markers, the reassembly of every set into
// the text base, the saving of forwards, and their file-list lines.
// AreaDecoder's code is split by concern: area_decoder.cc (the scan),
// area_decoder_save.cc (saving a set), area_decoder_forwards.cc,
// area_decoder_files_bbs.cc, area_decoder_uue.cc (other posters' uuencoded
// files), area_decoder_history.cc (DECODENEWONLY) and
// area_decoder_overlap.cc (SAVEWHILESCANNING).
#ifndef KAVEL_DECODING_AREA_DECODER_H_
#define KAVEL_DECODING_AREA_DECODER_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "decoding/decode_options.h"
#include "decoding/decode_state.h"
#include "decoding/file_set.h"
#include "decoding/framing.h"
#include "decoding/message_info.h"
#include "decoding/unique_name.h"

namespace kavel {

class CharsetConverter;
class MessageArea;
class OutputFile;
class SetQueue;
struct DecodeHistory;

// A forward found by the scan: the message (by its own number) holding the
// marker line, where that line starts and where the forward's text starts.
struct ForwardRecord {
  int32_t messageNumber = 0;
  int32_t linePos = 0;
  int32_t textPos = 0;
  int32_t markerIndex = 0;
};

// One area being decoded. The options and the log outlive the decoder; the
// name memory is shared by every area of a run.
class AreaDecoder {
 public:
  AreaDecoder(const DecodeOptions& options, DecodeLog* log, UniqueNames* names);
  ~AreaDecoder();

  // Opens the base by its area id (type letter + path), collects, saves
  // every complete set (and the incomplete ones when so configured) into
  // `text_dir`, every forward into `fwd_dir`, and closes the base. The two
  // directories are empty (the current directory) or a path to which a
  // separator is added when it lacks one.
  void ScanArea(std::string_view area_name, std::string_view base_type,
                std::string_view base_path, std::string_view text_dir,
                std::string_view fwd_dir);

  // The steps of ScanArea, in their order. BeginArea answers false (after
  // its log line) when the base cannot be opened; the others then do
  // nothing.
  bool BeginArea(std::string_view area_name, std::string_view base_type,
                 std::string_view base_path, std::string_view text_dir,
                 std::string_view fwd_dir);
  void CollectSections();
  void SaveCollected();
  void EndArea();
  // CollectSections and SaveCollected, with the sets that complete during
  // the scan saved meanwhile by a second decoder on its own handle of the
  // base (area_decoder_overlap.cc). The log lines of those saves are held
  // until the scan ends, so the log reads as SaveCollected after
  // CollectSections would write it. False, with nothing done, when it
  // does not pay (not set, a history, a *.MSG or a small area) or the
  // second handle or thread cannot be had. Precondition: the current Env
  // takes reads and writes of files open already on one thread while the
  // other thread opens, writes and renames files (the POSIX Env does; the
  // in-memory and fault-injecting ones are for one thread).
  bool CollectAndSaveMeanwhile();
  // CollectSections, keeping the lines of the sections found (within
  // what waiting sets may keep) in a small area, when the saved files take
  // them as they stand and no history decides what is saved, so that
  // SaveCollected need not read them again.
  void CollectKeepingSections();
  // Keeps in their sets the lines of the sections found in the loaded
  // message, as long as the sets not handed over yet hold less than
  // `most_bytes`; a set with a section not kept keeps none. The buffers
  // come from `spares` when it is given and has some.
  void HoldFoundSections(size_t most_bytes, SetQueue* spares);

  // Parts of the steps above; they work on the open area.
  void ExamineLine(std::string_view line, int32_t message_number,
                   int32_t line_pos, int32_t next_pos);
  bool IsForwardStart(std::string_view line, int32_t message_number,
                      int32_t line_pos, int32_t next_pos);
  bool IsForwardEnd(std::string_view line) const;
  // True when the set was written and renamed onto its target.
  bool SaveFileSet(const FileSet& set);
  bool SaveForward(const ForwardRecord& record);
  // Fills every field but fileName and size from the loaded message.
  void FillMessageInfo(MessageInfo* info);
  // Adds the file-list line for a saved file in directory `dir`.
  void WriteInfoLine(const MessageInfo& info, std::string_view dir);

  // Uuencoded files. A set whose text is one begin...end block (or a set
  // of another poster's parts, foreignUue) is saved as the bytes it
  // encodes, under the name of its begin line.
  struct UueSet {
    bool isUue = false;
    std::string name;  // from the begin line, as written
  };
  // Records the loaded message as a part of another poster's uuencoded
  // file when it is one (never when it holds a begin line of ours).
  void NoteForeignUue(int32_t message_number);
  // Reads the set's sections once: out->isUue when they hold one block.
  // False (after an error line) when they hold a damaged block or its name
  // may not be written.
  bool CheckUueSet(const FileSet& set, UueSet* out);
  // True when the set's first found section holds uuencoded lines.
  bool LooksUuencoded(const FileSet& set);
  void SaveForeignUueSets();
  // With a history (DECODENEWONLY) the scan starts where the last run of
  // this area stopped, and only what the history does not hold is saved;
  // the history learns what this area decided. Null: every message is read
  // and everything saved.
  void UseHistory(DecodeHistory* history) { history_ = history; }

  FileSetList& sets() { return sets_; }
  const std::vector<ForwardRecord>& forwards() const { return forwards_; }

 private:
  enum class Reopen { kOk, kGone, kUnloadable };
  // Makes the message with that own number current and loads it.
  Reopen LoadByNumber(int32_t number);
  // True when `file_name` (no directory) is one of the program's own files.
  bool IsProtected(std::string_view file_name) const;
  // Creates `dir` (one level) when it is missing; "" stays "". A directory
  // found or made is not looked at again for this area.
  std::string EnsureDirectory(std::string_view dir);
  void ShowScanProgress(int32_t i, int32_t highest);
  void EndScanProgress();
  void ApplyForwardHeader(const std::string& line, MessageInfo* info) const;
  // The converter from the charset of the loaded message's CHRS kludge
  // (CP866 without one) to LOCALCHARSET; null when nothing is recoded (no
  // LOCALCHARSET, the same charset, or one iconv does not know, which
  // `file` is then reported with).
  std::unique_ptr<CharsetConverter> RecoderForMessage(std::string_view file);
  // Puts the finished file in place as *target: `out` closed and renamed
  // from `temp`, or `out` unnamed (temp "") and linked. It replaces
  // *target when `replace`, otherwise takes the name only while it is
  // free; a name taken meanwhile gets `choice` (next_name gives the next
  // free name), and *existed and *new_name follow. Unless kPlaced, temp is
  // gone and an unnamed file leaves nothing when out closes; kKept has
  // logged its line, kFailed leaves the error line to the caller.
  enum class Placed { kPlaced, kKept, kFailed };
  Placed MoveIntoPlace(OutputFile* out, const std::string& temp, bool replace,
                       ExistingFileChoice choice,
                       const std::function<std::string()>& next_name,
                       std::string* target, bool* existed, bool* new_name);

  // Scan and save with a history (area_history.cc).
  struct MessageMark {
    std::string id;       // MSGID kludge, or "@" and the date written
    int64_t written = 0;  // date written, seconds since 1970
  };
  // Makes the first message to read current.
  void StartWalk();
  // Loads the message with that own number and compares its date written.
  bool IsSameMessage(int32_t number, int64_t written);
  // Called for every loaded message; `marked` when it holds a section or a
  // forward.
  void NoteMessage(int32_t number, bool marked);
  MessageMark MarkOf(int32_t number) const;
  void SaveNewOnly();

  const DecodeOptions& options_;
  const FramingFilter end_filter_;  // of options_.endString
  DecodeLog* log_;
  UniqueNames* names_;
  std::unique_ptr<MessageArea> area_;
  std::string area_id_;  // type letter + base path, as opened
  std::string area_name_;
  std::string text_dir_;
  std::string fwd_dir_;
  std::set<std::string, std::less<>> ready_dirs_;  // by EnsureDirectory
  FileSetList sets_;
  FileSetList foreign_sets_;  // parts of other posters' uuencoded files
  std::vector<ForwardRecord> forwards_;
  DecodeHistory* history_ = nullptr;
  bool first_scan_ = true;
  AreaPosition position_;
  std::unordered_map<int32_t, MessageMark> marks_;
  // Messages up to this own number were read by an earlier run (a scan
  // that reaches back); their refusals were reported then.
  int32_t seen_through_ = 0;
  size_t sections_seen_ = 0;
  // Set around one SaveFileSet / SaveForward call: the target a set saved
  // incomplete earlier took (the completed set overwrites it), the target
  // written, and whether the save failed for want of a writable target.
  std::string force_target_;
  std::string saved_target_;
  std::string output_buffer_;  // shared by the files saved one after another
  bool retry_save_ = false;
  // Called after each scanned message, while it is still loaded (to keep
  // its sections, and while saving meanwhile to hand sets over).
  std::function<void()> after_message_;
  // When the saved files take the sections' lines as they stand: the
  // sections found in the loaded message, to be kept in their sets
  // (HoldFoundSections), and the bytes kept in sets not yet handed over.
  struct FoundSection {
    size_t set = 0;  // as for FileSetList::at
    int32_t part = 0;
    int32_t textPos = 0;
  };
  bool hold_sections_ = false;
  std::vector<FoundSection> found_sections_;
  size_t held_bytes_ = 0;
  int32_t shown_progress_ = -1;
  bool progress_drawn_ = false;
};

}  // namespace kavel

#endif  // KAVEL_DECODING_AREA_DECODER_H_
