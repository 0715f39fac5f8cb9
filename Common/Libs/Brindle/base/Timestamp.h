// CTimestamp: a point in time as whole seconds since 1970-01-01 00:00:00 UTC,
// shown and read in the machine's local time zone.
//
// Contract
// - The value is a `long` (this platform's time_t). Values of 0 or less are
//   not valid times: setting a calendar time that falls there, or that cannot
//   be converted at all, gives the current time instead.
// - Every calendar conversion uses local time except GetTimestampGMT. A local
//   time that happens twice (the hour when the clocks go back) means its first
//   occurrence; a local time that never happens (the hour skipped when the
//   clocks go forward) is moved on as the C library's mktime moves it.
// - Formatting never depends on the process locale (day names are always
//   "Mon", "Tue", ...), never cuts its result, and gives "<error>" when the
//   value has no local time.
// - The parsers accept only the shapes below, with every field made of digits
//   and naming a real calendar date and time of day; anything else returns
//   false and leaves the value unchanged.
//     date: YYMMDD, YYYYMMDD, YYYY?MM?DD, YY?MM?DD (? one of '/', '-', '.',
//           the same at both places; two-digit years 70-99 are 1970-1999 and
//           00-69 are 2000-2069); the year must be 1970 or later.
//     time: HHMMSS, HH:MM:SS, HH.MM.SS (hour 0-23, minute and second 0-59).
//     ISO:  12 to 19 characters: date and time separated by one space, or
//           written together (the FormatISO form "YYYYMMDDHH:MM:SS").
// - Arithmetic saturates at the limits of `long` instead of wrapping.
// - Nothing here throws.
//
// Thread-safety: a CTimestamp is a plain value; distinct objects may be used
// from any threads at once, one object by one thread at a time. Only the
// re-entrant time functions of the C library are used (localtime_r, gmtime_r,
// mktime, timegm). Changing TZ (setenv + tzset) while other threads convert
// times is not safe: that is the C library's rule.
#pragma once

#include <ctime>
#include <string>

namespace Brindle {

class CTimestamp {
public:
    enum DAYOFTHEWEEK {
        SUNDAY = 0,
        MONDAY = 1,
        TUESDAY = 2,
        WEDNESDAY = 3,
        THURSDAY = 4,
        FRIDAY = 5,
        SATURDAY = 6,
        UNKNOWN_DAY = 7
    };

    // The current time.
    CTimestamp();
    CTimestamp(long value);
    // Local calendar time; see SetTimestamp.
    CTimestamp(int year, int month, int day, int hour, int minute, int second);
    CTimestamp(const CTimestamp& other) = default;
    CTimestamp& operator=(const CTimestamp& other) = default;
    CTimestamp& operator=(long value);

    void SetNow();
    void SetTimestamp(long value);
    // Local calendar time (month 1-12, day 1-31) to the value; fields out of
    // range are carried over as mktime does (February 30 becomes a day in
    // March). A time before 1970 or one that cannot be converted gives the
    // current time.
    void SetTimestamp(int year, int month, int day, int hour, int minute, int second);

    long GetTimestamp() const { return m_time; }
    operator long() const { return m_time; }

    // Local calendar fields (year with century, month 1-12, day 1-31, hour
    // 0-23, minute, second); a null pointer skips its field. When the value
    // has no local time every field asked for is 0.
    void GetTimestamp(int* year, int* month, int* day, int* hour, int* minute, int* second) const;
    // Local and UTC broken-down time; all zero when the value cannot be
    // converted. A null pointer is ignored.
    void GetTimestamp(tm* local) const;
    void GetTimestampGMT(tm* utc) const;

    // strftime in local time, in the "C" locale, of any length.
    std::string Format(const std::string& format) const;
    // "YYYYMMDDHH:MM:SS" (sixteen characters).
    std::string FormatISO() const;
    // "HH:MM:SS".
    std::string FormatHMS() const;
    // "YYYYMMDD".
    std::string FormatYMD() const;

    // Date and time of day.
    bool ParseISO(const std::string& text);
    // A date: the value becomes local midnight of that date.
    bool ParseYMD(const std::string& text);
    // A time of day: the value keeps its local date and takes that time, with
    // daylight saving as it is in force at that time of that day.
    bool ParseHMS(const std::string& text);

    // The local day of the week; UNKNOWN_DAY when the value has no local time.
    DAYOFTHEWEEK DayOfWeek() const;
    // "Sun" ... "Sat"; "???" for any other value.
    static const char* DayToString(DAYOFTHEWEEK day);
    // Compares the first min(length, 3) characters of the text, ignoring
    // ASCII case, with "Sun" ... "Sat" in that order; the first match wins,
    // so "" and "S" give SUNDAY. No match (or a null text) gives UNKNOWN_DAY.
    static DAYOFTHEWEEK StringToDay(const std::string& text);
    static DAYOFTHEWEEK StringToDay(const char* text);

    // The local calendar dates are equal (false when either has none).
    bool SameDayAs(const CTimestamp& other) const;
    // This value is later than the other.
    bool IsPast(const CTimestamp& other) const;

    bool operator==(const CTimestamp& other) const { return m_time == other.m_time; }
    bool operator==(long value) const { return m_time == value; }

    CTimestamp& operator+=(long seconds);
    CTimestamp& operator-=(long seconds);
    CTimestamp& operator++();
    long operator+(long seconds) const;
    long operator-(long seconds) const;
    long operator+(const CTimestamp& other) const;
    // This minus the other, in seconds.
    long operator-(const CTimestamp& other) const;

private:
    long m_time;
};

} // namespace Brindle
