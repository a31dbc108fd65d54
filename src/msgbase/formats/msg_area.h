// The *.MSG format: one directory, one file per message named by its
// number ("12.msg"), each file a 190-byte header followed by the text and
// one zero byte; last-read pointers in the file "lastread". The on-disk
// layout is described in docs/msg-format.md.
#ifndef KAVEL_MSGBASE_FORMATS_MSG_AREA_H_
#define KAVEL_MSGBASE_FORMATS_MSG_AREA_H_

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "msgbase/message_area.h"
#include "platform/platform.h"
#include "util/task_thread.h"

namespace kavel {

// status codes of this format.
inline constexpr int32_t kMsgErrorNoArea = 0x1000;      // path not found
inline constexpr int32_t kMsgErrorNoMessage = 0x1001;   // number missing
inline constexpr int32_t kMsgErrorOpenFailed = 0x1002;  // file not opened
inline constexpr int32_t kMsgErrorNotLoaded = 0x1003;   // nothing loaded
// Beyond the classic codes: the header could not be rewritten (file opened
// read-only or a stream failed), or no message number is left.
inline constexpr int32_t kMsgErrorWriteFailed = 0x1004;
inline constexpr int32_t kMsgErrorNoNumber = 0x1005;

// Highest usable message number (numbers are signed 16-bit).
inline constexpr int32_t kMsgMaxNumber = 32767;

// The stored-message header at the start of every message file: 190 bytes,
// little-endian, encoded field by field.
struct MsgHeader {
  static constexpr size_t kEncodedSize = 190;
  static constexpr size_t kFromWidth = 36;
  static constexpr size_t kToWidth = 36;
  static constexpr size_t kSubjectWidth = 72;
  static constexpr size_t kDateWidth = 20;

  std::string fromName;  // at most 35 characters stored
  std::string toName;    // at most 35
  std::string subject;   // at most 71
  std::string dateTime;  // at most 19, e.g. "05 Jan 01  13:07:09"
  uint16_t timesRead = 0;
  uint16_t destNode = 0;
  uint16_t origNode = 0;
  uint16_t cost = 0;
  uint16_t origNet = 0;
  uint16_t destNet = 0;
  std::array<uint8_t, 8> reserved{};  // kept as read
  uint16_t replyTo = 0;
  uint16_t attribute = 0;
  uint16_t nextReply = 0;

  // Writes exactly kEncodedSize bytes; text fields are cut at their width
  // minus one and zero-filled.
  void EncodeTo(uint8_t* dst) const;
  // Decodes from `size` bytes; false when fewer than kEncodedSize.
  bool DecodeFrom(const uint8_t* src, size_t size);
};

class MsgArea : public MessageArea {
 public:
  // Highest number the number map can hold plus one.
  static constexpr int32_t kNumberMapBits = 61440;

  explicit MsgArea(std::string_view path);
  ~MsgArea() override;

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
  void SetStoreBehind(bool on) override;
  int StoresUnderWay() override;
  bool FinishOldestStore() override;
  // FinishOldestStore until none is under way; false when one failed.
  bool FinishStores();
  bool AddMessage() override;
  bool DeleteMessage() override;
  int32_t LoadLastRead(int32_t user) override;
  bool StoreLastRead(int32_t user, int32_t value) override;
  bool BaseExists(std::string_view path) override;

  // The directory, ending in "\" while open; empty when closed.
  const std::string& area_path() const { return areaPath; }
  // The stored header of the message as last loaded or stored.
  const MsgHeader& header() const { return messageHeader; }

 private:
  struct HandedOver;

  // The stored header into the shared header record (loading, adding) and
  // back (storing). Fields the record leaves as the stored header reads
  // keep their stored bytes.
  void ShowStoredHeader();
  void TakeHeaderRecord();
  void ScanDirectory();
  void MarkNumber(int32_t n, bool on);
  // "<areaPath><n>.msg"; a file stored in another case ("12.MSG") is found
  // by the platform's path lookup.
  std::string MessageFileName(int32_t n) const;
  // After a failed store of a message made by AddMessage, or its release
  // unstored: its number is given up.
  void DropUnstoredMessage();
  // The whole file of the current message: stored header, text, and the
  // zero byte that ends it.
  std::string MessageFileBytes();
  // Writes `bytes` into `file` from its start, ends it there and flushes
  // it; false when a write failed.
  static bool WriteMessageFile(ByteStream* file, const std::string& bytes);
  // The first store of a message made by AddMessage (see the .cc).
  bool StoreNewMessage();
  // StoreNewMessage of `bytes` into `file`, a file without a name in the
  // area's directory, and under a scratch name where there is none; the
  // written file is left in *stored. 0 once stored under the current
  // number, otherwise the status to fail with.
  int32_t StoreUnnamed(std::unique_ptr<PlatformFile> file,
                       const std::string& bytes,
                       std::unique_ptr<ByteStream>* stored);
  int32_t StoreUnderScratchName(const std::string& bytes,
                                std::unique_ptr<ByteStream>* stored);
  // Hands the new message over to the second thread (store-behind).
  void HandOver();
  // The second thread's part: writes and links what was handed over.
  void WriteHandedOver(HandedOver* job);
  // A message the second thread did not store, stored here as a store at
  // once would be (unless one before it failed). 0 or the status to fail
  // with.
  int32_t StoreHandedBack(HandedOver* job);
  // Gives the written message the current number through `claim` (a link
  // or rename that refuses a name taken, with *error kErrorExists then),
  // passing over numbers found taken; `attempt` counts the numbers tried
  // before. 0 once claimed, otherwise the status to fail with.
  int32_t ClaimNumber(
      int attempt, const std::function<bool(const std::string&, int*)>& claim);
  // After `taken` was found taken by another program: marks it and makes
  // the next free number current (attempt counts the numbers tried). False,
  // with status set, when no number is left.
  bool PassTakenNumber(int32_t taken, int attempt);
  // HighestNumber() + 1 (2 in an empty echomail area); 0 when past the
  // highest usable number.
  int32_t NextNumber();
  // Makes NextNumber() the new message's number; false, with status set,
  // when none is left.
  bool TakeNextNumber();

  std::string areaPath;
  std::array<uint8_t, kNumberMapBits / 8> numberMap{};
  int32_t fileCount = 0;
  int32_t maxNumber = 0;
  std::unique_ptr<ByteStream> messageFile;
  bool messageWritable = false;
  // The loaded message was made by AddMessage and is not stored yet (no
  // file holds it; messageFile is null).
  bool messageIsNew = false;
  int32_t maxBeforeAdd = 0;
  MsgHeader messageHeader;

  // Store-behind (SetStoreBehind).
  bool storeBehind = false;
  // A new message was linked from a file without a name here: the second
  // thread may store the next ones so.
  bool unnamedStores = false;
  // The new message was added while another was being stored: it takes
  // its number when it is stored.
  bool numberPending = false;
  // The current message was handed over; it counts as released.
  bool messageHandedOver = false;
  // What the second thread stores; each its own from HandOver until
  // FinishOldestStore has waited for it.
  struct HandedOver {
    int32_t number = 0;                  // the name it is linked under
    std::string bytes;                   // the whole message file
    std::unique_ptr<PlatformFile> file;  // once made; kept unless linked
    int error = kErrorNone;              // of the step that failed
    bool linked = false;
    bool skipped = false;  // not tried: one before it was not linked
  };
  std::deque<std::unique_ptr<HandedOver>> handed;  // oldest first
  std::unique_ptr<TaskThread> storer;
  // The second thread's own while messages are under way: a message was
  // not linked, and those after it are skipped.
  bool storerStopped = false;
  // A message handed over could not be stored: those after it are not.
  bool storesFailed = false;
  // A file without a name for the next message handed over, made while the
  // one before is being stored.
  std::unique_ptr<PlatformFile> nextUnnamed;
};

}  // namespace kavel

#endif  // KAVEL_MSGBASE_FORMATS_MSG_AREA_H_
