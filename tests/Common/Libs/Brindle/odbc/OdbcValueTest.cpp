// The value classes on their own: texts, numbers and dates as the caller
// sets and reads them, before any driver sees them.
#include "Brindle/odbc/OdbcDateTime.h"
#include "Brindle/odbc/OdbcException.h"
#include "Brindle/odbc/OdbcResultSet.h"
#include "Brindle/odbc/OdbcValues.h"

#include "LocaleZone.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <sstream>
#include <stdexcept>
#include <string>

using namespace Brindle;

namespace {

TEST(COdbcDateTimeText, ReadsTheFieldRulesAndRendersTheCanonicalForm)
{
    const struct {
        const char* text;
        const char* rendered; // text form after reading
    } valid[] = {
        {"2006-3-7", "2006-3-7"},                       // midnight: short form
        {"2006-03-07 10:11", "2006-03-07 10:11:00"},
        {"2006/03/07 10:11:12", "2006-03-07 10:11:12"},
        {"2006.3.7 1.2.3.45", "2006-03-07 01:02:03.045"},
        {"2006-03-07 10:11:12.999", "2006-03-07 10:11:12.999"},
        {"  2006--3 -7  ", "2006-3-7"},                 // runs of separators
        {"2008-2-29", "2008-2-29"},                     // leap day
        {"2000-2-29", "2000-2-29"},
    };
    for (const auto& c : valid) {
        SCOPED_TRACE(c.text);
        COdbcDateTime value(std::string("1999-12-31 23:59:58").c_str());
        value.SetString(c.text);
        EXPECT_EQ(std::string(value.GetString()), c.rendered);
        // The rendered text reads back to the same record.
        COdbcDateTime again(value.GetString());
        EXPECT_EQ(std::string(again.GetString()), c.rendered);
    }
    // An hour without a minute, days and times that do not exist, a
    // fraction past milliseconds, and years that do not fit (nor overflow
    // into one that does).
    for (const char* text : {"2006-3-7 10", "2006-13-7", "2006-0-7", "2006-3-0", "2007-2-29", "1900-2-29",
                             "2006-4-31", "2006-3-7 24:00", "2006-3-7 10:60", "2006-3-7 10:11:60",
                             "2006-3-7 10:11:12.1000", "2006-3-7 10:11:12.5.6", "2006-3", "", "2006-3-7x",
                             "10000-1-1", "99999999999999999999-1-1", "2006-+3-7"}) {
        SCOPED_TRACE(text);
        COdbcDateTime value(std::string("1999-12-31 23:59:58").c_str());
        EXPECT_THROW(value.SetString(text), std::invalid_argument);
        EXPECT_EQ(std::string(value.GetString()), "1999-12-31 23:59:58"); // untouched
    }
    EXPECT_THAT([] { COdbcDateTime("2006-13-1"); },
                ::testing::ThrowsMessage<std::invalid_argument>(::testing::StrEq("Invalid datetime format")));
}

TEST(COdbcDateTimeText, FractionIsBillionthsAndSecondsGoThroughLocalTime)
{
    testsupport::ScopedTimeZone zone("Europe/London");
    COdbcDateTime value("2006-03-07 10:11:12.123");
    EXPECT_EQ(value.GetTimestamp().fraction, 123000000u);
    const tm t = value.GetTm();
    EXPECT_EQ(t.tm_year, 106);
    EXPECT_EQ(t.tm_mon, 2);
    EXPECT_EQ(t.tm_mday, 7);

    // Summer time and winter time, and a time before 1970, both ways.
    for (const char* text : {"2006-07-01 12:00:00", "2006-12-01 12:00:00", "1960-06-01 08:30:00"}) {
        SCOPED_TRACE(text);
        COdbcDateTime date(text);
        COdbcDateTime back(date.GetLong());
        EXPECT_STREQ(back.GetString(), text);
    }
    EXPECT_EQ(COdbcDateTime("2006-07-01 12:00:00").GetLong(), 1151751600L); // 11:00 UTC

    COdbcDateTime fromTm;
    tm winter = COdbcDateTime("2006-12-01 12:00:00").GetTm();
    fromTm.SetTm(&winter);
    EXPECT_STREQ(fromTm.GetString(), "2006-12-01 12:00:00");
    fromTm.SetTm(nullptr);
    EXPECT_TRUE(fromTm.IsNull());
    EXPECT_EQ(fromTm.GetLong(), 0);
    EXPECT_STREQ(fromTm.GetString(), "");
}

TEST(COdbcValues, TextsStayWholeNumbersSaturateAndAllConvertInTheCLocale)
{
    testsupport::ScopedForeignLocale german;
    const std::string big(100000, 'x');
    COdbcVarChar text(big);
    EXPECT_EQ(text.GetStdString(), big);
    EXPECT_EQ(text.GetLength(), COdbcValue::NTS);

    // A text with NUL bytes travels by its length.
    const std::string withNul("a\0b", 3);
    COdbcVarChar nul(withNul);
    EXPECT_EQ(nul.GetStdString(), withNul);
    EXPECT_EQ(nul.GetLength(), 3);

    COdbcNumeric number("12.75");
    EXPECT_DOUBLE_EQ(number.GetDouble(), 12.75);
    EXPECT_EQ(number.GetInt(), 12);
    number.SetDouble(1.5);
    EXPECT_STREQ(number.GetString(), "1.5");
    COdbcDecimal big64(LONG_MAX);
    EXPECT_STREQ(big64.GetString(), "9223372036854775807");
    EXPECT_EQ(big64.GetLong(), LONG_MAX);
    EXPECT_EQ(big64.GetInt(), INT_MAX); // saturates, never wraps
    COdbcBigInt negative(LONG_MIN);
    EXPECT_EQ(negative.GetLong(), LONG_MIN);

    COdbcChar flag("yes");
    EXPECT_TRUE(flag.GetBool());
    flag.SetString(nullptr);
    EXPECT_TRUE(flag.IsNull());
    EXPECT_STREQ(flag.GetString(), "");
    EXPECT_FALSE(flag.GetBool());

    // Numbers saturate and are normalised as the caller sets them.
    COdbcSmallInt small;
    EXPECT_TRUE(small.IsNull());
    EXPECT_EQ(small.GetInt(), 0);
    small.SetLong(100000);
    EXPECT_EQ(small.GetInt(), 32767);
    small.SetDouble(-1e12);
    EXPECT_EQ(small.GetInt(), -32768);

    COdbcInt integer;
    integer.SetString("  -42xyz");
    EXPECT_EQ(integer.GetInt(), -42);
    integer.SetDouble(std::nan(""));
    EXPECT_EQ(integer.GetInt(), 0);
    integer.SetLong(LONG_MAX);
    EXPECT_EQ(integer.GetLong(), INT_MAX);

    COdbcBit bit;
    bit.SetInt(5);
    EXPECT_EQ(bit.GetValue(), 1);
    EXPECT_STREQ(bit.GetString(), "1");
    bit.SetDouble(0.0);
    EXPECT_FALSE(bit.GetBool());

    COdbcDouble real(2.5);
    EXPECT_STREQ(real.GetString(), "2.5"); // never "2,5"
    EXPECT_EQ(static_cast<int>(real), 2);
    COdbcReal single(0.1f);
    EXPECT_FLOAT_EQ(static_cast<float>(single.GetDouble()), 0.1f);
    COdbcFloat huge(1e300);
    EXPECT_EQ(huge.GetInt(), INT_MAX);
    EXPECT_EQ(huge.GetLong(), LONG_MAX);
}

TEST(COdbcValueCreate, EveryColumnTypeKeepsACell)
{
    const struct {
        short sqlType;
        const char* typeText;
        bool text;
    } cases[] = {{-7, "[bit]", false},     {1, "[char]", true},       {12, "[varchar]", true},
                 {2, "[numeric]", true},   {3, "[decimal]", true},    {4, "[int]", false},
                 {5, "[smallint]", false}, {6, "[float]", false},     {7, "[real]", false},
                 {8, "[float]", false},    {93, "[datetime]", false}, {-5, "[bigint]", true},
                 {-1, "[text]", true},     {-9, "[nvarchar]", true},  {-4, "[bad type]", false},
                 {0, "[unknown]", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sqlType);
        CRefCountedPtr<COdbcValue> value = COdbcValue::Create(c.sqlType, 50, 200);
        ASSERT_TRUE(value.NotNull());
        EXPECT_TRUE(value->IsNull());
        EXPECT_STREQ(COdbcValue::GetTypeString(c.sqlType), c.typeText);
        EXPECT_EQ(dynamic_cast<COdbcText*>(value.GetPtr()) != nullptr, c.text);
    }
    // A text column is sized in bytes (UTF-8 of 50 characters may need 200);
    // one too wide to bind is read after the fetch.
    auto narrow = COdbcValue::Create(12, 50, 200);
    EXPECT_EQ(dynamic_cast<COdbcText&>(*narrow).GetCapacity(), 200u);
    EXPECT_FALSE(dynamic_cast<COdbcText&>(*narrow).ReadsAfterFetch());
    auto wide = COdbcValue::Create(-1, 65536, 65536);
    EXPECT_TRUE(dynamic_cast<COdbcText&>(*wide).ReadsAfterFetch());
    EXPECT_TRUE(dynamic_cast<COdbcText&>(*COdbcValue::Create(12, 0, 0)).ReadsAfterFetch());
}

TEST(COdbcRowAndException, ReadCellsByPositionAndFormatTheirTexts)
{
    COdbcRow row;
    row.emplace_back(new COdbcVarChar("abc  "));
    row.emplace_back(new COdbcInt());
    row.emplace_back(new COdbcInt(7));
    EXPECT_EQ(row.ToString(), "abc  \t<<NULL>>\t7\t");
    EXPECT_TRUE(row.IsNull(1));
    EXPECT_EQ(row.GetLong(2), 7);
    EXPECT_THROW(row.GetString(3), std::out_of_range);
    EXPECT_THROW(row.GetString(-1), std::out_of_range);
    EXPECT_EQ(COdbcException("plain").GetResult(), 0); // the text form is checked on a driver's failure
}

} // namespace
