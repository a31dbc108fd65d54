// End-to-end test support: the independent programs that read what the
// program wrote. crashmail scans a *.MSG echo area into a type 2 packet
// and tosses packets into its bases; the npm package fidonet-jam (through
// tests/interop/jam_dump.js) parses a JAM base.
#ifndef KAVEL_TESTS_SUPPORT_PEERS_H_
#define KAVEL_TESTS_SUPPORT_PEERS_H_

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace kavel::e2e {

// True when `name` is a command the shell finds.
bool HaveCommand(const std::string& name);

// Output (stdout only, unless the command redirects) of a shell command,
// and its exit status as pclose gives it in *status (-1: could not run).
std::string Capture(const std::string& command, int* status);

// One message of a type 2 packet (FTS-0001).
struct PacketMessage {
  uint16_t orig_node = 0, orig_net = 0;
  std::string date, to, from, subject, text;
};

struct CrashmailScan {
  bool ok = false;  // crashmail ran, exited 0 and wrote one packet
  std::string log;  // its output and log, for failure messages
  std::vector<PacketMessage> messages;
};

// Scans a copy of the *.MSG echo area `msg_dir` (tag `tag`, exported to
// 2:5020/2) with crashmail as node 2:5020/1, working in the new directory
// `work`, whose tmp/ receives the packet. The area itself is not changed.
CrashmailScan ScanWithCrashmail(const std::string& work,
                                const std::string& msg_dir,
                                const std::string& tag);

// Tosses the packets in `work`/in with crashmail as node 2:5020/2, whose
// uplink is 2:5020/1, into the echo area `tag` (crashmail's base type
// `type`, "MSG" or "JAM", at `base`). Returns crashmail's output; its exit
// status goes to *status.
std::string TossWithCrashmail(const std::string& work, const std::string& tag,
                              const std::string& type, const std::string& base,
                              int* status);

// Empty when node and the npm reader are there; otherwise why not.
std::string FidonetJamMissing();

struct JamDumpMessage {
  std::map<std::string, std::string> header;  // key=value of "header"
  std::string crc;                            // after "crc "
  std::vector<std::string> subfields;         // "ID \"DATA\""
  std::string text;                           // escaped, as dumped
};

struct JamDump {
  bool ok = false;                          // the reader exited 0
  std::string output;                       // everything it printed
  std::map<std::string, std::string> base;  // key=value of "base"
  std::vector<JamDumpMessage> messages;
};

// Runs the reader on the JAM base at `base` (path without extension).
JamDump DumpWithFidonetJam(const std::string& base);

// The dump script's string form of raw bytes.
std::string JamDumpEscaped(std::string_view bytes);

}  // namespace kavel::e2e

#endif  // KAVEL_TESTS_SUPPORT_PEERS_H_
