// The one program-wide object of a run: created before anything else, alive
// until the run ends, handed to everything that logs or reads a setting.
// A plain record; its parts are owned here and released with it.
#ifndef KAVEL_DRIVER_RUN_CONTEXT_H_
#define KAVEL_DRIVER_RUN_CONTEXT_H_

#include <cstdint>
#include <memory>
#include <string_view>

#include "areacfg/area_files.h"
#include "areacfg/area_list.h"
#include "decoding/decoding_settings.h"
#include "driver/log.h"
#include "msgbase/message_area.h"
#include "posting/posting_job.h"

namespace kavel {

struct DecodeHistory;

struct RunContext {
  // The log: opened first, closed last.
  LogFile log;

  // --- Encoding settings, posting state and the PostingJob record.
  EncodingSettings encoding;
  // Created by CreatePostingJob at the start of the run.
  std::unique_ptr<PostingJob> postingJob;

  // Posting state of the file at hand (posting/composer.h).
  bool postingOk = false;     // false once a step of this posting failed
  int32_t partNumber = 0;     // section being written, 1 for the first
  int32_t partCount = 0;      // sections of the file
  int32_t sectionBytes = 0;   // bytes counted into the current section
  bool streamHooksInstalled = false;
  // The area being posted into: opened by PreparePosting, closed by
  // PostSections.
  std::unique_ptr<MessageArea> postingArea;

  // --- Area configuration: the HPTPATH, SQUISH and TERMINATE paths and the
  //     open areas file of the walk over all areas.
  AreaFileSettings areaFiles;
  AreaList areaList;

  // --- Program configuration file and decoding settings.
  bool configFound = false;  // Kavel.cfg could be opened at start
  DecodingSettings decoding;

  // --- Decoder state of the area at hand.
  // Kind letter of the areas file of the last walk ("H", "S", "T"), 0 before
  // the first.
  char areaConfigKind = 0;
  // What earlier runs decoded; set while a decoding command runs with
  // DECODENEWONLY, null otherwise.
  DecodeHistory* decodeHistory = nullptr;
};

inline void LogInfo(RunContext& context, std::string_view message) {
  LogInfo(context.log, message);
}
inline void LogError(RunContext& context, std::string_view message) {
  LogError(context.log, message);
}

}  // namespace kavel

#endif  // KAVEL_DRIVER_RUN_CONTEXT_H_
