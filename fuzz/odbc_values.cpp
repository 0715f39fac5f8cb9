// Feeds arbitrary text to what the ODBC layer reads from callers and drivers:
// the date and time text of COdbcDateTime, and numbers kept as text. A date
// the parser accepts must render and read back to the same record; one it
// refuses must throw and leave the value untouched; number texts of any
// shape must convert without overflow.
#include "Brindle/odbc/OdbcDateTime.h"
#include "Brindle/odbc/OdbcValues.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

using namespace Brindle;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    setenv("TZ", "Europe/London", 1);
    tzset();
    return 0;
}

namespace {

bool SameRecord(const TIMESTAMP_STRUCT& a, const TIMESTAMP_STRUCT& b)
{
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour && a.minute == b.minute &&
           a.second == b.second && a.fraction == b.fraction;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);

    TIMESTAMP_STRUCT record{};
    const bool accepted = COdbcDateTime::ParseText(text, record);
    COdbcDateTime value("2001-02-03 04:05:06");
    try {
        value.SetStdString(text);
        if (!accepted)
            std::abort(); // SetStdString took what ParseText refused
    } catch (const std::invalid_argument&) {
        if (accepted || std::strcmp(value.GetString(), "2001-02-03 04:05:06") != 0)
            std::abort(); // a refusal changed the value
    }
    if (accepted) {
        if (record.month < 1 || record.month > 12 || record.day < 1 || record.day > 31 || record.hour > 23 ||
            record.minute > 59 || record.second > 59 || record.fraction >= 1000000000u)
            std::abort(); // accepted a field out of range
        const std::string rendered = COdbcDateTime::FormatText(record);
        if (rendered.size() >= COdbcDateTime::TextBytes)
            std::abort(); // the text form must fit its buffer
        TIMESTAMP_STRUCT again{};
        if (!COdbcDateTime::ParseText(rendered, again) || !SameRecord(record, again))
            std::abort(); // our own text must read back
        if (std::string(value.GetString()) != rendered)
            std::abort();
        // Through seconds and back: the same calendar time, unless the local
        // time does not exist or happens twice.
        (void)COdbcDateTime::FromSeconds(COdbcDateTime::ToSeconds(record));
    }

    // Number texts as drivers and callers hand them over.
    COdbcNumeric numeric(text.c_str());
    (void)numeric.GetInt();
    (void)numeric.GetLong();
    (void)numeric.GetDouble();
    (void)numeric.GetBool();
    COdbcInt integer;
    integer.SetStdString(text);
    COdbcSmallInt small;
    small.SetStdString(text);
    if (small.GetInt() < -32768 || small.GetInt() > 32767)
        std::abort();
    COdbcBit bit;
    bit.SetStdString(text);
    if (bit.GetValue() > 1)
        std::abort();
    COdbcVarChar varchar(text);
    if (varchar.GetStdString() != text)
        std::abort(); // texts are kept whole, NUL bytes too
    (void)varchar.GetTimestamp();

    // The input's first bytes as seconds since 1970.
    long seconds = 0;
    for (size_t i = 0; i < size && i < sizeof seconds; ++i)
        seconds = static_cast<long>(static_cast<unsigned long>(seconds) << 8 | data[i]);
    COdbcDateTime fromSeconds(seconds);
    (void)fromSeconds.GetString();
    (void)fromSeconds.GetLong();
    return 0;
}
