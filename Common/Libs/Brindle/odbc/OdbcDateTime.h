// COdbcDateTime: a date, time or timestamp cell or parameter, held as the
// ODBC timestamp record (fraction in billionths of a second) with its text.
//
// Text form (GetString), rendered from the record: with a fraction,
// "Y-MM-DD hh:mm:ss.mmm" (milliseconds); at midnight without fraction the
// short form "Y-M-D" without leading zeros; otherwise "Y-MM-DD hh:mm:ss".
//
// SetString reads fields separated by runs of ' ', ':', '-', '/' or '.':
// year (0-9999), month (1-12), day (a day of that month), then optionally
// hour (0-23) with minute (0-59), then second (0-59), then a fraction of
// milliseconds (0-999); every field is digits only. Anything else throws
// std::invalid_argument "Invalid datetime format" and leaves the value as it
// was. A parameter is sent as the rendered text (SQL char), so every driver
// reads the same canonical form whatever separators the caller used.
//
// SetLong/GetLong convert seconds since 1970 through local time (CTimestamp
// rules; a time before 1970 still converts exactly). A NULL value reads as
// empty text and 0.
//
// Thread-safety: none (see OdbcValue.h).
#pragma once

#include "Brindle/odbc/OdbcValue.h"

#include <string>
#include <string_view>

namespace Brindle {

class COdbcDateTime : public COdbcValue {
public:
    static constexpr std::size_t TextBytes = 40;

    // A NULL value of SQL type 93 (timestamp), or 9, 91 or 92 for a column.
    explicit COdbcDateTime(short sqlType = 93);
    explicit COdbcDateTime(const char* text);
    explicit COdbcDateTime(long seconds);
    explicit COdbcDateTime(const TIMESTAMP_STRUCT& value);

    int BindColumn(void* statement, short column) override;
    int BindParam(void* statement, short parameter) override;
    std::string GetStdString() const override;
    const char* GetString() const override;
    long GetLong() const override;
    TIMESTAMP_STRUCT GetTimestamp() const override;
    tm GetTm() const override;
    void SetString(const char* text) override;
    void SetStdString(const std::string& text) override;
    void SetLong(long seconds) override;
    void SetTimestamp(const TIMESTAMP_STRUCT& value) override;
    void SetTm(const tm* value) override;

    // The text form of a record (see above).
    static std::string FormatText(const TIMESTAMP_STRUCT& value);
    // Reads a text by the SetString rules; false (record untouched) when it
    // breaks them.
    static bool ParseText(std::string_view text, TIMESTAMP_STRUCT& value);
    // Seconds since 1970 of a record in local time, and back.
    static long ToSeconds(const TIMESTAMP_STRUCT& value);
    static TIMESTAMP_STRUCT FromSeconds(long seconds);

private:
    void Store(const TIMESTAMP_STRUCT& value);

    TIMESTAMP_STRUCT m_record;
    mutable char m_text[TextBytes] = {};
};

} // namespace Brindle
