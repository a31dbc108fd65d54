#include "support/peers.h"

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "msgbase/test_support.h"

namespace kavel::e2e {
namespace {

namespace fs = std::filesystem;

uint16_t Word(const std::string& bytes, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(bytes[at]) |
                               static_cast<uint8_t>(bytes[at + 1]) << 8);
}

// The messages of a packet; stops at the end marker or at damage (which
// the caller sees as missing messages).
std::vector<PacketMessage> ReadPacket(const std::string& bytes) {
  std::vector<PacketMessage> messages;
  size_t at = 58;  // packet header
  while (at + 14 <= bytes.size() && Word(bytes, at) == 2) {
    PacketMessage m;
    m.orig_node = Word(bytes, at + 2);
    m.orig_net = Word(bytes, at + 6);
    at += 14;
    bool whole = true;
    for (std::string* field : {&m.date, &m.to, &m.from, &m.subject, &m.text}) {
      const size_t end = bytes.find('\0', at);
      whole = whole && end != std::string::npos;
      if (!whole) break;
      *field = bytes.substr(at, end - at);
      at = end + 1;
    }
    if (!whole) break;
    messages.push_back(m);
  }
  return messages;
}

std::string ScriptPath() {
  return std::string(KAVEL_SOURCE_DIR) + "/tests/interop/jam_dump.js";
}

std::map<std::string, std::string> KeyValues(const std::string& rest) {
  std::map<std::string, std::string> out;
  std::istringstream words(rest);
  std::string word;
  while (words >> word) {
    size_t eq = word.find('=');
    if (eq != std::string::npos) out[word.substr(0, eq)] = word.substr(eq + 1);
  }
  return out;
}

// Runs crashmail as node `aka` with uplink `link` in `work`, where it
// makes the directories named in the settings; `tag` is the echo area (base
// type `type` at `base`).
std::string RunCrashmail(const std::string& work, const std::string& aka,
                         const std::string& link, const std::string& tag,
                         const std::string& type, const std::string& base,
                         const std::string& command, int* status) {
  std::ofstream prefs(fs::path(work) / "cm.prefs");
  prefs << "SYSOP \"Sysop\"\nDEFAULTZONE 2\nAKA " << aka << "\nNODE " << link
        << ".0 \"\" \"\"\n";
  for (const char* key : {"LOGFILE cm.log", "DUPEFILE dupes", "INBOUND in",
                          "OUTBOUND out", "TEMPDIR tmp", "CREATEPKTDIR tmp",
                          "PACKETDIR tmp", "NETMAIL netmail", "AREA bad"}) {
    const std::string line = key;
    const size_t at = line.rfind(' ');
    const std::string name = line.substr(0, at), dir = line.substr(at + 1);
    if (!name.ends_with("FILE")) fs::create_directories(fs::path(work) / dir);
    prefs << name
          << (name == "NETMAIL" ? " \"NETMAIL\" " + aka + " MSG"
              : name == "AREA"  ? " \"BAD\" " + aka + " MSG"
                                : "")
          << " \"" << work << "/" << dir << "\""
          << (name == "DUPEFILE" ? " 200" : "") << "\n";
  }
  prefs << "AREA \"" << tag << "\" " << aka << " " << type << " \"" << base
        << "\"\nEXPORT " << link << ".0\n"
        << (command == "SCAN" ? "MSG_HIGHWATER\n" : "");
  prefs.close();
  return Capture(
      "cd '" + work + "' && crashmail SETTINGS cm.prefs " + command + " 2>&1",
      status);
}

}  // namespace

bool HaveCommand(const std::string& name) {
  return system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Capture(const std::string& command, int* status) {
  std::string out;
  std::fflush(nullptr);
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    *status = -1;
    return out;
  }
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    out.append(buffer, got);
  }
  *status = pclose(pipe);
  return out;
}

CrashmailScan ScanWithCrashmail(const std::string& work,
                                const std::string& msg_dir,
                                const std::string& tag) {
  CrashmailScan scan;
  std::error_code ec;
  fs::remove_all(work, ec);
  fs::create_directories(work);
  fs::copy(msg_dir, fs::path(work) / "area", fs::copy_options::recursive, ec);
  if (ec) {
    scan.log = "cannot copy the area: " + ec.message();
    return scan;
  }
  int status = 0;
  scan.log = RunCrashmail(work, "2:5020/1", "2:5020/2", tag, "MSG",
                          work + "/area", "SCAN", &status);
  scan.log += testing_support::ReadFile(work + "/cm.log");
  std::vector<fs::path> packets;
  for (const auto& entry : fs::directory_iterator(fs::path(work) / "tmp", ec)) {
    packets.push_back(entry.path());
  }
  if (status != 0 || packets.size() > 1) return scan;
  scan.ok = true;
  if (packets.size() == 1) {
    scan.messages = ReadPacket(testing_support::ReadFile(packets[0].string()));
  }
  return scan;
}

std::string TossWithCrashmail(const std::string& work, const std::string& tag,
                              const std::string& type, const std::string& base,
                              int* status) {
  return RunCrashmail(work, "2:5020/2", "2:5020/1", tag, type, base, "TOSS",
                      status);
}

std::string FidonetJamMissing() {
  if (!HaveCommand("node")) return "node is not installed";
  if (!fs::exists(ScriptPath()) ||
      !fs::is_directory(std::string(KAVEL_SOURCE_DIR) +
                        "/tests/interop/node_modules/fidonet-jam")) {
    return "the npm reader is not installed (scripts/install_test_deps.sh)";
  }
  return "";
}

JamDump DumpWithFidonetJam(const std::string& base) {
  JamDump dump;
  int status = 0;
  dump.output =
      Capture("node '" + ScriptPath() + "' '" + base + "' 2>&1", &status);
  dump.ok = status == 0;
  std::istringstream in(dump.output);
  std::string line;
  while (std::getline(in, line)) {
    std::string kind = line.substr(0, line.find(' '));
    std::string rest = line.substr(std::min(line.size(), kind.size() + 1));
    if (kind == "base") dump.base = KeyValues(rest);
    if (kind == "msg") dump.messages.emplace_back();
    if (dump.messages.empty()) continue;
    JamDumpMessage& m = dump.messages.back();
    if (kind == "header") m.header = KeyValues(rest);
    if (kind == "crc") m.crc = rest;
    if (kind == "sub") m.subfields.push_back(rest);
    if (kind == "text") m.text = rest;
  }
  return dump;
}

std::string JamDumpEscaped(std::string_view bytes) {
  std::string out = "\"";
  for (unsigned char b : bytes) {
    char buffer[8];
    if (b == '\\' || b == '"') {
      out += '\\';
      out += static_cast<char>(b);
    } else if (b == '\r') {
      out += "\\r";
    } else if (b >= 0x20 && b < 0x7F) {
      out += static_cast<char>(b);
    } else {
      std::snprintf(buffer, sizeof buffer, "\\x%02X", b);
      out += buffer;
    }
  }
  return out + "\"";
}

}  // namespace kavel::e2e
