#include "posting/posting_settings.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "context/posting_job.h"
#include "context/run_context.h"
#include "platform/platform.h"
#include "util/text.h"

namespace kavel {
namespace {

// The generic attribute names; the code of name i is 1 << i.
constexpr std::array<std::string_view, 16> kUpperAttributeNames = {
    "PVT", "CRA", "RCV", "SNT", "ATT", "TRS", "ORP", "K/S",
    "LOC", "HLD", "FRQ", "RRQ", "RRC", "ARQ", "URQ", "SCA"};

std::vector<std::string_view> BlankSeparatedWords(std::string_view text) {
  std::vector<std::string_view> words;
  size_t pos = 0;
  while ((pos = text.find_first_not_of(' ', pos)) != std::string_view::npos) {
    size_t end = text.find(' ', pos);
    if (end == std::string_view::npos) end = text.size();
    words.push_back(text.substr(pos, end - pos));
    pos = end;
  }
  return words;
}

bool IsDecimalNumber(std::string_view word) {
  return !word.empty() && word.size() <= 9 &&
         word.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

bool AttributeFromName(uint32_t* set, std::string_view word) {
  std::string upper = UpperText(word);
  for (size_t i = 0; i < kUpperAttributeNames.size(); ++i) {
    if (upper == kUpperAttributeNames[i]) {
      *set |= uint32_t{1} << i;
      return true;
    }
  }
  return false;
}

uint32_t ParseAttributeList(std::string_view text) {
  uint32_t set = 0;
  for (std::string_view word : BlankSeparatedWords(text)) {
    AttributeFromName(&set, word);
  }
  return set;
}

void EvaluateWhen(std::string_view text, bool* runToday) {
  std::vector<std::string_view> words = BlankSeparatedWords(text);
  std::string selector = words.empty() ? std::string() : UpperText(words[0]);
  if (UpperText(text) == "DAILY" || selector == "DAILY") {
    *runToday = true;
    return;
  }
  bool yearly = selector == "YEARLY";
  bool monthly = selector == "MOUNTHLY" || selector == "MONTHLY";
  bool weekly = selector == "WEEKLY";
  if (!yearly && !monthly && !weekly) return;
  ClockReading now = ReadClock();
  int today = yearly    ? now.year
              : monthly ? now.day
                        : (now.day_of_week == 0 ? 7 : now.day_of_week);
  bool match = false;
  for (size_t i = 1; i < words.size(); ++i) {
    if (IsDecimalNumber(words[i]) && TextToInt(words[i]) == today) {
      match = true;
    }
  }
  *runToday = match;
}

bool ReadAddressSetting(RunContext& ctx, FtnAddress* address,
                        std::string_view line, std::string_view keyword) {
  if (FirstWord(line) != keyword) return false;
  std::string value = RestOfLine(line);
  if (!ParseAddress(value, address)) {
    LogInfo(ctx, "Error converting " + value);
  }
  return true;
}

void ReadPostingKeyword(RunContext& ctx, std::string_view line) {
  PostingJob& job = *ctx.postingJob;
  EncodingSettings& enc = ctx.encoding;
  if (FirstWord(line) == "WHEN") EvaluateWhen(RestOfLine(line), &job.runToday);
  if (ReadAddressSetting(ctx, &job.ownAddress, line, "FROMADDR")) {
    job.fromAddress = job.ownAddress;
  }
  ReadAddressSetting(ctx, &job.toAddress, line, "TOADDR");
  ReadTextSetting("FILE", &job.fileName, line);
  ReadTextSetting("FROM", &job.fromName, line);
  ReadTextSetting("TO", &job.toName, line);
  ReadTextSetting("SUBJ", &job.subject, line);
  ReadTextSetting("ORIGIN", &job.origin, line);
  ReadTextSetting("TEARLINE", &job.tearline, line);
  ReadTextSetting("HPTPATH", &ctx.areaFiles.hptPath, line);
  ReadTextSetting("SQUISH", &ctx.areaFiles.squishPath, line);
  ReadTextSetting("TERMINATE", &ctx.areaFiles.terminatePath, line);
  ReadTextSetting("MSGIDSEQUENCE", &ctx.msgIdSequence, line);
  ReadFlagSetting("USEENCODEDMESSAGE", &enc.useEncodedMessage, line);
  ReadTextSetting("ENCODEDMESSAGE", &enc.encodedMessage, line);
  ReadFlagSetting("USEENCODEDSTRING", &enc.useEncodedStrings, line);
  ReadTextSetting("BEGINENCODEDSTRING", &enc.beginString, line);
  ReadTextSetting("ENDENCODEDSTRING", &enc.endString, line);
  ReadFlagSetting("USEASKLUDGE", &enc.useAsKludge, line);
  ReadTextSetting("CHRS", &job.chrs, line);
  ReadTextSetting("LOCALCHARSET", &job.localCharset, line);
  if (FirstWord(line) == "ENCODEBINARY") {
    std::string value;
    ReadTextSetting("ENCODEBINARY", &value, line);
    enc.encodeBinaryUue = UpperText(value) == "UUE";
    if (!enc.encodeBinaryUue) {
      LogError(ctx, "Unknown value '" + value +
                        "' of ENCODEBINARY, binary files are not posted");
    }
  }
  if (FirstWord(line) == "FLAGS") {
    job.attributes = ParseAttributeList(RestOfLine(line));
  }
  // Second names of the encoding settings.
  ReadTextSetting("BEGINSTRING", &enc.beginString, line);
  ReadTextSetting("ENDSTRING", &enc.endString, line);
  ReadFlagSetting("USEENCODEDSTRINGS", &enc.useEncodedStrings, line);
}

namespace {

constexpr uint32_t kAttributeLoc = 256;
constexpr std::string_view kNoAddress = "0:0/0.0";

void SetAddressDefault(RunContext& ctx, FtnAddress* address) {
  *address = FtnAddress();
  if (!ParseAddress(kNoAddress, address)) {
    LogInfo(ctx, "Error converting " + std::string(kNoAddress));
  }
}

}  // namespace

void CreatePostingJob(RunContext& ctx) {
  ctx.postingJob = std::make_unique<PostingJob>();
  SetPostingDefaults(ctx);
}

void SetPostingDefaults(RunContext& ctx) {
  PostingJob& job = *ctx.postingJob;
  job.runToday = true;
  EvaluateWhen("DAILY", &job.runToday);
  job.fromName = "Sysop";
  job.toName = "All";
  job.subject.clear();
  job.attributes = kAttributeLoc;
  job.tearline.clear();
  job.origin = "Autoposted message";
  job.areaDescription.clear();
  job.fileName.clear();
  job.areaName.clear();
  ctx.encoding = EncodingSettings();
  SetAddressDefault(ctx, &job.ownAddress);
  SetAddressDefault(ctx, &job.toAddress);
  job.fromAddress = job.ownAddress;
}

}  // namespace kavel
