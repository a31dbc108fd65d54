// A decoding command (/DECODE, /ALL) with DECODENEWONLY: the decoding state
// is locked, loaded before the first area and saved after the last, so that
// every posted file and forward is handled once over all runs.
#ifndef KAVEL_DECODING_DECODING_RUN_H_
#define KAVEL_DECODING_DECODING_RUN_H_

#include <cstdint>
#include <memory>

#include "decoding/decode_state.h"

namespace kavel {

struct RunContext;
class PlatformFile;

// The state file beside the log, and the file whose first byte is locked
// for the whole decoding run (the state file itself is replaced by rename,
// so it cannot carry the lock).
inline constexpr char kStateFileName[] = "kavel.state";
inline constexpr char kStateLockName[] = "kavel.state.lck";
inline constexpr char kStateTempName[] = "kavel.state.new";

// What the area decoder consults: the state, the time of this run and how
// long handled entries are kept (seconds).
struct DecodeHistory {
  DecodeState state;
  int64_t now = 0;
  int64_t keepSeconds = 0;
};

class DecodingRun {
 public:
  explicit DecodingRun(RunContext& ctx);
  // Saves the state and releases the lock when Start took them.
  ~DecodingRun();
  DecodingRun(const DecodingRun&) = delete;
  DecodingRun& operator=(const DecodingRun&) = delete;

  // False when the command must stop: another run held the lock for
  // LOCKWAIT seconds (an information line says so). Without DECODENEWONLY
  // it does nothing and answers true.
  bool Start();

 private:
  RunContext& ctx_;
  std::unique_ptr<PlatformFile> lock_;
  DecodeHistory history_;
};

}  // namespace kavel

#endif  // KAVEL_DECODING_DECODING_RUN_H_
