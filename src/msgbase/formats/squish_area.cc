#include "msgbase/formats/squish_area.h"

#include <algorithm>
#include <cstring>

#include "msgbase/base_files.h"
#include "msgbase/base_lock.h"
#include "msgbase/byte_stream.h"
#include "msgbase/date_time.h"
#include "msgbase/formats/formats.h"
#include "msgbase/formats/squish_chain.h"
#include "msgbase/message_text.h"
#include "platform/platform.h"
#include "util/coding.h"
#include "util/text.h"

namespace kavel {

namespace {

constexpr int32_t kMemoryStreamHint = 65536;
constexpr int64_t kMaxFileOffset = 0x7FFFFFFF;
// Index records moved with one read or write.
constexpr uint32_t kIndexChunkRecords = 4096;
// One unique number in this many index records is kept for FindUniqueId.
constexpr uint32_t kUidSampleStride = 64;

// The stored date puts the date word first, the packed form of the clock
// the time word first.
uint32_t SwapHalves(uint32_t v) { return (v << 16) | (v >> 16); }

bool IsAddressEmpty(const FtnAddress& a) { return a == EmptyAddress; }

SquishStoredAddress ToStored(const FtnAddress& a) {
  SquishStoredAddress s;
  s.zone = a.zone;
  s.net = a.net;
  s.node = a.node;
  s.point = a.point;
  return s;
}

}  // namespace

std::unique_ptr<MessageArea> NewSquishArea(std::string_view path) {
  return std::make_unique<SquishArea>(path);
}

SquishArea::SquishArea(std::string_view path)
    : MessageArea(
          HeaderLayout{.format = StoredFormat::kSquish,
                       .nameWidth = SquishMessageHeader::kNameSize - 1,
                       .subjectWidth = SquishMessageHeader::kSubjectSize - 1,
                       .keepsDateArrived = true,
                       .kludgesOverHeader = false}),
      areaPath(path) {}

SquishArea::~SquishArea() {
  text.reset();
  CloseArea();
}

std::string SquishArea::FileName(std::string_view extension) const {
  return areaPath + std::string(extension);
}

void SquishArea::CloseFiles() {
  dataSizeSeen = -1;
  dataFile.reset();
  indexFile.reset();
}

// ------------------------------------------------------------ base header

bool SquishArea::ReadBaseHeader() {
  uint8_t buf[SquishBaseHeader::kEncodedSize];
  SquishBaseHeader header;
  if (!ReadAt(dataFile.get(), 0, buf, sizeof buf) ||
      !header.DecodeFrom(buf, sizeof buf)) {
    return false;
  }
  baseHeader = header;
  storedHeader.assign(buf, buf + sizeof buf);
  return true;
}

bool SquishArea::HeaderChanged() const {
  uint8_t buf[SquishBaseHeader::kEncodedSize];
  baseHeader.EncodeTo(buf);
  return storedHeader.size() != sizeof buf ||
         std::memcmp(storedHeader.data(), buf, sizeof buf) != 0;
}

bool SquishArea::WriteBaseHeader() {
  if (!HeaderChanged()) return true;
  uint8_t buf[SquishBaseHeader::kEncodedSize];
  baseHeader.EncodeTo(buf);
  dataFile->Seek(0);
  dataFile->Write(buf, sizeof buf);
  dataFile->Flush();
  if (dataFile->status != kStreamOk) {
    dataFile->ResetStatus();
    return false;
  }
  storedHeader.assign(buf, buf + sizeof buf);
  return true;
}

// ------------------------------------------------------------------ index

uint32_t SquishArea::StoredCount() const {
  return std::min(baseHeader.messageCount, indexRecords);
}

bool SquishArea::ReadIndexRecord(uint32_t position, SquishIndexRecord* record) {
  uint8_t buf[SquishIndexRecord::kEncodedSize];
  if (position >= indexRecords ||
      !ReadAt(indexFile.get(),
              static_cast<int64_t>(position) * SquishIndexRecord::kEncodedSize,
              buf, sizeof buf,
              static_cast<int64_t>(indexRecords) *
                  SquishIndexRecord::kEncodedSize)) {
    return false;
  }
  return record->DecodeFrom(buf, sizeof buf);
}

bool SquishArea::WriteIndexRecord(uint32_t position,
                                  const SquishIndexRecord& record) {
  uidPositionsBuilt = false;
  uint8_t buf[SquishIndexRecord::kEncodedSize];
  record.EncodeTo(buf);
  indexFile->Seek(
      static_cast<int32_t>(position * SquishIndexRecord::kEncodedSize));
  indexFile->Write(buf, sizeof buf);
  indexFile->Flush();
  if (indexFile->status != kStreamOk) {
    indexFile->ResetStatus();
    return false;
  }
  return true;
}

// ------------------------------------------------------ open, create, close

std::array<BaseFile, 2> SquishArea::Files() {
  return {{{"sqd", &dataFile, kSquishErrorNoDataFile, kSquishErrorOpenData,
            kSquishErrorCreateData},
           {"sqi", &indexFile, kSquishErrorNoIndexFile, kSquishErrorOpenIndex,
            kSquishErrorCreateIndex}}};
}

bool SquishArea::BaseExists(std::string_view path) {
  return AnyBaseFileExists(BasePath(path), Files());
}

bool SquishArea::BaseUnfinished(std::string_view path) {
  return BaseFilesEmpty(BasePath(path), Files());
}

bool SquishArea::OpenArea(std::string_view path) {
  if (isOpen) CloseArea();
  areaPath = BasePath(path);
  readOnly = false;
  if (!OpenBaseFiles(areaPath, Files(), &readOnly, &status)) {
    areaPath.clear();
    return false;
  }
  if (!ReadBaseHeader()) {
    status = kSquishErrorOpenData;
    CloseFiles();
    areaPath.clear();
    return false;
  }
  layout_ = SquishLayoutOf(baseHeader);
  indexRecords = static_cast<uint32_t>(indexFile->Size() /
                                       SquishIndexRecord::kEncodedSize);
  current = 0;
  isOpen = true;
  return true;
}

bool SquishArea::CreateArea(std::string_view path) {
  if (isOpen) CloseArea();
  areaPath = BasePath(path);
  readOnly = false;
  const SquishBaseHeader fresh = SquishBaseHeader::ForNewBase();
  uint8_t fresh_bytes[SquishBaseHeader::kEncodedSize];
  fresh.EncodeTo(fresh_bytes);
  bool made_meanwhile = false;
  if (!CreateBaseFiles(
          areaPath, Files(), kSquishErrorLocked,
          [this] {
            return ReadBaseHeader() &&
                   baseHeader.headerLength == SquishBaseHeader::kEncodedSize;
          },
          std::string_view(reinterpret_cast<const char*>(fresh_bytes),
                           sizeof fresh_bytes),
          &made_meanwhile, &status)) {
    CloseFiles();
    areaPath.clear();
    return false;
  }
  if (made_meanwhile) {
    layout_ = SquishLayoutOf(baseHeader);
  } else {
    baseHeader = fresh;
    storedHeader.assign(fresh_bytes, fresh_bytes + sizeof fresh_bytes);
    layout_ = SquishLayout::kStandard;
  }
  indexRecords = static_cast<uint32_t>(indexFile->Size() /
                                       SquishIndexRecord::kEncodedSize);
  current = 0;
  isOpen = true;
  return true;
}

void SquishArea::CloseArea() {
  if (!isOpen) return;
  isOpen = false;
  // Every change reached the files under the lock when it was made; a base
  // header held in memory is never written back from here.
  CloseFiles();
}

bool SquishArea::BeginUpdate(BaseLock* lock) {
  if (!BeginBaseUpdate(
          lock, kSquishErrorLocked, [this] { return ReadBaseHeader(); },
          kSquishErrorOpenData, &status)) {
    return false;
  }
  indexRecords = static_cast<uint32_t>(indexFile->Size() /
                                       SquishIndexRecord::kEncodedSize);
  return true;
}

bool SquishArea::LocateLoadedMessage() {
  SquishIndexRecord record;
  uint32_t position = indexPosition;
  if (position >= StoredCount() || !ReadIndexRecord(position, &record) ||
      record.uniqueId != indexRecord.uniqueId) {
    // Messages before it were deleted meanwhile: it moved down.
    if (!FindUniqueId(indexRecord.uniqueId, &position, &record)) {
      status = kSquishErrorNoMessage;
      return false;
    }
  }
  indexPosition = position;
  current = static_cast<int32_t>(position + 1);
  currentFrameOffset = record.frameOffset;
  return true;
}

bool SquishArea::CanWrite() {
  if (!isOpen || readOnly) {
    status = kSquishErrorNotWritable;
    return false;
  }
  return true;
}

// ------------------------------------------------------------- navigation

bool SquishArea::HasMessage(int32_t n) {
  return isOpen && n >= 1 && static_cast<uint32_t>(n) <= StoredCount();
}

int32_t SquishArea::HighestNumber() { return MessageCount(); }

int32_t SquishArea::MessageCount() {
  if (!isOpen) return 0;
  return static_cast<int32_t>(
      std::min<uint32_t>(StoredCount(), static_cast<uint32_t>(kMaxFileOffset)));
}

int32_t SquishArea::CurrentNumber() {
  SquishIndexRecord record;
  if (!HasMessage(current) ||
      !ReadIndexRecord(static_cast<uint32_t>(current - 1), &record)) {
    return 0;
  }
  return static_cast<int32_t>(record.uniqueId);
}

bool SquishArea::ScanIndex(
    const std::function<bool(uint32_t, const SquishIndexRecord&)>& visit) {
  const uint32_t count = StoredCount();
  std::vector<uint8_t> chunk;
  for (uint32_t first = 0; first < count; first += kIndexChunkRecords) {
    uint32_t n = std::min(kIndexChunkRecords, count - first);
    chunk.resize(static_cast<size_t>(n) * SquishIndexRecord::kEncodedSize);
    if (!ReadAt(indexFile.get(),
                static_cast<int64_t>(first) * SquishIndexRecord::kEncodedSize,
                chunk.data(), chunk.size())) {
      status = kSquishErrorIndex;
      return false;
    }
    for (uint32_t i = 0; i < n; ++i) {
      SquishIndexRecord record;
      record.DecodeFrom(chunk.data() + i * SquishIndexRecord::kEncodedSize,
                        SquishIndexRecord::kEncodedSize);
      if (visit(first + i, record)) return true;
    }
  }
  return true;
}

bool SquishArea::FindUniqueId(uint32_t id, uint32_t* position,
                              SquishIndexRecord* found) {
  if (!uidPositionsBuilt) {
    uidPositions.clear();
    uidSamples.clear();
    bool ascending = true;
    uint32_t last = 0;
    uidPositionsBuilt =
        ScanIndex([&](uint32_t at, const SquishIndexRecord& record) {
          if (at > 0 && record.uniqueId < last) ascending = false;
          last = record.uniqueId;
          if (at % kUidSampleStride == 0) uidSamples.push_back(last);
          return false;
        });
    // Numbers given in ascending order (as every writer gives them) are
    // found from every 64th of them and a look at the index; a base in
    // another order gets a pair for every record.
    if (uidPositionsBuilt && !ascending) {
      uidSamples.clear();
      uidPositionsBuilt =
          ScanIndex([&](uint32_t at, const SquishIndexRecord& record) {
            uidPositions.emplace_back(record.uniqueId, at);
            return false;
          });
      std::sort(uidPositions.begin(), uidPositions.end());
    }
  }
  if (uidPositionsBuilt) {
    int64_t guess = -1;  // the position to confirm
    if (!uidPositions.empty()) {
      auto at = std::lower_bound(uidPositions.begin(), uidPositions.end(),
                                 std::make_pair(id, uint32_t{0}));
      if (at != uidPositions.end() && at->first == id) guess = at->second;
    } else {
      auto after = std::upper_bound(uidSamples.begin(), uidSamples.end(), id);
      if (after != uidSamples.begin()) {
        const uint32_t from = static_cast<uint32_t>(
            (after - uidSamples.begin() - 1) * kUidSampleStride);
        const uint32_t to = std::min(from + kUidSampleStride, StoredCount());
        SquishIndexRecord record;
        for (uint32_t at = from;
             guess < 0 && at < to && ReadIndexRecord(at, &record) &&
             record.uniqueId <= id;
             ++at) {
          if (record.uniqueId == id) guess = at;
        }
      }
    }
    SquishIndexRecord record;
    if (guess >= 0 && guess < StoredCount() &&
        ReadIndexRecord(static_cast<uint32_t>(guess), &record) &&
        record.uniqueId == id) {
      *position = static_cast<uint32_t>(guess);
      if (found != nullptr) *found = record;
      return true;
    }
    // The index changed since the map was made (or holds no such number):
    // the scan below decides, and the map is made again next time.
    uidPositionsBuilt = false;
  }
  bool hit = false;
  if (!ScanIndex([&](uint32_t at, const SquishIndexRecord& record) {
        if (record.uniqueId != id) return false;
        *position = at;
        if (found != nullptr) *found = record;
        hit = true;
        return true;
      })) {
    return false;
  }
  return hit;
}

bool SquishArea::NextFreeUniqueId(uint32_t* id) {
  // Numbers start at 1; the decoder finds sections again by them, so one
  // given twice could make it read the wrong message.
  if (nextUidLeft != 0 && baseHeader.nextUid == nextUidLeft &&
      indexRecords == indexRecordsLeft) {
    *id = nextUidLeft;
    return true;
  }
  uint64_t next = std::max<uint32_t>(baseHeader.nextUid, 1);
  if (!ScanIndex([&](uint32_t, const SquishIndexRecord& record) {
        if (record.uniqueId >= next) next = uint64_t{record.uniqueId} + 1;
        return false;
      })) {
    return false;
  }
  if (next > 0xFFFFFFFFu) {
    status = kSquishErrorIndex;
    return false;
  }
  *id = static_cast<uint32_t>(next);
  return true;
}

void SquishArea::GoToNumber(int32_t number) {
  current = 0;
  if (!isOpen) return;
  uint32_t position = 0;
  if (FindUniqueId(static_cast<uint32_t>(number), &position, nullptr)) {
    current = static_cast<int32_t>(position + 1);
  }
}

// ---------------------------------------------------------------- loading

bool SquishArea::LoadMessage() {
  if (text) ReleaseMessage();
  if (!HasMessage(current)) {
    status = kSquishErrorNoMessage;
    return false;
  }
  const uint32_t position = static_cast<uint32_t>(current - 1);
  SquishIndexRecord record;
  if (!ReadIndexRecord(position, &record)) {
    status = kSquishErrorIndex;
    return false;
  }
  const uint32_t offset = record.frameOffset;
  int64_t data_size = SizeCovering(
      dataFile.get(), int64_t{offset} + SquishFrameHeader::kEncodedSize,
      &dataSizeSeen);
  uint8_t buf[SquishMessageHeader::kLegacyEncodedSize];
  SquishFrameHeader frame;
  if (offset < SquishBaseHeader::kEncodedSize ||
      !ReadAt(dataFile.get(), offset, buf, SquishFrameHeader::kEncodedSize,
              data_size) ||
      !frame.DecodeFrom(buf, SquishFrameHeader::kEncodedSize)) {
    status = kSquishErrorFrame;
    return false;
  }
  if (frame.signature != kSquishFrameSignature) {
    status = kSquishErrorSignature;
    return false;
  }
  // Every length is checked against the frame and the file before anything
  // is read or allocated.
  const uint64_t header_size = SquishMessageHeaderSize(layout_);
  const int64_t body = offset + SquishFrameHeader::kEncodedSize;
  data_size = SizeCovering(dataFile.get(),
                           body + static_cast<int64_t>(frame.messageLength),
                           &dataSizeSeen);
  if (frame.frameType != kSquishMessageFrame ||
      frame.messageLength > frame.frameLength ||
      header_size + frame.controlLength > frame.messageLength ||
      frame.controlLength > kSquishMaxControlLength ||
      body + static_cast<int64_t>(frame.messageLength) > data_size) {
    status = kSquishErrorFrame;
    return false;
  }
  SquishMessageHeader header;
  if (!ReadAt(dataFile.get(), body, buf, header_size, data_size) ||
      !header.DecodeFrom(buf, header_size, layout_)) {
    status = kSquishErrorFrame;
    return false;
  }
  std::vector<uint8_t> control(frame.controlLength);
  if (!ReadAt(dataFile.get(), body + header_size, control.data(),
              control.size(), data_size)) {
    status = kSquishErrorFrame;
    return false;
  }

  std::unique_ptr<ByteStream> loaded = NewMemoryStream(kMemoryStreamHint);
  // The control block holds kludge lines without separators: every 0x01
  // after the first byte starts a new line, a zero byte adds nothing.
  const std::string_view block(reinterpret_cast<const char*>(control.data()),
                              control.size());
  std::string kept;
  for (size_t start = 0; start < block.size();) {
    const size_t end = std::min(block.find('\x01', start + 1), block.size());
    std::string_view line = block.substr(start, end - start);
    if (line.find('\0') != std::string_view::npos) {
      kept.clear();
      for (char c : line) {
        if (c != '\0') kept += c;
      }
      line = kept;
    }
    if (!line.empty()) WriteTextLine(loaded.get(), line);
    start = end;
  }
  // The text proper. Writers differ on a final zero byte: ours store one,
  // others do not; only a zero there is dropped.
  const int64_t text_length =
      frame.messageLength - header_size - frame.controlLength;
  if (text_length > 0) {
    dataFile->Seek(
        static_cast<int32_t>(body + header_size + frame.controlLength));
    loaded->CopyFrom(dataFile.get(), static_cast<int32_t>(text_length));
    if (dataFile->status != kStreamOk) {
      dataFile->ResetStatus();
      status = kSquishErrorFrame;
      return false;
    }
    const int32_t size = loaded->Size();
    uint8_t last = 0xFF;
    loaded->Seek(size - 1);
    loaded->Read(&last, 1);
    if (last == 0) {
      loaded->Seek(size - 1);
      loaded->Truncate();
    }
  }
  if (loaded->status != kStreamOk) {
    status = kSquishErrorFrame;
    return false;
  }
  loaded->Seek(0);

  text = std::move(loaded);
  indexPosition = position;
  indexRecord = record;
  frameHeader = frame;
  currentFrameOffset = offset;
  messageHeader = header;
  ShowStoredHeader();
  isNewMessage = false;
  return true;
}

bool SquishArea::ReleaseMessage() {
  if (!text) return false;
  text.reset();
  return true;
}

// ---------------------------------------------------------- header fields

void SquishArea::ShowStoredHeader() {
  // The header's own addresses stay out of the record: the address
  // readers show those of the kludge lines alone.
  headerRecord = MessageHeader();
  headerRecord.fromName = messageHeader.fromName;
  headerRecord.toName = messageHeader.toName;
  headerRecord.subject = messageHeader.subject;
  UnpackDateTime(SwapHalves(messageHeader.dateWritten),
                 &headerRecord.dateWritten);
  UnpackDateTime(SwapHalves(messageHeader.dateArrived),
                 &headerRecord.dateArrived);
  headerRecord.attributes =
      AttributesFromStored(StoredFormat::kSquish, messageHeader.attributes);
}

void SquishArea::TakeHeaderRecord() {
  messageHeader.fromName = headerRecord.fromName;
  messageHeader.toName = headerRecord.toName;
  messageHeader.subject = headerRecord.subject;
  auto take = [](uint32_t* field, const DateTimeRecord& dt) {
    DateTimeRecord stored;
    UnpackDateTime(SwapHalves(*field), &stored);
    if (!(stored == dt)) *field = SwapHalves(PackDateTime(dt));
  };
  take(&messageHeader.dateWritten, headerRecord.dateWritten);
  take(&messageHeader.dateArrived, headerRecord.dateArrived);
  messageHeader.attributes = AttributesToStored(
      StoredFormat::kSquish, headerRecord.attributes, messageHeader.attributes);
  // The text form of the date keeps its seconds, which the packed form
  // rounds to even ones.
  messageHeader.ftsDate = FormatMsgDate(headerRecord.dateWritten);
}

// ---------------------------------------------------------------- storing

bool SquishArea::AddMessage() {
  if (text) ReleaseMessage();
  if (!CanWrite()) return false;
  std::unique_ptr<ByteStream> fresh = NewMemoryStream(kMemoryStreamHint);
  messageHeader = SquishMessageHeader();
  // Position and unique number are provisional: StoreMessage takes them
  // from the base header it reads under the lock.
  indexPosition = StoredCount();
  current = static_cast<int32_t>(indexPosition + 1);
  messageHeader.uniqueId = baseHeader.nextUid;
  messageHeader.attributes = kSquishAttrUid;
  currentFrameOffset = 0;
  frameHeader = SquishFrameHeader();
  indexRecord = SquishIndexRecord();
  indexRecord.uniqueId = messageHeader.uniqueId;
  text = std::move(fresh);
  ShowStoredHeader();
  isNewMessage = true;
  return true;
}

bool SquishArea::SplitText(std::string* control, int32_t* text_start) {
  control->clear();
  text->Seek(0);
  std::string line;
  int32_t start = 0;
  while (!AtEndOfText(text.get())) {
    ReadTextLine(text.get(), &line, kSquishMaxControlLine + 1);
    // A line that would not read back the same from the block stays in the
    // text proper, with everything after it.
    if (line.empty() || line[0] != '\x01' ||
        line.size() > kSquishMaxControlLine ||
        line.find('\x01', 1) != std::string::npos ||
        control->size() + line.size() + 1 > kSquishMaxControlLength) {
      break;
    }
    control->append(line);
    start = text->Position();
  }
  // An LF after the last control line's end stays with the text proper:
  // read back behind the CR that ends the block it is again part of that
  // end, and a first line that begins with LFs keeps all of them.
  if (start > 0) {
    char before = 0;
    text->Seek(start - 1);
    text->Read(&before, 1);
    if (before == '\n') --start;
  }
  *text_start = start;
  return text->status == kStreamOk;
}

bool SquishArea::StoreMessage() {
  if (!CanWrite()) return false;
  if (!text || text->status != kStreamOk) {
    status = kSquishErrorNoMessage;
    return false;
  }
  std::string control;
  int32_t text_start = 0;
  if (!SplitText(&control, &text_start)) {
    status = kSquishErrorNoMessage;
    return false;
  }
  const int64_t text_length = text->Size() - text_start;
  const uint32_t control_length = static_cast<uint32_t>(control.size() + 1);
  const uint64_t header_size = SquishMessageHeaderSize(layout_);
  const uint64_t needed = header_size + control_length + text_length + 1;

  BaseLock lock(dataFile.get());
  if (!BeginUpdate(&lock)) return false;
  if (isNewMessage) {
    indexPosition = StoredCount();
    current = static_cast<int32_t>(indexPosition + 1);
    uint32_t uid = 0;
    if (!NextFreeUniqueId(&uid)) return false;
    messageHeader.uniqueId = uid;
    indexRecord.uniqueId = uid;
    baseHeader.nextUid = uid + 1;
  } else if (!LocateLoadedMessage()) {
    return false;
  }

  SquishChainEdit edit(dataFile.get(), baseHeader);
  uint32_t prev = baseHeader.lastFrame;
  uint32_t next = 0;
  uint32_t offset = 0;
  if (!isNewMessage) {
    SquishFrameHeader* old = edit.Frame(currentFrameOffset);
    if (old == nullptr || old->frameType != kSquishMessageFrame) {
      status = kSquishErrorFrame;
      return false;
    }
    if (old->frameLength >= needed) {
      offset = currentFrameOffset;  // stays in its frame
    } else {
      // Leaves its frame, which joins the free chain; the new frame takes
      // its place in the message chain.
      prev = old->prevFrame;
      next = old->nextFrame;
      if (!edit.Unlink(currentFrameOffset, SquishChain::kMessages)) {
        status = kSquishErrorFrame;
        return false;
      }
      old->frameType = kSquishFreeFrame;
      old->nextFrame = 0;
      if (!edit.Append(currentFrameOffset, SquishChain::kFree)) {
        status = kSquishErrorFrame;
        return false;
      }
    }
  }
  if (offset == 0) {
    if (!edit.FindFreeFrame(
            static_cast<uint32_t>(std::min<uint64_t>(needed, 0xFFFFFFFF)),
            &offset) ||
        (offset != 0 && !edit.Unlink(offset, SquishChain::kFree))) {
      status = kSquishErrorFrame;
      return false;
    }
    if (offset == 0) {
      // Appended after the last frame. In a sound base endOfData is the
      // size of the data file; when they differ the larger one is taken, so
      // that a new frame never overlaps the room of an existing one.
      const int64_t end = std::max<int64_t>(
          std::max<int64_t>(edit.data_size(), baseHeader.endOfData),
          SquishBaseHeader::kEncodedSize);
      if (end + SquishFrameHeader::kEncodedSize + needed >
          static_cast<uint64_t>(kMaxFileOffset)) {
        status = kSquishErrorFrame;
        return false;
      }
      offset = static_cast<uint32_t>(end);
      SquishFrameHeader fresh;
      fresh.frameLength = static_cast<uint32_t>(needed);
      edit.AddFrame(offset, fresh);
      edit.base().endOfData =
          static_cast<uint32_t>(end + SquishFrameHeader::kEncodedSize + needed);
    }
    SquishFrameHeader* chosen = edit.Frame(offset);
    chosen->prevFrame = prev;
    chosen->nextFrame = next;
    chosen->frameType = kSquishMessageFrame;
    if (!edit.Link(offset, SquishChain::kMessages)) {
      status = kSquishErrorFrame;
      return false;
    }
  }
  SquishFrameHeader* frame = edit.Frame(offset);
  frame->signature = kSquishFrameSignature;
  frame->frameType = kSquishMessageFrame;
  frame->reserved = 0;
  frame->messageLength = static_cast<uint32_t>(needed);
  frame->controlLength = control_length;

  // Header values taken from the text. Addresses the kludge lines do not
  // give keep what the header held.
  FtnAddress orig, dest;
  ScanAddressKludges(text.get(), &orig, &dest);
  if (!IsAddressEmpty(orig)) messageHeader.origAddress = ToStored(orig);
  if (!IsAddressEmpty(dest)) messageHeader.destAddress = ToStored(dest);
  messageHeader.utcOffset = 0;
  TakeHeaderRecord();

  // The frame data: message header, control block, text proper, one zero.
  std::vector<uint8_t> head(header_size + control_length, 0);
  messageHeader.EncodeTo(head.data(), layout_);
  std::memcpy(head.data() + header_size, control.data(), control.size());
  dataFile->Seek(
      static_cast<int32_t>(offset + SquishFrameHeader::kEncodedSize));
  WriteAll(dataFile.get(), head.data(), head.size());
  text->Seek(text_start);
  dataFile->CopyFrom(text.get(), static_cast<int32_t>(text_length));
  const uint8_t zero = 0;
  dataFile->Write(&zero, 1);
  dataFile->Flush();
  if (dataFile->status != kStreamOk || text->status != kStreamOk) {
    dataFile->ResetStatus();
    UndoStore(edit, false);
    status = kSquishErrorFrame;
    return false;
  }

  // The index record goes first: until the frame headers and the base
  // header follow, a new record lies beyond the message count and is not
  // read, so a store cut short by a crash leaves the base as it was.
  SquishIndexRecord record = indexRecord;
  record.frameOffset = offset;
  record.uniqueId = messageHeader.uniqueId;
  record.toHash = ToNameHash(messageHeader.toName);
  if (!WriteIndexRecord(indexPosition, record)) {
    UndoStore(edit, false);
    status = kSquishErrorIndex;
    return false;
  }
  if (!edit.Commit()) {
    dataFile->ResetStatus();
    UndoStore(edit, true);
    status = kSquishErrorFrame;
    return false;
  }
  const SquishBaseHeader before = baseHeader;
  baseHeader = edit.base();
  if (isNewMessage) {
    baseHeader.messageCount = indexPosition + 1;
    baseHeader.highMessage = indexPosition + 1;
  }
  if (!WriteBaseHeader()) {
    baseHeader = before;
    UndoStore(edit, true);
    // The refused write may still have reached the file in part.
    if (storedHeader.size() == SquishBaseHeader::kEncodedSize) {
      dataFile->Seek(0);
      dataFile->Write(storedHeader.data(),
                      static_cast<uint16_t>(storedHeader.size()));
      dataFile->Flush();
      dataFile->ResetStatus();
    }
    status = kSquishErrorOpenData;
    return false;
  }
  if (isNewMessage) {
    indexRecords = std::max(indexRecords, indexPosition + 1);
    nextUidLeft = baseHeader.nextUid;
    indexRecordsLeft = indexRecords;
  }
  indexRecord = record;
  frameHeader = *frame;
  currentFrameOffset = offset;
  // Stored now: a second StoreMessage rewrites this message in place.
  isNewMessage = false;
  return true;
}

void SquishArea::UndoStore(SquishChainEdit& edit, bool headers_written) {
  // Best effort: the frame headers as they were, the index record as it
  // was (a new one cut off), and a frame appended at the end cut off.
  if (headers_written) {
    edit.Revert();
    dataFile->ResetStatus();
  }
  if (isNewMessage) {
    if (indexRecords <= indexPosition) {
      indexFile->Seek(static_cast<int32_t>(indexPosition *
                                           SquishIndexRecord::kEncodedSize));
      indexFile->Truncate();
      indexFile->Flush();
    }
  } else {
    WriteIndexRecord(indexPosition, indexRecord);
  }
  indexFile->ResetStatus();
  if (edit.data_size() >=
          static_cast<int64_t>(SquishBaseHeader::kEncodedSize) &&
      dataFile->Size() > edit.data_size()) {
    dataFile->Seek(static_cast<int32_t>(edit.data_size()));
    dataFile->Truncate();
    dataFile->Flush();
  }
  dataFile->ResetStatus();
}

// --------------------------------------------------------------- deleting

bool SquishArea::DeleteMessage() {
  if (!CanWrite()) return false;
  if (!HasMessage(current)) {
    status = kSquishErrorNoMessage;
    return false;
  }
  // The loaded message is found again by its unique number; otherwise the
  // position is taken as it stands.
  const bool loaded = text && !isNewMessage &&
                      indexPosition == static_cast<uint32_t>(current - 1);
  BaseLock lock(dataFile.get());
  if (!BeginUpdate(&lock)) return false;
  if (loaded && !LocateLoadedMessage()) return false;
  const uint32_t count = StoredCount();
  if (!HasMessage(current)) {
    status = kSquishErrorNoMessage;
    return false;
  }
  const uint32_t position = static_cast<uint32_t>(current - 1);
  SquishIndexRecord record;
  if (!ReadIndexRecord(position, &record)) {
    status = kSquishErrorIndex;
    return false;
  }
  // The later records, moved one place down.
  std::vector<uint8_t> later(static_cast<size_t>(count - position - 1) *
                             SquishIndexRecord::kEncodedSize);
  if (!later.empty() && !ReadAt(indexFile.get(),
                                static_cast<int64_t>(position + 1) *
                                    SquishIndexRecord::kEncodedSize,
                                later.data(), later.size())) {
    status = kSquishErrorIndex;
    return false;
  }

  SquishChainEdit edit(dataFile.get(), baseHeader);
  SquishFrameHeader* frame = edit.Frame(record.frameOffset);
  if (frame == nullptr || frame->frameType != kSquishMessageFrame ||
      !edit.Unlink(record.frameOffset, SquishChain::kMessages)) {
    status = kSquishErrorFrame;
    return false;
  }
  frame->frameType = kSquishFreeFrame;
  frame->nextFrame = 0;
  if (!edit.Append(record.frameOffset, SquishChain::kFree) || !edit.Commit()) {
    dataFile->ResetStatus();
    status = kSquishErrorFrame;
    return false;
  }

  indexFile->Seek(
      static_cast<int32_t>(position * SquishIndexRecord::kEncodedSize));
  WriteAll(indexFile.get(), later.data(), later.size());
  indexFile->Seek(
      static_cast<int32_t>((count - 1) * SquishIndexRecord::kEncodedSize));
  indexFile->Truncate();
  indexFile->Flush();
  const bool index_ok = indexFile->status == kStreamOk;
  indexFile->ResetStatus();

  baseHeader = edit.base();
  baseHeader.messageCount = count - 1;
  baseHeader.highMessage = count - 1;
  indexRecords = count - 1;
  current -= 1;
  // The deleted message's text no longer belongs to a stored message.
  text.reset();
  const bool header_ok = WriteBaseHeader();
  if (!index_ok) {
    status = kSquishErrorIndex;
    return false;
  }
  if (!header_ok) {
    status = kSquishErrorOpenData;
    return false;
  }
  return true;
}

// -------------------------------------------------------------- last read

int32_t SquishArea::LoadLastRead(int32_t user) {
  if (user < 0 || areaPath.empty()) return 0;
  std::unique_ptr<ByteStream> file =
      NewFileStream(FileName("sql"), ModeOpenRead);
  if (file->status != kStreamOk) return 0;
  uint8_t buf[4];
  if (!ReadAt(file.get(), static_cast<int64_t>(user) * 4, buf, sizeof buf)) {
    return 0;
  }
  return static_cast<int32_t>(DecodeFixed32(buf));
}

bool SquishArea::StoreLastRead(int32_t user, int32_t value) {
  if (user < 0 || areaPath.empty() ||
      static_cast<int64_t>(user) * 4 + 4 > kMaxFileOffset) {
    return false;
  }
  std::unique_ptr<ByteStream> file =
      NewFileStream(FileName("sql"), ModeOpenWrite);
  if (file->status != kStreamOk) {
    file = NewFileStream(FileName("sql"), ModeCreate);
    if (file->status != kStreamOk) return false;
  }
  const int32_t at = user * 4;
  const int32_t size = file->Size();
  if (size < at) {
    // Users between the old end and this one read 0.
    std::vector<uint8_t> zeros(static_cast<size_t>(at - size), 0);
    file->Seek(size);
    WriteAll(file.get(), zeros.data(), zeros.size());
  }
  uint8_t buf[4];
  EncodeFixed32(buf, static_cast<uint32_t>(value));
  file->Seek(at);
  file->Write(buf, sizeof buf);
  file->Flush();
  return file->status == kStreamOk;
}

}  // namespace kavel
