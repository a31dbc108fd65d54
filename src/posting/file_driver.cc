// The /ENCODE driver: binary test, area lookup, mask expansion.
#include "posting/file_driver.h"

#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "areacfg/area_lookup.h"
#include "context/log.h"
#include "context/posting_job.h"
#include "context/run_context.h"
#include "platform/platform.h"
#include "posting/composer.h"
#include "util/text.h"

namespace kavel {
namespace {

// Whether the mask's last component holds a wildcard.
bool HasWildcard(std::string_view mask) {
  const std::string_view last = mask.substr(mask.find_last_of("\\/") + 1);
  return last.find_first_of("*?") != std::string_view::npos;
}

// The names the mask matches, in the order of the search. Collected before
// anything is posted, so that files which posting creates in the searched
// directory (a *.MSG base) are never picked up.
std::vector<std::string> MatchingNames(std::string_view mask) {
  std::vector<std::string> names;
  std::unique_ptr<FileSearch> search = NewFileSearch();
  FoundEntry entry;
  // A wildcard matches files only, not "." and ".." and subdirectories; a
  // directory named as such is taken at its word (and refused on opening).
  const bool wildcard = HasWildcard(mask);
  if (search->Start(mask, kAttrAll, &entry)) {
    do {
      if (!wildcard || (entry.attributes & kAttrDirectory) == 0) {
        names.push_back(entry.name);
      }
    } while (search->Next(&entry));
  }
  search->End();
  return names;
}

// Announces a file that holds a byte 0 and prepares its area as for a text
// file, but posts nothing and closes the area again.
void RefuseBinaryFile(RunContext& ctx) {
  PreparePosting(ctx);
  FailPosting(ctx, "File \"" + ctx.postingJob->fileName +
                       "\" is not a text file, not posted");
  ClosePostingArea(ctx);
}

// The lines of a file until one holds a byte 0 (then `zero` is set).
class UntilByteZero : public TextReader {
 public:
  explicit UntilByteZero(std::unique_ptr<TextReader> file)
      : file_(std::move(file)) {}
  bool ReadLine(std::string* line) override {
    if (zero || !file_->ReadLine(line)) return false;
    zero = std::memchr(line->data(), 0, line->size()) != nullptr;
    return !zero;
  }
  bool zero = false;

 private:
  std::unique_ptr<TextReader> file_;
};

// IsBinaryFile into tested->binary, tested->opened telling whether the file
// could be opened at all. A text file's sections are counted on the way.
void TestForByteZero(std::string_view name, MaskTest* tested) {
  std::unique_ptr<TextReader> file = OpenTextReader(name, nullptr);
  tested->opened = file != nullptr;
  if (!file) return;
  UntilByteZero lines(std::move(file));
  tested->sections = CountSectionLines(lines);
  tested->binary = lines.zero;
  if (tested->binary) tested->sections.clear();
}

// Looks the area up and posts (or refuses) every file the mask matches.
// Answers false when the mask matched nothing; a passthrough area is
// refused before the mask is searched.
bool PostMatches(RunContext& ctx, std::string_view text,
                 const MaskTest& tested) {
  PostingJob& job = *ctx.postingJob;
  job.areaName = FirstWord(RestOfLine(text));
  LookUpArea(ctx);
  if (job.passthrough) {
    // No base to open: one line for the whole mask, and no file is read.
    LogError(ctx.log, "Area " + job.areaName +
                          " is passthrough (no message base), nothing posted");
    return true;
  }
  std::string mask = FirstWord(text);
  std::vector<std::string> names = MatchingNames(mask);
  if (names.empty()) return false;
  std::string directory = DirectoryOf(mask);
  const bool named_file =
      tested.opened && names.size() == 1 && !HasWildcard(mask);
  for (const std::string& name : names) {
    if (StopRequested()) break;
    job.fileName = ShortString(directory + name);
    LogInfo(ctx.log, ShortString(" [+] -> Posting file " + job.fileName));
    // The test of each file counts its sections as well (a named file's
    // was made for the mask already).
    MaskTest own;
    const MaskTest* file_test = &tested;
    if (!named_file) {
      TestForByteZero(job.fileName, &own);
      file_test = &own;
    }
    ctx.postingBinary = file_test->binary;
    if (ctx.postingBinary && !ctx.encoding.encodeBinaryUue) {
      RefuseBinaryFile(ctx);
    } else {
      PreparePosting(ctx);
      PostSections(ctx, file_test->opened && !file_test->binary
                            ? &file_test->sections
                            : nullptr);
    }
  }
  ctx.postingBinary = false;
  return true;
}

}  // namespace

bool IsBinaryFile(std::string_view name) {
  MaskTest tested;
  TestForByteZero(name, &tested);
  return tested.binary;
}

void PostFileMask(RunContext& ctx, std::string_view text) {
  if (!ctx.postingJob->runToday) {
    LogInfo(ctx.log, "Posting is not scheduled for today, nothing posted");
    return;
  }
  MaskTest tested;
  TestForByteZero(FirstWord(text), &tested);
  if (tested.binary) {
    PostBinaryFiles(ctx, text, tested);
  } else {
    PostTextFiles(ctx, text, tested);
  }
}

void PostTextFiles(RunContext& ctx, std::string_view text,
                   const MaskTest& tested) {
  if (!PostMatches(ctx, text, tested)) {
    LogError(ctx.log, "Can't find file to post..");
  }
}

void PostBinaryFiles(RunContext& ctx, std::string_view text,
                     const MaskTest& tested) {
  PostMatches(ctx, text, tested);
}

}  // namespace kavel
