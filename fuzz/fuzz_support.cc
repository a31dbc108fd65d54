#include "fuzz_support.h"

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "msgbase/byte_stream.h"
#include "platform/platform.h"

namespace kavel::fuzz {

namespace fs = std::filesystem;

std::vector<std::string_view> SplitFiles(const uint8_t* data, size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> parts;
  for (;;) {
    size_t at = rest.find(kFileSeparator);
    if (at == std::string_view::npos) break;
    parts.push_back(rest.substr(0, at));
    rest.remove_prefix(at + kFileSeparator.size());
  }
  parts.push_back(rest);
  return parts;
}

ScratchDir::ScratchDir() {
  std::error_code ec;
  fs::path base = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm")
                                                   : fs::temp_directory_path();
  std::string pattern = (base / "kavel-fuzz-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    std::abort();
  }
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

void ScratchDir::Reset() {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(path_, ec)) {
    fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add,
                    ec);
    fs::remove_all(entry.path(), ec);
  }
  ForgetPathCache();
}

ScratchDir::EndOfInput::~EndOfInput() { ForgetPathCache(); }

std::string ScratchDir::Join(std::string_view name) const {
  return path_ + "/" + std::string(name);
}

void ScratchDir::Write(std::string_view name, std::string_view bytes) const {
  fs::path p = Join(name);
  std::error_code ec;
  fs::create_directories(p.parent_path(), ec);
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", p.c_str());
    std::abort();
  }
}

void InitOnce() {
  static bool done = false;
  if (done) return;
  done = true;
  InstallStreamFactories();
  // A clock that moves on by one hundredth per reading and does not come
  // back to a time it showed (MSGID serials wait for a new one).
  SetClockForTesting([] {
    static uint64_t tick = 0;
    ++tick;
    ClockReading r;
    r.year = 2001;
    r.month = 3;
    r.day = static_cast<uint16_t>(1 + tick / 8640000 % 28);
    r.day_of_week = static_cast<uint16_t>(r.day % 7);
    r.hour = static_cast<uint16_t>(tick / 360000 % 24);
    r.minute = static_cast<uint16_t>(tick / 6000 % 60);
    r.second = static_cast<uint16_t>(tick / 100 % 60);
    r.hundredths = static_cast<uint16_t>(tick % 100);
    return r;
  });
}

void Fail(const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
  std::fflush(stderr);
  std::abort();
}

}  // namespace kavel::fuzz
