#include "msgbase/message_area.h"

#include <algorithm>
#include <climits>

#include "msgbase/formats/formats.h"
#include "platform/platform.h"

namespace kavel {

int32_t lastAreaError = 0;

namespace {

// How long OpenOrCreateMessageArea waits for a base that another writer is
// creating: 20 tries, 50 ms apart.
constexpr int kCreatorRetries = 20;
constexpr int kCreatorRetryMs = 50;

// The words joined by single blanks.
std::string JoinWords(std::string_view first, std::string_view second) {
  std::string line(first);
  line.append(" ").append(second);
  return line;
}
std::string JoinWords(std::string_view first, std::string_view second,
                      std::string_view third) {
  std::string line = JoinWords(first, second);
  line.append(" ").append(third);
  return line;
}

}  // namespace

MessageArea::~MessageArea() = default;

int32_t MessageArea::CurrentIndex() { return current; }

// ------------------------------------------------------------ navigation

void MessageArea::GoTo(int32_t n) {
  current = std::max(n, 1) - 1;
  GoNext();
}

void MessageArea::GoNext() {
  int32_t highest = HighestNumber();
  for (;;) {
    if (current >= highest || current == INT32_MAX) {
      current = 0;
      return;
    }
    ++current;
    if (HasMessage(current)) return;
  }
}

void MessageArea::GoPrevious() {
  for (;;) {
    --current;
    if (current < 1) {
      current = 0;
      return;
    }
    if (HasMessage(current)) return;
  }
}

bool MessageArea::IsOnMessage() { return current != 0; }

// ---------------------------------------------------------------- header

std::string MessageArea::FromName() { return headerRecord.fromName; }
std::string MessageArea::ToName() { return headerRecord.toName; }
std::string MessageArea::Subject() { return headerRecord.subject; }

void MessageArea::SetFromName(std::string_view name) {
  headerRecord.fromName = std::string(name.substr(0, headerLayout.nameWidth));
}

void MessageArea::SetToName(std::string_view name) {
  headerRecord.toName = std::string(name.substr(0, headerLayout.nameWidth));
}

void MessageArea::SetSubject(std::string_view subject) {
  headerRecord.subject =
      std::string(subject.substr(0, headerLayout.subjectWidth));
}

bool MessageArea::HasAttribute(uint32_t attribute) {
  return StoredAttributeBit(headerLayout.format, attribute) != 0 &&
         (headerRecord.attributes & attribute) != 0;
}

void MessageArea::SetAttribute(uint32_t attribute, bool on) {
  if (StoredAttributeBit(headerLayout.format, attribute) == 0) return;
  if (on) {
    headerRecord.attributes |= attribute;
  } else {
    headerRecord.attributes &= ~attribute;
  }
}

void MessageArea::DateWritten(DateTimeRecord* dt) {
  *dt = headerRecord.dateWritten;
}

void MessageArea::DateArrived(DateTimeRecord* dt) {
  if (headerLayout.keepsDateArrived) *dt = headerRecord.dateArrived;
}

void MessageArea::SetDateWritten(const DateTimeRecord& dt) {
  headerRecord.dateWritten = dt;
}

void MessageArea::SetDateArrived(const DateTimeRecord& dt) {
  if (headerLayout.keepsDateArrived) headerRecord.dateArrived = dt;
}

// ------------------------------------------------------------- addresses

void MessageArea::OrigAddress(FtnAddress* address) {
  ReadAddresses(address, nullptr);
}

void MessageArea::DestAddress(FtnAddress* address) {
  ReadAddresses(nullptr, address);
}

void MessageArea::ReadAddresses(FtnAddress* orig, FtnAddress* dest) {
  const bool under = headerLayout.kludgesOverHeader;
  if (orig) *orig = under ? headerRecord.origAddress : EmptyAddress;
  if (dest) *dest = under ? headerRecord.destAddress : EmptyAddress;
  if (text) ScanAddressKludges(text.get(), orig, dest);
  if (under) return;
  if (orig && *orig == EmptyAddress) *orig = headerRecord.origAddress;
  if (dest && *dest == EmptyAddress) *dest = headerRecord.destAddress;
}

bool MessageArea::SetOrigAddress(const FtnAddress& address, bool new_id) {
  if (headerLayout.kludgesOverHeader) headerRecord.origAddress = address;
  if (!text) return false;
  std::string old_line;
  std::string serial;
  if (!new_id && FindKludge(kKludgeMsgId, &old_line)) {
    serial = NthWord(3, old_line, " ");
  } else {
    serial = MakeMsgIdSerial();
  }
  std::string msgid = JoinWords(kKludgeMsgId, AddressToText(address), serial);
  if (!PutKludge(kKludgeMsgId, msgid)) return false;
  if (!HasAreaFlag(kAreaFlagAddressKludges)) return true;
  FtnAddress dest;
  DestAddress(&dest);
  std::string intl =
      JoinWords(kKludgeIntl, AddressToText3D(dest), AddressToText3D(address));
  if (!PutKludge(kKludgeIntl, intl)) return false;
  if (address.point == 0) return RemoveKludge(kKludgeFmpt);
  return PutKludge(kKludgeFmpt,
                   JoinWords(kKludgeFmpt, std::to_string(address.point)));
}

bool MessageArea::SetDestAddress(const FtnAddress& address) {
  if (headerLayout.kludgesOverHeader) headerRecord.destAddress = address;
  if (!text) return false;
  if (!HasAreaFlag(kAreaFlagAddressKludges)) return true;
  FtnAddress orig;
  OrigAddress(&orig);
  std::string intl =
      JoinWords(kKludgeIntl, AddressToText3D(address), AddressToText3D(orig));
  if (!PutKludge(kKludgeIntl, intl)) return false;
  if (address.point == 0) return RemoveKludge(kKludgeTopt);
  return PutKludge(kKludgeTopt,
                   JoinWords(kKludgeTopt, std::to_string(address.point)));
}

bool MessageArea::SetAddresses(const FtnAddress& orig, const FtnAddress& dest) {
  bool ok = SetOrigAddress(orig, false);
  return SetDestAddress(dest) && ok;
}

// ------------------------------------------------------------------ text

void MessageArea::ReadLineRaw(std::string* line, size_t max_length) {
  line->clear();
  if (text) ReadTextLine(text.get(), line, max_length);
}

void MessageArea::ReadLine(std::string* line) {
  ReadLineRaw(line, kMaxTextLine);
}

bool MessageArea::WriteLineRaw(std::string_view line) {
  return text && WriteTextLine(text.get(), line);
}

bool MessageArea::WriteLine(std::string_view line) {
  return WriteLineRaw(line.substr(0, kMaxTextLine));
}

bool MessageArea::AtTextEnd() { return !text || AtEndOfText(text.get()); }

void MessageArea::SetTextPos(int32_t position) {
  if (text) text->Seek(position);
}

int32_t MessageArea::TextPos() { return text ? text->Position() : 0; }

int32_t MessageArea::TextSize() { return text ? text->Size() : 0; }

void MessageArea::TruncateText() {
  if (text) text->Truncate();
}

void MessageArea::ReadTextBlock(void* buffer, uint16_t count) {
  if (text) text->Read(buffer, count);
}

bool MessageArea::WriteTextBlock(const void* buffer, uint16_t count) {
  if (!text) return false;
  text->Write(buffer, count);
  return text->status == kStreamOk;
}

// --------------------------------------------------------------- kludges

bool MessageArea::FindKludgeRaw(std::string_view name, std::string* line,
                                size_t max_length) {
  line->clear();
  return text && FindKludgeLine(text.get(), name, line, max_length);
}

bool MessageArea::FindKludge(std::string_view name, std::string* line) {
  return FindKludgeRaw(name.substr(0, kMaxTextLine), line, kMaxTextLine);
}

bool MessageArea::PutKludgeRaw(std::string_view name, std::string_view line) {
  return text && PutKludgeLine(&text, name, line);
}

bool MessageArea::PutKludge(std::string_view name, std::string_view line) {
  return PutKludgeRaw(name.substr(0, kMaxTextLine),
                      line.substr(0, kMaxTextLine));
}

bool MessageArea::RemoveKludgeRaw(std::string_view name) {
  return text && RemoveKludgeLines(&text, name);
}

bool MessageArea::RemoveKludge(std::string_view name) {
  return RemoveKludgeRaw(name.substr(0, kMaxTextLine));
}

// ------------------------------------------------------------ area flags

ByteStream* MessageArea::TextStream() { return text.get(); }

void MessageArea::SetAreaFlag(uint32_t mask, bool on) {
  if (on) {
    areaFlags |= mask;
  } else {
    areaFlags &= ~mask;
  }
}

bool MessageArea::HasAreaFlag(uint32_t mask) {
  return (areaFlags & mask) == mask;
}

void MessageArea::AddressFromOrigKludge(std::string_view line,
                                        FtnAddress* address) {
  kavel::AddressFromOrigKludge(line, address);
}

void MessageArea::AddressFromDestKludge(std::string_view line,
                                        FtnAddress* address) {
  kavel::AddressFromDestKludge(line, address);
}

// --------------------------------------------------------------- factory

AreaType SplitAreaId(std::string_view area_id, std::string* path) {
  AreaType type = kAreaTypeNone;
  if (!area_id.empty()) {
    switch (area_id.front()) {
      case 'J':
      case 'j':
        type = kAreaTypeJam;
        break;
      case 'F':
      case 'f':
      case 'M':
      case 'm':
      case '*':
        type = kAreaTypeMsg;
        break;
      case 'S':
      case 's':
        type = kAreaTypeSquish;
        break;
      default:
        break;
    }
  }
  *path = std::string(type == kAreaTypeNone ? area_id : area_id.substr(1));
  return type;
}

bool CreateAreaObject(std::unique_ptr<MessageArea>* area,
                      std::string_view area_id) {
  area->reset();
  lastAreaError = kAreaErrorConstructed;
  std::string path;
  AreaType type = SplitAreaId(area_id, &path);
  if (type == kAreaTypeNone) return false;
  switch (type) {
    case kAreaTypeJam:
      *area = NewJamArea(path);
      break;
    case kAreaTypeMsg:
      *area = NewMsgArea(path);
      break;
    case kAreaTypeSquish:
      *area = NewSquishArea(path);
      break;
    case kAreaTypeNone:
      break;
  }
  return *area != nullptr;
}

bool OpenMessageArea(std::unique_ptr<MessageArea>* area,
                     std::string_view area_id) {
  if (!CreateAreaObject(area, area_id)) return false;
  std::string path;
  SplitAreaId(area_id, &path);
  if ((*area)->OpenArea(path)) return true;
  lastAreaError = (*area)->status;
  area->reset();
  return false;
}

bool OpenOrCreateMessageArea(std::unique_ptr<MessageArea>* area,
                             std::string_view area_id) {
  if (!CreateAreaObject(area, area_id)) return false;
  std::string path;
  SplitAreaId(area_id, &path);
  MessageArea* object = area->get();
  if (object->OpenArea(path)) return true;
  int32_t failure = object->status;
  if (!object->BaseExists(path) || object->BaseUnfinished(path)) {
    if (object->CreateArea(path)) return true;
    failure = object->status;
  }
  // Another writer may be creating the base at this moment (its files
  // appear one after the other): it gets a moment to finish before the
  // base counts as broken. A broken base is never created anew.
  for (int i = 0; i < kCreatorRetries && object->BaseExists(path); ++i) {
    SleepMilliseconds(kCreatorRetryMs);
    if (object->OpenArea(path)) return true;
  }
  object->status = failure;
  lastAreaError = object->status;
  area->reset();
  return false;
}

bool CloseMessageArea(std::unique_ptr<MessageArea>* area) {
  if (!*area) return false;
  (*area)->CloseArea();
  area->reset();
  return true;
}

bool DisposeMessageArea(std::unique_ptr<MessageArea>* area) {
  if (!*area) return false;
  area->reset();
  return true;
}

}  // namespace kavel
