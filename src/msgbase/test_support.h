// Test-only helpers for the message-base tests (their temporary directory
// is TempDirForTesting): the interoperability corpus, whole-file reads and
// writes, a loaded message's whole text, and fixed dates and clock
// readings. Included by test code only.
#ifndef KAVEL_MSGBASE_TEST_SUPPORT_H_
#define KAVEL_MSGBASE_TEST_SUPPORT_H_

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <string_view>

#include "msgbase/byte_stream.h"
#include "msgbase/date_time.h"
#include "msgbase/message_area.h"
#include "platform/env.h"
#include "platform/platform.h"
#include "platform/temp_dir_for_testing.h"

namespace kavel::testing_support {

// The interoperability corpus (read-only: copy files out before writing):
// $KAVEL_CORPUS_DIR, or the directory the build names.
inline std::string CorpusDir() {
  const char* env = std::getenv("KAVEL_CORPUS_DIR");
  return env != nullptr && *env != '\0' ? env : KAVEL_CORPUS_DIR;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  Env::Default()->ForgetPathCache();
}

// Name -> content of every entry of a directory (a subdirectory reads as
// ""), to show that an operation wrote nothing there.
inline std::map<std::string, std::string> DirectorySnapshot(
    const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    files[entry.path().filename().string()] = ReadFile(entry.path().string());
  }
  return files;
}

// The whole text of the loaded message, read in pieces a 16-bit length
// can carry.
inline std::string TextOf(MessageArea* area) {
  ByteStream* t = area->TextStream();
  std::string out(static_cast<size_t>(t->Size()), '\0');
  t->Seek(0);
  for (size_t done = 0; done < out.size();) {
    uint16_t n =
        static_cast<uint16_t>(std::min<size_t>(out.size() - done, 60000));
    t->Read(out.data() + done, n);
    done += n;
  }
  return out;
}

// Replaces the text of the message being written with `bytes`.
inline void PutText(MessageArea* area, std::string_view bytes) {
  ByteStream* t = area->TextStream();
  t->Seek(0);
  t->Truncate();
  for (size_t done = 0; done < bytes.size();) {
    uint16_t n =
        static_cast<uint16_t>(std::min<size_t>(bytes.size() - done, 60000));
    t->Write(bytes.data() + done, n);
    done += n;
  }
}

inline DateTimeRecord Date(int y, int mo, int d, int h = 0, int mi = 0,
                           int s = 0) {
  DateTimeRecord dt;
  dt.year = static_cast<uint16_t>(y);
  dt.month = static_cast<uint16_t>(mo);
  dt.day = static_cast<uint16_t>(d);
  dt.hour = static_cast<uint16_t>(h);
  dt.minute = static_cast<uint16_t>(mi);
  dt.second = static_cast<uint16_t>(s);
  return dt;
}

inline ClockReading ClockAt(int y, int mo, int d, int h = 0, int mi = 0,
                            int s = 0, int hundredths = 0) {
  ClockReading r;
  r.year = static_cast<uint16_t>(y);
  r.month = static_cast<uint16_t>(mo);
  r.day = static_cast<uint16_t>(d);
  r.hour = static_cast<uint16_t>(h);
  r.minute = static_cast<uint16_t>(mi);
  r.second = static_cast<uint16_t>(s);
  r.hundredths = static_cast<uint16_t>(hundredths);
  return r;
}

}  // namespace kavel::testing_support

#endif  // KAVEL_MSGBASE_TEST_SUPPORT_H_
