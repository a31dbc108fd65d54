// Dates and times: the one in-memory form and its conversions to the forms
// the message bases store (DOS packed, seconds since 1970, month names and
// two-digit years), and the MSGID serial numbers. All times are local; no
// time zone is handled anywhere.
#ifndef KAVEL_MSGBASE_DATE_TIME_H_
#define KAVEL_MSGBASE_DATE_TIME_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace kavel {

struct DateTimeRecord {
  uint16_t hour = 0;       // 0-23
  uint16_t minute = 0;     // 0-59
  uint16_t second = 0;     // 0-59
  uint16_t hundredth = 0;  // 0-99
  uint16_t day = 0;        // 1-31
  uint16_t month = 0;      // 1-12; 0 where a month name was not recognised
  uint16_t year = 0;       // full year, e.g. 2001
};

inline bool operator==(const DateTimeRecord& a, const DateTimeRecord& b) {
  return a.hour == b.hour && a.minute == b.minute && a.second == b.second &&
         a.hundredth == b.hundredth && a.day == b.day && a.month == b.month &&
         a.year == b.year;
}

// Orders by year, month, day, hour, minute, second (hundredths ignored):
// -1, 0 or 1.
int CompareDateTimes(const DateTimeRecord& a, const DateTimeRecord& b);

// Clamps `dt` into [earliest, latest] (compared as CompareDateTimes does):
// a date outside the range becomes the nearest end of it, never a wrapped
// date. Hundredths are kept unless the value was clamped (then 0).
DateTimeRecord ClampDateTime(const DateTimeRecord& dt,
                             const DateTimeRecord& earliest,
                             const DateTimeRecord& latest);

// Reads the platform clock; all seven fields are set.
void CurrentDateTime(DateTimeRecord* dt);

// DOS packed date-time: high word the date (day bits 0-4, month 5-8,
// year-1980 9-15), low word the time (second/2 bits 0-4, minute 5-10,
// hour 11-15). Hundredths are dropped and odd seconds rounded down. Dates
// before 1 Jan 1980 00:00:00 or after 31 Dec 2107 23:59:58 are clamped to
// those ends; fields too large for their bits are clamped to the field's
// largest valid value.
uint32_t PackDateTime(const DateTimeRecord& dt);
// `hundredth` keeps its value.
void UnpackDateTime(uint32_t packed, DateTimeRecord* dt);

// Julian day number of the Gregorian date (1 Jan 1970 is 2440588).
int32_t JulianDay(const DateTimeRecord& dt);
void FromJulianDay(int32_t julian_day, uint16_t* year, uint16_t* month,
                   uint16_t* day);

// Seconds since 1 Jan 1970 00:00:00 of the local clock; hundredths are
// ignored. Dates before 1970 give 0 and dates after 2038-01-19 03:14:07
// give 2147483647 (clamped, never wrapped).
int32_t DateTimeToSeconds(const DateTimeRecord& dt);
// A negative count is taken as 0. `hundredth` keeps its value.
void SecondsToDateTime(int32_t seconds, DateTimeRecord* dt);

// 1..12 when the whole text equals "JAN".."DEC" ignoring ASCII case, else 0.
int MonthFromName(std::string_view text);
// "Jan".."Dec" for 1..12, "???" for anything else.
std::string MonthName(int month);
// year - 2000 from 2000 on, year - 1900 before. The result is meaningful for
// 1900..2099 only; callers clamp first (see kEarliestTwoDigitYear).
int TwoDigitYear(int year);
// 0..70 -> 2000..2070, 71..99 -> 1971..1999.
int FullYear(int two_digit_year);

// The range the two-digit-year text dates can express unambiguously.
inline constexpr int kEarliestTwoDigitYear = 1971;
inline constexpr int kLatestTwoDigitYear = 2070;

// The date text of *.MSG headers (and the Squish ftsDate field), read in
// the three forms tossers write into `dt` (all fields 0 first;
// unrecognised text leaves them 0).
void ParseMsgDate(std::string_view text, DateTimeRecord* dt);
// "DD Mon YY  HH:MM:SS" (19 characters); dates outside 1971..2070 are
// clamped to that range.
std::string FormatMsgDate(const DateTimeRecord& dt);

// Eight lower-case hex digits: the next serial of the sequence file named
// by UseMsgIdSequence (msgbase/msgid_sequence.h), which never repeats across
// the runs sharing that file and never waits for the clock. Without a
// file, or once the file could not serve a serial, the clock's value, read
// again until it differs from every value given out in this run.
std::string MakeMsgIdSerial();

// Draws the serials of this run from the sequence file at `path` (program
// path text); an empty path leaves the clock rule alone. Serials are taken
// from the file a batch at a time; what the file served before and this
// run did not give out is handed back first (a run ends with
// UseMsgIdSequence("")).
void UseMsgIdSequence(std::string_view path);

// The error line for the problem the sequence file had since the last
// call ("Garbled MSGID sequence file <path>" or "Unable to use MSGID
// sequence file <path>"), or empty. A problem is reported once: a garbled
// file is rewritten with the serial given out instead, and a file that
// cannot serve a serial is not used again in the run.
std::string TakeMsgIdSequenceProblem();

}  // namespace kavel

#endif  // KAVEL_MSGBASE_DATE_TIME_H_
