#include "pages/CenterColor.h"
#include "pages/DisplayState.h"
#include "pages/PageEnvironment.h"
#include "PagesTestSupport.h"

#include <gtest/gtest.h>

using namespace mavo;

TEST(CentreColour, CentreCodesGiveTheirHundreds)
{
    // 10 and 0 are no centres, nor is anything but a whole number.
    const std::pair<const char*, int> cases[] = {{"250", 2}, {"999", 9}, {"1050", 1}, {"99", 1},
                                                 {"-250", 1}, {"", 1}, {"2x0", 1}, {"99999999999999", 1}};
    for (const auto& [centre, index] : cases)
        EXPECT_EQ(CentreColourIndex("45", centre, nullptr), index) << centre;
}

TEST(CentreColour, ListedCustomersAreMineUnlessSwitchedOff)
{
    pagestest::ListedCustomers rules;
    rules.list = {{123, 0}, {45, 3}};
    EXPECT_EQ(CentreColourIndex("123", "250", &rules), 0);  // listed with centre "Any"
    EXPECT_EQ(CentreColourIndex("45", "310", &rules), 0);   // listed with its centre
    EXPECT_EQ(CentreColourIndex("45", "250", &rules), 2);   // another centre
    EXPECT_EQ(CentreColourIndex("46", "250", &rules), 2);

    rules.disableCustomer = true;
    EXPECT_EQ(CentreColourIndex("123", "250", &rules), 2);
    rules.disableCenter = true;
    EXPECT_EQ(CentreColourIndex("123", "250", &rules), 1);
    EXPECT_EQ(CentreColourIndex("46", "750", &rules), 1);
    rules.disableCustomer = false;
    EXPECT_EQ(CentreColourIndex("123", "750", &rules), 0);
}

TEST(CentreColour, FeedNumbersReadWithoutLocale)
{
    const std::pair<const char*, int> numbers[] = {{"250", 250}, {" 12 ", 12}, {"+7", 7}, {"-7", -7}};
    for (const auto& [text, value] : numbers)
        EXPECT_EQ(ParseFeedInt(text), value) << text;
    for (const char* bad : {"", "1,5", "12a", "4294967296"})
        EXPECT_FALSE(ParseFeedInt(bad)) << bad;
}

TEST(FeedNotice, PagesSayStaleOrDeadAndNothingWhileLive)
{
    const std::pair<int, const char*> notices[] = {{1, "Feed Stale"}, {0, "Feed Dead"}, {7, "Feed Dead"}, {2, ""}};
    for (const auto& [state, notice] : notices)
        EXPECT_EQ(FeedNoticeFor(FeedStateFromWire(state)), notice) << state;
}
