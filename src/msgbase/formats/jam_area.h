// The JAM format: a base is four files sharing a path, NAME.jhr (base
// header and message headers with subfields), NAME.jdx (index), NAME.jdt
// (texts) and NAME.jlr (last-read records); the layouts are in
// jam_records.h and docs/jam-format.md.
//
// Numbering: the message in index record i has the number baseNumber + i,
// for this program and every other reader of the base. Index records are
// never moved: a deleted message leaves its record behind (empty, or
// pointing at a header marked deleted) until a packer runs, and a new
// message's record is appended at the end of the index. Headers and texts
// are only ever appended; storing a message again appends a new header and
// text and points its index record at them.
#ifndef KAVEL_MSGBASE_FORMATS_JAM_AREA_H_
#define KAVEL_MSGBASE_FORMATS_JAM_AREA_H_

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "msgbase/base_files.h"
#include "msgbase/formats/jam_records.h"
#include "msgbase/message_area.h"

namespace kavel {

// status codes of this format.
inline constexpr int32_t kJamErrorNoHeaderFile = 0x2000;  // OpenArea
inline constexpr int32_t kJamErrorNoIndexFile = 0x2001;
inline constexpr int32_t kJamErrorNoTextFile = 0x2002;
inline constexpr int32_t kJamErrorOpenHeaderFile = 0x2003;
inline constexpr int32_t kJamErrorOpenIndexFile = 0x2004;
inline constexpr int32_t kJamErrorOpenTextFile = 0x2005;
// LoadMessage: the index record or the header could not be read (also for
// a number outside the index).
inline constexpr int32_t kJamErrorRead = 0x2006;
inline constexpr int32_t kJamErrorHeaderOffset = 0x2007;  // outside .jhr
inline constexpr int32_t kJamErrorTextOffset = 0x2008;    // outside .jdt
// A write failed, or the base is open for reading only.
inline constexpr int32_t kJamErrorWrite = 0x2009;
inline constexpr int32_t kJamErrorCreateHeaderFile = 0x200A;  // CreateArea
inline constexpr int32_t kJamErrorCreateIndexFile = 0x200B;
inline constexpr int32_t kJamErrorCreateTextFile = 0x200C;
inline constexpr int32_t kJamErrorOpenLastReadFile = 0x200E;
inline constexpr int32_t kJamErrorCreateLastReadFile = 0x200F;
// The base lock could not be had within the wait; nothing was written.
inline constexpr int32_t kJamErrorLocked = 0x2010;

class BaseLock;

// Writers follow the shared lock protocol (docs/locking.md): StoreMessage,
// DeleteMessage, StoreLastRead and CreateArea hold the lock on byte 0 of the
// header file while they write any of the four files, and work from the
// base header read under it. Reads take no lock; closing writes nothing.
class JamArea : public MessageArea {
 public:
  explicit JamArea(std::string_view path);
  ~JamArea() override;

  bool OpenArea(std::string_view path) override;
  bool CreateArea(std::string_view path) override;
  void CloseArea() override;
  // Message n exists when its index record lies inside the index file, is
  // not empty, and its header is not marked deleted.
  bool HasMessage(int32_t n) override;
  int32_t CurrentNumber() override;
  void GoToNumber(int32_t number) override;
  // The shared walk, except that the numbers below baseNumber, which no
  // index record can hold, are passed over in one step (a base number near
  // 2^31 would otherwise make every walk from 1 take billions of steps).
  void GoNext() override;
  void GoPrevious() override;
  // Fails with kJamErrorRead for a number outside the index or a failed
  // read, kJamErrorHeaderOffset when the 76-byte header does not lie inside
  // the header file (an empty record included), kJamErrorTextOffset when
  // the text does not start inside the text file. Subfields and text are
  // read only as far as their files hold them. The kludge lines come back
  // as stored; nothing is added or rewritten.
  bool LoadMessage() override;
  bool ReleaseMessage() override;
  // The number of the last index record (baseNumber - 1 when the index is
  // empty); deleted messages below it are passed over by HasMessage.
  int32_t HighestNumber() override;
  // activeMessages of the base header: the live messages.
  int32_t MessageCount() override;
  // Appends the text and the header (with the subfields 2, 0, 3, 1, 6, 9,
  // 11 and those of jam_text.h) and points the index record at the header.
  // A new message's record is appended to the index, which fixes its
  // number; the base header's activeMessages then grows by one.
  bool StoreMessage() override;
  // Reserves nothing on disk; the number (the next index record) is final
  // when StoreMessage runs.
  bool AddMessage() override;
  // Deletes the loaded message the way JAM tools do: its header is marked
  // deleted, its index record emptied, activeMessages lowered. No record
  // moves, so no other message changes its number.
  bool DeleteMessage() override;
  // highRead of the first last-read record whose userId is `user`; 0 when
  // there is none.
  int32_t LoadLastRead(int32_t user) override;
  bool StoreLastRead(int32_t user, int32_t value) override;
  bool BaseExists(std::string_view path) override;
  bool BaseUnfinished(std::string_view path) override;

  // The base path ending in "." while open; empty when closed.
  const std::string& area_path() const { return areaPath; }
  const JamBaseHeader& base_header() const { return baseHeader; }
  const JamMessageHeader& message_header() const { return messageHeader; }
  // The loaded message's subfields, in stored order.
  const std::vector<JamSubfield>& subfields() const { return subfieldList; }
  bool read_only() const { return readOnly; }

 private:
  // The one place where the base header is brought up to date from the
  // file before a change (BeginBaseUpdate, base_files.h: kJamErrorLocked
  // when the lock on byte 0 of the header file was not had,
  // kJamErrorOpenHeaderFile when the header cannot be read under it) and
  // written back after it (EndBaseUpdate: modCounter + 1, activeMessages +
  // delta, never below 0). Everything a writer does to the files happens
  // between the two.
  bool BeginBaseUpdate(BaseLock* lock);
  // The base header at the start of the header file; false (*header
  // unchanged) when it cannot be read whole.
  bool ReadBaseHeader(JamBaseHeader* header);
  bool EndBaseUpdate(int32_t active_delta);

  // ResetStatus and Flush on every open file.
  void ResetFiles();
  void CloseFiles();
  std::string FileName(std::string_view extension) const;
  // The header file (the lead file), index, text and last-read files.
  std::array<BaseFile, 4> Files();
  // Opens or creates the last-read file; false when neither works.
  bool EnsureLastReadFile();
  // Records in the index file.
  int64_t IndexRecordCount();
  // The size of `file` (one of the three base files) as last taken when
  // the first `needed` bytes lie inside it, otherwise taken afresh and
  // kept. Reads check against the file itself as well: one that got
  // shorter meanwhile fails them.
  int64_t SizeCovering(ByteStream* file, int64_t needed);
  bool ReadIndexRecord(int64_t position, JamIndexRecord* record);
  // header_file_size: the header file's size if taken earlier in the same
  // operation, -1 to take it now.
  bool ReadFixedHeader(uint32_t offset, JamMessageHeader* header,
                       int64_t header_file_size = -1);
  void ClearMessage();
  // The stored message header's dates and attributes into the shared
  // header record (loading, adding) and back (storing; dates the record
  // leaves as the stored header reads keep their stored value). Names,
  // subject and addresses go through the subfields; the record's addresses
  // are the OADDRESS / DADDRESS subfields, which the address readers give
  // where the kludge lines give none.
  void ShowStoredHeader();
  void TakeHeaderRecord();
  // After a failed store under the lock: the index record written for the
  // message is cut off (a new message) or the previous one put back.
  void UndoIndexRecord(const JamIndexRecord& previous);
  bool WriteFailed();

  std::string areaPath;
  std::unique_ptr<ByteStream> headerFile;
  std::unique_ptr<ByteStream> indexFile;
  std::unique_ptr<ByteStream> textFile;
  // Sizes last taken by SizeCovering (-1: none yet).
  int64_t headerSizeSeen = -1;
  int64_t indexSizeSeen = -1;
  int64_t textSizeSeen = -1;
  std::unique_ptr<ByteStream> lastReadFile;  // none until first written
  bool readOnly = false;
  JamBaseHeader baseHeader;
  JamMessageHeader messageHeader;
  std::vector<JamSubfield> subfieldList;
  // Buffers kept from earlier messages for the next ones' subfields.
  std::vector<std::string> spareSubfieldData;
  std::string subfieldBlock;
  JamIndexRecord indexRecord;
  int64_t indexOffset = 0;
  bool isNewMessage = false;  // added, not stored yet
};

}  // namespace kavel

#endif  // KAVEL_MSGBASE_FORMATS_JAM_AREA_H_
