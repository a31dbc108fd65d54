// The local clock of the POSIX Env, with the fake clock that tests running
// the program ask for by KAVEL_FAKE_CLOCK, and the base lock wait that they
// shorten by KAVEL_LOCK_WAIT_MS.
#include <errno.h>
#include <time.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/platform.h"
#include "platform/posix_env.h"

namespace kavel {
namespace {

ClockReading FromTm(const struct tm& tm, int hundredths) {
  ClockReading r;
  r.year = static_cast<uint16_t>(tm.tm_year + 1900);
  r.month = static_cast<uint16_t>(tm.tm_mon + 1);
  r.day = static_cast<uint16_t>(tm.tm_mday);
  r.day_of_week = static_cast<uint16_t>(tm.tm_wday);
  r.hour = static_cast<uint16_t>(tm.tm_hour);
  r.minute = static_cast<uint16_t>(tm.tm_min);
  r.second = static_cast<uint16_t>(tm.tm_sec);
  r.hundredths = static_cast<uint16_t>(hundredths);
  return r;
}

// The clock named by KAVEL_FAKE_CLOCK="YYYY-MM-DD HH:MM:SS": starts there and
// advances by one hundredth of a second per reading. Calendar arithmetic is
// done in UTC so that no daylight-saving jump disturbs it.
struct EnvironmentClock {
  bool active = false;
  int64_t start_seconds = 0;
  int64_t readings = 0;
};

EnvironmentClock& EnvClock() {
  static EnvironmentClock* clock = [] {
    auto* c = new EnvironmentClock();
    const char* text = std::getenv("KAVEL_FAKE_CLOCK");
    struct tm tm = {};
    if (text != nullptr &&
        std::sscanf(text, "%d-%d-%d %d:%d:%d", &tm.tm_year, &tm.tm_mon,
                    &tm.tm_mday, &tm.tm_hour, &tm.tm_min, &tm.tm_sec) == 6) {
      tm.tm_year -= 1900;
      tm.tm_mon -= 1;
      c->active = true;
      c->start_seconds = static_cast<int64_t>(timegm(&tm));
    }
    return c;
  }();
  return *clock;
}

}  // namespace

ClockReading PosixEnv::ReadClock() {
  EnvironmentClock& env = EnvClock();
  if (env.active) {
    int64_t ticks = env.readings++;
    time_t t = static_cast<time_t>(env.start_seconds + ticks / 100);
    struct tm tm;
    gmtime_r(&t, &tm);
    return FromTm(tm, static_cast<int>(ticks % 100));
  }
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  struct tm tm;
  localtime_r(&now.tv_sec, &tm);
  ClockReading reading = FromTm(tm, static_cast<int>(now.tv_nsec / 10000000));
  reading.microseconds = static_cast<uint16_t>(now.tv_nsec / 1000 % 10000);
  return reading;
}

void PosixEnv::SleepMicroseconds(int us) {
  if (us <= 0) return;
  struct timespec wait;
  wait.tv_sec = us / 1000000;
  wait.tv_nsec = static_cast<long>(us % 1000000) * 1000L;
  while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

int32_t PosixEnv::LockWaitMs(int32_t configured_ms) {
  const char* text = std::getenv("KAVEL_LOCK_WAIT_MS");
  if (text == nullptr) return configured_ms;
  const std::string value(text);
  int32_t ms = 0;
  const char* end = value.data() + value.size();
  auto [ptr, ec] = std::from_chars(value.data(), end, ms);
  if (!value.empty() && ec == std::errc() && ptr == end && ms >= 0) return ms;
  return configured_ms;
}

}  // namespace kavel
