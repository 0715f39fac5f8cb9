#include "Brindle/base/Timestamp.h"

#include "Brindle/base/ClassicLocale.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <string_view>
#include <type_traits>
#include <vector>

namespace Brindle {

static_assert(std::is_same_v<time_t, long>, "the value is this platform's time_t");

namespace {

// Calendar fields as written by people: year with century, month 1-12.
struct Fields {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

bool SameFields(const tm& a, const tm& b)
{
    return a.tm_year == b.tm_year && a.tm_mon == b.tm_mon && a.tm_mday == b.tm_mday && a.tm_hour == b.tm_hour &&
           a.tm_min == b.tm_min && a.tm_sec == b.tm_sec;
}

// Local broken-down time; false when there is none, or when its year with
// century would not fit an int (callers add 1900).
bool ToLocal(long value, tm& out)
{
    const time_t t = value;
    return localtime_r(&t, &out) != nullptr && out.tm_year <= INT_MAX - 1900;
}

// Local calendar fields to seconds. Fields out of range are first carried
// over (February 30 -> March 1 or 2) on a time line without daylight saving,
// so the carrying never depends on the zone. Then every instant the local
// clock shows those fields is sought (there are two when the clocks go back)
// and the earliest wins; when there is none (the clocks skipped that time)
// mktime's own choice stands.
bool LocalFieldsToTime(const Fields& f, long& out)
{
    const long long year = static_cast<long long>(f.year) - 1900;
    const long long month = static_cast<long long>(f.month) - 1;
    if (year < INT_MIN || year > INT_MAX || month < INT_MIN)
        return false;

    tm wanted{};
    wanted.tm_year = static_cast<int>(year);
    wanted.tm_mon = static_cast<int>(month);
    wanted.tm_mday = f.day;
    wanted.tm_hour = f.hour;
    wanted.tm_min = f.minute;
    wanted.tm_sec = f.second;
    errno = 0;
    const time_t carried = timegm(&wanted);
    if (carried == static_cast<time_t>(-1) && errno == EOVERFLOW)
        return false;
    tm normal{};
    if (gmtime_r(&carried, &normal) == nullptr)
        return false;

    bool found = false;
    time_t best = 0;
    for (int dst = 0; dst <= 1; ++dst) {
        tm probe = normal;
        probe.tm_isdst = dst;
        const time_t t = mktime(&probe);
        tm back{};
        if (localtime_r(&t, &back) == nullptr || !SameFields(back, normal))
            continue;
        if (!found || t < best)
            best = t;
        found = true;
    }
    if (!found) {
        tm probe = normal;
        probe.tm_isdst = -1;
        errno = 0;
        const time_t t = mktime(&probe);
        if (t == static_cast<time_t>(-1) && errno != 0)
            return false;
        best = t;
    }
    out = best;
    return true;
}

bool AllDigits(std::string_view s)
{
    if (s.empty())
        return false;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// The value of a run of digits (the caller has checked them; runs are short).
int DigitsValue(std::string_view s)
{
    int v = 0;
    for (char c : s)
        v = v * 10 + (c - '0');
    return v;
}

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month)
{
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

// Two-digit years: 70-99 are 1970-1999, 00-69 are 2000-2069.
int WindowedYear(int twoDigits)
{
    const int year = twoDigits + 1900;
    return year < 1970 ? year + 100 : year;
}

bool IsDateSeparator(char c)
{
    return c == '/' || c == '-' || c == '.';
}

bool ParseDate(std::string_view s, Fields& f)
{
    if (s.size() < 6 || s.size() > 10)
        return false;
    const std::size_t sep = s.find_first_of("/-.");
    int year = 0;
    std::string_view month;
    std::string_view day;
    if (sep == std::string_view::npos) {
        if (!AllDigits(s))
            return false;
        if (s.size() == 6) {
            year = WindowedYear(DigitsValue(s.substr(0, 2)));
            month = s.substr(2, 2);
            day = s.substr(4, 2);
        } else if (s.size() == 8) {
            year = DigitsValue(s.substr(0, 4));
            month = s.substr(4, 2);
            day = s.substr(6, 2);
        } else {
            return false;
        }
    } else if (sep == 4 || sep == 2) {
        // YYYY?MM?DD or YY?MM?DD: exactly that long, the same separator twice.
        const std::size_t yearDigits = sep;
        if (s.size() != yearDigits + 6 || s[yearDigits + 3] != s[sep] || !IsDateSeparator(s[sep]))
            return false;
        const std::string_view y = s.substr(0, yearDigits);
        month = s.substr(yearDigits + 1, 2);
        day = s.substr(yearDigits + 4, 2);
        if (!AllDigits(y) || !AllDigits(month) || !AllDigits(day))
            return false;
        year = yearDigits == 4 ? DigitsValue(y) : WindowedYear(DigitsValue(y));
    } else {
        return false;
    }
    f.year = year;
    f.month = DigitsValue(month);
    f.day = DigitsValue(day);
    return f.year >= 1970 && f.month >= 1 && f.month <= 12 && f.day >= 1 && f.day <= DaysInMonth(f.year, f.month);
}

bool ParseTime(std::string_view s, Fields& f)
{
    std::string_view h;
    std::string_view m;
    std::string_view sec;
    if (s.size() == 8) {
        if (s[2] != s[5] || (s[2] != ':' && s[2] != '.'))
            return false;
        h = s.substr(0, 2);
        m = s.substr(3, 2);
        sec = s.substr(6, 2);
    } else if (s.size() == 6) {
        h = s.substr(0, 2);
        m = s.substr(2, 2);
        sec = s.substr(4, 2);
    } else {
        return false;
    }
    if (!AllDigits(h) || !AllDigits(m) || !AllDigits(sec))
        return false;
    f.hour = DigitsValue(h);
    f.minute = DigitsValue(m);
    f.second = DigitsValue(sec);
    return f.hour <= 23 && f.minute <= 59 && f.second <= 59;
}

// A parsed calendar time to a valid value (after 1970-01-01 00:00:00 UTC).
bool ParsedToValue(const Fields& f, long& out)
{
    long t = 0;
    if (!LocalFieldsToTime(f, t) || t <= 0)
        return false;
    out = t;
    return true;
}

long SaturatingAdd(long a, long b)
{
    long r = 0;
    if (__builtin_add_overflow(a, b, &r))
        return b > 0 ? LONG_MAX : LONG_MIN;
    return r;
}

long SaturatingSub(long a, long b)
{
    long r = 0;
    if (__builtin_sub_overflow(a, b, &r))
        return b < 0 ? LONG_MAX : LONG_MIN;
    return r;
}

const char* const kDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

char AsciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

CTimestamp::CTimestamp() : m_time(static_cast<long>(time(nullptr))) {}

CTimestamp::CTimestamp(long value) : m_time(value) {}

CTimestamp::CTimestamp(int year, int month, int day, int hour, int minute, int second) : m_time(0)
{
    SetTimestamp(year, month, day, hour, minute, second);
}

CTimestamp& CTimestamp::operator=(long value)
{
    m_time = value;
    return *this;
}

void CTimestamp::SetNow()
{
    m_time = static_cast<long>(time(nullptr));
}

void CTimestamp::SetTimestamp(long value)
{
    m_time = value;
}

void CTimestamp::SetTimestamp(int year, int month, int day, int hour, int minute, int second)
{
    long t = 0;
    if (LocalFieldsToTime(Fields{year, month, day, hour, minute, second}, t) && t > 0)
        m_time = t;
    else
        SetNow();
}

void CTimestamp::GetTimestamp(int* year, int* month, int* day, int* hour, int* minute, int* second) const
{
    tm local{};
    const bool ok = ToLocal(m_time, local);
    if (year != nullptr)
        *year = ok ? local.tm_year + 1900 : 0;
    if (month != nullptr)
        *month = ok ? local.tm_mon + 1 : 0;
    if (day != nullptr)
        *day = ok ? local.tm_mday : 0;
    if (hour != nullptr)
        *hour = ok ? local.tm_hour : 0;
    if (minute != nullptr)
        *minute = ok ? local.tm_min : 0;
    if (second != nullptr)
        *second = ok ? local.tm_sec : 0;
}

void CTimestamp::GetTimestamp(tm* local) const
{
    if (local != nullptr && !ToLocal(m_time, *local))
        *local = tm{};
}

void CTimestamp::GetTimestampGMT(tm* utc) const
{
    const time_t t = m_time;
    if (utc != nullptr && gmtime_r(&t, utc) == nullptr)
        *utc = tm{};
}

std::string CTimestamp::Format(const std::string& format) const
{
    tm local{};
    if (!ToLocal(m_time, local))
        return "<error>";
    if (format.empty())
        return std::string();
    // strftime gives 0 both for "did not fit" and for an empty result (a
    // lone "%p" can be empty): grow while it may not have fitted, up to a
    // size no format of this length can need.
    const std::size_t limit = 256 * (format.size() + 1);
    std::vector<char> buffer(64);
    for (;;) {
        const std::size_t n = strftime_l(buffer.data(), buffer.size(), format.c_str(), &local, GetClassicLocale());
        if (n > 0)
            return std::string(buffer.data(), n);
        if (buffer.size() >= limit)
            return std::string();
        buffer.resize(buffer.size() * 4 < limit ? buffer.size() * 4 : limit);
    }
}

std::string CTimestamp::FormatISO() const
{
    return Format("%Y%m%d%H:%M:%S");
}

std::string CTimestamp::FormatHMS() const
{
    return Format("%H:%M:%S");
}

std::string CTimestamp::FormatYMD() const
{
    return Format("%Y%m%d");
}

bool CTimestamp::ParseISO(const std::string& text)
{
    const std::string_view s(text);
    if (s.size() < 12 || s.size() > 19)
        return false;
    std::string_view date;
    std::string_view timeOfDay;
    const std::size_t space = s.find(' ');
    if (space != std::string_view::npos) {
        date = s.substr(0, space);
        timeOfDay = s.substr(space + 1);
    } else {
        const std::size_t timeLength = s.find(':') != std::string_view::npos ? 8 : 6;
        date = s.substr(0, s.size() - timeLength);
        timeOfDay = s.substr(s.size() - timeLength);
    }
    Fields f;
    long t = 0;
    if (!ParseDate(date, f) || !ParseTime(timeOfDay, f) || !ParsedToValue(f, t))
        return false;
    m_time = t;
    return true;
}

bool CTimestamp::ParseYMD(const std::string& text)
{
    Fields f;
    long t = 0;
    if (!ParseDate(text, f) || !ParsedToValue(f, t))
        return false;
    m_time = t;
    return true;
}

bool CTimestamp::ParseHMS(const std::string& text)
{
    Fields f;
    tm local{};
    if (!ParseTime(text, f) || !ToLocal(m_time, local))
        return false;
    // The date is this value's; whether daylight saving applies is decided
    // for the new time of day, not carried over from the old one, so a day
    // on which the clocks change still gives the time the text names.
    f.year = local.tm_year + 1900;
    f.month = local.tm_mon + 1;
    f.day = local.tm_mday;
    long t = 0;
    if (!ParsedToValue(f, t))
        return false;
    m_time = t;
    return true;
}

CTimestamp::DAYOFTHEWEEK CTimestamp::DayOfWeek() const
{
    tm local{};
    if (!ToLocal(m_time, local) || local.tm_wday < 0 || local.tm_wday > 6)
        return UNKNOWN_DAY;
    return static_cast<DAYOFTHEWEEK>(local.tm_wday);
}

const char* CTimestamp::DayToString(DAYOFTHEWEEK day)
{
    const int index = static_cast<int>(day);
    return index >= 0 && index < 7 ? kDayNames[index] : "???";
}

CTimestamp::DAYOFTHEWEEK CTimestamp::StringToDay(const std::string& text)
{
    const std::size_t n = text.size() < 3 ? text.size() : 3;
    for (int day = 0; day < 7; ++day) {
        bool match = true;
        for (std::size_t i = 0; i < n && match; ++i)
            match = AsciiLower(text[i]) == AsciiLower(kDayNames[day][i]);
        if (match)
            return static_cast<DAYOFTHEWEEK>(day);
    }
    return UNKNOWN_DAY;
}

CTimestamp::DAYOFTHEWEEK CTimestamp::StringToDay(const char* text)
{
    return text == nullptr ? UNKNOWN_DAY : StringToDay(std::string(text));
}

bool CTimestamp::SameDayAs(const CTimestamp& other) const
{
    tm a{};
    tm b{};
    if (!ToLocal(m_time, a) || !ToLocal(other.m_time, b))
        return false;
    return a.tm_year == b.tm_year && a.tm_mon == b.tm_mon && a.tm_mday == b.tm_mday;
}

bool CTimestamp::IsPast(const CTimestamp& other) const
{
    return m_time > other.m_time;
}

CTimestamp& CTimestamp::operator+=(long seconds)
{
    m_time = SaturatingAdd(m_time, seconds);
    return *this;
}

CTimestamp& CTimestamp::operator-=(long seconds)
{
    m_time = SaturatingSub(m_time, seconds);
    return *this;
}

CTimestamp& CTimestamp::operator++()
{
    m_time = SaturatingAdd(m_time, 1);
    return *this;
}

long CTimestamp::operator+(long seconds) const
{
    return SaturatingAdd(m_time, seconds);
}

long CTimestamp::operator-(long seconds) const
{
    return SaturatingSub(m_time, seconds);
}

long CTimestamp::operator+(const CTimestamp& other) const
{
    return SaturatingAdd(m_time, other.m_time);
}

long CTimestamp::operator-(const CTimestamp& other) const
{
    return SaturatingSub(m_time, other.m_time);
}

} // namespace Brindle
