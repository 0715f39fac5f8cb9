// Texts of the tool windows and the Screen Properties rules.
#include "tools/ScreenLayout.h"
#include "tools/ToolTexts.h"

#include "LocaleZone.h"

#include <gtest/gtest.h>

#include <string>

using namespace mavo;

namespace {

std::tm Time(int year, int month, int day, int hour, int minute, int second)
{
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

TEST(ToolTextsTest, TheClockShowsTwelveHourTimeWithEnglishNamesInEveryLocale)
{
    EXPECT_EQ(ClockText(Time(2026, 12, 7, 1, 5, 9)), "07 Dec 2026 - 01:05:09 AM");
    EXPECT_EQ(ClockText(Time(2026, 1, 31, 0, 0, 0)), "31 Jan 2026 - 12:00:00 AM");
    EXPECT_EQ(ClockText(Time(2026, 5, 2, 12, 30, 0)), "02 May 2026 - 12:30:00 PM");
    EXPECT_EQ(ClockText(Time(2026, 9, 15, 23, 59, 59)), "15 Sep 2026 - 11:59:59 PM");
    const testsupport::ScopedForeignLocale german;
    if (german.available()) {
        EXPECT_EQ(ClockText(Time(2026, 3, 4, 13, 2, 3)), "04 Mar 2026 - 01:02:03 PM");
    }
}

TEST(ToolTextsTest, AContributionEntryIsTheTimeATabAndTheText)
{
    EXPECT_EQ(ContribEntryText(Time(2026, 12, 7, 17, 4, 5), "Desk closes\nat 5"), "17:04:05\tDesk closes\nat 5");
}

TEST(ToolTextsTest, PageCountsAreOrderedByCountThenPageAndListPageFirst)
{
    const std::vector<std::string> entries =
        PageCountEntries({{7, 3}, {2, 5}, {4, 3}, {9, 0}, {1, 1}, {300, -2}, {12, 3}});
    EXPECT_EQ(entries, (std::vector<std::string>{"1 1", "4 3", "7 3", "12 3", "2 5"}));
    EXPECT_TRUE(PageCountEntries({}).empty());
}

// The default box's start and the halves of an even screen are met by the
// dialog's test.
TEST(ScreenLayoutTest, TheLayoutsFollowTheScreenSize)
{
    CScreenLayout layout(FullScreenArea{5, 6, 7, 8}, 1280, 1024);
    layout.Full();
    EXPECT_EQ(layout.Values(), (FullScreenArea{0, 0, 1280, 1024}));
    CScreenLayout odd(FullScreenArea{0, 0, 1, 1}, 1366, 768);
    odd.DoubleTwo();
    EXPECT_EQ(odd.Values(), (FullScreenArea{684, 0, 683, 768}));
}

TEST(ScreenLayoutTest, ValuesTypedWhileTheDefaultBoxIsTickedAreNotKept)
{
    CScreenLayout layout(FullScreenArea{10, 20, 300, 400}, 1920, 1080);
    layout.SetValues(FullScreenArea{1, 2, 3, 4});
    EXPECT_EQ(layout.Result(), (FullScreenArea{1, 2, 3, 4}));
    // Values typed while ticked are not kept: closing ticked stores -1.
    layout.SetUseDefault(true);
    layout.SetValues(FullScreenArea{1, 2, 3, 4});
    EXPECT_EQ(layout.Result(), (FullScreenArea{-1, -1, -1, -1}));
}

} // namespace
