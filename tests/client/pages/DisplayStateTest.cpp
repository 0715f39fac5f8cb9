#include "pages/CenterColor.h"
#include "pages/DisplayState.h"
#include "pages/PageEnvironment.h"
#include "PagesTestSupport.h"

#include <gtest/gtest.h>

using namespace mavo;

TEST(CentreColour, CentreCodesGiveTheirHundreds)
{
    EXPECT_EQ(CentreColourIndex("45", "250", nullptr), 2);
    EXPECT_EQ(CentreColourIndex("45", "999", nullptr), 9);
    EXPECT_EQ(CentreColourIndex("45", "1050", nullptr), 1);  // 10 is no centre
    EXPECT_EQ(CentreColourIndex("45", "99", nullptr), 1);    // 0 is no centre either
    EXPECT_EQ(CentreColourIndex("45", "-250", nullptr), 1);
    EXPECT_EQ(CentreColourIndex("45", "", nullptr), 1);
    EXPECT_EQ(CentreColourIndex("45", "2x0", nullptr), 1);
    EXPECT_EQ(CentreColourIndex("45", "99999999999999", nullptr), 1);
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
    EXPECT_EQ(ParseFeedInt("250"), 250);
    EXPECT_EQ(ParseFeedInt(" 12 "), 12);
    EXPECT_EQ(ParseFeedInt("+7"), 7);
    EXPECT_EQ(ParseFeedInt("-7"), -7);
    EXPECT_FALSE(ParseFeedInt(""));
    EXPECT_FALSE(ParseFeedInt("1,5"));
    EXPECT_FALSE(ParseFeedInt("12a"));
    EXPECT_FALSE(ParseFeedInt("4294967296"));
}

TEST(FeedNotice, PagesSayStaleOrDeadAndNothingWhileLive)
{
    EXPECT_EQ(mavo::FeedNoticeFor(1), "Feed Stale");
    EXPECT_EQ(mavo::FeedNoticeFor(0), "Feed Dead");
    EXPECT_EQ(mavo::FeedNoticeFor(7), "Feed Dead");
    EXPECT_EQ(mavo::FeedNoticeFor(2), "");
}
