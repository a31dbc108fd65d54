#include "msgbase/formats/jam_area.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "msgbase/base_files.h"
#include "msgbase/base_lock.h"
#include "msgbase/formats/formats.h"
#include "msgbase/formats/jam_crc.h"
#include "msgbase/formats/jam_text.h"
#include "platform/file_queries.h"
#include "platform/platform.h"
#include "util/text.h"

namespace kavel {
namespace {

// Extensions of the four files, in the order they are checked, opened and
// created. New bases get them in lower case, as the JAM tools do; existing
// files in another case are found by the platform's path lookup.
constexpr std::string_view kHeaderExt = "jhr";
constexpr std::string_view kIndexExt = "jdx";
constexpr std::string_view kTextExt = "jdt";
constexpr std::string_view kLastReadExt = "jlr";

constexpr int64_t kMaxOffset = std::numeric_limits<int32_t>::max();

// The whole content of a memory stream; its position is kept.
std::string ReadWholeStream(ByteStream* stream) {
  const int32_t position = stream->Position();
  std::string out;
  ReadAt(stream, 0, std::max(stream->Size(), 0), &out);
  stream->Seek(position);
  return out;
}

JamSubfield MakeSubfield(uint16_t id, std::string_view data) {
  JamSubfield subfield;
  subfield.loId = id;
  subfield.data.assign(data);
  return subfield;
}

uint32_t ToSeconds(const DateTimeRecord& dt) {
  return static_cast<uint32_t>(DateTimeToSeconds(dt));
}

void FromSeconds(uint32_t seconds, DateTimeRecord* dt) {
  *dt = DateTimeRecord();
  // Values beyond the signed range are taken as 0 (1 Jan 1970).
  SecondsToDateTime(seconds > static_cast<uint32_t>(kMaxOffset)
                        ? 0
                        : static_cast<int32_t>(seconds),
                    dt);
}

}  // namespace

std::unique_ptr<MessageArea> NewJamArea(std::string_view path) {
  return std::make_unique<JamArea>(path);
}

JamArea::JamArea(std::string_view)
    : MessageArea(HeaderLayout{.format = StoredFormat::kJam,
                               .nameWidth = kShortStringMax,
                               .subjectWidth = kShortStringMax,
                               .keepsDateArrived = true,
                               .kludgesOverHeader = false}) {}

JamArea::~JamArea() {
  ReleaseMessage();
  CloseArea();
}

std::string JamArea::FileName(std::string_view extension) const {
  return areaPath + std::string(extension);
}

void JamArea::ResetFiles() {
  for (ByteStream* file : {headerFile.get(), indexFile.get(), textFile.get(),
                           lastReadFile.get()}) {
    if (file == nullptr) continue;
    file->ResetStatus();
    file->Flush();
  }
}

void JamArea::CloseFiles() {
  headerSizeSeen = indexSizeSeen = textSizeSeen = -1;
  // Destroying a file stream writes what it buffered and closes it.
  textFile.reset();
  indexFile.reset();
  headerFile.reset();
  lastReadFile.reset();
}

std::array<BaseFile, 4> JamArea::Files() {
  return {{{kHeaderExt, &headerFile, kJamErrorNoHeaderFile,
            kJamErrorOpenHeaderFile, kJamErrorCreateHeaderFile},
           {kIndexExt, &indexFile, kJamErrorNoIndexFile, kJamErrorOpenIndexFile,
            kJamErrorCreateIndexFile},
           {kTextExt, &textFile, kJamErrorNoTextFile, kJamErrorOpenTextFile,
            kJamErrorCreateTextFile},
           // Optional: some writers never create it. It is created when
           // the base is first written.
           {kLastReadExt, &lastReadFile, 0, kJamErrorOpenLastReadFile,
            kJamErrorCreateLastReadFile}}};
}

bool JamArea::OpenArea(std::string_view path) {
  if (headerFile) CloseArea();
  areaPath = BasePath(path);
  readOnly = false;
  if (!OpenBaseFiles(areaPath, Files(), &readOnly, &status)) {
    areaPath.clear();
    return false;
  }
  if (!ReadBaseHeader(&baseHeader)) {
    // Shorter than a base header: not a JAM base that can be used.
    status = kJamErrorOpenHeaderFile;
    CloseFiles();
    areaPath.clear();
    return false;
  }
  current = 0;
  isOpen = true;
  return true;
}

bool JamArea::CreateArea(std::string_view path) {
  if (headerFile) CloseArea();
  areaPath = BasePath(path);
  readOnly = false;
  JamBaseHeader existing;
  JamBaseHeader fresh;
  DateTimeRecord now;
  CurrentDateTime(&now);
  fresh.dateCreated = ToSeconds(now);
  std::string fresh_bytes;
  fresh.EncodeTo(&fresh_bytes);
  bool made_meanwhile = false;
  if (!CreateBaseFiles(
          areaPath, Files(), kJamErrorLocked,
          [&] {
            return ReadBaseHeader(&existing) &&
                   existing.signature == kJamSignature;
          },
          fresh_bytes, &made_meanwhile, &status)) {
    CloseFiles();
    areaPath.clear();
    return false;
  }
  baseHeader = made_meanwhile ? existing : fresh;
  ResetFiles();
  current = 0;
  isOpen = true;
  return true;
}

void JamArea::CloseArea() {
  if (!headerFile) return;
  // The base header is written back by every change (EndBaseUpdate);
  // closing only flushes and closes.
  ResetFiles();
  CloseFiles();
  areaPath.clear();
  isOpen = false;
}

bool JamArea::BaseExists(std::string_view path) {
  return AnyBaseFileExists(BasePath(path), Files());
}

bool JamArea::BaseUnfinished(std::string_view path) {
  return BaseFilesEmpty(BasePath(path), Files());
}

int64_t JamArea::IndexRecordCount() {
  if (!indexFile) return 0;
  indexFile->ResetStatus();
  int64_t size = indexFile->Size();
  if (indexFile->status != 0 || size < 0) return 0;
  return size / static_cast<int64_t>(JamIndexRecord::kEncodedSize);
}

int64_t JamArea::SizeCovering(ByteStream* file, int64_t needed) {
  int64_t* seen = file == headerFile.get()  ? &headerSizeSeen
                  : file == indexFile.get() ? &indexSizeSeen
                                            : &textSizeSeen;
  return kavel::SizeCovering(file, needed, seen);
}

bool JamArea::ReadIndexRecord(int64_t position, JamIndexRecord* record) {
  if (!indexFile || position < 0) return false;
  std::string bytes;
  const int64_t record_size = JamIndexRecord::kEncodedSize;
  const int64_t end = (position + 1) * record_size;
  const int64_t size = SizeCovering(indexFile.get(), end);
  return end <= size &&
         ReadAt(indexFile.get(), position * record_size, record_size, &bytes,
                size) &&
         record->DecodeFrom(bytes);
}

bool JamArea::ReadFixedHeader(uint32_t offset, JamMessageHeader* header,
                              int64_t header_file_size) {
  std::string bytes;
  if (header_file_size < 0) {
    header_file_size =
        SizeCovering(headerFile.get(), static_cast<int64_t>(offset) +
                                           JamMessageHeader::kEncodedSize);
  }
  return ReadAt(headerFile.get(), offset, JamMessageHeader::kEncodedSize,
                &bytes, header_file_size) &&
         header->DecodeFrom(bytes);
}

bool JamArea::HasMessage(int32_t n) {
  if (!isOpen) return false;
  ResetFiles();
  JamIndexRecord record;
  int64_t position = static_cast<int64_t>(n) - baseHeader.baseNumber;
  if (!ReadIndexRecord(position, &record) || record.IsEmpty()) return false;
  // A header that cannot be read still counts: LoadMessage reports it.
  JamMessageHeader header;
  if (ReadFixedHeader(record.headerOffset, &header) &&
      (header.attribute & kJamAttrDeleted) != 0) {
    return false;
  }
  return true;
}

int32_t JamArea::CurrentNumber() { return current; }

void JamArea::GoToNumber(int32_t number) { current = number; }

void JamArea::GoNext() {
  if (isOpen && current >= 0 &&
      static_cast<int64_t>(current) + 1 < baseHeader.baseNumber) {
    current = static_cast<int32_t>(std::min<int64_t>(
        static_cast<int64_t>(baseHeader.baseNumber) - 1, kMaxOffset));
  }
  // Numbers whose index records lie inside the index size already taken
  // exist without taking the size again; past them, the size is taken
  // afresh (the base may have grown).
  const int64_t record_size = JamIndexRecord::kEncodedSize;
  while (isOpen && current >= 0 && current < kMaxOffset) {
    const int64_t next = static_cast<int64_t>(current) + 1;
    if ((next - baseHeader.baseNumber + 1) * record_size > indexSizeSeen) {
      break;
    }
    current = static_cast<int32_t>(next);
    if (HasMessage(current)) return;
  }
  MessageArea::GoNext();
}

void JamArea::GoPrevious() {
  if (isOpen && static_cast<int64_t>(current) - 1 < baseHeader.baseNumber) {
    current = 0;
    return;
  }
  MessageArea::GoPrevious();
}

int32_t JamArea::HighestNumber() {
  if (!isOpen) return 0;
  int64_t highest =
      static_cast<int64_t>(baseHeader.baseNumber) + IndexRecordCount() - 1;
  return static_cast<int32_t>(std::min(highest, kMaxOffset));
}

int32_t JamArea::MessageCount() {
  return static_cast<int32_t>(
      std::min<int64_t>(baseHeader.activeMessages, kMaxOffset));
}

void JamArea::ClearMessage() {
  messageHeader = JamMessageHeader();
  // The subfields' buffers serve the next message's subfields.
  for (JamSubfield& subfield : subfieldList) {
    if (subfield.data.capacity() > 15 && spareSubfieldData.size() < 64) {
      spareSubfieldData.push_back(std::move(subfield.data));
    }
  }
  subfieldList.clear();
  indexRecord = JamIndexRecord();
  indexOffset = 0;
  isNewMessage = false;
  headerRecord = MessageHeader();
}

void JamArea::ShowStoredHeader() {
  FromSeconds(messageHeader.dateWritten, &headerRecord.dateWritten);
  FromSeconds(messageHeader.dateProcessed, &headerRecord.dateArrived);
  headerRecord.attributes =
      AttributesFromStored(StoredFormat::kJam, messageHeader.attribute);
}

void JamArea::TakeHeaderRecord() {
  auto take = [](uint32_t* field, const DateTimeRecord& dt) {
    DateTimeRecord stored;
    FromSeconds(*field, &stored);
    if (!(stored == dt)) *field = ToSeconds(dt);
  };
  take(&messageHeader.dateWritten, headerRecord.dateWritten);
  take(&messageHeader.dateProcessed, headerRecord.dateArrived);
  messageHeader.attribute = AttributesToStored(
      StoredFormat::kJam, headerRecord.attributes, messageHeader.attribute);
}

bool JamArea::LoadMessage() {
  if (text) ReleaseMessage();
  if (!isOpen) return false;
  ResetFiles();
  ClearMessage();

  int64_t position = static_cast<int64_t>(current) - baseHeader.baseNumber;
  if (!ReadIndexRecord(position, &indexRecord)) {
    status = kJamErrorRead;
    return false;
  }
  indexOffset = position * static_cast<int64_t>(JamIndexRecord::kEncodedSize);

  int64_t header_offset = indexRecord.headerOffset;
  int64_t header_size = SizeCovering(
      headerFile.get(), header_offset + JamMessageHeader::kEncodedSize);
  if (indexRecord.IsEmpty() || header_offset > header_size ||
      static_cast<int64_t>(JamMessageHeader::kEncodedSize) >
          header_size - header_offset) {
    status = kJamErrorHeaderOffset;
    return false;
  }
  if (!ReadFixedHeader(indexRecord.headerOffset, &messageHeader, header_size)) {
    status = kJamErrorRead;
    return false;
  }
  ShowStoredHeader();
  // The subfields as far as the file holds them.
  int64_t subfields_at =
      header_offset + static_cast<int64_t>(JamMessageHeader::kEncodedSize);
  header_size = SizeCovering(headerFile.get(),
                             subfields_at + messageHeader.subfieldLength);
  int64_t subfield_bytes = std::min<int64_t>(messageHeader.subfieldLength,
                                             header_size - subfields_at);
  std::string& block = subfieldBlock;
  if (!ReadAt(headerFile.get(), subfields_at, subfield_bytes, &block,
              header_size)) {
    status = kJamErrorRead;
    return false;
  }
  int64_t text_offset = messageHeader.textOffset;
  int64_t text_size =
      SizeCovering(textFile.get(), text_offset + messageHeader.textLength);
  if (text_offset > text_size) {
    status = kJamErrorTextOffset;
    return false;
  }
  const int64_t body_length =
      std::min<int64_t>(messageHeader.textLength, text_size - text_offset);
  // A damaged subfield ends the list; the ones before it are used.
  DecodeJamSubfields(block, &subfieldList, &spareSubfieldData);

  MessageHeader& shown = headerRecord;
  for (const JamSubfield& subfield : subfieldList) {
    switch (subfield.loId) {
      case kJamOAddress:
        ClearAddress(&shown.origAddress);
        ParseAddress(subfield.data, &shown.origAddress);
        break;
      case kJamDAddress:
        ClearAddress(&shown.destAddress);
        ParseAddress(subfield.data, &shown.destAddress);
        break;
      case kJamSenderName:
        shown.fromName = ShortString(subfield.data);
        break;
      case kJamReceiverName:
        shown.toName = ShortString(subfield.data);
        break;
      case kJamSubject:
        shown.subject = ShortString(subfield.data);
        break;
      case kJamEnclosedFile:
        if (HasAttribute(kAttrAtt)) shown.subject = ShortString(subfield.data);
        break;
      case kJamEnclosedFreq:
        if (HasAttribute(kAttrFRq)) shown.subject = ShortString(subfield.data);
        break;
      default:
        break;
    }
  }

  text = NewMemoryStream(65536);
  if (!text || !ReadJamText(textFile.get(), text_offset, body_length, text_size,
                            subfieldList, text.get())) {
    text.reset();
    status = kJamErrorRead;
    return false;
  }
  text->Seek(0);
  return true;
}

bool JamArea::ReleaseMessage() {
  if (!text) return false;
  text.reset();
  isNewMessage = false;
  return true;
}

bool JamArea::AddMessage() {
  if (text) ReleaseMessage();
  if (!isOpen) return false;
  if (readOnly) {
    status = kJamErrorWrite;
    return false;
  }
  ResetFiles();
  ClearMessage();
  int64_t number =
      static_cast<int64_t>(baseHeader.baseNumber) + IndexRecordCount();
  current = static_cast<int32_t>(std::min(number, kMaxOffset));
  messageHeader.messageNumber = static_cast<uint32_t>(current);
  ShowStoredHeader();
  DateTimeRecord now;
  CurrentDateTime(&now);
  SetDateWritten(now);
  text = NewMemoryStream(65536);
  if (!text) return false;
  isNewMessage = true;
  return true;
}

bool JamArea::ReadBaseHeader(JamBaseHeader* header) {
  std::string bytes;
  return ReadAt(headerFile.get(), 0, JamBaseHeader::kEncodedSize, &bytes) &&
         header->DecodeFrom(bytes);
}

bool JamArea::BeginBaseUpdate(BaseLock* lock) {
  // The count and the index size are always read afresh from the header
  // and the index file.
  return kavel::BeginBaseUpdate(
      lock, kJamErrorLocked, [this] { return ReadBaseHeader(&baseHeader); },
      kJamErrorOpenHeaderFile, &status);
}

bool JamArea::EndBaseUpdate(int32_t active_delta) {
  baseHeader.modCounter += 1;
  int64_t active =
      static_cast<int64_t>(baseHeader.activeMessages) + active_delta;
  baseHeader.activeMessages = static_cast<uint32_t>(
      std::clamp<int64_t>(active, 0, std::numeric_limits<uint32_t>::max()));
  std::string bytes;
  baseHeader.EncodeTo(&bytes);
  return WriteAt(headerFile.get(), 0, bytes);
}

bool JamArea::EnsureLastReadFile() {
  if (lastReadFile) return true;
  std::string name = FileName(kLastReadExt);
  // Another program may have created it since the base was opened.
  lastReadFile =
      NewFileStream(name, FileExists(name) ? ModeOpenReadWrite : ModeCreate);
  if (lastReadFile && lastReadFile->status == 0) return true;
  lastReadFile.reset();
  return false;
}

bool JamArea::WriteFailed() {
  status = kJamErrorWrite;
  ResetFiles();
  return false;
}

bool JamArea::StoreMessage() {
  if (!isOpen || !text) return false;
  if (readOnly || text->status != 0) return WriteFailed();
  ResetFiles();

  MessageHeader& shown = headerRecord;
  FtnAddress orig, dest;
  ReadAddresses(&orig, &dest);
  shown.origAddress = orig;
  shown.destAddress = dest;
  JamSplitText split;
  SplitJamText(ReadWholeStream(text.get()), &split);

  subfieldList.clear();
  subfieldList.push_back(MakeSubfield(kJamSenderName, shown.fromName));
  subfieldList.push_back(MakeSubfield(kJamOAddress, AddressToText4D(orig)));
  subfieldList.push_back(MakeSubfield(kJamReceiverName, shown.toName));
  subfieldList.push_back(MakeSubfield(
      kJamDAddress, AddressToText4D(dest == EmptyAddress ? orig : dest)));
  if (!shown.subject.empty()) {
    subfieldList.push_back(MakeSubfield(kJamSubject, shown.subject));
  }
  if (HasAttribute(kAttrAtt)) {
    subfieldList.push_back(MakeSubfield(kJamEnclosedFile, shown.subject));
  }
  if (HasAttribute(kAttrFRq)) {
    subfieldList.push_back(MakeSubfield(kJamEnclosedFreq, shown.subject));
  }
  for (JamSubfield& subfield : split.subfields) {
    subfieldList.push_back(std::move(subfield));
  }
  std::string block;
  for (const JamSubfield& subfield : subfieldList) subfield.EncodeTo(&block);

  TakeHeaderRecord();
  messageHeader.msgIdCrc = split.msgIdCrc;
  messageHeader.replyCrc = split.replyCrc;
  const struct {
    uint32_t flag;
    uint32_t bit;
  } kinds[] = {{kAreaFlagAddressKludges, kJamAttrTypeNet},
               {kAreaFlagEchomail, kJamAttrTypeEcho},
               {kAreaFlagLocal, kJamAttrTypeLocal}};
  for (const auto& kind : kinds) {
    if (HasAreaFlag(kind.flag)) {
      messageHeader.attribute |= kind.bit;
    } else {
      messageHeader.attribute &= ~kind.bit;
    }
  }

  BaseLock lock(headerFile.get());
  if (!BeginBaseUpdate(&lock)) return false;
  if (!EnsureLastReadFile()) {
    status = kJamErrorCreateLastReadFile;
    return false;
  }
  if (isNewMessage) {
    // The record goes at the end of the index as it is now; its position
    // is the message's number.
    int64_t records = IndexRecordCount();
    int64_t number = static_cast<int64_t>(baseHeader.baseNumber) + records;
    // Number 0 means "no message" at the interface: a base numbered from 0
    // would take a message that no walk ever reaches.
    if (number < 1 || number > kMaxOffset) return WriteFailed();
    indexOffset = records * static_cast<int64_t>(JamIndexRecord::kEncodedSize);
    current = static_cast<int32_t>(number);
    messageHeader.messageNumber = static_cast<uint32_t>(number);
  }
  int64_t text_offset = textFile->Size();
  int64_t header_offset = headerFile->Size();
  if (text_offset < 0 || header_offset < 0 ||
      static_cast<int64_t>(split.body.size()) > kMaxOffset - text_offset ||
      static_cast<int64_t>(JamMessageHeader::kEncodedSize + block.size()) >
          kMaxOffset - header_offset) {
    return WriteFailed();
  }
  messageHeader.subfieldLength = static_cast<uint32_t>(block.size());
  messageHeader.textOffset = static_cast<uint32_t>(text_offset);
  messageHeader.textLength = static_cast<uint32_t>(split.body.size());
  const JamIndexRecord previous_index = indexRecord;
  indexRecord.toCrc = JamCrc(shown.toName);
  indexRecord.headerOffset = static_cast<uint32_t>(header_offset);

  // Text first, then the header, then the index record that makes them
  // reachable, then the base header: a write cut short leaves unreachable
  // bytes at the ends of the files, never a record pointing at nothing.
  std::string header_bytes;
  messageHeader.EncodeTo(&header_bytes);
  header_bytes += block;
  std::string index_bytes;
  indexRecord.EncodeTo(&index_bytes);
  // Each file is flushed and checked before the next is written: a write
  // refused from the buffer (a full disk) shows only then, and the index
  // record must not follow a text or header that is not whole.
  if (!WriteAt(textFile.get(), text_offset, split.body)) return WriteFailed();
  textFile->Flush();
  if (textFile->status != 0) return WriteFailed();
  if (!WriteAt(headerFile.get(), header_offset, header_bytes)) {
    return WriteFailed();
  }
  headerFile->Flush();
  if (headerFile->status != 0) return WriteFailed();
  // From here on a failure takes the index record back out (or puts the
  // old one back), so that a store that answers no leaves no message
  // reachable that the base header does not count.
  bool stored = WriteAt(indexFile.get(), indexOffset, index_bytes);
  if (stored) {
    indexFile->Flush();
    stored = indexFile->status == 0 && EndBaseUpdate(isNewMessage ? 1 : 0);
  }
  for (ByteStream* file : {indexFile.get(), headerFile.get(), textFile.get(),
                           lastReadFile.get()}) {
    if (!stored) break;
    file->Flush();
    stored = file->status == 0;
  }
  if (!stored) {
    UndoIndexRecord(previous_index);
    indexRecord = previous_index;
    return WriteFailed();
  }
  isNewMessage = false;
  return true;
}

void JamArea::UndoIndexRecord(const JamIndexRecord& previous) {
  ResetFiles();
  if (isNewMessage) {
    if (indexFile->Size() > indexOffset) {
      indexFile->Seek(static_cast<int32_t>(indexOffset));
      indexFile->Truncate();
    }
  } else {
    std::string bytes;
    previous.EncodeTo(&bytes);
    WriteAt(indexFile.get(), indexOffset, bytes);
  }
  indexFile->Flush();
  ResetFiles();
}

bool JamArea::DeleteMessage() {
  if (!isOpen || !text || isNewMessage) return false;
  if (readOnly) return WriteFailed();
  ResetFiles();
  BaseLock lock(headerFile.get());
  if (!BeginBaseUpdate(&lock)) return false;
  if (!EnsureLastReadFile()) {
    status = kJamErrorCreateLastReadFile;
    return false;
  }
  // Marked in the header (soft) and removed from the index (hard), so that
  // every kind of reader sees the message gone.
  JamMessageHeader on_disk;
  if (ReadFixedHeader(indexRecord.headerOffset, &on_disk)) {
    on_disk.attribute |= kJamAttrDeleted;
    std::string bytes;
    on_disk.EncodeTo(&bytes);
    if (!WriteAt(headerFile.get(), indexRecord.headerOffset, bytes)) {
      return WriteFailed();
    }
  }
  JamIndexRecord empty;
  std::string bytes;
  empty.EncodeTo(&bytes);
  if (!WriteAt(indexFile.get(), indexOffset, bytes)) return WriteFailed();
  indexRecord = empty;
  messageHeader.attribute |= kJamAttrDeleted;
  if (!EndBaseUpdate(-1)) return WriteFailed();
  ResetFiles();
  return true;
}

int32_t JamArea::LoadLastRead(int32_t user) {
  if (!isOpen || !lastReadFile) return 0;
  ResetFiles();
  int64_t size = lastReadFile->Size();
  std::string bytes;
  for (int64_t offset = 0;
       offset + static_cast<int64_t>(JamLastReadRecord::kEncodedSize) <= size;
       offset += JamLastReadRecord::kEncodedSize) {
    JamLastReadRecord record;
    if (!ReadAt(lastReadFile.get(), offset, JamLastReadRecord::kEncodedSize,
                &bytes) ||
        !record.DecodeFrom(bytes)) {
      return 0;
    }
    if (record.userId == static_cast<uint32_t>(user)) {
      return static_cast<int32_t>(record.highRead);
    }
  }
  return 0;
}

bool JamArea::StoreLastRead(int32_t user, int32_t value) {
  if (!isOpen) return false;
  if (readOnly) return WriteFailed();
  ResetFiles();
  BaseLock lock(headerFile.get());
  if (!lock.Acquire()) {
    status = kJamErrorLocked;
    return false;
  }
  if (!EnsureLastReadFile()) {
    status = kJamErrorCreateLastReadFile;
    return false;
  }
  int64_t size = lastReadFile->Size();
  int64_t offset = 0;
  JamLastReadRecord record;
  std::string bytes;
  for (; offset + static_cast<int64_t>(JamLastReadRecord::kEncodedSize) <= size;
       offset += JamLastReadRecord::kEncodedSize) {
    if (!ReadAt(lastReadFile.get(), offset, JamLastReadRecord::kEncodedSize,
                &bytes) ||
        !record.DecodeFrom(bytes)) {
      return WriteFailed();
    }
    if (record.userId == static_cast<uint32_t>(user)) break;
  }
  if (offset + static_cast<int64_t>(JamLastReadRecord::kEncodedSize) > size) {
    // No record for the user: a new one after the last whole record.
    record = JamLastReadRecord();
    record.userCrc = static_cast<uint32_t>(user);
    record.userId = static_cast<uint32_t>(user);
  }
  record.lastRead = static_cast<uint32_t>(value);
  record.highRead = static_cast<uint32_t>(value);
  bytes.clear();
  record.EncodeTo(&bytes);
  if (!WriteAt(lastReadFile.get(), offset, bytes)) return WriteFailed();
  lastReadFile->Flush();
  if (lastReadFile->status != 0) return WriteFailed();
  return true;
}

}  // namespace kavel
