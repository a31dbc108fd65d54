// The one program-wide object of a run: created before anything else, alive
// until the run ends, handed to everything that logs or reads a setting.
// A plain record; its parts are owned here and released with it.
#ifndef KAVEL_CONTEXT_RUN_CONTEXT_H_
#define KAVEL_CONTEXT_RUN_CONTEXT_H_

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "context/log.h"
#include "context/posting_job.h"
#include "context/settings.h"
#include "msgbase/message_area.h"
#include "platform/charset.h"

namespace kavel {

inline constexpr int32_t kDefaultLockWaitSeconds = 60;
inline constexpr int32_t kMaxLockWaitSeconds = 86400;
struct AreaTree;
struct DecodeHistory;

// The tree of the walk (part of RunContext), read once when the walk
// opens. Lookups of the same file while the walk is open use it instead of
// reading the tree again, so a walk over n areas reads the tree once.
struct AreaList {
  std::shared_ptr<AreaTree> tree;  // null when the walk is not open
  char kind = 0;                   // kind letter of the open tree
  std::string path;                // its main file
  size_t next = 0;                 // index of the next area to yield
};

struct RunContext {
  // The log: opened first, closed last.
  LogFile log;
  // The MSGID sequence file (MSGIDSEQUENCE), beside the log unless set.
  std::string msgIdSequence = "kavel.seq";

  // --- Encoding settings, posting state and the PostingJob record.
  EncodingSettings encoding;
  // Created by CreatePostingJob at the start of the run.
  std::unique_ptr<PostingJob> postingJob;

  // Posting state of the file at hand (posting/composer.h).
  bool postingOk = false;      // false once a step of this posting failed
  int32_t partNumber = 0;      // section being written, 1 for the first
  int32_t partCount = 0;       // sections of the file
  int32_t sectionBytes = 0;    // bytes counted into the current section
  bool postingBinary = false;  // the file is posted uuencoded
  // LOCALCHARSET to the CHRS charset, for the file at hand; null when
  // nothing is recoded. replacedChars counts the file's characters that
  // became "?".
  std::unique_ptr<CharsetConverter> postingRecoder;
  int64_t replacedChars = 0;
  bool noChrsReported = false;  // LOCALCHARSET without CHRS, said once
  // The area being posted into: opened by PreparePosting, closed by
  // PostSections.
  std::unique_ptr<MessageArea> postingArea;
  // Upper-cased tags already written to the EchoTossLog in this run.
  std::set<std::string> echoTossLogged;

  // --- Area configuration: the HPTPATH, SQUISH and TERMINATE paths and the
  //     open areas file of the walk over all areas.
  AreaFileSettings areaFiles;
  AreaList areaList;

  // --- Program configuration file and decoding settings.
  bool configFound = false;  // Kavel.cfg could be opened at start
  // ERRORLEVEL: the exit code tells the run's worst failure (log.h);
  // without it every run ends with 0.
  bool errorLevel = false;
  // LOCKWAIT (common part): the longest wait for each lock taken on a file
  // that other programs share (a message base's write lock), in seconds;
  // 0 tries once.
  int32_t lockWaitSeconds = kDefaultLockWaitSeconds;
  DecodingSettings decoding;

  // --- Decoder state of the area at hand.
  // Kind letter of the areas file of the last walk ("H", "S", "T"), 0 before
  // the first.
  char areaConfigKind = 0;
  // What earlier runs decoded; set while a decoding command runs with
  // DECODENEWONLY, null otherwise.
  DecodeHistory* decodeHistory = nullptr;
};

inline int32_t LockWaitSeconds(const RunContext& c) {
  return c.lockWaitSeconds;
}

inline void LogInfo(RunContext& context, std::string_view message) {
  LogInfo(context.log, message);
}
inline void LogError(RunContext& context, std::string_view message) {
  LogError(context.log, message);
}
inline void LogFailure(RunContext& context, std::string_view message,
                       RunFailure failure = RunFailure::kFailed) {
  LogFailure(context.log, message, failure);
}

}  // namespace kavel

#endif  // KAVEL_CONTEXT_RUN_CONTEXT_H_
