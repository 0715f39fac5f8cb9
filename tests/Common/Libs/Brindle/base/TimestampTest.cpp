#include "Brindle/base/Timestamp.h"

#include "LocaleZone.h"

#include <gtest/gtest.h>

#include <climits>
#include <ctime>
#include <random>
#include <string>
#include <vector>

using Brindle::CTimestamp;
using testsupport::ScopedTimeZone;

namespace {

// Seconds of a UTC calendar time, straight from the C library.
long Utc(int year, int month, int day, int hour, int minute, int second)
{
    tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return static_cast<long>(timegm(&t));
}

struct LocalFields {
    int year, month, day, hour, minute, second;
    bool operator==(const LocalFields&) const = default;
};

LocalFields FieldsOf(const CTimestamp& ts)
{
    LocalFields f{};
    ts.GetTimestamp(&f.year, &f.month, &f.day, &f.hour, &f.minute, &f.second);
    return f;
}

// Each text is refused and leaves the value it was given to as it was.
void ExpectRefused(bool (CTimestamp::*parse)(const std::string&), const std::vector<std::string>& texts)
{
    for (const std::string& text : texts) {
        CTimestamp ts(123456789L);
        EXPECT_FALSE((ts.*parse)(text)) << '"' << text << '"';
        EXPECT_EQ(ts.GetTimestamp(), 123456789L) << text;
    }
}

const char* const kZones[] = {"UTC", "Europe/London", "America/New_York"};

// ---- formatting -------------------------------------------------------------

TEST(CTimestampFormat, LongResultsAreNeverCut)
{
    ScopedTimeZone tz("UTC");
    const CTimestamp ts(Utc(2007, 5, 2, 12, 34, 56));
    std::string format;
    std::string expected;
    for (int i = 0; i < 40; ++i) {
        format += "%Y-%m-%d %H:%M:%S|";
        expected += "2007-05-02 12:34:56|";
    }
    EXPECT_EQ(ts.Format(format), expected);
    EXPECT_EQ(ts.Format(std::string(5000, 'x')), std::string(5000, 'x'));
    EXPECT_EQ(ts.Format(""), "");
}

TEST(CTimestampFormat, ValueWithoutLocalTimeGivesErrorTextAndZeroFields)
{
    const CTimestamp ts(LONG_MAX);
    EXPECT_EQ(ts.FormatISO(), "<error>");
    EXPECT_EQ(ts.Format("%Y"), "<error>");
    EXPECT_EQ(ts.DayOfWeek(), CTimestamp::UNKNOWN_DAY);
    int y = -1, mo = -1, d = -1, h = -1, mi = -1, s = -1;
    ts.GetTimestamp(&y, &mo, &d, &h, &mi, &s);
    EXPECT_EQ((LocalFields{y, mo, d, h, mi, s}), (LocalFields{0, 0, 0, 0, 0, 0}));
    tm t;
    t.tm_year = 99;
    ts.GetTimestamp(&t);
    EXPECT_EQ(t.tm_year, 0);
    EXPECT_FALSE(ts.SameDayAs(ts));
}

TEST(CTimestampFormat, DayNamesAndNumbersIgnoreTheProcessLocale)
{
    ScopedTimeZone tz("UTC");
    testsupport::ScopedForeignLocale german;
    if (!german.available())
        GTEST_SKIP() << "no German locale can be built on this machine";
    char native[32];
    const time_t wednesday = Utc(2007, 5, 2, 12, 0, 0);
    tm t{};
    gmtime_r(&wednesday, &t);
    strftime(native, sizeof native, "%a", &t);
    ASSERT_STRNE(native, "Wed") << "the locale did not take effect";

    const CTimestamp ts(wednesday);
    EXPECT_EQ(ts.DayOfWeek(), CTimestamp::WEDNESDAY);
    EXPECT_EQ(ts.Format("%a %b %p"), "Wed May PM");
    EXPECT_EQ(ts.FormatISO(), "2007050212:00:00");
}

// ---- calendar fields --------------------------------------------------------

TEST(CTimestampFields, OutOfRangeFieldsCarryOverAsTheCalendarDoes)
{
    ScopedTimeZone tz("Europe/London");
    EXPECT_EQ(FieldsOf(CTimestamp(2007, 2, 30, 10, 0, 0)), (LocalFields{2007, 3, 2, 10, 0, 0}));
    EXPECT_EQ(FieldsOf(CTimestamp(2008, 2, 30, 10, 0, 0)), (LocalFields{2008, 3, 1, 10, 0, 0}));
    EXPECT_EQ(FieldsOf(CTimestamp(2007, 13, 1, 0, 0, 0)), (LocalFields{2008, 1, 1, 0, 0, 0}));
    EXPECT_EQ(FieldsOf(CTimestamp(2007, 5, 2, 10, 90, 0)), (LocalFields{2007, 5, 2, 11, 30, 0}));
}

TEST(CTimestampFields, InvalidOrEarlyCalendarTimesGiveTheCurrentTime)
{
    ScopedTimeZone tz("America/New_York");
    const long before = static_cast<long>(time(nullptr));
    const CTimestamp early(1960, 1, 1, 0, 0, 0);
    const CTimestamp huge(INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MAX);
    const CTimestamp tiny(INT_MIN, INT_MIN, INT_MIN, INT_MIN, INT_MIN, INT_MIN);
    const CTimestamp epoch(1970, 1, 1, 0, 0, 0); // 05:00 UTC: valid here
    const long after = static_cast<long>(time(nullptr));
    for (const CTimestamp* ts : {&early, &huge, &tiny}) {
        EXPECT_GE(ts->GetTimestamp(), before);
        EXPECT_LE(ts->GetTimestamp(), after);
    }
    EXPECT_EQ(epoch.GetTimestamp(), 5 * 3600);

    // Local 1969-12-31 19:00 is the epoch itself here: not a valid time.
    CTimestamp kept(12345L);
    kept.SetTimestamp(1969, 12, 31, 19, 0, 0);
    EXPECT_GE(kept.GetTimestamp(), before);
    kept.SetTimestamp(1969, 12, 31, 19, 0, 1);
    EXPECT_EQ(kept.GetTimestamp(), 1L);
}

TEST(CTimestampFields, AmbiguousLocalTimeMeansItsFirstOccurrence)
{
    ScopedTimeZone tz("Europe/London");
    // 2007-10-28: 01:30 happens at 00:30 UTC (BST) and again at 01:30 UTC.
    EXPECT_EQ(CTimestamp(2007, 10, 28, 1, 30, 0).GetTimestamp(), Utc(2007, 10, 28, 0, 30, 0));
    CTimestamp parsed(1L);
    ASSERT_TRUE(parsed.ParseISO("2007-10-28 01:30:00"));
    EXPECT_EQ(parsed.GetTimestamp(), Utc(2007, 10, 28, 0, 30, 0));
}

TEST(CTimestampFields, SkippedLocalTimeStillGivesATimeNearIt)
{
    ScopedTimeZone tz("America/New_York");
    // 2007-03-11: clocks jump from 02:00 EST to 03:00 EDT.
    CTimestamp parsed(1L);
    ASSERT_TRUE(parsed.ParseISO("20070311 02:30:00"));
    const long naive = Utc(2007, 3, 11, 7, 30, 0); // 02:30 as if EST
    EXPECT_LE(std::labs(parsed.GetTimestamp() - naive), 3600);
}

// ---- parsing dates ----------------------------------------------------------

TEST(CTimestampParseYMD, AcceptsEveryDateShapeAsLocalMidnight)
{
    ScopedTimeZone tz("Europe/London");
    const struct {
        const char* text;
        LocalFields fields;
    } cases[] = {
        {"070502", {2007, 5, 2, 0, 0, 0}},     {"991231", {1999, 12, 31, 0, 0, 0}},
        {"700102", {1970, 1, 2, 0, 0, 0}},     {"691231", {2069, 12, 31, 0, 0, 0}},
        {"20070502", {2007, 5, 2, 0, 0, 0}},   {"2007-05-02", {2007, 5, 2, 0, 0, 0}},
        {"2007/05/02", {2007, 5, 2, 0, 0, 0}}, {"2007.05.02", {2007, 5, 2, 0, 0, 0}},
        {"07-05-02", {2007, 5, 2, 0, 0, 0}},   {"99/12/31", {1999, 12, 31, 0, 0, 0}},
        {"2008-02-29", {2008, 2, 29, 0, 0, 0}}, {"2000-02-29", {2000, 2, 29, 0, 0, 0}},
        {"20070325", {2007, 3, 25, 0, 0, 0}},  {"9999-12-31", {9999, 12, 31, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        CTimestamp ts(Utc(2001, 1, 1, 15, 16, 17));
        ASSERT_TRUE(ts.ParseYMD(c.text)) << c.text;
        EXPECT_EQ(FieldsOf(ts), c.fields) << c.text;
    }
}

TEST(CTimestampParseYMD, RejectsWrongShapesAndImpossibleDatesLeavingTheValue)
{
    ScopedTimeZone tz("UTC");
    ExpectRefused(&CTimestamp::ParseYMD, {
        "",            "2007",       "20075",       "2007-5-2",    "2007-05-2",   "2007-5-02",
        "2007-13-01",  "2007-00-10", "1969-12-31",  "20070500",    "2007-05-00",  "070500",
        "2007-02-29",  "2100-02-29", "2007-04-31",  "2007-05-32",  "2007-05/02",  "2007-05-02x",
        "2007-0a-02",  "200a0502",   "2007 0502",   " 2007-05-02", "+2007-05-02", "1234567",
        "12-2007-05",  "2-07-05-02", "07.05-02",    "07-05-2",     "2007--05-02", "--------",
        "1969123",     "19691231",   "2007\x00" "0502",
        std::string("2007\0" "502", 8), // embedded NUL
        "19700101",                     // midnight at the epoch is not a valid time
    });
}

TEST(CTimestampParse, TimesBeforeTheEpochInUtcOrWithoutALocalDateAreRefusedNotReplacedByNow)
{
    // Local midnight of 1970-01-01 in Berlin is 23:00 UTC the day before.
    ScopedTimeZone tz("Europe/Berlin");
    CTimestamp ts(1000L);
    EXPECT_FALSE(ts.ParseYMD("1970-01-01"));
    EXPECT_FALSE(ts.ParseISO("1970-01-01 00:30:00"));
    EXPECT_EQ(ts.GetTimestamp(), 1000L);
    EXPECT_TRUE(ts.ParseISO("1970-01-01 01:00:01"));
    EXPECT_EQ(ts.GetTimestamp(), 1L);
    CTimestamp none(LONG_MAX);
    EXPECT_FALSE(none.ParseHMS("12:00:00"));
    EXPECT_EQ(none.GetTimestamp(), LONG_MAX);
    // 00:30 local on the epoch's day is before the epoch.
    CTimestamp first(7200L);
    EXPECT_FALSE(first.ParseHMS("00:30:00"));
    EXPECT_EQ(first.GetTimestamp(), 7200L);
}

// ---- parsing times ----------------------------------------------------------

TEST(CTimestampParseHMS, AcceptsTheThreeShapesAndKeepsTheDate)
{
    ScopedTimeZone tz("Europe/London");
    for (const auto& [text, fields] : {std::pair<const char*, LocalFields>{"12:34:56", {2007, 5, 2, 12, 34, 56}},
                                       {"12.34.56", {2007, 5, 2, 12, 34, 56}}, {"123456", {2007, 5, 2, 12, 34, 56}},
                                       {"00:00:00", {2007, 5, 2, 0, 0, 0}}, {"23:59:59", {2007, 5, 2, 23, 59, 59}}}) {
        CTimestamp ts(2007, 5, 2, 3, 4, 5);
        ASSERT_TRUE(ts.ParseHMS(text)) << text;
        EXPECT_EQ(FieldsOf(ts), fields) << text;
    }
}

TEST(CTimestampParseHMS, RejectsMixedSeparatorsOutOfRangeAndMalformed)
{
    ScopedTimeZone tz("UTC");
    ExpectRefused(&CTimestamp::ParseHMS,
                  {"12:34.56", "12.34:56", "24:00:00", "12:60:00", "12:00:60", "99:99:99", "1:2:3", "12:34:5",
                   "12345", "1234567", "12 34 56", "+1:34:56", "12:3a:56", "12-34-56", "", "123456789", " 123456",
                   "12:34:56 "});
}

TEST(CTimestampParseHMS, RightOnDaysWhenTheClocksChange)
{
    struct Case {
        const char* zone;
        LocalFields start;  // local time before the change, same day
        const char* text;   // time after the change
        long expectedUtc;
    };
    const Case cases[] = {
        // London 2007-03-25: 01:00 GMT becomes 02:00 BST.
        {"Europe/London", {2007, 3, 25, 0, 30, 0}, "12:00:00", Utc(2007, 3, 25, 11, 0, 0)},
        // London 2007-10-28: 02:00 BST becomes 01:00 GMT.
        {"Europe/London", {2007, 10, 28, 0, 30, 0}, "12:00:00", Utc(2007, 10, 28, 12, 0, 0)},
        {"Europe/London", {2007, 10, 28, 23, 0, 0}, "00:30:00", Utc(2007, 10, 27, 23, 30, 0)},
        // New York 2007-03-11 and 2007-11-04.
        {"America/New_York", {2007, 3, 11, 1, 0, 0}, "18:00:00", Utc(2007, 3, 11, 22, 0, 0)},
        {"America/New_York", {2007, 11, 4, 0, 15, 0}, "18:00:00", Utc(2007, 11, 4, 23, 0, 0)},
        {"America/New_York", {2007, 11, 4, 20, 0, 0}, "00:15:00", Utc(2007, 11, 4, 4, 15, 0)},
    };
    for (const Case& c : cases) {
        ScopedTimeZone tz(c.zone);
        CTimestamp ts(c.start.year, c.start.month, c.start.day, c.start.hour, c.start.minute, c.start.second);
        ASSERT_EQ(FieldsOf(ts), c.start) << c.zone;
        ASSERT_TRUE(ts.ParseHMS(c.text)) << c.zone << ' ' << c.text;
        EXPECT_EQ(ts.GetTimestamp(), c.expectedUtc) << c.zone << ' ' << c.text;
        EXPECT_EQ(ts.FormatHMS(), c.text) << c.zone;
    }
}

// ---- parsing date and time --------------------------------------------------

TEST(CTimestampParseISO, AcceptsTogetherAndSpaceSeparatedForms)
{
    ScopedTimeZone tz("America/New_York");
    const LocalFields want{2007, 5, 2, 12, 34, 56};
    for (const char* text : {"2007050212:34:56", "20070502123456", "070502123456", "2007-05-02 12:34:56",
                             "07-05-02 12:34:56", "070502 12.34.56", "2007/05/02 123456", "2007-05-0212:34:56"}) {
        CTimestamp ts(1L);
        ASSERT_TRUE(ts.ParseISO(text)) << text;
        EXPECT_EQ(FieldsOf(ts), want) << text;
    }
}

TEST(CTimestampParseISO, RejectsBadLengthsAndBadParts)
{
    ScopedTimeZone tz("UTC");
    ExpectRefused(&CTimestamp::ParseISO, {
        "07050212345",          "2007-05-02 12:34:567", "2007-05-02T12:34:56", "2007-05-02  12:34:56",
        "2007-05-0224:00:00",   "2007050224:00:00",     "2007023012:00:00",    "20070502 12:34",
        "            ",         "2007050212:34.56",     "2007-05-02 ",         " 2007-05-02 12:34:56",
        "1969123123:59:59",     "::::::::::::",         "200705021234:5a",
    });
}

// Over many random instants: the text forms read back to the same second
// (or, for a local time that happens twice, to its first occurrence).
TEST(CTimestampRoundTrip, FormatThenParseGivesTheSameTime)
{
    std::mt19937_64 random(20070502);
    std::uniform_int_distribution<long> anyTime(1, Utc(9999, 12, 31, 0, 0, 0));
    std::uniform_int_distribution<long> nearNow(Utc(1990, 1, 1, 0, 0, 0), Utc(2040, 1, 1, 0, 0, 0));
    for (const char* zone : kZones) {
        ScopedTimeZone tz(zone);
        int ambiguous = 0;
        for (int i = 0; i < 20000; ++i) {
            const CTimestamp ts(i % 2 == 0 ? anyTime(random) : nearNow(random));
            const std::string iso = ts.FormatISO();
            CTimestamp back(1L);
            ASSERT_TRUE(back.ParseISO(iso)) << zone << ' ' << iso;
            ASSERT_EQ(back.FormatISO(), iso) << zone;
            if (back.GetTimestamp() != ts.GetTimestamp()) {
                // Only the second occurrence of a repeated local hour may
                // come back different: as its first occurrence, earlier.
                ++ambiguous;
                ASSERT_LT(back.GetTimestamp(), ts.GetTimestamp()) << zone << ' ' << iso;
                ASSERT_LE(ts.GetTimestamp() - back.GetTimestamp(), 3600) << zone << ' ' << iso;
            }

            CTimestamp day(1L);
            ASSERT_TRUE(day.ParseYMD(ts.FormatYMD())) << zone << ' ' << iso;
            ASSERT_TRUE(day.SameDayAs(ts)) << zone << ' ' << iso;
            ASSERT_EQ(day.FormatHMS(), "00:00:00") << zone << ' ' << iso;
            ASSERT_LE(day.GetTimestamp(), ts.GetTimestamp());

            CTimestamp timeOfDay(day);
            ASSERT_TRUE(timeOfDay.ParseHMS(ts.FormatHMS())) << zone << ' ' << iso;
            ASSERT_EQ(timeOfDay.GetTimestamp(), back.GetTimestamp()) << zone << ' ' << iso;
        }
        if (std::string(zone) == "UTC") {
            EXPECT_EQ(ambiguous, 0);
        }
    }
}

// ---- days of the week -------------------------------------------------------

TEST(CTimestampDays, DayOfWeekOverAWeekInEveryZone)
{
    for (const char* zone : kZones) {
        ScopedTimeZone tz(zone);
        // 1970-01-01 was a Thursday, 2007-05-02 a Wednesday.
        EXPECT_EQ(CTimestamp(1970, 1, 1, 12, 0, 0).DayOfWeek(), CTimestamp::THURSDAY) << zone;
        for (int d = 0; d < 7; ++d) {
            const CTimestamp ts(2007, 5, 2 + d, 23, 59, 59);
            EXPECT_EQ(ts.DayOfWeek(), static_cast<CTimestamp::DAYOFTHEWEEK>((3 + d) % 7)) << zone;
            EXPECT_EQ(CTimestamp::StringToDay(ts.Format("%a")), ts.DayOfWeek());
        }
    }
}

TEST(CTimestampDays, StringToDayComparesAtMostThreeCharactersIgnoringCase)
{
    // The first match wins: an empty text matches Sunday, T matches Tuesday.
    for (const auto& [text, day] : {std::pair{"monday", CTimestamp::MONDAY}, {"THURSDAY", CTimestamp::THURSDAY},
                                    {"sA", CTimestamp::SATURDAY}, {"Xyz", CTimestamp::UNKNOWN_DAY},
                                    {"Mo n", CTimestamp::UNKNOWN_DAY}, {"", CTimestamp::SUNDAY},
                                    {"S", CTimestamp::SUNDAY}, {"t", CTimestamp::TUESDAY}})
        EXPECT_EQ(CTimestamp::StringToDay(text), day) << text;
    EXPECT_EQ(CTimestamp::StringToDay(static_cast<const char*>(nullptr)), CTimestamp::UNKNOWN_DAY);
    EXPECT_EQ(CTimestamp::StringToDay(std::string("M\0n", 3)), CTimestamp::UNKNOWN_DAY);
}

// ---- comparisons and arithmetic ---------------------------------------------

TEST(CTimestampCompare, SameDayFollowsLocalMidnight)
{
    ScopedTimeZone tz("America/New_York");
    const CTimestamp morning(2007, 5, 2, 0, 0, 0);
    const CTimestamp night(2007, 5, 2, 23, 59, 59);
    const CTimestamp next(2007, 5, 3, 0, 0, 0);
    EXPECT_TRUE(morning.SameDayAs(night));
    EXPECT_FALSE(night.SameDayAs(next));
    // Same UTC date, different local dates.
    EXPECT_FALSE(CTimestamp(Utc(2007, 5, 2, 1, 0, 0)).SameDayAs(CTimestamp(Utc(2007, 5, 2, 12, 0, 0))));
    EXPECT_TRUE(next.IsPast(night));
    EXPECT_FALSE(night.IsPast(next));
    EXPECT_FALSE(night.IsPast(night));
}

TEST(CTimestampArithmetic, SaturatesInsteadOfWrapping)
{
    CTimestamp high(LONG_MAX - 1);
    ++high;
    ++high;
    EXPECT_EQ(high.GetTimestamp(), LONG_MAX);
    high += LONG_MAX;
    EXPECT_EQ(high.GetTimestamp(), LONG_MAX);
    EXPECT_EQ(high + 1L, LONG_MAX);
    EXPECT_EQ(high - LONG_MIN, LONG_MAX);
    CTimestamp low(LONG_MIN + 1);
    low -= 10;
    EXPECT_EQ(low.GetTimestamp(), LONG_MIN);
    EXPECT_EQ(low - 1L, LONG_MIN);
    EXPECT_EQ(low + low, LONG_MIN);
    EXPECT_EQ(CTimestamp(LONG_MIN) - CTimestamp(1L), LONG_MIN);
}

} // namespace
