#include "pages/BlinkTracker.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace mavo;

TEST(BlinkTracker, TickHandsBackOnlyCellsWhosePhaseChanges)
{
    CBlinkTracker tracker(0);
    const Rect fast{0, 0, 10, 10};
    const Rect slow{10, 0, 20, 10};
    tracker.Register(fast, 1);
    tracker.Register(slow, 3);
    tracker.Register(Rect{20, 0, 30, 10}, 0);  // steady: ignored
    EXPECT_EQ(tracker.Size(), 2u);

    auto changed = tracker.Tick(1);
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed[0], fast);
    EXPECT_EQ(tracker.Size(), 1u);  // forgotten until repainted

    tracker.Register(fast, 1);
    changed = tracker.Tick(2);
    EXPECT_EQ(changed, std::vector<Rect>{fast});
    tracker.Register(fast, 1);
    changed = tracker.Tick(3);  // 3/3 = 1: the slow cell turns too
    ASSERT_EQ(changed.size(), 2u);
    EXPECT_NE(std::find(changed.begin(), changed.end(), slow), changed.end());
    EXPECT_EQ(tracker.Size(), 0u);
}

TEST(BlinkTracker, RepeatedPaintsRegisterACellOnce)
{
    CBlinkTracker tracker(5);
    for (int i = 0; i < 1000; ++i)
        tracker.Register(Rect{0, 0, 10, 10}, 3);
    EXPECT_EQ(tracker.Size(), 1u);
    tracker.Register(Rect{0, 0, 10, 10}, 1);  // same cell, other cadence
    EXPECT_EQ(tracker.Size(), 2u);
    EXPECT_TRUE(tracker.Tick(5).empty());  // same count: nothing changes
    tracker.Clear();
    EXPECT_EQ(tracker.Size(), 0u);
    tracker.Register(Rect{5, 5, 5, 10}, 1);  // empty rectangle
    EXPECT_EQ(tracker.Size(), 0u);
}

TEST(BlinkTracker, JumpsOfTheCountCompareOnlyThePhases)
{
    CBlinkTracker tracker(0);
    tracker.Register(Rect{0, 0, 1, 1}, 3);
    EXPECT_TRUE(tracker.Tick(6).empty());  // 0 and 2: both even
    EXPECT_EQ(tracker.Tick(9).size(), 1u);
}
