// The message composer and section splitter.
#include "posting/composer.h"

#include <memory>
#include <utility>

#include "driver/log.h"
#include "driver/run_context.h"
#include "msgbase/byte_stream.h"
#include "msgbase/date_time.h"
#include "msgbase/ftn_address.h"
#include "msgbase/message_area.h"
#include "msgbase/message_text.h"
#include "platform/platform.h"
#include "posting/echo_toss_log.h"
#include "posting/posting_job.h"
#include "util/text.h"

namespace kavel {
namespace {

constexpr char kKludgeChar = '\x01';

void Info(RunContext& ctx, std::string_view message) {
  LogInfo(ctx.log, message);
}

std::string Quoted(std::string_view text) {
  std::string quoted(1, '"');
  quoted.append(text);
  quoted.push_back('"');
  return quoted;
}

// The area flag that the kind of area asks for before messages are added.
uint32_t AreaFlagOf(AreaKind kind) {
  switch (kind) {
    case AreaKind::kNetmail:
      return kAreaFlagAddressKludges;
    case AreaKind::kEchomail:
      return kAreaFlagEchomail;
    case AreaKind::kLocal:
      return kAreaFlagLocal;
    case AreaKind::kNone:
      break;
  }
  return 0;
}

// Puts ^A in front of a non-empty framing text that lacks it.
void MakeKludge(std::string* text) {
  if (!text->empty() && (*text)[0] != kKludgeChar) {
    *text = ShortString(std::string(1, kKludgeChar) + *text);
  }
}

// Lines of the layout ahead of the file lines: PID, encoded message, begin
// line.
void WriteLeadLines(RunContext& ctx, MessageArea& area) {
  area.WriteLine(kPidLine);
  if (ctx.encoding.useEncodedMessage) {
    area.WriteLine(ctx.encoding.encodedMessage);
  }
  if (ctx.encoding.useEncodedStrings) {
    area.WriteLine(FillPlaceholders(ctx, ctx.encoding.beginString));
  }
}

// Lines of the layout after the file lines: end line, the empty line,
// tear line, origin line.
void WriteTrailLines(RunContext& ctx, MessageArea& area,
                     std::string_view last_file_line) {
  const PostingJob& job = *ctx.postingJob;
  if (ctx.encoding.useEncodedStrings) area.WriteLine(ctx.encoding.endString);
  if (last_file_line.substr(0, 3) != "...") area.WriteLine("");
  area.WriteLine(ShortString("--- " + job.tearline));
  area.WriteLine(ShortString(" * Origin: " + job.origin + " (" +
                             AddressToText(job.ownAddress) + ")"));
}

// Sets up the header of the new current message for section partNumber.
void WriteHeader(RunContext& ctx, MessageArea& area) {
  const PostingJob& job = *ctx.postingJob;
  area.SetOrigAddress(job.ownAddress, true);
  area.SetDestAddress(job.toAddress);
  area.SetFromName(job.fromName);
  area.SetToName(job.toName);
  ++ctx.partNumber;
  std::string numbering(1, '[');
  numbering.append(IntToText(ctx.partNumber));
  numbering.push_back('/');
  numbering.append(IntToText(ctx.partCount));
  numbering.push_back(']');
  if (ctx.partCount == 1) {
    area.SetSubject(job.subject);
  } else {
    area.SetSubject(ShortString(numbering + " " + job.subject));
    Info(ctx, "   -> " + numbering);
  }
  DateTimeRecord now;
  CurrentDateTime(&now);
  area.SetDateWritten(now);
  area.SetDateArrived(now);
  area.SetAttribute(kAttrLoc, true);
  for (uint32_t bit = 1; bit <= kAttrSca; bit <<= 1) {
    if ((job.attributes & bit) != 0) area.SetAttribute(bit, true);
  }
}

// Posts one section of `line_count` lines read from `reader` as a new
// message. Answers false when no message could be added, which ends the
// posting of the file; *file_ended is set when the file held fewer lines
// than counted.
bool PostOneSection(RunContext& ctx, MessageArea& area, TextReader& reader,
                    int32_t line_count, bool* file_ended) {
  if (!area.AddMessage()) {
    FailPosting(ctx, "Unable to create new message");
    return false;
  }
  ctx.sectionBytes = 0;
  WriteHeader(ctx, area);
  WriteLeadLines(ctx, area);
  std::string line;
  std::string last_line;
  for (int32_t i = 0; i < line_count; ++i) {
    if (!reader.ReadLine(&line)) {
      *file_ended = true;
      break;
    }
    ctx.sectionBytes += static_cast<int32_t>(line.size()) + 2;
    area.WriteLineRaw(line);
    last_line = std::move(line);
  }
  WriteTrailLines(ctx, area, last_line);
  if (!area.StoreMessage()) FailPosting(ctx, "Unable to write message");
  area.ReleaseMessage();
  return true;
}

}  // namespace

void FailPosting(RunContext& ctx, std::string_view message) {
  ctx.postingOk = false;
  LogError(ctx.log, message);
}

bool ClosePostingArea(RunContext& ctx) {
  if (!ctx.postingArea) return false;
  if (ctx.postingArea->isOpen) return CloseMessageArea(&ctx.postingArea);
  return DisposeMessageArea(&ctx.postingArea);
}

void ReplacePlaceholder(std::string_view value, std::string* text) {
  size_t at = text->find('%');
  if (at == std::string::npos) {
    text->insert(0, value);
  } else {
    text->replace(at, 1, value);
  }
  *text = ShortString(*text);
}

std::string FillPlaceholders(const RunContext& ctx, std::string_view tmpl) {
  std::string name = FileNameOf(ctx.postingJob->fileName);
  for (char& c : name) {
    if (c == ' ') c = '_';
  }
  std::string text(tmpl);
  ReplacePlaceholder(IntToText(ctx.partNumber), &text);
  ReplacePlaceholder(IntToText(ctx.partCount), &text);
  ReplacePlaceholder(name, &text);
  return text;
}

std::vector<int32_t> CountSectionLines(TextReader& reader) {
  std::vector<int32_t> sections;
  std::string line;
  int64_t bytes = 0;
  int32_t lines = 0;
  while (reader.ReadLine(&line)) {
    bytes += static_cast<int64_t>(line.size()) + 2;
    ++lines;
    if (bytes > kMaxSectionBytes) {
      sections.push_back(lines);
      bytes = 0;
      lines = 0;
    }
  }
  if (lines > 0) sections.push_back(lines);
  return sections;
}

void PreparePosting(RunContext& ctx) {
  PostingJob& job = *ctx.postingJob;
  if (!ctx.streamHooksInstalled) {
    InstallStreamFactories();
    ctx.streamHooksInstalled = true;
  }
  ctx.partNumber = 0;
  ctx.partCount = 1;
  ctx.postingOk = true;

  ClosePostingArea(ctx);
  if (OpenOrCreateMessageArea(&ctx.postingArea, job.baseType + job.basePath)) {
    uint32_t flag = AreaFlagOf(job.areaKind);
    if (flag != 0) ctx.postingArea->SetAreaFlag(flag, true);
  } else {
    DisposeMessageArea(&ctx.postingArea);
    FailPosting(ctx, "Unable to open/create msgbase " + Quoted(job.basePath));
  }

  if (ctx.postingOk) {
    std::string banner = " >> Posting " + job.fileName + " to " + job.areaName;
    if (!job.areaDescription.empty()) banner += " // " + job.areaDescription;
    Info(ctx, ShortString(banner));
    Info(ctx, ShortString(" >> From: " + job.fromName + ", " +
                          AddressToText(job.ownAddress)));
  }

  if (!FileExists(job.fileName)) {
    FailPosting(ctx, "File not found " + Quoted(job.fileName));
  }

  if (ctx.encoding.useAsKludge) {
    MakeKludge(&ctx.encoding.encodedMessage);
    MakeKludge(&ctx.encoding.beginString);
    MakeKludge(&ctx.encoding.endString);
  }
}

void PostSections(RunContext& ctx) {
  PostingJob& job = *ctx.postingJob;
  if (!ctx.postingOk) {
    FailPosting(ctx, "We can't make posting...");
    ClosePostingArea(ctx);
    return;
  }
  std::unique_ptr<TextReader> reader = OpenTextReader(job.fileName, nullptr);
  if (!reader) FailPosting(ctx, "Can't open file " + job.fileName + "!..");
  if (!ctx.postingOk) {
    FailPosting(ctx, "We can't make posting...");
    ClosePostingArea(ctx);
    return;
  }

  // The first pass counts; the second posts exactly the lines counted, so
  // a file that changes meanwhile never yields more parts than announced.
  std::vector<int32_t> sections = CountSectionLines(*reader);
  ctx.partCount = static_cast<int32_t>(sections.size());
  reader = OpenTextReader(job.fileName, nullptr);
  if (!reader && !sections.empty()) {
    FailPosting(ctx, "Can't open file " + job.fileName + "!..");
    sections.clear();
  }

  MessageArea& area = *ctx.postingArea;
  for (size_t i = 0; i < sections.size(); ++i) {
    if (StopRequested()) {
      FailPosting(ctx, "Stopped on request: parts " + IntToText(i + 1) +
                           " to " + IntToText(sections.size()) + " of " +
                           job.fileName + " not posted");
      break;
    }
    bool file_ended = false;
    if (!PostOneSection(ctx, area, *reader, sections[i], &file_ended)) break;
    if (file_ended) {
      FailPosting(ctx, "File " + job.fileName +
                           " got shorter while it was posted");
      break;
    }
  }

  if (!CloseMessageArea(&ctx.postingArea)) {
    FailPosting(ctx, "Unable to close msgbase");
  }
  if (ctx.postingOk) {
    Info(ctx, "  - Ok...");
    NoteEchoToss(ctx);
  }
}

}  // namespace kavel
