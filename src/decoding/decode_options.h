// What one decoding run needs to know: the settings it works by, and the
// sink for its log lines. The run driver fills these from the program's
// configuration; tests fill them directly.
#ifndef KAVEL_DECODING_DECODE_OPTIONS_H_
#define KAVEL_DECODING_DECODE_OPTIONS_H_

#include <string>
#include <string_view>
#include <vector>

namespace kavel {

// Choices for a reassembled file whose target exists.
enum class ExistingFileChoice {
  kOverwrite,  // replace it; no file-list line
  kNewName,    // save under a free numbered name; file-list line written
  kKeep,       // leave it; the set is not saved
};

struct ForwardMarkerText {
  std::string key;      // upper-cased; empty never matches
  std::string endText;  // as written; empty never ends a forward
};

struct DecodeOptions {
  std::string beginString = "text.begin % of % of file %";
  std::string endString = "text.end";
  bool saveIfNotEnoughSections = false;
  ExistingFileChoice existingFile = ExistingFileChoice::kOverwrite;
  // DECODEUUE: uuencoded files are saved decoded.
  bool decodeUue = false;

  std::vector<ForwardMarkerText> markers;
  bool checkForEmptyLine = true;
  std::string forwardFrom, forwardTo, forwardSubj, forwardDate;
  std::string forwardMask = "fwd";
  std::string forwardExt = "txt";

  std::string filesBbsName;
  bool rewriteFilesBbs = false;
  std::string filesBbsSavingString =
      "@File(14,L) (@FromName, @FromAddr [@DateArrived])";

  // File names (without directory, case ignored) that decoding never
  // writes: the configuration file, the log, the areas file, the file
  // list.
  std::vector<std::string> protectedNames;

  // LOCALCHARSET: the charset (an iconv name) that saved text files,
  // forwards and decoded names are recoded to from the charset of their
  // messages' CHRS kludge; empty when nothing is recoded.
  std::string localCharset;

  // Draw the scan's progress bar (only when the console is a terminal).
  bool showProgress = false;

  // SAVEWHILESCANNING: in a Squish or JAM area decoded without a history,
  // a second thread saves each complete set while the scan goes on (the
  // sets in the order a scan-then-save run saves them); the files and the
  // log come out as they would without it.
  bool saveWhileScanning = false;
};

// Receives the information and error lines of decoding.
class DecodeLog {
 public:
  virtual ~DecodeLog() = default;
  virtual void Info(std::string_view message) = 0;
  virtual void Error(std::string_view message) = 0;
  // An information line that reports a failure of the run.
  virtual void Failure(std::string_view message) { Info(message); }
  // The lines between the two may be written together at EndBatch.
  virtual void BeginBatch() {}
  virtual void EndBatch() {}
};

}  // namespace kavel

#endif  // KAVEL_DECODING_DECODE_OPTIONS_H_
