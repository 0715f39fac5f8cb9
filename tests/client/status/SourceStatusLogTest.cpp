#include "status/SourceStatusLog.h"

#include "LocaleZone.h"
#include "zph/Timestamp.h"

#include <gtest/gtest.h>

#include <ctime>
#include <regex>
#include <tuple>

namespace mavo {
namespace {

TEST(SourceStatusLogTest, HoldsAtMostTwoHundredEntriesAndKeepsTheNewest)
{
    CSourceStatusLog log;
    for (int i = 1; i <= 250; ++i) {
        log.Add("entry " + std::to_string(i), 0);
        ASSERT_LE(log.Entries().size(), CSourceStatusLog::kMaxEntries) << "after entry " << i;
    }
    ASSERT_EQ(log.Entries().size(), 200u);
    EXPECT_NE(log.Entries().front().find("\tentry 51"), std::string::npos) << log.Entries().front();
    EXPECT_NE(log.Entries().back().find("\tentry 250"), std::string::npos) << log.Entries().back();
    EXPECT_EQ(log.LastTrimmed(), 1u);

    log.Clear();
    EXPECT_TRUE(log.Entries().empty());
    log.Add("again", 0);
    EXPECT_EQ(log.LastTrimmed(), 0u);
    EXPECT_EQ(log.Entries().size(), 1u);
}

TEST(SourceStatusLogTest, EntryIsLocalTimeTabText)
{
    // 1 January 2020, 13:05:09 UTC.
    for (const auto& [zone, text, entry] :
         {std::tuple{"UTC", "Feed Live", "13:05:09\tFeed Live"}, {"EST5", "x", "08:05:09\tx"}}) {
        testsupport::ScopedTimeZone scoped(zone);
        EXPECT_EQ(FormatLogEntry(1577883909, text), entry) << zone;
    }

    const std::string now = FormatLogEntry(std::time(nullptr), "text with\ttab");
    EXPECT_TRUE(std::regex_match(now, std::regex("[0-2][0-9]:[0-5][0-9]:[0-6][0-9]\ttext with\ttab"))) << now;
}

TEST(SourceStatusLogTest, LineUpdateTextSplitsTheKey)
{
    for (const auto& [key, text] : {std::pair{1203u, "Update on page 12, line 3"},
                                    {30026u, "Update on page 300, line 26"}, {101u, "Update on page 1, line 1"}})
        EXPECT_EQ(LineUpdateText(key), text);
}

TEST(SourceStatusLogTest, MetricTextsAreTheConnectTimeAndWholeNumbers)
{
    Timestamp t;
    t.SetConnectTime("12/07/2026 00:10:00");
    t.SetPackets(123456);
    t.SetBadPackets(7);
    t.SetMaxDelay(250);
    t.SetFeedTime("00:11:00");
    EXPECT_EQ(MetricTextsOf(t), (MetricTexts{"12/07/2026 00:10:00", "123456", "7", "250"}));
    EXPECT_EQ(MetricTextsOf(Timestamp{}), (MetricTexts{"", "0", "0", "0"}));
}

} // namespace
} // namespace mavo
