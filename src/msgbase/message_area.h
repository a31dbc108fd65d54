// The abstract message area through which all reading and writing of
// messages goes, whatever the stored format (*.MSG, Squish, JAM), and the
// factory that turns an area id into an open object.
//
// Lifecycle: constructed closed (status 0, isOpen false, current 0, no
// text) -> OpenArea/CreateArea -> (LoadMessage or AddMessage: a message is
// loaded and `text` exists; ReleaseMessage ends that) -> CloseArea ->
// destroyed. Only one message is loaded at a time. The text, kludge and
// address operations need a loaded or new message; without one they do
// nothing and answer false / empty.
//
// No operation writes to the screen or the log; callers word failures.
#ifndef KAVEL_MSGBASE_MESSAGE_AREA_H_
#define KAVEL_MSGBASE_MESSAGE_AREA_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "msgbase/attributes.h"
#include "msgbase/byte_stream.h"
#include "msgbase/date_time.h"
#include "msgbase/ftn_address.h"
#include "msgbase/message_text.h"

namespace kavel {

// The header of the loaded or new message as every format shows it. A
// format fills it from its stored header when it loads or adds a message
// and writes it into that header when it stores one; in between the shared
// header operations work on it alone.
struct MessageHeader {
  std::string fromName;
  std::string toName;
  std::string subject;
  // The stored header's own addresses (see HeaderLayout).
  FtnAddress origAddress;
  FtnAddress destAddress;
  DateTimeRecord dateWritten;
  DateTimeRecord dateArrived;
  uint32_t attributes = 0;  // generic codes (kAttr*)
};

// What a format's stored header holds; the shared header operations follow
// it.
struct HeaderLayout {
  StoredFormat format = StoredFormat::kSquish;  // its attribute bits
  size_t nameWidth = 255;     // longest from-name and to-name kept
  size_t subjectWidth = 255;  // longest subject kept
  // false: DateArrived leaves its argument as it was and SetDateArrived is
  // ignored.
  bool keepsDateArrived = true;
  // true: the header keeps the addresses the setters give, and the address
  // readers start from them and let the kludge lines replace the components
  // they give. false: the setters record addresses in the kludge lines
  // only, and the readers take the kludge lines, or the header's address
  // where they give none at all.
  bool kludgesOverHeader = false;
};

class MessageArea {
 public:
  MessageArea() = default;
  explicit MessageArea(const HeaderLayout& layout) : headerLayout(layout) {}
  MessageArea(const MessageArea&) = delete;
  MessageArea& operator=(const MessageArea&) = delete;
  // A format's destructor releases a loaded message and closes the area
  // itself (the base destructor cannot reach the format's operations).
  virtual ~MessageArea();

  // Opening and closing.
  // Opens an existing base; false with `status` set on failure. A base the
  // user may only read is opened for reading (writes then answer false).
  virtual bool OpenArea(std::string_view path) = 0;
  // Creates an empty base and leaves it open.
  virtual bool CreateArea(std::string_view path) = 0;
  virtual void CloseArea() = 0;
  // Whether message n exists (for Squish n is an index position).
  virtual bool HasMessage(int32_t n) = 0;
  virtual int32_t CurrentIndex();

  // Navigation shared by every format, in terms of HasMessage
  // and HighestNumber. GoTo(n): the first existing message at or after n.
  // Every walk ends with current 0.
  virtual void GoTo(int32_t n);
  virtual void GoNext();
  virtual void GoPrevious();
  virtual bool IsOnMessage();

  // Messages and their header.
  // The current message's own number (Squish: from its index entry).
  virtual int32_t CurrentNumber() = 0;
  // Makes the message with that own number current.
  virtual void GoToNumber(int32_t number) = 0;
  // Releases a loaded message, then reads header and whole text of the
  // current message into a new `text` stream.
  virtual bool LoadMessage() = 0;
  // Destroys `text`; false when no message is loaded.
  virtual bool ReleaseMessage() = 0;
  // The upper bound GoNext walks to.
  virtual int32_t HighestNumber() = 0;
  virtual int32_t MessageCount() = 0;
  virtual std::string FromName();
  virtual std::string ToName();
  virtual std::string Subject();

  // Addresses from the kludge lines of `text` combined with the header's
  // as HeaderLayout says (the outputs are cleared first; later lines
  // override earlier ones).
  virtual void OrigAddress(FtnAddress* address);
  virtual void DestAddress(FtnAddress* address);
  virtual void ReadAddresses(FtnAddress* orig, FtnAddress* dest);

  // The texts are cut to the widths of HeaderLayout.
  virtual void SetFromName(std::string_view name);
  virtual void SetToName(std::string_view name);
  virtual void SetSubject(std::string_view subject);
  // Writes the origin into the MSGID kludge (keeping the old serial unless
  // `new_id` or there is none), and into INTL/FMPT when the area flag
  // kAreaFlagAddressKludges is set; a header that keeps addresses
  // (HeaderLayout) takes it too. False when memory ran out.
  virtual bool SetOrigAddress(const FtnAddress& address, bool new_id);
  // With kAreaFlagAddressKludges: destination into INTL/TOPT; otherwise
  // nothing is recorded in the text. A header that keeps addresses takes it
  // in every case.
  virtual bool SetDestAddress(const FtnAddress& address);
  // SetOrigAddress(orig, false), then SetDestAddress(dest).
  virtual bool SetAddresses(const FtnAddress& orig, const FtnAddress& dest);

  // The text. The raw forms take lines of any length; the
  // others cut at 255 characters.
  virtual void ReadLineRaw(std::string* line, size_t max_length);
  virtual void ReadLine(std::string* line);
  // Writes the characters and one CR at the text position. False when the
  // text could not take them.
  virtual bool WriteLineRaw(std::string_view line);
  virtual bool WriteLine(std::string_view line);
  virtual bool AtTextEnd();
  virtual void SetTextPos(int32_t position);
  virtual int32_t TextPos();
  virtual int32_t TextSize();
  virtual void TruncateText();
  virtual void ReadTextBlock(void* buffer, uint16_t count);
  virtual bool WriteTextBlock(const void* buffer, uint16_t count);

  // Attributes and dates. Attribute arguments are single generic codes
  // (kAttr*); a code the format cannot store, or a value that is not one
  // code, reads as unset and is ignored when set.
  virtual bool HasAttribute(uint32_t attribute);
  virtual void SetAttribute(uint32_t attribute, bool on);
  virtual void DateWritten(DateTimeRecord* dt);
  virtual void DateArrived(DateTimeRecord* dt);
  virtual void SetDateWritten(const DateTimeRecord& dt);
  virtual void SetDateArrived(const DateTimeRecord& dt);
  // Writes header and text of the current message to the base. False when
  // nothing is loaded, the base is read-only, or the text is incomplete
  // (its stream failed).
  virtual bool StoreMessage() = 0;
  // Store-behind, for a writer that adds many messages one after another
  // (a posting): while on, a format that can (*.MSG) may leave the writing
  // of a message made by AddMessage to a second thread. StoreMessage then
  // answers true once the message is handed over; it counts as released
  // and is not in the base until FinishOldestStore answers for it, in the
  // order they were handed over. The caller bounds how many are under way
  // (each holds its message's bytes). A message added while others are
  // under way takes its number when it is stored (until then `current` is
  // not its number). Formats that cannot store at once, and every answer
  // stays as without it. Turning it off waits for every message.
  virtual void SetStoreBehind(bool on) { (void)on; }
  // Messages handed over and not yet answered for.
  virtual int StoresUnderWay() { return 0; }
  // Waits for the oldest message under way: true when it is stored (or
  // none is under way); false with `status` set when it could not be, as
  // StoreMessage would have answered. None handed over after a message that
  // failed is stored: each answers false in turn.
  virtual bool FinishOldestStore() { return true; }

  // Kludge lines (see message_text.h).
  virtual bool FindKludgeRaw(std::string_view name, std::string* line,
                             size_t max_length);
  virtual bool FindKludge(std::string_view name, std::string* line);
  virtual bool PutKludgeRaw(std::string_view name, std::string_view line);
  virtual bool PutKludge(std::string_view name, std::string_view line);
  virtual bool RemoveKludgeRaw(std::string_view name);
  virtual bool RemoveKludge(std::string_view name);

  // The text stream, area flags (kAreaFlag*) and single kludge lines.
  // The `text` stream itself, still owned by the area; null when none.
  virtual ByteStream* TextStream();
  virtual void SetAreaFlag(uint32_t mask, bool on);
  // All bits of mask are set.
  virtual bool HasAreaFlag(uint32_t mask);
  virtual void AddressFromOrigKludge(std::string_view line,
                                     FtnAddress* address);
  virtual void AddressFromDestKludge(std::string_view line,
                                     FtnAddress* address);

  // Adding and deleting messages, last-read pointers.
  // Starts a new message numbered after HighestNumber with an empty header
  // and empty text; it becomes current.
  virtual bool AddMessage() = 0;
  virtual bool DeleteMessage() = 0;
  virtual int32_t LoadLastRead(int32_t user) = 0;
  // False when the pointer could not be stored.
  virtual bool StoreLastRead(int32_t user, int32_t value) = 0;

  // True when any file of the base at `path` exists.
  // OpenOrCreateMessageArea creates a base only when this answers false.
  virtual bool BaseExists(std::string_view path) = 0;
  // True when the files of the base at `path` are there but hold nothing
  // yet: a creation under way, or one that never finished because its
  // writer was killed. CreateArea completes such a base (or leaves it to
  // the writer still creating it) without losing anything.
  virtual bool BaseUnfinished(std::string_view) { return false; }

  // Fields.
  int32_t status = 0;  // code of the last failure (format's range)
  bool isOpen = false;
  uint32_t areaFlags = 0;  // kAreaFlag* bits; changed only by SetAreaFlag
  int32_t current = 0;     // current message (Squish: index position)
  std::unique_ptr<ByteStream> text;  // loaded or new message's text

 protected:
  // The format's own; fixed at construction.
  HeaderLayout headerLayout;
  // The loaded or new message's header.
  MessageHeader headerRecord;
};

// Area types, by the first character of an area id.
enum AreaType : int {
  kAreaTypeJam = 0,     // "J" "j"
  kAreaTypeMsg = 1,     // "F" "f" "M" "m" "*"
  kAreaTypeSquish = 2,  // "S" "s"
  kAreaTypeNone = 3,    // anything else, or an empty id
};

// Value of lastAreaError after every construction attempt.
inline constexpr int32_t kAreaErrorConstructed = 0xA000;

// 0xA000 after every construction attempt, the failing object's status
// after a failed open or create.
extern int32_t lastAreaError;

// Splits an area id into its type and path: the path is the id without its
// first character, or the whole id for kAreaTypeNone. Only the first
// character is looked at.
AreaType SplitAreaId(std::string_view area_id, std::string* path);

// area := none; lastAreaError := 0xA000; then a closed object of the id's
// type. False for an empty id, an unknown type, or a format not built in.
bool CreateAreaObject(std::unique_ptr<MessageArea>* area,
                      std::string_view area_id);
// CreateAreaObject, then OpenArea. On failure lastAreaError := status, the
// object is destroyed, area := none.
bool OpenMessageArea(std::unique_ptr<MessageArea>* area,
                     std::string_view area_id);
// CreateAreaObject, then OpenArea; when that fails and no file of the base
// exists, CreateArea. An existing base that fails to open is never
// recreated (its files stay untouched). On failure lastAreaError := status,
// the object is destroyed and area := none.
bool OpenOrCreateMessageArea(std::unique_ptr<MessageArea>* area,
                             std::string_view area_id);
// When area holds an object: CloseArea, destroy it, area := none, true.
bool CloseMessageArea(std::unique_ptr<MessageArea>* area);
// When area holds an object: destroy it (it closes itself), area := none;
// the result tells whether there was one.
bool DisposeMessageArea(std::unique_ptr<MessageArea>* area);

}  // namespace kavel

#endif  // KAVEL_MSGBASE_MESSAGE_AREA_H_
