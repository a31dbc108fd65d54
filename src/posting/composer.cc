// The message composer and section splitter.
#include "posting/composer.h"

#include <deque>
#include <memory>
#include <utility>

#include "context/log.h"
#include "context/posting_job.h"
#include "context/run_context.h"
#include "msgbase/byte_stream.h"
#include "msgbase/date_time.h"
#include "msgbase/ftn_address.h"
#include "msgbase/message_area.h"
#include "msgbase/message_text.h"
#include "platform/file_queries.h"
#include "platform/platform.h"
#include "posting/echo_toss_log.h"
#include "posting/uue_reader.h"
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

// A text of Kavel.cfg as it goes into a message: in the CHRS charset when
// the posting recodes.
std::string ForMessage(RunContext& ctx, std::string_view text) {
  if (!ctx.postingRecoder) return std::string(text);
  std::string out;
  ctx.postingRecoder->Convert(text, &out);
  return out;
}

// The lines of the posted file, recoded when the posting recodes.
class RecodingReader : public TextReader {
 public:
  RecodingReader(std::unique_ptr<TextReader> file, RunContext& ctx)
      : file_(std::move(file)), ctx_(ctx) {}
  bool ReadLine(std::string* line) override {
    if (!file_->ReadLine(&raw_)) return false;
    if (!ctx_.postingRecoder) {
      line->swap(raw_);
    } else {
      ctx_.replacedChars += static_cast<int64_t>(
          ctx_.postingRecoder->Convert(raw_, line));
    }
    return true;
  }

 private:
  std::unique_ptr<TextReader> file_;
  RunContext& ctx_;
  std::string raw_;
};

// The charset that CHRS names, as iconv names it.
std::string ChrsCharset(const PostingJob& job) {
  return IconvCharsetName(FirstWord(job.chrs));
}

// Sets up ctx.postingRecoder for the job's file; false (after an error
// line) when the file must not be posted.
bool PrepareRecoding(RunContext& ctx) {
  const PostingJob& job = *ctx.postingJob;
  ctx.postingRecoder.reset();
  ctx.replacedChars = 0;
  if (job.localCharset.empty()) return true;
  if (job.chrs.empty()) {
    if (!ctx.noChrsReported) {
      Info(ctx, "LOCALCHARSET is set but CHRS is not: posted text is not "
                "recoded");
      ctx.noChrsReported = true;
    }
    return true;
  }
  ctx.postingRecoder =
      CharsetConverter::Open(job.localCharset, ChrsCharset(job));
  if (!ctx.postingRecoder) {
    FailPosting(ctx, "Unable to recode from " + job.localCharset + " to " +
                         ChrsCharset(job) + " (LOCALCHARSET, CHRS)");
    return false;
  }
  // A begin-line name with a "?" in it could never be decoded.
  const std::string name = FileNameOf(job.fileName);
  std::string recoded;
  if (ctx.postingRecoder->Convert(name, &recoded) > 0) {
    FailPosting(ctx, "File name " + name + " cannot be recoded to " +
                         ChrsCharset(job) + ", nothing posted");
    return false;
  }
  return true;
}

// Lines of the layout ahead of the file lines: PID, CHRS, encoded message,
// begin line.
void WriteLeadLines(RunContext& ctx, MessageArea& area) {
  area.WriteLine(kPidLine);
  if (!ctx.postingJob->chrs.empty()) {
    area.WriteLine(ShortString("\x01" "CHRS: " + ctx.postingJob->chrs));
  }
  if (ctx.encoding.useEncodedMessage) {
    area.WriteLine(ForMessage(ctx, ctx.encoding.encodedMessage));
  }
  if (ctx.encoding.useEncodedStrings) {
    area.WriteLine(
        ForMessage(ctx, FillPlaceholders(ctx, ctx.encoding.beginString)));
  }
}

// Lines of the layout after the file lines: end line, the empty line,
// tear line, origin line.
void WriteTrailLines(RunContext& ctx, MessageArea& area,
                     std::string_view last_file_line) {
  const PostingJob& job = *ctx.postingJob;
  if (ctx.encoding.useEncodedStrings) {
    area.WriteLine(ForMessage(ctx, ctx.encoding.endString));
  }
  if (last_file_line.substr(0, 3) != "...") area.WriteLine("");
  area.WriteLine(ShortString("--- " + ForMessage(ctx, job.tearline)));
  area.WriteLine(ShortString(" * Origin: " + ForMessage(ctx, job.origin) +
                             " (" + AddressToText(job.ownAddress) + ")"));
}

// The log lines of a section's header, held until the section before is
// known to be stored.
struct HeaderLines {
  std::string sequenceProblem;
  std::string numbering;

  void Log(RunContext& ctx) const {
    if (!sequenceProblem.empty()) LogError(ctx.log, sequenceProblem);
    if (!numbering.empty()) Info(ctx, numbering);
  }
};

// Sets up the header of the new current message for section partNumber.
HeaderLines WriteHeader(RunContext& ctx, MessageArea& area) {
  const PostingJob& job = *ctx.postingJob;
  HeaderLines lines;
  area.SetOrigAddress(job.ownAddress, true);
  lines.sequenceProblem = TakeMsgIdSequenceProblem();
  area.SetDestAddress(job.toAddress);
  area.SetFromName(ForMessage(ctx, job.fromName));
  area.SetToName(ForMessage(ctx, job.toName));
  ++ctx.partNumber;
  std::string numbering(1, '[');
  numbering.append(IntToText(ctx.partNumber));
  numbering.push_back('/');
  numbering.append(IntToText(ctx.partCount));
  numbering.push_back(']');
  const std::string subject = ForMessage(ctx, job.subject);
  if (ctx.partCount == 1) {
    area.SetSubject(subject);
  } else {
    area.SetSubject(ShortString(numbering + " " + subject));
    lines.numbering = "   -> " + numbering;
  }
  DateTimeRecord now;
  CurrentDateTime(&now);
  area.SetDateWritten(now);
  area.SetDateArrived(now);
  area.SetAttribute(kAttrLoc, true);
  for (uint32_t bit = 1; bit <= kAttrSca; bit <<= 1) {
    if ((job.attributes & bit) != 0) area.SetAttribute(bit, true);
  }
  return lines;
}

// The error line of section `part`, which could not be stored.
void ReportUnstored(RunContext& ctx, int32_t part) {
  std::string line = "Unable to write message [" + IntToText(part) + "/" +
                     IntToText(ctx.partCount) + "]";
  if (part < ctx.partCount) {
    line += ": the rest of " + ctx.postingJob->fileName + " is not posted";
  }
  FailPosting(ctx, ShortString(line));
}

// The sections handed over to an area that stores behind and not yet
// known stored, oldest first. The log reads as if each section were stored
// before the next was made: the oldest one's header lines are logged, and
// each later one's are held until the sections before it are stored.
class SectionsUnderWay {
 public:
  // At most this many are under way (each holds a message's bytes).
  static constexpr size_t kLimit = 3;

  SectionsUnderWay(RunContext& ctx, MessageArea& area)
      : ctx_(ctx), area_(area) {}

  bool empty() const { return sections_.empty(); }

  // Waits until at most `count` are under way. False when one could not be
  // stored: it is reported, and those after it are given up.
  bool WaitUntilAtMost(size_t count) {
    while (sections_.size() > count) {
      Section oldest = std::move(sections_.front());
      sections_.pop_front();
      if (!area_.FinishOldestStore()) {
        ReportUnstored(ctx_, oldest.part);
        for (; !sections_.empty(); sections_.pop_front()) {
          area_.FinishOldestStore();
          Dropped(sections_.front().lines);
        }
        return false;
      }
      if (!sections_.empty()) sections_.front().lines.Log(ctx_);
    }
    return true;
  }

  // After StoreMessage answered yes for section `part`, whose lines were
  // logged when none was under way: held when it is under way itself.
  void Stored(int32_t part, HeaderLines lines) {
    if (area_.StoresUnderWay() > static_cast<int>(sections_.size())) {
      sections_.push_back(Section{part, std::move(lines)});
    }
  }

  // The lines of a section given up: a problem met while it was made still
  // counts.
  void Dropped(const HeaderLines& lines) {
    if (!lines.sequenceProblem.empty()) {
      LogError(ctx_.log, lines.sequenceProblem);
    }
  }

 private:
  struct Section {
    int32_t part;
    HeaderLines lines;  // empty once logged
  };
  RunContext& ctx_;
  MessageArea& area_;
  std::deque<Section> sections_;
};

// Posts one section of `line_count` lines read from `reader` as a new
// message. Answers false when no message could be added or stored, which
// ends the posting of the file (a set with a hole could never be
// completed); *file_ended is set when the file held fewer lines than
// counted. The area may store behind: true then means handed over, and a
// section before it that fails is reported here.
bool PostOneSection(RunContext& ctx, MessageArea& area, TextReader& reader,
                    int32_t line_count, SectionsUnderWay& under_way,
                    bool* file_ended) {
  if (!area.AddMessage()) {
    if (under_way.WaitUntilAtMost(0)) {
      FailPosting(ctx, "Unable to create new message");
    }
    return false;
  }
  ctx.sectionBytes = 0;
  HeaderLines header_lines = WriteHeader(ctx, area);
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
  // Uuencoded lines are data: a section of them always ends with the empty
  // line, whatever characters its last line begins with.
  if (ctx.postingBinary) last_line.clear();
  WriteTrailLines(ctx, area, last_line);
  if (!under_way.WaitUntilAtMost(SectionsUnderWay::kLimit - 1)) {
    under_way.Dropped(header_lines);
    area.ReleaseMessage();
    return false;
  }
  const bool logged = under_way.empty();
  if (logged) header_lines.Log(ctx);
  const bool stored = area.StoreMessage();
  area.ReleaseMessage();
  if (!stored) {
    if (!under_way.WaitUntilAtMost(0)) {
      under_way.Dropped(header_lines);
      return false;
    }
    if (!logged) header_lines.Log(ctx);
    ReportUnstored(ctx, ctx.partNumber);
    return false;
  }
  under_way.Stored(ctx.partNumber, logged ? HeaderLines() : header_lines);
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

namespace {

// The file's name without its directory, blanks made "_" so that it stays
// one word for the decoder.
std::string PostedName(const RunContext& ctx) {
  std::string name = FileNameOf(ctx.postingJob->fileName);
  for (char& c : name) {
    if (c == ' ') c = '_';
  }
  return name;
}

// The lines to post: the file's own, or its uuencoded form.
std::unique_ptr<TextReader> OpenPostedLines(const RunContext& ctx) {
  if (ctx.postingBinary) {
    return OpenUueReader(ctx.postingJob->fileName, PostedName(ctx), nullptr);
  }
  return OpenTextReader(ctx.postingJob->fileName, nullptr);
}

// The lines to post, recoded when the posting recodes text (uuencoded
// lines are ASCII and pass as they are).
std::unique_ptr<TextReader> OpenPostedFile(RunContext& ctx) {
  std::unique_ptr<TextReader> file = OpenPostedLines(ctx);
  if (!file || ctx.postingBinary || !ctx.postingRecoder) return file;
  return std::make_unique<RecodingReader>(std::move(file), ctx);
}

}  // namespace

std::string FillPlaceholders(const RunContext& ctx, std::string_view tmpl) {
  std::string name = PostedName(ctx);
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

  if (ctx.postingOk) PrepareRecoding(ctx);

  if (ctx.encoding.useAsKludge) {
    MakeKludge(&ctx.encoding.encodedMessage);
    MakeKludge(&ctx.encoding.beginString);
    MakeKludge(&ctx.encoding.endString);
  }
}

void PostSections(RunContext& ctx, const std::vector<int32_t>* counted) {
  PostingJob& job = *ctx.postingJob;
  if (!ctx.postingOk) {
    FailPosting(ctx, "We can't make posting...");
    ClosePostingArea(ctx);
    return;
  }
  std::unique_ptr<TextReader> reader = OpenPostedFile(ctx);
  if (!reader) FailPosting(ctx, "Can't open file " + job.fileName + "!..");
  if (!ctx.postingOk) {
    FailPosting(ctx, "We can't make posting...");
    ClosePostingArea(ctx);
    return;
  }

  // The first pass counts; the second posts exactly the lines counted, so
  // a file that changes meanwhile never yields more parts than announced.
  std::vector<int32_t> sections;
  if (counted && !ctx.postingBinary && !ctx.postingRecoder) {
    sections = *counted;
  } else {
    sections = CountSectionLines(*reader);
    ctx.replacedChars = 0;
    reader = OpenPostedFile(ctx);
    if (!reader && !sections.empty()) {
      FailPosting(ctx, "Can't open file " + job.fileName + "!..");
      sections.clear();
    }
  }
  ctx.partCount = static_cast<int32_t>(sections.size());

  MessageArea& area = *ctx.postingArea;
  // A *.MSG area writes each section on a second thread while the next
  // ones are made.
  area.SetStoreBehind(true);
  SectionsUnderWay under_way(ctx, area);
  // The sections' lines reach the log and the console a batch at a time,
  // one write each, rather than two writes per message.
  constexpr size_t kSectionsPerBatch = 64;
  BeginLogBatch(ctx.log);
  for (size_t i = 0; i < sections.size(); ++i) {
    if (i > 0 && i % kSectionsPerBatch == 0) {
      EndLogBatch(ctx.log);
      BeginLogBatch(ctx.log);
    }
    if (StopRequested()) {
      if (under_way.WaitUntilAtMost(0)) {
        FailPosting(ctx, "Stopped on request: parts " + IntToText(i + 1) +
                             " to " + IntToText(sections.size()) + " of " +
                             job.fileName + " not posted");
      }
      break;
    }
    bool file_ended = false;
    if (!PostOneSection(ctx, area, *reader, sections[i], under_way,
                        &file_ended)) {
      break;
    }
    if (file_ended) {
      if (under_way.WaitUntilAtMost(0)) {
        FailPosting(
            ctx, "File " + job.fileName + " got shorter while it was posted");
      }
      break;
    }
  }
  under_way.WaitUntilAtMost(0);
  EndLogBatch(ctx.log);

  if (!CloseMessageArea(&ctx.postingArea)) {
    FailPosting(ctx, "Unable to close msgbase");
  }
  if (ctx.replacedChars > 0) {
    Info(ctx, "  - " + IntToText(ctx.replacedChars) + " characters of " +
                  job.fileName + " could not be recoded to " +
                  ChrsCharset(job) + " and were posted as \"?\"");
  }
  ctx.postingRecoder.reset();
  if (ctx.postingOk) {
    Info(ctx, "  - Ok...");
    NoteEchoToss(ctx);
  }
}

}  // namespace kavel
