#include "msgbase/formats/msg_area.h"

#include <algorithm>
#include <cstring>

#include "msgbase/base_files.h"
#include "msgbase/formats/formats.h"
#include "platform/file_queries.h"
#include "platform/platform.h"
#include "util/coding.h"
#include "util/text.h"

namespace kavel {

namespace {

// Numbers tried by one store of a new message before it gives up (each
// failure means another program took the number a moment earlier).
constexpr int kMaxCreateAttempts = 256;
// Taken numbers tried in a row before the directory is read again.
constexpr int kCreateAttemptsPerScan = 16;

}  // namespace

// ------------------------------------------------------------- MsgHeader

void MsgHeader::EncodeTo(uint8_t* dst) const {
  EncodeFixedString(dst + 0, kFromWidth, fromName);
  EncodeFixedString(dst + 36, kToWidth, toName);
  EncodeFixedString(dst + 72, kSubjectWidth, subject);
  EncodeFixedString(dst + 144, kDateWidth, dateTime);
  EncodeFixed16(dst + 164, timesRead);
  EncodeFixed16(dst + 166, destNode);
  EncodeFixed16(dst + 168, origNode);
  EncodeFixed16(dst + 170, cost);
  EncodeFixed16(dst + 172, origNet);
  EncodeFixed16(dst + 174, destNet);
  std::memcpy(dst + 176, reserved.data(), reserved.size());
  EncodeFixed16(dst + 184, replyTo);
  EncodeFixed16(dst + 186, attribute);
  EncodeFixed16(dst + 188, nextReply);
}

bool MsgHeader::DecodeFrom(const uint8_t* src, size_t size) {
  if (size < kEncodedSize) return false;
  fromName = DecodeFixedString(src + 0, kFromWidth);
  toName = DecodeFixedString(src + 36, kToWidth);
  subject = DecodeFixedString(src + 72, kSubjectWidth);
  dateTime = DecodeFixedString(src + 144, kDateWidth);
  timesRead = DecodeFixed16(src + 164);
  destNode = DecodeFixed16(src + 166);
  origNode = DecodeFixed16(src + 168);
  cost = DecodeFixed16(src + 170);
  origNet = DecodeFixed16(src + 172);
  destNet = DecodeFixed16(src + 174);
  std::memcpy(reserved.data(), src + 176, reserved.size());
  replyTo = DecodeFixed16(src + 184);
  attribute = DecodeFixed16(src + 186);
  nextReply = DecodeFixed16(src + 188);
  return true;
}

// --------------------------------------------------------------- MsgArea

namespace {

// Header net/node values are 0..32767; larger stored values are held at
// 32767 instead of wrapping negative.
int16_t FromStored(uint16_t value) {
  return static_cast<int16_t>(std::min<uint16_t>(value, 32767));
}
uint16_t ToStored(int16_t value) {
  return static_cast<uint16_t>(std::max<int16_t>(value, 0));
}

// The message number a directory entry names, or 0: the part before the
// first "." must be decimal digits (leading blanks allowed) of a number in
// 1..32767.
int32_t NumberOfName(std::string_view name) {
  std::string_view stem = name.substr(0, name.find('.'));
  size_t i = 0;
  while (i < stem.size() && stem[i] == ' ') ++i;
  if (i == stem.size()) return 0;
  int32_t n = 0;
  for (; i < stem.size(); ++i) {
    if (stem[i] < '0' || stem[i] > '9') return 0;
    n = n * 10 + (stem[i] - '0');
    if (n > kMsgMaxNumber) return 0;
  }
  return n;
}

bool EndsWithSeparator(std::string_view path) {
  return !path.empty() && (path.back() == '\\' || path.back() == '/');
}

constexpr int32_t kTextSizeHint = 65536;

}  // namespace

std::unique_ptr<MessageArea> NewMsgArea(std::string_view path) {
  return std::make_unique<MsgArea>(path);
}

MsgArea::MsgArea(std::string_view)
    : MessageArea(HeaderLayout{.format = StoredFormat::kMsg,
                               .nameWidth = MsgHeader::kFromWidth - 1,
                               .subjectWidth = MsgHeader::kSubjectWidth - 1,
                               .keepsDateArrived = false,
                               .kludgesOverHeader = true}) {}

MsgArea::~MsgArea() {
  if (messageFile || messageIsNew || messageHandedOver) ReleaseMessage();
  CloseArea();
}

bool MsgArea::OpenArea(std::string_view path) {
  FinishStores();
  isOpen = false;
  areaPath = std::string(path);
  if (!EndsWithSeparator(areaPath)) areaPath += '\\';
  // The area is its directory, whatever its name holds: "n5020.files" is
  // found, and "ru" is never taken for its neighbour "ru.linux".
  if (!DirectoryExists(path)) {
    status = kMsgErrorNoArea;
    return false;
  }
  ScanDirectory();
  isOpen = true;
  return true;
}

bool MsgArea::CreateArea(std::string_view path) {
  FinishStores();
  isOpen = false;
  areaPath = std::string(path);
  if (!EndsWithSeparator(areaPath)) areaPath += '\\';
  if (!MakeDirectory(areaPath)) return false;
  ScanDirectory();
  isOpen = true;
  return true;
}

void MsgArea::CloseArea() {
  FinishStores();
  storer.reset();
  nextUnnamed.reset();
  areaPath.clear();
  isOpen = false;
}

bool MsgArea::BaseExists(std::string_view path) {
  return DirectoryExists(path);
}

void MsgArea::ScanDirectory() {
  numberMap.fill(0);
  fileCount = 0;
  maxNumber = 0;
  std::unique_ptr<DirectoryScanner> scanner = NewDirectoryScanner();
  constexpr uint8_t kPlainFiles = 33;  // read-only and archive
  for (bool found = scanner->StartSearch(areaPath + "*.msg", kPlainFiles);
       found; found = scanner->NextMatch()) {
    int32_t n = NumberOfName(scanner->name);
    if (n <= 0 || HasMessage(n)) continue;
    MarkNumber(n, true);
    ++fileCount;
    maxNumber = std::max(maxNumber, n);
  }
  scanner->EndSearch();
}

void MsgArea::MarkNumber(int32_t n, bool on) {
  if (n < 0 || n >= kNumberMapBits) return;
  uint8_t bit = static_cast<uint8_t>(1u << (n % 8));
  if (on) {
    numberMap[n / 8] |= bit;
  } else {
    numberMap[n / 8] &= static_cast<uint8_t>(~bit);
  }
}

bool MsgArea::HasMessage(int32_t n) {
  if (n < 0 || n >= kNumberMapBits) return false;
  return (numberMap[n / 8] >> (n % 8)) & 1;
}

std::string MsgArea::MessageFileName(int32_t n) const {
  return areaPath + std::to_string(n) + ".msg";
}

int32_t MsgArea::CurrentNumber() { return current; }

void MsgArea::GoToNumber(int32_t number) { current = number; }

bool MsgArea::LoadMessage() {
  if (!HasMessage(current)) {
    status = kMsgErrorNoMessage;
    return false;
  }
  if (messageFile || messageIsNew) ReleaseMessage();
  std::string name = MessageFileName(current);
  std::unique_ptr<ByteStream> file = NewFileStream(name, ModeOpenReadWrite);
  bool writable = file->status == kStreamOk;
  if (!writable) {
    // A message the user may only read is still read.
    file = NewFileStream(name, ModeOpenRead);
    if (file->status != kStreamOk) {
      status = kMsgErrorOpenFailed;
      return false;
    }
  }
  std::unique_ptr<ByteStream> body = NewMemoryStream(kTextSizeHint);

  // Header: a file too short for it reads as if padded with zeros.
  int32_t size = file->Size();
  uint8_t raw[MsgHeader::kEncodedSize] = {};
  file->Seek(0);
  int32_t header_bytes =
      std::min<int32_t>(size, static_cast<int32_t>(sizeof raw));
  if (header_bytes > 0) file->Read(raw, static_cast<uint16_t>(header_bytes));
  MsgHeader header;
  header.DecodeFrom(raw, sizeof raw);

  // Text: everything after the header but a final zero byte.
  int32_t text_bytes = size - static_cast<int32_t>(sizeof raw);
  if (text_bytes > 0) {
    uint8_t last = 0xFF;
    file->Seek(size - 1);
    file->Read(&last, 1);
    if (last == 0) --text_bytes;
  }
  if (text_bytes > 0) {
    file->Seek(static_cast<int32_t>(sizeof raw));
    body->CopyFrom(file.get(), text_bytes);
  }
  if (file->status != kStreamOk || body->status != kStreamOk) {
    status = kMsgErrorOpenFailed;
    return false;
  }
  body->Seek(0);
  messageHeader = header;
  ShowStoredHeader();
  messageFile = std::move(file);
  messageWritable = writable;
  messageIsNew = false;
  text = std::move(body);
  return true;
}

bool MsgArea::ReleaseMessage() {
  if (!messageFile && !messageIsNew && !messageHandedOver) {
    status = kMsgErrorNotLoaded;
    return false;
  }
  DropUnstoredMessage();
  messageHandedOver = false;
  messageFile.reset();
  text.reset();
  return true;
}

int32_t MsgArea::HighestNumber() { return maxNumber; }

int32_t MsgArea::MessageCount() { return fileCount; }

void MsgArea::ShowStoredHeader() {
  const MsgHeader& stored = messageHeader;
  headerRecord = MessageHeader();
  headerRecord.fromName = stored.fromName;
  headerRecord.toName = stored.toName;
  headerRecord.subject = stored.subject;
  headerRecord.origAddress.net = FromStored(stored.origNet);
  headerRecord.origAddress.node = FromStored(stored.origNode);
  headerRecord.destAddress.net = FromStored(stored.destNet);
  headerRecord.destAddress.node = FromStored(stored.destNode);
  ParseMsgDate(stored.dateTime, &headerRecord.dateWritten);
  headerRecord.attributes =
      AttributesFromStored(StoredFormat::kMsg, stored.attribute);
}

void MsgArea::TakeHeaderRecord() {
  MsgHeader& stored = messageHeader;
  const MessageHeader& shown = headerRecord;
  stored.fromName = shown.fromName;
  stored.toName = shown.toName;
  stored.subject = shown.subject;
  auto take = [](uint16_t* field, int16_t value) {
    if (FromStored(*field) != value) *field = ToStored(value);
  };
  take(&stored.origNet, shown.origAddress.net);
  take(&stored.origNode, shown.origAddress.node);
  take(&stored.destNet, shown.destAddress.net);
  take(&stored.destNode, shown.destAddress.node);
  DateTimeRecord written;
  ParseMsgDate(stored.dateTime, &written);
  if (!(written == shown.dateWritten)) {
    stored.dateTime = FormatMsgDate(shown.dateWritten);
  }
  stored.attribute = static_cast<uint16_t>(AttributesToStored(
      StoredFormat::kMsg, shown.attributes, stored.attribute));
}

bool MsgArea::StoreMessage() {
  if (!(messageFile || messageIsNew) || !text) {
    status = kMsgErrorNotLoaded;
    return false;
  }
  if (!messageWritable || text->status != kStreamOk) {
    status = kMsgErrorWriteFailed;
    DropUnstoredMessage();
    return false;
  }
  if (messageIsNew) {
    if (storeBehind && unnamedStores) {
      if (numberPending && !TakeNextNumber()) {
        DropUnstoredMessage();
        return false;
      }
      HandOver();
      return true;
    }
    // Stored at once: the messages under way come first, and its number
    // is final only after them.
    if (!FinishStores() || (numberPending && !TakeNextNumber())) {
      DropUnstoredMessage();
      return false;
    }
    return StoreNewMessage();
  }
  if (!WriteMessageFile(messageFile.get(), MessageFileBytes())) {
    status = kMsgErrorWriteFailed;
    return false;
  }
  return true;
}

std::string MsgArea::MessageFileBytes() {
  TakeHeaderRecord();
  const size_t size = static_cast<size_t>(std::max(text->Size(), 0));
  // Header, text, and the zero byte that the zero fill leaves at the end.
  std::string bytes(MsgHeader::kEncodedSize + size + 1, '\0');
  messageHeader.EncodeTo(reinterpret_cast<uint8_t*>(bytes.data()));
  // Leaves the text's position at its end, where a copy of it would.
  ReadAt(text.get(), 0, bytes.data() + MsgHeader::kEncodedSize, size);
  return bytes;
}

bool MsgArea::WriteMessageFile(ByteStream* file, const std::string& bytes) {
  file->ResetStatus();
  file->Seek(0);
  WriteAll(file, bytes.data(), bytes.size());
  file->Truncate();
  file->Flush();
  return file->status == kStreamOk;
}

bool MsgArea::StoreNewMessage() {
  // Where the platform can, a new message is written into a file without
  // a name and linked under its number; the link refuses a name already
  // taken, so a number another program took meanwhile passes the message
  // on to the next, and a run killed while writing leaves nothing.
  const std::string bytes = MessageFileBytes();
  int32_t failure = 0;
  // The written file becomes messageFile: later changes go to it.
  if (std::unique_ptr<PlatformFile> unnamed = OpenUnnamedFile(areaPath)) {
    failure = StoreUnnamed(std::move(unnamed), bytes, &messageFile);
    unnamedStores = unnamedStores || failure == 0;
  } else {
    failure = StoreUnderScratchName(bytes, &messageFile);
  }
  if (failure != 0) {
    status = failure;
    DropUnstoredMessage();
    return false;
  }
  messageIsNew = false;
  return true;
}

int32_t MsgArea::StoreUnderScratchName(const std::string& bytes,
                                       std::unique_ptr<ByteStream>* stored) {
  // Without files that have no name, the message is written under a
  // scratch name beside its number and renamed to the number by a rename
  // that refuses a name already taken: a message file never holds a part
  // of a message, not even when the program is killed while writing (a
  // reader or tosser would take the part for a message), and never
  // replaces one. A number found taken (another program stores into the
  // directory too) passes the message on to the next. The scratch file is
  // made exclusively: two programs that chose the same number never write
  // into one file.
  std::unique_ptr<ByteStream> file;
  std::string scratch_name;
  int attempt = 0;
  auto fail = [&file, &scratch_name](int32_t code) {
    if (file) {
      file.reset();
      EraseFile(scratch_name);
    }
    return code;
  };
  bool retried = false;
  for (;; ++attempt) {
    if (attempt >= kMaxCreateAttempts) return fail(kMsgErrorNoNumber);
    scratch_name = areaPath + std::to_string(current) + ".kv$";
    file = NewFileStream(scratch_name, ModeCreateNew);
    if (file->status == kStreamOk) break;
    file.reset();
    // The other writer's scratch file becomes its message in one step:
    // asked in this order, one of the two names shows the number taken.
    if (FileExists(scratch_name) || FileExists(MessageFileName(current))) {
      if (!PassTakenNumber(current, attempt)) return fail(status);
    } else if (retried) {
      return fail(kMsgErrorWriteFailed);
    } else {
      retried = true;  // the other writer gave up its scratch file
    }
  }
  if (!WriteMessageFile(file.get(), bytes)) return fail(kMsgErrorWriteFailed);
  const int32_t failure = ClaimNumber(
      attempt, [&scratch_name](const std::string& name, int* error) {
        return RenameFileNoReplace(scratch_name, name, error);
      });
  if (failure != 0) return fail(failure);
  *stored = std::move(file);
  return 0;
}

int32_t MsgArea::StoreUnnamed(std::unique_ptr<PlatformFile> file,
                              const std::string& bytes,
                              std::unique_ptr<ByteStream>* stored) {
  if (!file->Write(bytes.data(), bytes.size())) return kMsgErrorWriteFailed;
  const int32_t failure =
      ClaimNumber(0, [&file](const std::string& name, int* error) {
        return file->LinkAs(name, error);
      });
  if (failure != 0) return failure;
  *stored = std::make_unique<FileStream>(std::move(file));
  return 0;
}

void MsgArea::SetStoreBehind(bool on) {
  if (!on) FinishStores();
  storeBehind = on;
}

int MsgArea::StoresUnderWay() { return static_cast<int>(handed.size()); }

void MsgArea::HandOver() {
  auto job = std::make_unique<HandedOver>();
  job->number = current;
  job->bytes = MessageFileBytes();
  job->file = std::move(nextUnnamed);
  messageIsNew = false;
  messageHandedOver = true;
  if (!storer) storer = std::make_unique<TaskThread>();
  HandedOver* mine = job.get();
  handed.push_back(std::move(job));
  storer->Start([this, mine] { WriteHandedOver(mine); });
}

void MsgArea::WriteHandedOver(HandedOver* job) {
  // Nothing of the area but its directory and storerStopped is touched
  // here: the owner goes on composing meanwhile.
  if (storerStopped) {
    job->skipped = true;
    return;
  }
  if (!job->file) job->file = OpenUnnamedFile(areaPath);
  if (job->file && !job->file->Write(job->bytes.data(), job->bytes.size())) {
    job->error = job->file->last_error();
  } else if (job->file) {
    job->linked = job->file->LinkAs(MessageFileName(job->number), &job->error);
  }
  if (job->linked) {
    job->file.reset();
  } else {
    storerStopped = true;
  }
}

bool MsgArea::FinishStores() {
  while (!handed.empty()) {
    if (!FinishOldestStore()) return false;
  }
  return true;
}

bool MsgArea::FinishOldestStore() {
  if (handed.empty()) return true;
  storer->WaitOldest();
  std::unique_ptr<HandedOver> done = std::move(handed.front());
  handed.pop_front();
  int32_t failure = done->linked ? 0 : StoreHandedBack(done.get());
  if (failure != 0) {
    status = failure;
    storesFailed = true;
  }
  if (handed.empty()) {
    // The second thread is idle: the next message handed over is tried.
    storerStopped = false;
    storesFailed = false;
  }
  return failure == 0;
}

int32_t MsgArea::StoreHandedBack(HandedOver* job) {
  if (job->skipped) {
    // Not tried: after one that failed, it is given up; after one stored
    // here in the end, it follows that one under the next number.
    MarkNumber(job->number, false);
    if (storesFailed) return status;
    if (!TakeNextNumber()) return status;
  } else {
    current = job->number;
  }
  int32_t failure = kMsgErrorWriteFailed;
  if (!job->file) {
    std::unique_ptr<ByteStream> stored;
    failure = StoreUnderScratchName(job->bytes, &stored);
  } else if (job->skipped) {
    std::unique_ptr<ByteStream> stored;
    failure = StoreUnnamed(std::move(job->file), job->bytes, &stored);
  } else if (job->error == kErrorExists) {
    // The second thread found the number taken by another program.
    failure = PassTakenNumber(job->number, 0)
                  ? ClaimNumber(1,
                                [job](const std::string& name, int* error) {
                                  return job->file->LinkAs(name, error);
                                })
                  : status;
  }
  if (failure != 0) MarkNumber(current, false);
  return failure;
}

int32_t MsgArea::ClaimNumber(
    int attempt, const std::function<bool(const std::string&, int*)>& claim) {
  for (;; ++attempt) {
    if (attempt >= kMaxCreateAttempts) return kMsgErrorNoNumber;
    int error = kErrorNone;
    if (claim(MessageFileName(current), &error)) return 0;
    if (error != kErrorExists) return kMsgErrorWriteFailed;
    if (!PassTakenNumber(current, attempt)) return status;
  }
}

bool MsgArea::PassTakenNumber(int32_t taken, int attempt) {
  if (!HasMessage(taken)) {
    MarkNumber(taken, true);
    ++fileCount;
  }
  maxNumber = std::max(maxNumber, taken);
  // Now and then the directory is read again, so that a writer far ahead
  // (a tosser) is jumped over rather than followed number by number.
  if ((attempt + 1) % kCreateAttemptsPerScan == 0) {
    ScanDirectory();
    maxNumber = std::max(maxNumber, taken);
  }
  int32_t number = NextNumber();
  if (number == 0) {
    status = kMsgErrorNoNumber;
    return false;
  }
  current = number;
  maxNumber = number;
  MarkNumber(number, true);
  return true;
}

int32_t MsgArea::NextNumber() {
  int32_t number = HighestNumber() + 1;
  // Tossers and editors keep 1.msg of an echomail area as their high-water
  // mark and overwrite it; a message stored there would be lost.
  if (number == 1 && HasAreaFlag(kAreaFlagEchomail)) number = 2;
  return number > kMsgMaxNumber ? 0 : number;
}

void MsgArea::DropUnstoredMessage() {
  // A new message that did not reach the disk whole left no file behind
  // under its number: only its number is given up.
  if (!messageIsNew) return;
  messageIsNew = false;
  messageWritable = false;
  if (numberPending) {
    numberPending = false;
    return;
  }
  MarkNumber(current, false);
  maxNumber = maxBeforeAdd;
}

bool MsgArea::TakeNextNumber() {
  const int32_t number = NextNumber();
  if (number == 0) {
    status = kMsgErrorNoNumber;
    return false;
  }
  numberPending = false;
  maxBeforeAdd = maxNumber;
  current = number;
  maxNumber = number;
  MarkNumber(number, true);
  return true;
}

bool MsgArea::AddMessage() {
  if (!isOpen) return false;
  if (messageFile || messageIsNew || messageHandedOver) ReleaseMessage();
  // The number is the next after the highest known; the file is made when
  // the message is stored (StoreNewMessage), where a number another
  // program took meanwhile passes the message on to the next. While the
  // message before is being stored, the number waits for it.
  if (!handed.empty()) {
    numberPending = true;
  } else if (!TakeNextNumber()) {
    return false;
  }
  // Its file is made now, while the second thread is busy with the one
  // before (a file without a name that is never linked leaves nothing).
  if (storeBehind && unnamedStores && !nextUnnamed) {
    nextUnnamed = OpenUnnamedFile(areaPath);
  }
  messageWritable = true;
  messageIsNew = true;
  text = NewMemoryStream(kTextSizeHint);
  messageHeader = MsgHeader();
  ShowStoredHeader();
  return true;
}

bool MsgArea::DeleteMessage() {
  if (!HasMessage(current)) return false;
  // A message added but not stored has no file: a file under its number is
  // another writer's. Deleting the message gives up its number.
  if (messageIsNew) {
    DropUnstoredMessage();
    return true;
  }
  if (!EraseFile(MessageFileName(current))) return false;
  MarkNumber(current, false);
  return true;
}

namespace {

// Largest user index whose pointer offset fits the stream positions.
constexpr int32_t kMaxLastReadUser = 0x3FFFFFFE;

}  // namespace

int32_t MsgArea::LoadLastRead(int32_t user) {
  if (user < 0 || user > kMaxLastReadUser) return 0;
  std::unique_ptr<ByteStream> file =
      NewFileStream(areaPath + "lastread", ModeOpenRead);
  if (file->status != kStreamOk) return 0;
  if ((user + 1) * 2 > file->Size()) return 0;
  uint8_t raw[2] = {0, 0};
  file->Seek(user * 2);
  file->Read(raw, 2);
  if (file->status != kStreamOk) return 0;
  return DecodeFixed16(raw);
}

bool MsgArea::StoreLastRead(int32_t user, int32_t value) {
  if (user < 0 || user > kMaxLastReadUser) return false;
  std::string name = areaPath + "lastread";
  std::unique_ptr<ByteStream> file = NewFileStream(name, ModeOpenWrite);
  if (file->status != kStreamOk) {
    file = NewFileStream(name, ModeCreate);
    if (file->status != kStreamOk) return false;
  }
  uint8_t raw[2];
  EncodeFixed16(raw, static_cast<uint16_t>(std::clamp(value, 0, 65535)));
  file->Seek(user * 2);
  file->Write(raw, 2);
  file->Flush();
  return file->status == kStreamOk;
}

}  // namespace kavel
