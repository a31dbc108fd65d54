// The settings records of Kavel.cfg that the RunContext holds: the
// tosser's areas files and the decoding part. Plain records; the readers
// that fill them live with the commands that use them.
#ifndef KAVEL_CONTEXT_SETTINGS_H_
#define KAVEL_CONTEXT_SETTINGS_H_

#include <cstdint>
#include <string>
#include <vector>

namespace kavel {

// The settings HPTPATH, SQUISH and TERMINATE: paths of the tosser's areas
// file, read as plain texts (no backslash appended). Empty = not set.
struct AreaFileSettings {
  std::string hptPath;
  std::string squishPath;
  std::string terminatePath;
};

// One FORWARDMARKER line: `key` is the value's first word upper-cased,
// `endText` the rest of the value as written (the word itself again when
// the value is one word).
struct ForwardMarker {
  std::string key;
  std::string endText;
};

// WHATDOWITHEXISTFILE values (first letter of the value; any other letter
// is kReplace). 0 = not set.
constexpr int kExistNotSet = 0;
constexpr int kExistReplace = 1;  // R
constexpr int kExistNewName = 2;  // N
constexpr int kExistUpdate = 3;   // U
constexpr int kExistKeep = 4;     // K

// Field defaults are the built-in defaults of the keywords.
struct DecodingSettings {
  bool saveIfNotEnoughSections = false;    // SAVEIFNOTENOUGHSECTIONS
  bool decodeUue = false;                  // DECODEUUE
  std::string baseTextPath;                // BASETEXTPATH, ends in "\" when set
  bool useTextSubdir = true;               // USETEXTSUBDIR
  int whatDoWithExistFile = kExistNotSet;  // WHATDOWITHEXISTFILE
  std::string baseFwdPath;                 // BASEFWDPATH, ends in "\" when set
  bool useFwdSubdir = true;                // USEFWDSUBDIR
  // FORWARDMARKER lines in file order; every line is kept.
  std::vector<ForwardMarker> forwardMarkers;
  bool markersPresent = false;    // forwardMarkers is not empty
  bool checkForEmptyLine = true;  // CHECKFOREMPTYLINE
  std::string forwardFrom;        // FORWARDFROM
  std::string forwardTo;          // FORWARDTO
  std::string forwardSubj;        // FORWARDSUBJ
  std::string forwardDate;        // FORWARDDATE
  // Spelled in lower case when not set, as the Linux tools name files; a
  // value set in the file keeps its spelling.
  std::string forwardMask = "fwd";    // FORWARDMASK
  std::string forwardExt = "txt";     // FORWARDEXT
  std::string forwardComment;         // FORWARDCOMMENT
  std::string filesBbsName;           // FILESBBSNAME
  bool rewriteFilesBbs = false;       // REWRITEFILESBBS
  std::string filesBbsSavingString =  // FILESBBSSAVINGSTRING
      "@File(14,L) (@FromName, @FromAddr [@DateArrived])";
  // Which areas /ALL decodes (decoding/area_selection.h); empty: all.
  std::string decodeAreas;         // DECODEAREAS
  std::string skipKinds;           // SKIPKINDS
  bool decodeNewOnly = false;      // DECODENEWONLY
  bool saveWhileScanning = false;  // SAVEWHILESCANNING
  int32_t decodeHistoryDays = 14;  // DECODEHISTORYDAYS, above 0
};

}  // namespace kavel

#endif  // KAVEL_CONTEXT_SETTINGS_H_
