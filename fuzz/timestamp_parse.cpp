// Feeds arbitrary text to the timestamp parsers and to Format, in a zone with
// daylight saving. Whatever a parser accepts must format and parse back to
// the same text; whatever it refuses must leave the value untouched.
#include "Brindle/base/Timestamp.h"

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>

using Brindle::CTimestamp;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    setenv("TZ", "Europe/London", 1);
    tzset();
    return 0;
}

namespace {

void Check(bool ok, long before, const CTimestamp& ts, std::string (CTimestamp::*format)() const,
           bool (CTimestamp::*parse)(const std::string&))
{
    if (!ok) {
        if (ts.GetTimestamp() != before)
            std::abort(); // a refusal changed the value
        return;
    }
    if (ts.GetTimestamp() <= 0)
        std::abort(); // accepted a time that is not valid
    const std::string text = (ts.*format)();
    CTimestamp again(before);
    if (!(again.*parse)(text) || (again.*format)() != text)
        std::abort(); // our own output must read back
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const long start = 1178109296; // 2007-05-02 12:34:56 UTC

    CTimestamp iso(start);
    Check(iso.ParseISO(text), start, iso, &CTimestamp::FormatISO, &CTimestamp::ParseISO);
    CTimestamp ymd(start);
    Check(ymd.ParseYMD(text), start, ymd, &CTimestamp::FormatYMD, &CTimestamp::ParseYMD);
    CTimestamp hms(start);
    Check(hms.ParseHMS(text), start, hms, &CTimestamp::FormatHMS, &CTimestamp::ParseHMS);
    if (hms.GetTimestamp() != start && !hms.SameDayAs(CTimestamp(start)))
        std::abort(); // a time of day must keep the date

    const CTimestamp::DAYOFTHEWEEK day = CTimestamp::StringToDay(text);
    if (day < CTimestamp::SUNDAY || day > CTimestamp::UNKNOWN_DAY)
        std::abort();
    (void)CTimestamp::DayToString(day);

    // The text as a strftime format, and as the value's seconds.
    if (size <= 256)
        (void)iso.Format(text);
    long value = 0;
    for (size_t i = 0; i < size && i < sizeof value; ++i)
        value = static_cast<long>(static_cast<unsigned long>(value) << 8 | data[i]);
    const CTimestamp raw(value);
    (void)raw.FormatISO();
    (void)raw.DayOfWeek();
    CTimestamp shifted(raw);
    shifted += value;
    (void)(shifted - raw);
    return 0;
}
