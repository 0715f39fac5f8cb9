#include "LocaleZone.h"
#include "zph/NumberText.h"
#include "zph/ZPHKey.h"

#include <gtest/gtest.h>

#include <limits>

using namespace ZPH;

using namespace ZPHText;

TEST(NumberText, StrictParsersTakeWholeNumbersOnly)
{
    int i = 7;
    EXPECT_TRUE(ParseInt("-42", i));
    EXPECT_EQ(i, -42);
    for (const char* bad : {"", " 1", "1 ", "+1", "1x", "0x10", "99999999999"}) {
        i = 7;
        EXPECT_FALSE(ParseInt(bad, i)) << bad;
        EXPECT_EQ(i, 7) << bad;
    }
    unsigned u = 0;
    EXPECT_TRUE(ParseUnsigned("4294967295", u));
    EXPECT_EQ(u, 4294967295u);
    EXPECT_FALSE(ParseUnsigned("-1", u));
    EXPECT_FALSE(ParseUnsigned("4294967296", u));
    double d = 0;
    EXPECT_TRUE(ParseDouble("99.125", d));
    EXPECT_EQ(d, 99.125);
    EXPECT_FALSE(ParseDouble("99,125", d));
}

TEST(NumberText, DoublesTravelInTheirShortestExactForm)
{
    for (double value : {0.0, 0.1, 2.5, 99.0625, -1e-7, 1234567.891, std::numeric_limits<double>::max()}) {
        double back = 1;
        ASSERT_TRUE(ParseDouble(FormatDouble(value), back)) << FormatDouble(value);
        EXPECT_EQ(back, value);
    }
    EXPECT_EQ(FormatDouble(0.1), "0.1");
    EXPECT_EQ(FormatDouble(2.0), "2");
}

TEST(NumberText, ConversionsIgnoreTheProcessLocale)
{
    testsupport::ScopedForeignLocale german; // a decimal comma
    ASSERT_TRUE(german.available());
    EXPECT_EQ(FormatDouble(1.5), "1.5");
    double d = 0;
    EXPECT_TRUE(ParseDouble("1.5", d));
    EXPECT_EQ(d, 1.5);
    EXPECT_EQ(LeadingDouble("99.75 bid"), 99.75);
}

TEST(NumberText, LeadingDoubleReadsRateTextsLeniently)
{
    for (auto [text, value] : {std::pair {"99.50", 99.5}, {" 3 1/4", 3.0}, {"", 0.0}, {"abc", 0.0}, {"inf", 0.0},
                               {"-nan", 0.0}, {"-2.25x", -2.25}})
        EXPECT_EQ(LeadingDouble(text), value) << text;
}

TEST(ZPHKey, KeysArePageTimesHundredPlusLineWithinRange)
{
    EXPECT_EQ(CreateZPHKey(12, 3), 1203u);
    EXPECT_EQ(CreateZPHKey(300, 26), ZPH_MAX_KEY);
    for (auto [page, line] : {std::pair{0, 1}, {301, 1}, {1, 0}, {1, 27}, {-1, 5}})
        EXPECT_EQ(CreateZPHKey(page, line), 0u) << page << "/" << line;
    int page = -1, line = -1;
    EXPECT_TRUE(ParseZPHKey(1203, page, line));
    EXPECT_EQ(std::pair(page, line), std::pair(12, 3));
    for (unsigned bad : {0u, 27u, 100u, 127u, 30101u, 4294967295u}) {
        EXPECT_FALSE(ParseZPHKey(bad, page, line)) << bad;
        EXPECT_EQ(std::pair(page, line), std::pair(0, 0));
    }
}
