#include "msgbase/date_time.h"

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>

#include "msgbase/ftn_address.h"
#include "msgbase/msgid_sequence.h"
#include "platform/platform.h"

namespace kavel {

namespace {

// Every value MakeMsgIdSerial returned in this run: a serial is never given
// out twice, even when the clock stands still or goes back.
std::set<uint32_t> issuedSerials;

// The sequence file of UseMsgIdSequence; empty for the clock rule alone.
std::string sequencePath;
// True once the file could not serve a serial: the rest of the run keeps
// to the clock rule.
bool sequenceBroken = false;
// The error line not yet taken by TakeMsgIdSequenceProblem.
std::string sequenceProblem;
// Serials are taken from the file this many at a time; those this run has
// not given out yet are [reservedNext, reservedLast] while haveReserved.
constexpr uint32_t kSerialBatch = 32;
bool haveReserved = false;
uint32_t reservedNext = 0;
uint32_t reservedLast = 0;

constexpr const char* kMonthNamesUpper[12] = {"JAN", "FEB", "MAR", "APR",
                                              "MAY", "JUN", "JUL", "AUG",
                                              "SEP", "OCT", "NOV", "DEC"};
constexpr const char* kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr",
                                         "May", "Jun", "Jul", "Aug",
                                         "Sep", "Oct", "Nov", "Dec"};

DateTimeRecord MakeDate(int year, int month, int day, int hour, int minute,
                        int second) {
  DateTimeRecord dt;
  dt.year = static_cast<uint16_t>(year);
  dt.month = static_cast<uint16_t>(month);
  dt.day = static_cast<uint16_t>(day);
  dt.hour = static_cast<uint16_t>(hour);
  dt.minute = static_cast<uint16_t>(minute);
  dt.second = static_cast<uint16_t>(second);
  return dt;
}

// Floor division and modulo, so that the calendar arithmetic stays right
// for day numbers below its epoch.
int64_t FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}
int64_t FloorMod(int64_t a, int64_t b) { return a - FloorDiv(a, b) * b; }

}  // namespace

int CompareDateTimes(const DateTimeRecord& a, const DateTimeRecord& b) {
  const uint16_t left[] = {a.year, a.month, a.day, a.hour, a.minute, a.second};
  const uint16_t right[] = {b.year, b.month, b.day, b.hour, b.minute, b.second};
  for (int i = 0; i < 6; ++i) {
    if (left[i] < right[i]) return -1;
    if (left[i] > right[i]) return 1;
  }
  return 0;
}

DateTimeRecord ClampDateTime(const DateTimeRecord& dt,
                             const DateTimeRecord& earliest,
                             const DateTimeRecord& latest) {
  if (CompareDateTimes(dt, earliest) < 0) return earliest;
  if (CompareDateTimes(dt, latest) > 0) return latest;
  return dt;
}

void CurrentDateTime(DateTimeRecord* dt) {
  ClockReading now = ReadClock();
  dt->year = now.year;
  dt->month = now.month;
  dt->day = now.day;
  dt->hour = now.hour;
  dt->minute = now.minute;
  dt->second = now.second;
  dt->hundredth = now.hundredths;
}

uint32_t PackDateTime(const DateTimeRecord& dt) {
  DateTimeRecord d = ClampDateTime(dt, MakeDate(1980, 1, 1, 0, 0, 0),
                                   MakeDate(2107, 12, 31, 23, 59, 58));
  uint32_t day = std::min<uint32_t>(d.day, 31);
  uint32_t month = std::min<uint32_t>(d.month, 12);
  uint32_t hour = std::min<uint32_t>(d.hour, 23);
  uint32_t minute = std::min<uint32_t>(d.minute, 59);
  uint32_t second = std::min<uint32_t>(d.second, 59);
  uint32_t date_word = (d.year - 1980u) * 512u + month * 32u + day;
  uint32_t time_word = hour * 2048u + minute * 32u + second / 2u;
  return (date_word << 16) | time_word;
}

void UnpackDateTime(uint32_t packed, DateTimeRecord* dt) {
  uint32_t date_word = packed >> 16;
  uint32_t time_word = packed & 0xFFFFu;
  dt->year = static_cast<uint16_t>(1980 + (date_word >> 9));
  dt->month = static_cast<uint16_t>((date_word >> 5) & 0x0F);
  dt->day = static_cast<uint16_t>(date_word & 0x1F);
  dt->hour = static_cast<uint16_t>(time_word >> 11);
  dt->minute = static_cast<uint16_t>((time_word >> 5) & 0x3F);
  dt->second = static_cast<uint16_t>(2 * (time_word & 0x1F));
}

int32_t JulianDay(const DateTimeRecord& dt) {
  int64_t m = dt.month;
  int64_t y = dt.year;
  if (m <= 2) {
    y -= 1;
    m += 12;
  }
  m -= 3;
  int64_t c = FloorDiv(y, 100);
  int64_t a = FloorMod(y, 100);
  int64_t j = FloorDiv(146097 * c, 4) + FloorDiv(1461 * a, 4) +
              FloorDiv(153 * m + 2, 5) + dt.day + 1721119;
  return static_cast<int32_t>(j);
}

void FromJulianDay(int32_t julian_day, uint16_t* year, uint16_t* month,
                   uint16_t* day) {
  int64_t t = 4 * (static_cast<int64_t>(julian_day) - 1721119) - 1;
  int64_t c = FloorDiv(t, 146097);
  int64_t d = 4 * FloorDiv(FloorMod(t, 146097), 4) + 3;
  int64_t a = d / 1461;
  int64_t e = ((d % 1461) + 4) / 4;
  int64_t f = 5 * e - 3;
  int64_t m = f / 153;
  *day = static_cast<uint16_t>(((f % 153) + 5) / 5);
  if (m >= 10) {
    a += 1;
    m -= 12;
  }
  *month = static_cast<uint16_t>(m + 3);
  *year = static_cast<uint16_t>(100 * c + a);
}

int32_t DateTimeToSeconds(const DateTimeRecord& dt) {
  int64_t seconds = (static_cast<int64_t>(JulianDay(dt)) - 2440588) * 86400 +
                    dt.hour * 3600 + dt.minute * 60 + dt.second;
  if (seconds < 0) return 0;
  if (seconds > INT32_MAX) return INT32_MAX;
  return static_cast<int32_t>(seconds);
}

void SecondsToDateTime(int32_t seconds, DateTimeRecord* dt) {
  if (seconds < 0) seconds = 0;
  FromJulianDay(seconds / 86400 + 2440588, &dt->year, &dt->month, &dt->day);
  int32_t r = seconds % 86400;
  dt->hour = static_cast<uint16_t>(r / 3600);
  dt->minute = static_cast<uint16_t>((r % 3600) / 60);
  dt->second = static_cast<uint16_t>(r % 60);
}

int MonthFromName(std::string_view text) {
  if (text.size() != 3) return 0;
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  for (int i = 0; i < 12; ++i) {
    if (upper == kMonthNamesUpper[i]) return i + 1;
  }
  return 0;
}

std::string MonthName(int month) {
  if (month < 1 || month > 12) return "???";
  return kMonthNames[month - 1];
}

int TwoDigitYear(int year) { return year >= 2000 ? year - 2000 : year - 1900; }

int FullYear(int two_digit_year) {
  return two_digit_year <= 70 ? two_digit_year + 2000 : two_digit_year + 1900;
}

namespace {

// A decimal date or time component; malformed or negative text gives 0.
uint16_t DateNumber(std::string_view word) {
  int16_t value = 0;
  if (!TextToInt16(word, &value) || value < 0) return 0;
  return static_cast<uint16_t>(value);
}

std::string TwoDigits(int n) {
  std::string digits = std::to_string(n).substr(0, 2);
  if (digits.size() == 1) digits.insert(digits.begin(), '0');
  return digits;
}

void ReadDayMonthYear(std::string_view s, DateTimeRecord* dt) {
  dt->day = DateNumber(NthWord(1, s, " "));
  dt->month = static_cast<uint16_t>(MonthFromName(NthWord(2, s, " ")));
  dt->year = DateNumber(NthWord(3, s, " "));
}

std::string_view DropFront(std::string_view s, size_t n) {
  return s.substr(std::min(n, s.size()));
}

}  // namespace

void ParseMsgDate(std::string_view s, DateTimeRecord* dt) {
  *dt = DateTimeRecord();
  if (s.size() > 2 && s[2] == ' ') {
    // "05 Jan 01  13:07:09"
    ReadDayMonthYear(s, dt);
    std::string_view time =
        DropFront(s, s.size() > 10 && s[10] == ' ' ? 11 : 10);
    dt->hour = DateNumber(NthWord(1, time, ":"));
    dt->minute = DateNumber(NthWord(2, time, ":"));
    dt->second = DateNumber(NthWord(3, time, " :"));
  } else if (s.size() > 3 && s[3] == ' ') {
    // "Fri  5 Jan 01 13:07"
    std::string_view rest = DropFront(s, 4);
    ReadDayMonthYear(rest, dt);
    std::string_view time = DropFront(rest, 10);
    dt->hour = DateNumber(NthWord(1, time, ":"));
    dt->minute = DateNumber(NthWord(2, time, ":"));
  } else if (s.size() > 2 && s[2] == '-') {
    // "05-01-01 13:07:09"
    std::string t(s);
    std::replace(t.begin(), t.end(), '-', ' ');
    std::replace(t.begin(), t.end(), ':', ' ');
    dt->day = DateNumber(NthWord(1, t, " "));
    dt->month = DateNumber(NthWord(2, t, " "));
    dt->year = DateNumber(NthWord(3, t, " "));
    dt->hour = DateNumber(NthWord(4, t, " "));
    dt->minute = DateNumber(NthWord(5, t, " "));
    dt->second = DateNumber(NthWord(6, t, " "));
  }
  // Two-digit years are widened; a year written in full stays.
  if (dt->year <= 99) dt->year = static_cast<uint16_t>(FullYear(dt->year));
}

std::string FormatMsgDate(const DateTimeRecord& dt) {
  DateTimeRecord earliest;
  earliest.year = kEarliestTwoDigitYear;
  earliest.month = 1;
  earliest.day = 1;
  DateTimeRecord latest;
  latest.year = kLatestTwoDigitYear;
  latest.month = 12;
  latest.day = 31;
  latest.hour = 23;
  latest.minute = 59;
  latest.second = 59;
  DateTimeRecord d = ClampDateTime(dt, earliest, latest);
  std::string text = TwoDigits(d.day);
  text.append(" ").append(MonthName(d.month)).append(" ");
  text.append(TwoDigits(TwoDigitYear(d.year))).append("  ");
  text.append(TwoDigits(d.hour)).append(":").append(TwoDigits(d.minute));
  text.append(":").append(TwoDigits(d.second));
  return text;
}

namespace {

// The clock's serial value: seconds of a calendar of 355-day years and
// 30-day months, shifted left by 7 bits, hundredths in the low bits; 32-bit
// arithmetic wraps.
uint32_t ClockSerialValue(const ClockReading& now) {
  constexpr uint32_t kDay = 86400u;
  uint32_t v = (static_cast<uint32_t>(now.year) + 10u) * 355u * kDay +
               static_cast<uint32_t>(now.month) * 30u * kDay +
               static_cast<uint32_t>(now.day) * kDay +
               static_cast<uint32_t>(now.hour) * 3600u +
               static_cast<uint32_t>(now.minute) * 60u +
               static_cast<uint32_t>(now.second);
  return (v << 7) | (static_cast<uint32_t>(now.hundredths) & 127u);
}

// The clock's value once it differs from every serial given out in this
// run.
uint32_t WaitForClockSerial() {
  // The clock is read again when its hundredths should have moved on (a
  // clock that tells how far into its hundredth it is), or else every 100
  // microseconds. A clock that stands still or went back (a test clock, a
  // clock set back) must not hang the run: after about 20 ms of waiting,
  // or 200 readings, the next value not given out yet is taken.
  constexpr int kPollMicroseconds = 100;
  constexpr int kPastTheTick = 20;  // microseconds after the expected change
  constexpr int kMaxReadings = 200;
  constexpr int kMaxWaitMicroseconds = 20000;
  uint32_t v = 0;
  int waited = 0;
  for (int reading = 0;; ++reading) {
    ClockReading now = ReadClock();
    v = ClockSerialValue(now);
    if (issuedSerials.count(v) == 0) break;
    if (reading >= kMaxReadings || waited >= kMaxWaitMicroseconds) {
      while (issuedSerials.count(v) != 0) ++v;
      break;
    }
    const int pause = now.microseconds > 0
                          ? 10000 - now.microseconds + kPastTheTick
                          : kPollMicroseconds;
    SleepMicroseconds(pause);
    waited += pause;
  }
  return v;
}

// Gives the next serial of the reservation unless the clock has passed it
// (every serial is at least the clock's value when it is given out).
bool GiveReserved(uint32_t clock, uint32_t* serial) {
  while (haveReserved && clock <= reservedNext) {
    const uint32_t v = reservedNext;
    haveReserved = v != reservedLast;
    ++reservedNext;
    // A value this run gave out while the file was garbled is skipped.
    if (issuedSerials.count(v) == 0) {
      *serial = v;
      return true;
    }
  }
  return false;
}

// Hands the rest of the reservation back to the file.
void ReturnReserved() {
  if (haveReserved && !sequencePath.empty() && !sequenceBroken) {
    ReturnSequenceSerials(sequencePath, reservedLast, reservedNext - 1);
  }
  haveReserved = false;
}

// A serial from the sequence file; false when the file cannot serve one
// (then the file is not used again in this run). Problems are kept for
// TakeMsgIdSequenceProblem.
bool SerialFromSequence(uint32_t* serial) {
  for (;;) {
    const uint32_t clock = ClockSerialValue(ReadClock());
    if (GiveReserved(clock, serial)) return true;
    ReturnReserved();
    uint32_t first = 0;
    switch (TakeSequenceSerial(sequencePath, clock, WaitForClockSerial, &first,
                               kSerialBatch)) {
      case SequenceTake::kTaken:
        haveReserved = true;
        reservedNext = first;
        reservedLast = first + (kSerialBatch - 1);
        if (GiveReserved(first, serial)) return true;
        continue;
      case SequenceTake::kRewritten:
        sequenceProblem = "Garbled MSGID sequence file " + sequencePath;
        *serial = first;
        return true;
      case SequenceTake::kGarbled:
        sequenceProblem = "Garbled MSGID sequence file " + sequencePath;
        sequenceBroken = true;
        *serial = first;
        return true;
      case SequenceTake::kFailed:
        sequenceProblem = "Unable to use MSGID sequence file " + sequencePath;
        sequenceBroken = true;
        return false;
    }
  }
}

}  // namespace

void UseMsgIdSequence(std::string_view path) {
  ReturnReserved();
  sequencePath = std::string(path);
  sequenceBroken = false;
  sequenceProblem.clear();
}

std::string TakeMsgIdSequenceProblem() {
  std::string problem;
  problem.swap(sequenceProblem);
  return problem;
}

std::string MakeMsgIdSerial() {
  uint32_t v = 0;
  if (sequencePath.empty() || sequenceBroken || !SerialFromSequence(&v)) {
    v = WaitForClockSerial();
  }
  issuedSerials.insert(v);
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text(8, '0');
  for (int i = 7; i >= 0; --i) {
    text[i] = kDigits[v & 0xF];
    v >>= 4;
  }
  return text;
}

}  // namespace kavel
