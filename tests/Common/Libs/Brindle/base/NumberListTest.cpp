#include "Brindle/base/NumberList.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <set>
#include <string>
#include <vector>

using namespace Brindle;
using Ints = std::vector<int>;

namespace {

TEST(ToVector, NumbersAndRangesInEitherDirection)
{
    EXPECT_EQ(to_vector("1,3,5-8"), (Ints{1, 3, 5, 6, 7, 8}));
    EXPECT_EQ(to_vector("8-5"), (Ints{5, 6, 7, 8}));
    EXPECT_EQ(to_vector("5-5"), (Ints{5}));
    EXPECT_EQ(to_vector("3,1,2"), (Ints{3, 1, 2}));
    EXPECT_EQ(to_vector(" 1, 2 ,x3;4 "), (Ints{1, 2, 34}));
    EXPECT_EQ(to_vector("007"), (Ints{7}));
    EXPECT_EQ(to_delimited_string("1,3,5-8"), "1 3 5 6 7 8");
    EXPECT_EQ(to_delimited_string("42"), "42");
}

TEST(ToVector, EmptyNumbersReadAsZero)
{
    EXPECT_EQ(to_vector(""), (Ints{0}));
    EXPECT_EQ(to_vector("1,,2"), (Ints{1, 0, 2}));
    EXPECT_EQ(to_vector("5-"), (Ints{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(to_vector("-3"), (Ints{0, 1, 2, 3}));
    EXPECT_EQ(to_vector(","), (Ints{0, 0}));
    EXPECT_EQ(to_delimited_string(""), "0");
}

TEST(ToVector, NumbersTooBigForAnIntAreRefused)
{
    EXPECT_EQ(to_vector("2147483647"), (Ints{INT_MAX}));
    EXPECT_EQ(to_vector("2147483647-2147483645"), (Ints{INT_MAX - 2, INT_MAX - 1, INT_MAX}));
    EXPECT_TRUE(to_vector("2147483648").empty());
    EXPECT_TRUE(to_vector("1,99999999999999999999999999,2").empty());
    EXPECT_EQ(to_delimited_string("2147483648"), "");
}

TEST(ToVector, HugeRangesAreRefusedNotAllocated)
{
    EXPECT_TRUE(to_vector("0-2147483647").empty());
    EXPECT_TRUE(to_vector("2147483647-0").empty());
    EXPECT_TRUE(to_vector("1-1000000,2-1000000").empty());
    const Ints most = to_vector(std::string("1-") + std::to_string(kMaxNumberListSize));
    ASSERT_EQ(most.size(), kMaxNumberListSize);
    EXPECT_EQ(most.back(), static_cast<int>(kMaxNumberListSize));
    EXPECT_TRUE(to_vector(std::string("0-") + std::to_string(kMaxNumberListSize)).empty());
    // Many small items add up to the same cap.
    std::string many;
    for (std::size_t i = 0; i <= kMaxNumberListSize; ++i)
        many += "1,";
    EXPECT_TRUE(to_vector(many).empty());
}

TEST(ToRangeString, CollapsesAscendingRunsInTheGivenOrder)
{
    EXPECT_EQ(to_range_string(Ints{1, 2, 3, 5, 7, 8}), "1-3, 5, 7-8");
    EXPECT_EQ(to_range_string(Ints{5}), "5");
    EXPECT_EQ(to_range_string(Ints{3, 2, 1}), "3, 2, 1");
    EXPECT_EQ(to_range_string(Ints{1, 1, 2}), "1, 1-2");
    EXPECT_EQ(to_range_string(Ints{-2, -1, 0, 4}), "-2-0, 4");
    EXPECT_EQ(to_range_string(Ints{INT_MAX, INT_MIN}), "2147483647, -2147483648");
    EXPECT_EQ(to_range_string(Ints{INT_MAX - 1, INT_MAX}), "2147483646-2147483647");
}

TEST(ToRangeString, ReadsWhitespaceSeparatedIntegersUpToTheFirstNonInteger)
{
    EXPECT_EQ(to_range_string(std::string("1 2 3 5 7 8")), "1-3, 5, 7-8");
    EXPECT_EQ(to_range_string(std::string("  4\n5\t6 \r\n")), "4-6");
    EXPECT_EQ(to_range_string(std::string("1 2 x 3")), "1-2");
    EXPECT_EQ(to_range_string(std::string("12abc 13")), "12");
    EXPECT_EQ(to_range_string(std::string("+1 +2")), "1-2");
    EXPECT_EQ(to_range_string(std::string("1 -2 -1")), "1, -2--1");
    EXPECT_EQ(to_range_string(std::string("3 - 4")), "3");
    EXPECT_EQ(to_range_string(std::string("7 99999999999 8")), "7");
    EXPECT_EQ(to_range_string(std::string("1 +-2")), "1");
}

TEST(NumberListRoundTrip, RangeTextOfASortedSetReadsBackToTheSameSet)
{
    std::mt19937 random(11);
    for (int round = 0; round < 500; ++round) {
        std::set<int> set;
        const int count = 1 + static_cast<int>(random() % 40);
        const int spread = 1 + static_cast<int>(random() % 200);
        for (int i = 0; i < count; ++i)
            set.insert(static_cast<int>(random() % spread));
        const Ints numbers(set.begin(), set.end());
        const std::string text = to_range_string(numbers);
        ASSERT_EQ(to_vector(text), numbers) << text;
        std::string spaced;
        for (int n : numbers)
            spaced += std::to_string(n) + " ";
        ASSERT_EQ(to_range_string(spaced), text);
    }
}

} // namespace
