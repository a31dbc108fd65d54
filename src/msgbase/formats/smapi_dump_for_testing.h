// Reader of the reference dumps of the interop corpus (dumps/*.smapi-dump.txt,
// written by an independent message-base library), for the corpus tests.
// Test code only.
//
// A dump is a sequence of blocks:
//   message 1 uid=2 textlen=173 ctrllen=61
//     from          "Ivan Petrov"          (quoted values use the escapes
//     ...                                   below)
//     date_written  2026-12-06 19:54:32
//     attr          0x00000008 Sent
//     kludge        ^AMSGID: 2:5020/1 4b1d0001
//     text          (172 bytes before the first NUL)
//       | Hello, All!\n                    (pieces of the text proper)
// Escapes: \xNN is a byte, ^A is 0x01, \n is the CR that ends a text line.
#ifndef KAVEL_MSGBASE_FORMATS_SMAPI_DUMP_FOR_TESTING_H_
#define KAVEL_MSGBASE_FORMATS_SMAPI_DUMP_FOR_TESTING_H_

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "msgbase/date_time.h"

namespace kavel::testing_support {

// The interop corpus: $KAVEL_CORPUS_DIR, else where the build found it.
inline std::string CorpusDir() {
  const char* env = std::getenv("KAVEL_CORPUS_DIR");
  return env != nullptr && *env != '\0' ? env : KAVEL_CORPUS_DIR;
}

struct DumpedMessage {
  uint32_t uid = 0;
  std::string from, to, subject, orig, dest, written, arrived, ftsDate;
  uint32_t attributes = 0;
  std::vector<std::string> kludges;  // 0x01 included, no CR
  std::string text;                  // the text proper, lines with their CRs
};

inline std::string UnescapeDump(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s.compare(i, 2, "\\x") == 0 && i + 3 < s.size()) {
      out.push_back(static_cast<char>(
          std::stoi(std::string(s.substr(i + 2, 2)), nullptr, 16)));
      i += 3;
    } else if (s.compare(i, 2, "\\n") == 0) {
      out.push_back('\r');
      ++i;
    } else if (s.compare(i, 2, "^A") == 0) {
      out.push_back('\x01');
      ++i;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

inline std::vector<DumpedMessage> ReadSmapiDump(const std::string& path) {
  std::ifstream in(path);
  std::vector<DumpedMessage> out;
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("message ", 0) == 0) {
      out.emplace_back();
      out.back().uid = static_cast<uint32_t>(
          std::strtoul(line.c_str() + line.find("uid=") + 4, nullptr, 10));
      continue;
    }
    if (out.empty()) continue;
    DumpedMessage& m = out.back();
    if (line.rfind("    | ", 0) == 0) {
      m.text += UnescapeDump(std::string_view(line).substr(6));
      continue;
    }
    const size_t key_at = line.find_first_not_of(' ');
    if (key_at == std::string::npos) continue;
    const size_t key_end = line.find(' ', key_at);
    const size_t value_at = line.find_first_not_of(' ', key_end);
    if (key_end == std::string::npos || value_at == std::string::npos) continue;
    const std::string key = line.substr(key_at, key_end - key_at);
    std::string value = line.substr(value_at);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    if (key == "from") m.from = UnescapeDump(value);
    if (key == "to") m.to = UnescapeDump(value);
    if (key == "subject") m.subject = UnescapeDump(value);
    if (key == "orig") m.orig = value;
    if (key == "dest") m.dest = value;
    if (key == "date_written") m.written = value;
    if (key == "date_arrived") m.arrived = value;
    if (key == "ftsc_date") m.ftsDate = UnescapeDump(value);
    if (key == "attr") {
      m.attributes = static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 16));
    }
    if (key == "kludge") m.kludges.push_back(UnescapeDump(value));
  }
  return out;
}

// "YYYY-MM-DD HH:MM:SS", as the dumps give dates.
inline std::string DumpDateText(const DateTimeRecord& dt) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", dt.year,
                dt.month, dt.day, dt.hour, dt.minute, dt.second);
  return buf;
}

}  // namespace kavel::testing_support

#endif  // KAVEL_MSGBASE_FORMATS_SMAPI_DUMP_FOR_TESTING_H_
