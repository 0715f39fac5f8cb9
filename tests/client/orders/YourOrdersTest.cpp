// The rows of "Your Orders" from the lines windows show.
#include "FakeOrderFeed.h"

#include "orders/YourOrders.h"
#include "zph/ZPHKey.h"

#include <gtest/gtest.h>

using namespace mavo;
using orderstest::FakeOrderFeed;
using orderstest::FirmLine;

namespace {

class MyCustomers : public CCustomerRules {
public:
    bool IsMyCustomer(int number, int) const override { return number == 501 || number == 502; }
    bool DisableCustomer() const override { return false; }
    bool DisableCenter() const override { return false; }
};

void Show(FakeOrderFeed& feed, const LineObject& line)
{
    const unsigned key = CreateZPHKey(line.m_page, line.m_line);
    feed.cache.Put(key, line);
    feed.refs[key] = 1;
}

LineObject Stacked(int page, int line, const std::string& issue)
{
    LineObject l = FirmLine(page, line);
    l.m_issueName = issue;
    for (int i = 0; i < LineSide::LEVELS; ++i) {
        l.m_bid.m_stack[i].m_quantity = std::to_string(10 + i);
        l.m_offer.m_stack[i].m_quantity = std::to_string(20 + i);
    }
    return l;
}

} // namespace

TEST(YourOrders, OwnPricesOfShownLinesOneRowPerIssue)
{
    FakeOrderFeed feed;
    LineObject both = Stacked(1, 2, "ARG 2030");
    both.m_bid.m_ownLevel = 2;
    both.m_offer.m_ownLevel = 5;
    Show(feed, both);
    LineObject offerOnly = Stacked(3, 26, "BRA 2027");
    offerOnly.m_offer.m_ownLevel = 1;
    Show(feed, offerOnly);
    // The same issue on another page is listed once.
    LineObject again = both;
    again.m_page = 300;
    again.m_bid.m_rate = "1";
    Show(feed, again);
    // A line no window shows is not scanned.
    LineObject hidden = Stacked(4, 1, "CHL 2031");
    hidden.m_bid.m_ownLevel = 1;
    feed.cache.Put(CreateZPHKey(4, 1), hidden);
    Show(feed, Stacked(5, 1, "PER 2029"));  // no own price

    const std::vector<YourOrderRow> rows = CollectYourOrders(feed, nullptr);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (YourOrderRow{"ARG 2030", "99.5", "100", "11"}));
    EXPECT_EQ(rows[1], (YourOrderRow{"BRA 2027", "", "100", "20"}));
}

TEST(YourOrders, FullViewListsTheUsersCustomersInTheStacks)
{
    FakeOrderFeed feed;
    feed.userLevel = 999;
    LineObject line = Stacked(2, 4, "ARG 2030");
    line.m_bid.m_ownLevel = 1;  // own levels mean nothing in full view
    line.m_bid.m_stack[0].m_customer = "501";
    line.m_bid.m_stack[1].m_customer = "777";
    line.m_bid.m_stack[3].m_customer = "502";
    line.m_offer.m_stack[2].m_customer = "501";
    Show(feed, line);
    MyCustomers customers;
    const std::vector<YourOrderRow> rows = CollectYourOrders(feed, &customers);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (YourOrderRow{"(501) ARG 2030", "99.5", "100", "10"}));
    EXPECT_EQ(rows[1], (YourOrderRow{"(502) ARG 2030", "99.5", "", "13"}));
    EXPECT_TRUE(CollectYourOrders(feed, nullptr).empty());
}
