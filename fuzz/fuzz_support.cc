#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>

#include "msgbase/byte_stream.h"
#include "platform/env.h"
#include "platform/mem_env.h"
#include "platform/platform.h"

namespace kavel::fuzz {

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

namespace {

// The file system of every input: in memory, behind a clock that moves.
MemEnv* Memory() {
  static MemEnv* env = new MemEnv();
  return env;
}

}  // namespace

ScratchDir::ScratchDir() : path_("/scratch") {}

ScratchDir::~ScratchDir() = default;

void ScratchDir::Reset() {
  Memory()->Clear();
  Memory()->CreateDirectory(path_);
}

ScratchDir::EndOfInput::~EndOfInput() { Memory()->Clear(); }

std::string ScratchDir::Join(std::string_view name) const {
  return path_ + "/" + std::string(name);
}

void ScratchDir::MakeDirectory(std::string_view name) const {
  const std::string path = Join(name);
  for (size_t at = path.find('/', 1);; at = path.find('/', at + 1)) {
    Memory()->CreateDirectory(path.substr(0, at));
    if (at == std::string::npos) break;
  }
}

void ScratchDir::Write(std::string_view name, std::string_view bytes) const {
  const size_t slash = name.rfind('/');
  if (slash != std::string_view::npos) MakeDirectory(name.substr(0, slash));
  if (!Memory()->SetFileContents(Join(name), bytes)) {
    std::fprintf(stderr, "cannot write %s\n", Join(name).c_str());
    std::abort();
  }
}

void InitOnce() {
  static bool done = false;
  if (done) return;
  done = true;
  // A clock that moves on by one hundredth per reading and does not come
  // back to a time it showed (MSGID serials wait for a new one).
  static FakeClockEnv* env = new FakeClockEnv(Memory());
  static ScopedEnv* scoped = new ScopedEnv(env);
  (void)scoped;
  env->set_clock([] {
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
