// The sequence file that MSGID serials are drawn from. Every run that names
// the same file takes its serials from it, so runs posting at the same
// moment, or one after another, never give out the same serial.
//
// Layout: the last serial given out or reserved, as eight hexadecimal
// digits (written in lower case) followed by CR LF. An empty file holds no
// serial yet (one just created); any other content is garbled.
//
// Each take opens the file (creating it when missing), holds a write lock
// on its first byte while it reads the serial and writes the next one back,
// and closes it; the lock is the only coordination between processes.
#ifndef KAVEL_MSGBASE_MSGID_SEQUENCE_H_
#define KAVEL_MSGBASE_MSGID_SEQUENCE_H_

#include <cstdint>
#include <functional>
#include <string_view>

namespace kavel {

enum class SequenceTake {
  kTaken,      // *serial is the next serial; the file holds it
  kRewritten,  // garbled; *serial came from the fallback; the file holds it
  kGarbled,    // garbled and not writable; *serial came from the fallback
  kFailed,     // not opened, locked, read or written; *serial is not set
};

// How long a take waits for another process's lock.
inline constexpr int kSequenceLockTimeoutMs = 5000;

// Takes the next `count` serials (count >= 1) from the file at `path`:
// *serial is the first, the larger of `clock_value` and the stored serial
// plus one (wrapping at 32 bits), or `clock_value` when the file holds
// none; the file then holds the last of them. When the file is garbled,
// `fallback` is called while the lock is held and its value alone is taken
// and written in place of the garble.
SequenceTake TakeSequenceSerial(std::string_view path, uint32_t clock_value,
                                const std::function<uint32_t()>& fallback,
                                uint32_t* serial, uint32_t count = 1);

// Hands back the serials after `last_used` up to `reserved_last` that a
// take reserved and the run did not give out: when the file still holds
// `reserved_last` (nobody took a serial since), it is set to `last_used`.
// False when the file could not be read or written.
bool ReturnSequenceSerials(std::string_view path, uint32_t reserved_last,
                           uint32_t last_used);

}  // namespace kavel

#endif  // KAVEL_MSGBASE_MSGID_SEQUENCE_H_
