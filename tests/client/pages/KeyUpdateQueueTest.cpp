#include "pages/KeyUpdateQueue.h"
#include "pages/PageEnvironment.h"

#include "FakePageFeed.h"

#include <gtest/gtest.h>

#include <thread>

using namespace mavo;

TEST(KeyUpdateQueue, FiltersAndCoalescesBehindOneWakeUp)
{
    CKeyUpdateQueue queue;
    queue.SetKeys({701, 702, 703});
    EXPECT_FALSE(queue.Offer(801));  // not shown
    EXPECT_TRUE(queue.Offer(702));   // first: wake the window
    EXPECT_FALSE(queue.Offer(701));
    EXPECT_FALSE(queue.Offer(702));  // already waiting
    EXPECT_EQ(queue.Waiting(), 2u);
    EXPECT_EQ(queue.Take(), (std::vector<unsigned>{702, 701}));
    EXPECT_TRUE(queue.Take().empty());
    EXPECT_TRUE(queue.Offer(702));  // taken: the next one wakes again
    queue.SetKeys({});
    EXPECT_FALSE(queue.Offer(703));
}

TEST(KeyUpdateQueue, FloodFromManyThreadsStaysBounded)
{
    CKeyUpdateQueue queue;
    std::vector<unsigned> keys;
    for (unsigned k = 701; k <= 726; ++k)
        keys.push_back(k);
    queue.SetKeys(keys);
    std::atomic<int> wakes{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i)
                if (queue.Offer(701 + static_cast<unsigned>(i % 30)))
                    ++wakes;
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(wakes.load(), 1);
    EXPECT_EQ(queue.Waiting(), 26u);
    EXPECT_EQ(queue.Take().size(), 26u);
}

TEST(PageEnvironment, ContextCarriesTheSwitchesAndTheUnlistedTest)
{
    pagestest::FakePageFeed feed;
    CPageEnvironment env;
    env.options.tradeTimer = true;
    env.options.enableMyPrice = true;
    env.flashCount = 17;
    RowContext ctx = env.ContextFor(feed, 7, true);
    EXPECT_FALSE(ctx.fullView);
    EXPECT_TRUE(ctx.tradeTimer);
    EXPECT_TRUE(ctx.enableMyPrice);
    EXPECT_EQ(ctx.flashCount, 17);
    EXPECT_FALSE(ctx.unlisted);  // page checking off
    env.pageListed = [](int page) { return page == 7; };
    EXPECT_FALSE(env.ContextFor(feed, 7, true).unlisted);
    EXPECT_TRUE(env.ContextFor(feed, 8, true).unlisted);
    EXPECT_FALSE(env.ContextFor(feed, 8, false).unlisted);  // no numbers: never unlisted
    feed.userLevel = CPageFeed::kFullViewLevel;
    EXPECT_TRUE(env.ContextFor(feed, 7, true).fullView);
}
