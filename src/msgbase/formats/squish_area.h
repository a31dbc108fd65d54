// The Squish format: a data file ("<base>.sqd") of a base header and
// frames, an index file ("<base>.sqi") of one record per message, and a
// last-read file ("<base>.sql"). Messages are addressed by their 1-based
// position in the index; each also keeps a unique number that never
// changes. The on-disk layout is described in docs/squish-format.md.
//
// New files get lower-case extensions after the base path as it is spelled;
// existing files in another case are found by the platform's path lookup.
#ifndef KAVEL_MSGBASE_FORMATS_SQUISH_AREA_H_
#define KAVEL_MSGBASE_FORMATS_SQUISH_AREA_H_

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "msgbase/base_files.h"
#include "msgbase/formats/squish_records.h"
#include "msgbase/message_area.h"

namespace kavel {

class SquishChainEdit;

// status codes of this format.
inline constexpr int32_t kSquishErrorNoDataFile = 0x3000;   // OpenArea
inline constexpr int32_t kSquishErrorNoIndexFile = 0x3001;  // OpenArea
inline constexpr int32_t kSquishErrorOpenData = 0x3002;     // or bad header
inline constexpr int32_t kSquishErrorOpenIndex = 0x3003;
inline constexpr int32_t kSquishErrorIndex = 0x3004;        // record I/O
inline constexpr int32_t kSquishErrorNotWritable = 0x3005;  // closed/read-only
inline constexpr int32_t kSquishErrorNoMessage = 0x3006;    // none current
inline constexpr int32_t kSquishErrorSignature = 0x3007;
inline constexpr int32_t kSquishErrorFrame = 0x3008;  // frame/chain
inline constexpr int32_t kSquishErrorCreateData = 0x3009;
inline constexpr int32_t kSquishErrorCreateIndex = 0x300A;
// The base lock could not be had within the wait; nothing was written.
inline constexpr int32_t kSquishErrorLocked = 0x300B;

// Bit of the stored attributes that every new message carries.
inline constexpr uint32_t kSquishAttrUid = 0x00020000;

// Largest control-information block (its final zero included) that is
// stored or loaded, and the longest kludge line that goes into it; longer
// kludge lines, and those that would make the block larger, stay in the
// text proper.
inline constexpr size_t kSquishMaxControlLength = 65519;
inline constexpr size_t kSquishMaxControlLine = 16383;

class BaseLock;

// Writers follow the shared lock protocol (docs/locking.md): StoreMessage,
// DeleteMessage and CreateArea take the lock on byte 0 of the data file,
// re-read the base header and the index size under it, write, and release
// it. AddMessage writes nothing; the new message's position and unique
// number are settled by StoreMessage. Reads take no lock and see the base
// as it was last read. CloseArea writes nothing.
class SquishArea : public MessageArea {
 public:
  explicit SquishArea(std::string_view path);
  ~SquishArea() override;

  bool OpenArea(std::string_view path) override;
  bool CreateArea(std::string_view path) override;
  void CloseArea() override;
  bool HasMessage(int32_t n) override;
  int32_t CurrentNumber() override;
  void GoToNumber(int32_t number) override;
  bool LoadMessage() override;
  bool ReleaseMessage() override;
  int32_t HighestNumber() override;
  int32_t MessageCount() override;
  bool StoreMessage() override;
  bool AddMessage() override;
  bool DeleteMessage() override;
  int32_t LoadLastRead(int32_t user) override;
  bool StoreLastRead(int32_t user, int32_t value) override;
  bool BaseExists(std::string_view path) override;
  bool BaseUnfinished(std::string_view path) override;

  // The base path ending in "." while open or after a create.
  const std::string& area_path() const { return areaPath; }
  const SquishBaseHeader& base_header() const { return baseHeader; }
  // The stored header of the message as last loaded or stored.
  const SquishMessageHeader& message_header() const { return messageHeader; }
  const SquishFrameHeader& frame_header() const { return frameHeader; }
  uint32_t current_frame_offset() const { return currentFrameOffset; }
  SquishLayout layout() const { return layout_; }
  bool read_only() const { return readOnly; }

 private:
  std::string FileName(std::string_view extension) const;
  // The data file (the lead file) and the index file.
  std::array<BaseFile, 2> Files();
  void CloseFiles();
  // The stored message header into the shared header record (loading,
  // adding) and back (storing). Dates the record leaves as the stored
  // header reads keep their stored bytes.
  void ShowStoredHeader();
  void TakeHeaderRecord();
  // The one place where the base header is read from and written to the
  // data file. Writing is skipped when the header equals what the file
  // holds.
  bool ReadBaseHeader();
  bool WriteBaseHeader();
  bool HeaderChanged() const;
  bool ReadIndexRecord(uint32_t position, SquishIndexRecord* record);
  bool WriteIndexRecord(uint32_t position, const SquishIndexRecord& record);
  // Index records the index file and the base header agree on.
  uint32_t StoredCount() const;
  // Splits `text` into the control-information block (kludge lines at the
  // top, no separators, without the final zero) and the start of the text
  // proper.
  bool SplitText(std::string* control, int32_t* text_start);
  bool CanWrite();
  // After a failed StoreMessage: puts back what the store had written.
  void UndoStore(SquishChainEdit& edit, bool headers_written);
  // Takes the lock and reads the base header and the index size afresh.
  // False (status set) when the lock was not had or the header is unreadable.
  bool BeginUpdate(BaseLock* lock);
  // Under the lock: finds the loaded message's index position again by its
  // unique number (other writers may have deleted messages before it).
  bool LocateLoadedMessage();
  // The first index record with unique number `id`; false when none (or the
  // index cannot be read, status set).
  bool FindUniqueId(uint32_t id, uint32_t* position, SquishIndexRecord* found);
  // Calls `visit` with each index record and its position, in order, until
  // it answers true (found) or the index ends. False (status set) when the
  // index cannot be read.
  bool ScanIndex(
      const std::function<bool(uint32_t, const SquishIndexRecord&)>& visit);
  // Under the lock: the unique number for a new message, which is the base
  // header's next number unless the index already holds it or a higher one
  // (a damaged header), then one above the highest indexed. False (status
  // set) when the index cannot be read or the numbers are used up.
  bool NextFreeUniqueId(uint32_t* id);

  std::string areaPath;
  std::unique_ptr<ByteStream> dataFile;
  std::unique_ptr<ByteStream> indexFile;
  // The data file's size as LoadMessage last took it (-1: not yet). Taken
  // again only for a frame that reaches past it: the file grows while it is
  // read, and a file cut shorter meanwhile fails the read itself.
  int64_t dataSizeSeen = -1;
  bool readOnly = false;
  SquishLayout layout_ = SquishLayout::kStandard;
  SquishBaseHeader baseHeader;
  // The base header bytes as the data file holds them.
  std::vector<uint8_t> storedHeader;
  // Index records the index file held at open (grows as messages are
  // added, shrinks with deletes).
  uint32_t indexRecords = 0;
  // From one scan of the index: when the unique numbers ascend, the number
  // of every 64th record (a lookup then reads one stretch of the index);
  // otherwise (unique number, index position) pairs, sorted. FindUniqueId
  // takes the first position of a number as a guess that the record itself
  // confirms, and scans afresh when it does not.
  std::vector<uint32_t> uidSamples;
  std::vector<std::pair<uint32_t, uint32_t>> uidPositions;
  bool uidPositionsBuilt = false;
  // After this handle stored a new message: the base header's next unique
  // number and the index's record count it left (0 and 0 before). Found
  // so again under the lock, no writer stored meanwhile, and no number in
  // the index reaches the next one.
  uint32_t nextUidLeft = 0;
  uint32_t indexRecordsLeft = 0;
  SquishIndexRecord indexRecord;
  uint32_t indexPosition = 0;
  SquishFrameHeader frameHeader;
  uint32_t currentFrameOffset = 0;
  SquishMessageHeader messageHeader;
  bool isNewMessage = false;
};

}  // namespace kavel

#endif  // KAVEL_MSGBASE_FORMATS_SQUISH_AREA_H_
