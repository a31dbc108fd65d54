#include "support/peers.h"

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace kavel::e2e {
namespace {

namespace fs = std::filesystem;

uint16_t Word(const std::string& bytes, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(bytes[at]) |
                               static_cast<uint8_t>(bytes[at + 1]) << 8);
}

// A zero-terminated field at *at; false when the packet ends first.
bool Field(const std::string& bytes, size_t* at, std::string* value) {
  size_t end = bytes.find('\0', *at);
  if (end == std::string::npos) return false;
  *value = bytes.substr(*at, end - *at);
  *at = end + 1;
  return true;
}

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
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

std::vector<PacketMessage> ReadPacket(const std::string& bytes) {
  std::vector<PacketMessage> messages;
  size_t at = 58;  // packet header
  while (at + 14 <= bytes.size() && Word(bytes, at) == 2) {
    PacketMessage m;
    m.orig_node = Word(bytes, at + 2);
    m.dest_node = Word(bytes, at + 4);
    m.orig_net = Word(bytes, at + 6);
    m.dest_net = Word(bytes, at + 8);
    m.attribute = Word(bytes, at + 10);
    at += 14;
    if (!Field(bytes, &at, &m.date) || !Field(bytes, &at, &m.to) ||
        !Field(bytes, &at, &m.from) || !Field(bytes, &at, &m.subject) ||
        !Field(bytes, &at, &m.text)) {
      break;
    }
    messages.push_back(m);
  }
  return messages;
}

std::string CrashmailMissing() {
  return HaveCommand("crashmail") ? "" : "crashmail is not installed";
}

CrashmailScan ScanWithCrashmail(const std::string& work,
                                const std::string& msg_dir,
                                const std::string& tag) {
  CrashmailScan scan;
  const fs::path root = work;
  std::error_code ec;
  fs::remove_all(root, ec);
  for (const char* sub : {"in", "out", "tmp", "netmail", "bad"}) {
    fs::create_directories(root / sub);
  }
  fs::copy(msg_dir, root / "area", fs::copy_options::recursive, ec);
  if (ec) {
    scan.log = "cannot copy the area: " + ec.message();
    return scan;
  }
  const std::string r = root.string();
  std::ofstream prefs(root / "cm.prefs");
  prefs << "SYSOP \"Sysop\"\n"
           "LOGFILE \"" << r << "/cm.log\"\n"
           "LOGLEVEL 5\n"
           "DUPEFILE \"" << r << "/dupes\" 200\n"
           "DEFAULTZONE 2\n"
           "INBOUND \"" << r << "/in\"\n"
           "OUTBOUND \"" << r << "/out\"\n"
           "TEMPDIR \"" << r << "/tmp\"\n"
           "CREATEPKTDIR \"" << r << "/tmp\"\n"
           "PACKETDIR \"" << r << "/tmp\"\n"
           "MSG_HIGHWATER\n"
           "AKA 2:5020/1\n"
           "DOMAIN \"FidoNet\"\n"
           "NODE 2:5020/2.0 \"\" \"\"\n"
           "NETMAIL \"NETMAIL\" 2:5020/1 MSG \"" << r << "/netmail\"\n"
           "AREA \"BAD\" 2:5020/1 MSG \"" << r << "/bad\"\n"
           "AREA \"" << tag << "\" 2:5020/1 MSG \"" << r << "/area\"\n"
           "EXPORT 2:5020/2\n";
  prefs.close();
  int status = 0;
  scan.log = Capture("cd '" + r + "' && crashmail SETTINGS cm.prefs SCAN 2>&1",
                     &status);
  scan.log += Slurp(root / "cm.log");
  std::vector<fs::path> packets;
  for (const auto& entry : fs::directory_iterator(root / "tmp", ec)) {
    packets.push_back(entry.path());
  }
  if (status != 0 || packets.size() > 1) return scan;
  scan.ok = true;
  if (packets.size() == 1) scan.messages = ReadPacket(Slurp(packets[0]));
  return scan;
}

std::string TossWithCrashmail(const std::string& work, const std::string& tag,
                              const std::string& type, const std::string& base,
                              int* status) {
  for (const char* sub : {"in", "out", "tmp", "netmail", "bad"}) {
    fs::create_directories(fs::path(work) / sub);
  }
  std::ofstream prefs(fs::path(work) / "cm.prefs");
  prefs << "SYSOP \"Sysop\"\nDEFAULTZONE 2\nAKA 2:5020/2\n"
           "NODE 2:5020/1.0 \"\" \"\"\n";
  for (const char* key : {"LOGFILE cm.log", "INBOUND in", "OUTBOUND out",
                          "TEMPDIR tmp", "CREATEPKTDIR tmp", "PACKETDIR tmp",
                          "NETMAIL \"NETMAIL\" 2:5020/2 MSG netmail",
                          "AREA \"BAD\" 2:5020/2 MSG bad"}) {
    const std::string line = key;
    const size_t at = line.rfind(' ');
    prefs << line.substr(0, at) << " \"" << work << "/" << line.substr(at + 1)
          << "\"\n";
  }
  prefs << "AREA \"" << tag << "\" 2:5020/2 " << type << " \"" << base
        << "\"\nEXPORT 2:5020/1.0\n";
  prefs.close();
  return Capture("cd '" + work + "' && crashmail SETTINGS cm.prefs TOSS 2>&1",
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
    dump.lines.push_back(line);
    std::string kind = line.substr(0, line.find(' '));
    std::string rest = line.substr(std::min(line.size(), kind.size() + 1));
    if (kind == "base") dump.base = KeyValues(rest);
    if (kind == "index") dump.index = rest;
    if (kind == "lastread") dump.last_reads.push_back(rest);
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
    if (b == '\\') {
      out += "\\\\";
    } else if (b == '"') {
      out += "\\\"";
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
