#include "Brindle/odbc/OdbcDateTime.h"

#include "Brindle/base/Timestamp.h"

#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <stdexcept>

namespace Brindle {

namespace {

constexpr std::uint32_t NanosPerMilli = 1000000;

bool IsLeapYear(long year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(long year, long month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

tm TmFromRecord(const TIMESTAMP_STRUCT& v)
{
    tm t{};
    t.tm_year = v.year - 1900;
    t.tm_mon = v.month - 1;
    t.tm_mday = v.day;
    t.tm_hour = v.hour;
    t.tm_min = v.minute;
    t.tm_sec = v.second;
    t.tm_isdst = -1;
    return t;
}

TIMESTAMP_STRUCT RecordFromTm(const tm& t)
{
    TIMESTAMP_STRUCT v;
    v.year = static_cast<std::int16_t>(t.tm_year + 1900);
    v.month = static_cast<std::uint16_t>(t.tm_mon + 1);
    v.day = static_cast<std::uint16_t>(t.tm_mday);
    v.hour = static_cast<std::uint16_t>(t.tm_hour);
    v.minute = static_cast<std::uint16_t>(t.tm_min);
    v.second = static_cast<std::uint16_t>(t.tm_sec);
    return v;
}

bool IsSeparator(char c)
{
    return c == ' ' || c == ':' || c == '-' || c == '/' || c == '.';
}

} // namespace

COdbcDateTime::COdbcDateTime(short sqlType) : COdbcValue(sqlType, SQL_C_TYPE_TIMESTAMP) {}

COdbcDateTime::COdbcDateTime(const char* text) : COdbcDateTime()
{
    SetString(text);
}

COdbcDateTime::COdbcDateTime(long seconds) : COdbcDateTime()
{
    SetLong(seconds);
}

COdbcDateTime::COdbcDateTime(const TIMESTAMP_STRUCT& value) : COdbcDateTime()
{
    SetTimestamp(value);
}

int COdbcDateTime::BindColumn(void* statement, short column)
{
    m_text[0] = '\0';
    return SQLBindCol(statement, static_cast<SQLUSMALLINT>(column), SQL_C_TYPE_TIMESTAMP, &m_record,
                      sizeof m_record, &m_length);
}

int COdbcDateTime::BindParam(void* statement, short parameter)
{
    if (IsNull())
        return SQLBindParameter(statement, static_cast<SQLUSMALLINT>(parameter), SQL_PARAM_INPUT, SQL_C_CHAR,
                                SQL_CHAR, TextBytes - 1, 0, nullptr, 0, &m_length);
    const char* text = GetString();
    m_length = NTS;
    return SQLBindParameter(statement, static_cast<SQLUSMALLINT>(parameter), SQL_PARAM_INPUT, SQL_C_CHAR, SQL_CHAR,
                            std::strlen(text), 0, const_cast<char*>(text), TextBytes, &m_length);
}

std::string COdbcDateTime::FormatText(const TIMESTAMP_STRUCT& v)
{
    char text[64];
    if (v.fraction != 0)
        std::snprintf(text, sizeof text, "%d-%02d-%02d %02d:%02d:%02d.%03d", v.year, v.month, v.day, v.hour, v.minute,
                      v.second, static_cast<int>(v.fraction / NanosPerMilli));
    else if (v.hour == 0 && v.minute == 0 && v.second == 0)
        std::snprintf(text, sizeof text, "%d-%d-%d", v.year, v.month, v.day);
    else
        std::snprintf(text, sizeof text, "%02d-%02d-%02d %02d:%02d:%02d", v.year, v.month, v.day, v.hour, v.minute,
                      v.second);
    return text;
}

bool COdbcDateTime::ParseText(std::string_view text, TIMESTAMP_STRUCT& value)
{
    long fields[7] = {};
    int count = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        if (IsSeparator(text[i])) {
            ++i;
            continue;
        }
        if (count == 7)
            return false;
        long field = 0;
        std::size_t digits = 0;
        for (; i < text.size() && !IsSeparator(text[i]); ++i, ++digits) {
            if (text[i] < '0' || text[i] > '9')
                return false;
            field = field * 10 + (text[i] - '0');
            if (field > 99999) // beyond every field's range; stop before it can overflow
                return false;
        }
        fields[count++] = field;
    }
    // Date required; an hour needs its minute.
    if (count < 3 || count == 4)
        return false;
    const long year = fields[0], month = fields[1], day = fields[2];
    if (year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
        return false;
    if (fields[3] > 23 || fields[4] > 59 || fields[5] > 59 || fields[6] > 999)
        return false;
    value.year = static_cast<std::int16_t>(year);
    value.month = static_cast<std::uint16_t>(month);
    value.day = static_cast<std::uint16_t>(day);
    value.hour = static_cast<std::uint16_t>(fields[3]);
    value.minute = static_cast<std::uint16_t>(fields[4]);
    value.second = static_cast<std::uint16_t>(fields[5]);
    value.fraction = static_cast<std::uint32_t>(fields[6]) * NanosPerMilli;
    return true;
}

long COdbcDateTime::ToSeconds(const TIMESTAMP_STRUCT& v)
{
    tm t = TmFromRecord(v);
    const long seconds = static_cast<long>(std::mktime(&t));
    // CTimestamp's rules (the first of a repeated hour) where it keeps the
    // value; times up to 1970 convert as the C library does.
    if (seconds > 0)
        return CTimestamp(v.year, v.month, v.day, v.hour, v.minute, v.second).GetTimestamp();
    return seconds;
}

TIMESTAMP_STRUCT COdbcDateTime::FromSeconds(long seconds)
{
    tm t{};
    const time_t value = seconds;
    // Beyond what the record's year can hold: the zero record.
    if (localtime_r(&value, &t) == nullptr || t.tm_year + 1900 > 9999 || t.tm_year + 1900 < 0)
        return TIMESTAMP_STRUCT{};
    return RecordFromTm(t);
}

std::string COdbcDateTime::GetStdString() const
{
    return GetString();
}

const char* COdbcDateTime::GetString() const
{
    if (IsNull())
        return "";
    if (m_text[0] == '\0') {
        const std::string text = FormatText(m_record);
        std::snprintf(m_text, sizeof m_text, "%s", text.c_str());
    }
    return m_text;
}

long COdbcDateTime::GetLong() const
{
    return IsNull() ? 0 : ToSeconds(m_record);
}

TIMESTAMP_STRUCT COdbcDateTime::GetTimestamp() const
{
    return IsNull() ? TIMESTAMP_STRUCT{} : m_record;
}

tm COdbcDateTime::GetTm() const
{
    return IsNull() ? tm{} : TmFromRecord(m_record);
}

void COdbcDateTime::SetString(const char* text)
{
    if (text == nullptr) {
        SetNull();
        return;
    }
    SetStdString(text);
}

void COdbcDateTime::SetStdString(const std::string& text)
{
    TIMESTAMP_STRUCT value{};
    if (!ParseText(text, value))
        throw std::invalid_argument("Invalid datetime format");
    Store(value);
}

void COdbcDateTime::SetLong(long seconds)
{
    // Through CTimestamp's own conversion where it keeps the value.
    if (seconds > 0) {
        tm t{};
        CTimestamp(seconds).GetTimestamp(&t);
        Store(RecordFromTm(t));
        return;
    }
    Store(FromSeconds(seconds));
}

void COdbcDateTime::SetTimestamp(const TIMESTAMP_STRUCT& value)
{
    Store(value);
}

void COdbcDateTime::SetTm(const tm* value)
{
    if (value == nullptr) {
        SetNull();
        return;
    }
    Store(RecordFromTm(*value));
}

void COdbcDateTime::Store(const TIMESTAMP_STRUCT& value)
{
    m_record = value;
    m_text[0] = '\0';
    m_length = sizeof m_record;
}

} // namespace Brindle
