#include "core/WindowPlace.h"

#include <gtest/gtest.h>

using namespace mavo;

TEST(WindowPlace, DialogsAreCentredOnTheirWindow)
{
    const PlaceRect owner{100, 50, 800, 600};
    EXPECT_EQ(CentredOn(owner, 300, 100), (PlaceRect{350, 300, 300, 100}));
    // Larger than its window: its corner stays on the window's.
    EXPECT_EQ(CentredOn(owner, 1000, 700), (PlaceRect{100, 50, 1000, 700}));
}

TEST(WindowPlace, PopupsOpenTogetherCascadeAndStartOverAfterEight)
{
    const PlaceRect owner{0, 0, 1000, 800};
    const PlaceRect first = CascadedOn(owner, 200, 100, 0);
    EXPECT_EQ(first, CentredOn(owner, 200, 100));
    for (int depth = 1; depth < kCascadeDepth; ++depth) {
        const PlaceRect r = CascadedOn(owner, 200, 100, depth);
        EXPECT_EQ(r.x, first.x + depth * kCascadeStep) << depth;
        EXPECT_EQ(r.y, first.y + depth * kCascadeStep) << depth;
    }
    EXPECT_EQ(CascadedOn(owner, 200, 100, kCascadeDepth), first);
    EXPECT_EQ(CascadedOn(owner, 200, 100, -3), first);
}
