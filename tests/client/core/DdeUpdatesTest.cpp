// Feed messages turned into DDE updates: by message type, gated by the
// groups, with companions, coalesced into one pending set with one wake-up.
#include "core/DdeItems.h"
#include "core/DdeUpdates.h"

#include "protocol/FieldIds.h"
#include "zph/ZPHKey.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

using namespace mavo;
using Update = CDdeUpdates::Update;

namespace {

std::set<Update> Taken(CDdeUpdates& updates)
{
    const auto list = updates.Take();
    std::set<Update> set(list.begin(), list.end());
    EXPECT_EQ(set.size(), list.size()) << "an update came twice";
    return set;
}

std::set<int> PublishedFields(bool live, bool history)
{
    std::set<int> fields;
    for (const auto& item : DdeLineItems())
        if (item.group == DdeGroup::Always || (item.group == DdeGroup::Live && live) ||
            (item.group == DdeGroup::History && history))
            fields.insert(item.field);
    return fields;
}

// Every published field of the lines, with the companions.
std::set<Update> LinesOf(int page, int first, int last, const std::set<int>& fields)
{
    std::set<Update> expected;
    for (int line = first; line <= last; ++line)
        for (int field : fields) {
            expected.emplace(CreateZPHKey(page, line), field);
            expected.emplace(CreateZPHKey(page, line), field == 4 ? 5 : 4);
        }
    return expected;
}

ZPHMessage Data(char type, int page, int line)
{
    ZPHMessage msg(type, page, line);
    msg.AddField(ZPHWire::F_BID_RATE, "99.25");
    msg.AddField(ZPHWire::F_BID_STACK_CUSTOMER, "123");  // published by no item
    return msg;
}

} // namespace

TEST(DdeUpdates, DataAndRefreshPostEveryPublishedFieldOfTheLine)
{
    for (const bool live : {false, true})
        for (const bool history : {false, true})
            for (const char type : {'D', 'R'}) {
                CDdeUpdates updates;
                updates.SetLive(live);
                updates.SetHistory(history);
                updates.OnMessage(Data(type, 12, 3));
                EXPECT_EQ(Taken(updates), LinesOf(12, 3, 3, PublishedFields(live, history)))
                    << type << live << history;
            }
}

TEST(DdeUpdates, FeedTimeIsCopiedAndStandsForTheAppItems)
{
    CDdeUpdates updates;
    ZPHMessage time('T', 0, 0);
    time.AddField(ZPHWire::F_FEED_TIME, "06 Dec 2026 10:42:00");
    time.AddField(ZPHWire::F_PACKETS, 4711);
    updates.OnMessage(time);
    EXPECT_EQ(Taken(updates), (std::set<Update>{{0u, 0}}));
    EXPECT_STREQ(updates.GetFeedTime().GetFeedTime(), "06 Dec 2026 10:42:00");
    EXPECT_EQ(updates.GetFeedTime().GetPackets(), 4711);
}

TEST(DdeUpdates, InsertAndEraseRefreshTheLineAndEveryLineBelowIt)
{
    CDdeUpdates updates;
    updates.SetLive(true);
    updates.OnMessage(ZPHMessage('I', 7, 25));
    EXPECT_EQ(Taken(updates), LinesOf(7, 25, 26, PublishedFields(true, false)));
    updates.OnMessage(ZPHMessage('E', 7, 1));
    EXPECT_EQ(Taken(updates), LinesOf(7, 1, 26, PublishedFields(true, false)));
}

TEST(DdeUpdates, ClearsByLinePageAndEveryAskedPage)
{
    CDdeUpdates updates;
    updates.SetLive(true);
    updates.SetHistory(true);
    updates.OnMessage(ZPHMessage('C', 5, 2));
    EXPECT_EQ(Taken(updates), LinesOf(5, 2, 2, PublishedFields(true, true)));
    updates.OnMessage(ZPHMessage('C', 5, 0));
    EXPECT_EQ(Taken(updates), LinesOf(5, 1, 26, PublishedFields(true, true)));

    updates.OnMessage(ZPHMessage('C', 0, 0));
    EXPECT_TRUE(Taken(updates).empty());  // no page was asked for
    updates.MarkAsked(3);
    updates.MarkAsked(250);
    updates.OnMessage(ZPHMessage('C', 0, 0));
    const std::set<int> fields{5, 100, 197, 200, 297};
    std::set<Update> expected = LinesOf(3, 1, 26, fields);
    expected.merge(LinesOf(250, 1, 26, fields));
    EXPECT_EQ(Taken(updates), expected);

    // Only the published ones of those five.
    updates.SetLive(false);
    updates.OnMessage(ZPHMessage('C', 0, 0));
    EXPECT_TRUE(Taken(updates).empty());
}

TEST(DdeUpdates, OtherTypesAndBadAddressesAreIgnored)
{
    int wakes = 0;
    CDdeUpdates updates([&] { ++wakes; });
    updates.SetLive(true);
    for (const ZPHMessage& msg : {ZPHMessage('N', 0, 0), ZPHMessage('H', 4, 0), ZPHMessage('K', 4, 0),
                                  ZPHMessage('D', 0, 1), ZPHMessage('R', 301, 1), ZPHMessage('I', 1, 27),
                                  ZPHMessage('E', 0, 0), ZPHMessage('C', 301, 0)})
        updates.OnMessage(msg);
    EXPECT_EQ(updates.PendingCount(), 0u);
    EXPECT_EQ(wakes, 0);
}

TEST(DdeUpdates, AFloodCoalescesIntoOneSetWithOneWakeUp)
{
    int wakes = 0;
    CDdeUpdates updates([&] { ++wakes; });
    updates.SetLive(true);
    updates.SetHistory(true);
    // Thousands of field updates, as a burst of inserts gives.
    for (int i = 0; i < 200; ++i)
        updates.OnMessage(ZPHMessage('I', 9, 1));
    EXPECT_EQ(wakes, 1);
    EXPECT_EQ(updates.PendingCount(), 26u * DdeLineItems().size());
    EXPECT_EQ(Taken(updates), LinesOf(9, 1, 26, PublishedFields(true, true)));
    updates.OnMessage(Data('D', 9, 1));
    EXPECT_EQ(wakes, 2);  // the next batch wakes again
}

TEST(DdeUpdates, NothingIsLostWhileFeedThreadsAddAndTheWindowTakes)
{
    CDdeUpdates updates;
    updates.SetLive(true);
    std::atomic<bool> done{false};
    std::set<Update> seen;
    std::thread window([&] {
        while (!done) {
            auto got = updates.Take();
            seen.insert(got.begin(), got.end());
        }
        auto got = updates.Take();
        seen.insert(got.begin(), got.end());
    });
    std::vector<std::thread> feeds;
    for (int t = 0; t < 4; ++t)
        feeds.emplace_back([&, t] {
            for (int line = 1; line <= 26; ++line)
                for (int page = 1 + t * 10; page <= 10 + t * 10; ++page) {
                    updates.OnMessage(Data('D', page, line));
                    updates.MarkAsked(page);
                }
        });
    for (auto& feed : feeds)
        feed.join();
    done = true;
    window.join();
    std::set<Update> expected;
    for (int page = 1; page <= 40; ++page)
        expected.merge(LinesOf(page, 1, 26, PublishedFields(true, false)));
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(updates.AskedPages().size(), 40u);
}

TEST(DdeUpdates, AddPostsTheCompanion)
{
    CDdeUpdates updates;
    updates.Add(CreateZPHKey(1, 2), 4);
    updates.Add(CreateZPHKey(1, 2), 100);
    EXPECT_EQ(Taken(updates), (std::set<Update>{{102u, 4}, {102u, 5}, {102u, 100}}));
}
