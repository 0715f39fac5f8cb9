#include "Query.h"

#include "Brindle/base/LogData.h"

#include <charconv>
#include <cstdio>
#include <ctime>

using namespace Brindle;

namespace logd {

namespace {

bool Digits(const std::string& text, std::size_t at, std::size_t count, int& value)
{
    if (at + count > text.size())
        return false;
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

std::string Csv(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + '"';
}

std::string Json(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7f) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + '"';
}

} // namespace

bool ParseTime(const std::string& text, long long& seconds)
{
    if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos) {
        const auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
        return ec == std::errc() && p == text.data() + text.size();
    }
    std::string t = text;
    if (!t.empty() && (t.back() == 'Z' || t.back() == 'z'))
        t.pop_back();
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!Digits(t, 0, 4, year) || t.size() < 10 || t[4] != '-' || !Digits(t, 5, 2, month) || t[7] != '-' ||
        !Digits(t, 8, 2, day))
        return false;
    if (t.size() > 10) {
        if ((t[10] != 'T' && t[10] != ' ') || !Digits(t, 11, 2, hour) || t.size() < 16 || t[13] != ':' ||
            !Digits(t, 14, 2, minute))
            return false;
        if (t.size() > 16 && (t.size() != 19 || t[16] != ':' || !Digits(t, 17, 2, second)))
            return false;
    }
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
        return false;
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    const time_t value = ::timegm(&tm);
    // timegm rolls 31 February on into March: such a date does not exist.
    if (tm.tm_mday != day || tm.tm_mon != month - 1)
        return false;
    seconds = static_cast<long long>(value);
    return true;
}

std::string FormatTime(long long seconds)
{
    const time_t value = static_cast<time_t>(seconds);
    std::tm tm{};
    if (::gmtime_r(&value, &tm) == nullptr)
        return std::to_string(seconds);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                  tm.tm_hour, tm.tm_min, tm.tm_sec);
    return text;
}

bool ParseFormat(const std::string& text, Format& format)
{
    if (text == "line")
        format = Format::Line;
    else if (text == "csv")
        format = Format::Csv;
    else if (text == "json")
        format = Format::Json;
    else
        return false;
    return true;
}

bool ParseSeverity(const std::string& text, int& severity)
{
    static const char* const letters = "IWED";
    if (text.size() == 1) {
        for (int i = 0; i < 4; ++i) {
            if (text[0] == letters[i] || text[0] == letters[i] + ('a' - 'A')) {
                severity = i;
                return true;
            }
        }
    }
    const auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), severity);
    return !text.empty() && ec == std::errc() && p == text.data() + text.size();
}

std::string CsvHeader()
{
    return "id,received,time,counter,severity,source,host,application,batch,lasterror,text,peer\n";
}

std::string FormatRecord(const Record& r, Format format)
{
    switch (format) {
    case Format::Line: {
        CLogData data(static_cast<SEVERITY>(r.severity), r.source.empty() ? std::string(" ") : r.source,
                      r.application.empty() ? std::string(" ") : r.application, r.batch, r.lastError, CVar(""));
        data.SetSource(r.source);
        data.SetApplication(r.application);
        data.SetHostname(r.host);
        data.SetTimestampValue(static_cast<long>(r.time));
        data.SetCounter(r.counter);
        data.AddText(r.text);
        std::string out;
        AppendRecordLine(out, data);
        return out;
    }
    case Format::Csv:
        return std::to_string(r.id) + ',' + FormatTime(r.received) + ',' + FormatTime(r.time) + ',' +
               std::to_string(r.counter) + ',' + std::to_string(r.severity) + ',' + Csv(r.source) + ',' +
               Csv(r.host) + ',' + Csv(r.application) + ',' + std::to_string(r.batch) + ',' +
               std::to_string(r.lastError) + ',' + Csv(r.text) + ',' + Csv(r.peer) + '\n';
    case Format::Json:
        return "{\"id\":" + std::to_string(r.id) + ",\"received\":" + Json(FormatTime(r.received)) +
               ",\"time\":" + Json(FormatTime(r.time)) + ",\"t\":" + std::to_string(r.time) +
               ",\"counter\":" + std::to_string(r.counter) + ",\"severity\":" + std::to_string(r.severity) +
               ",\"source\":" + Json(r.source) + ",\"host\":" + Json(r.host) +
               ",\"application\":" + Json(r.application) + ",\"batch\":" + std::to_string(r.batch) +
               ",\"lasterror\":" + std::to_string(r.lastError) + ",\"text\":" + Json(r.text) +
               ",\"peer\":" + Json(r.peer) + "}\n";
    }
    return {};
}

} // namespace logd
