#include <string>

#include "decoding/area_decoder.h"
#include "msgbase/date_time.h"
#include "msgbase/ftn_address.h"
#include "msgbase/message_area.h"
#include "platform/platform.h"
#include "util/text.h"

namespace kavel {
namespace {

std::string Two(int value) { return PadWithZeros(IntToText(value), 2); }

// "YYYY/MM/DD" and "HH:MM:SS.hh" of a date-time record.
void SplitDateTimeText(const DateTimeRecord& dt, std::string* date,
                       std::string* time) {
  *date = PadWithZeros(IntToText(dt.year), 4) + "/" + Two(dt.month) + "/" +
          Two(dt.day);
  *time = Two(dt.hour) + ":" + Two(dt.minute) + ":" + Two(dt.second) + "." +
          Two(dt.hundredth);
}

}  // namespace

void AreaDecoder::FillMessageInfo(MessageInfo* info) {
  info->subject = ShortString(area_->Subject());
  info->fromName = ShortString(area_->FromName());
  info->toName = ShortString(area_->ToName());
  FtnAddress orig, dest;
  area_->ReadAddresses(&orig, &dest);
  info->fromAddr = AddressToText(orig);
  info->toAddr = AddressToText4D(dest);
  // One record for both dates: a format without an arrival date leaves the
  // date written in it.
  DateTimeRecord dt;
  area_->DateWritten(&dt);
  SplitDateTimeText(dt, &info->dateWritten, &info->timeWritten);
  area_->DateArrived(&dt);
  SplitDateTimeText(dt, &info->dateArrived, &info->timeArrived);
}

void AreaDecoder::WriteInfoLine(const MessageInfo& info, std::string_view dir) {
  if (options_.filesBbsName.empty()) return;
  std::string list(dir);
  if (!list.empty() && list.back() != '\\' && list.back() != '/') list += '\\';
  list += options_.filesBbsName;
  const std::string line =
      BuildInfoLine(options_.filesBbsSavingString, info) + "\r\n";
  const std::string failure = "I can't rewrite " + options_.filesBbsName +
                              " file for add saving message info!.. Check "
                              "the path to messages txt-base!..";

  if (!options_.rewriteFilesBbs) {
    // One write to a file opened for appending: lines that other runs add
    // at the same moment all stay, none cut into another.
    int error = 0;
    std::unique_ptr<PlatformFile> file =
        OpenPlatformFile(list, FileMode::kAppend, &error);
    uint64_t before = 0, after = 0;
    const bool sized = file && file->Size(&before);
    if (!file || !file->Write(line.data(), line.size())) {
      // Cut back a half line (a full disk), unless the list grew by a
      // whole line or more meanwhile: that is another run's.
      if (sized && file->Size(&after) && after > before &&
          after - before < line.size()) {
        file->Truncate(before);
      }
      log_->Error(failure);
    }
    return;
  }
  const bool existed = PathExists(list);
  int error = 0;
  std::unique_ptr<PlatformFile> file =
      OpenPlatformFile(list, FileMode::kCreate, &error);
  if (!file) {
    log_->Error(failure);
    return;
  }
  if (!file->Write(line.data(), line.size())) {
    // Leave no half line.
    file->Truncate(0);
    file.reset();
    if (!existed) DeleteFile(list);
    log_->Error(failure);
  }
}

}  // namespace kavel
