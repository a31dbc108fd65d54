// The posting settings and the fields of the area at hand. One PostingJob
// is created at start (CreatePostingJob) and owned by the RunContext for the
// whole run; the area lookup fills its area fields for posting and decoding
// alike.
#ifndef KAVEL_CONTEXT_POSTING_JOB_H_
#define KAVEL_CONTEXT_POSTING_JOB_H_

#include <cstdint>
#include <string>

#include "msgbase/ftn_address.h"

namespace kavel {

struct RunContext;

// What the tosser's areas file says an area is. The posting run sets the
// matching area flag before adding messages (1 netmail, 2 echomail,
// 4 local).
enum class AreaKind {
  kNone,      // no area looked up, or not found
  kNetmail,   // fidoconfig NetmailArea, Squish NetArea
  kEchomail,  // EchoArea and every keyword not listed here
  kLocal,     // LocalArea, BadArea, DupeArea
};

struct PostingJob {
  std::string areaName;  // area tag as the caller set it
  std::string baseType;  // "S", "M", "J" or empty
  // Message base path as the areas file spells it; empty when the area was
  // not found or has no message base (passthrough).
  std::string basePath;
  bool runToday = true;  // result of the WHEN rule
  std::string fileName;
  FtnAddress ownAddress;  // origin address: FROMADDR, then the area's aka
  FtnAddress toAddress;
  std::string fromName;
  std::string toName;
  std::string subject;
  uint32_t attributes = 0;  // generic attribute codes named by FLAGS
  std::string areaDescription;
  std::string origin;
  std::string tearline;

  // The FROMADDR setting itself; every lookup starts ownAddress from it, so
  // an area without an aka never inherits the previous area's one.
  FtnAddress fromAddress;
  AreaKind areaKind = AreaKind::kNone;
  // True when the lookup found the area but it is a passthrough area (path
  // or base type "Passthrough"): it has no message base, so basePath and
  // baseType are empty.
  bool passthrough = false;

  // CHRS: "<charset> <level>" of the CHRS kludge written into every posted
  // message; empty for none. LOCALCHARSET: the charset (an iconv name) of
  // the files and Kavel.cfg texts on this node; empty when nothing is
  // recoded.
  std::string chrs;
  std::string localCharset;
  // The area's tag as the tosser's configuration spells it, and the
  // EchoTossLog file that configuration names (empty when none).
  std::string areaTag;
  std::string echoTossLog;
};

// The encoding settings (what frames the posted file text).
struct EncodingSettings {
  bool useAsKludge = true;
  bool useEncodedMessage = false;
  bool useEncodedStrings = false;
  std::string encodedMessage = "for decode use Kavel.exe /decode";
  std::string beginString = "text.begin % of % of file %";
  std::string endString = "text.end";
  // ENCODEBINARY UUE: files holding a byte 0 are posted uuencoded instead
  // of being refused.
  bool encodeBinaryUue = false;
};

}  // namespace kavel

#endif  // KAVEL_CONTEXT_POSTING_JOB_H_
