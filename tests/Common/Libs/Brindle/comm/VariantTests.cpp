#include "Brindle/comm/Variant.h"

#include "LocaleZone.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <stdexcept>
#include <string>

using Brindle::CVariant;
using Brindle::CVariantList;

TEST(Variant, StoresAsAStreamWould)
{
    EXPECT_EQ(CVariant(42).StringValue(), "42");
    EXPECT_EQ(CVariant(-7L).StringValue(), "-7");
    EXPECT_EQ(CVariant(4000000000UL).StringValue(), "4000000000");
    EXPECT_EQ(CVariant(true).StringValue(), "1");
    EXPECT_EQ(CVariant('c').StringValue(), "c");
    EXPECT_EQ(CVariant(static_cast<const char*>(nullptr)).StringValue(), "");
    EXPECT_EQ(CVariant(2.5).StringValue(), "2.5");
    EXPECT_EQ(CVariant(0.1).StringValue(), "0.1");
    EXPECT_EQ(CVariant(1.0 / 3.0).StringValue(), "0.3333333333333333");
    EXPECT_EQ(CVariant(1e100).StringValue(), "1e+100");
}

TEST(Variant, ReadsTheLeadingNumberOrADefinedZero)
{
    EXPECT_EQ(CVariant(" 42x").IntValue(), 42);
    EXPECT_EQ(CVariant("abc").IntValue(), 0);
    EXPECT_EQ(CVariant("").LongValue(), 0);
    EXPECT_EQ(CVariant("99999999999").IntValue(), INT_MAX);
    EXPECT_EQ(CVariant("-99999999999999999999").LongValue(), LONG_MIN);
    EXPECT_EQ(CVariant("12").UnsignedLongValue(), 12ul);
    EXPECT_EQ(CVariant("x").UnsignedLongValue(), 0ul);
    EXPECT_EQ(CVariant("1e3").DoubleValue(), 1000.0);
    EXPECT_EQ(CVariant("-.5e1z").DoubleValue(), -5.0);
    EXPECT_EQ(CVariant("2e").DoubleValue(), 2.0);
    EXPECT_EQ(CVariant("inf").DoubleValue(), 0.0); // a stream does not read inf
    EXPECT_EQ(CVariant(".").DoubleValue(), 0.0);
    EXPECT_TRUE(CVariant("1").BoolValue());
    EXPECT_FALSE(CVariant("2").BoolValue());
    EXPECT_FALSE(CVariant("yes").BoolValue());
    EXPECT_EQ(CVariant("xyz").CharValue(), 'x');
    EXPECT_THROW((void)CVariant("").CharValue(), std::out_of_range);
}

TEST(Variant, TextOperationsAndComparisons)
{
    CVariant v("hello world");
    EXPECT_FALSE(v.empty());
    EXPECT_FALSE(v.IsList());
    EXPECT_STREQ(static_cast<const char*>(v), "hello world");
    v.assign("hello world", 6, 3);
    EXPECT_EQ(v.GetValue(), "wor");
    EXPECT_THROW(v.assign("abc", 4, 1), std::out_of_range);
    v.clear();
    EXPECT_TRUE(v.empty());

    EXPECT_TRUE(CVariant("a") < CVariant("b"));
    EXPECT_TRUE(CVariant("b") > CVariant("a"));
    EXPECT_TRUE(CVariant("10") < CVariant("9")); // texts, not numbers
    EXPECT_TRUE(CVariant(5) == CVariant("5"));
    EXPECT_TRUE(CVariant("5") != CVariant("5.0"));
}

TEST(Variant, NumbersIgnoreTheProcessLocale)
{
    testsupport::ScopedForeignLocale german;
    if (!german.available())
        GTEST_SKIP() << "no German locale to test with";
    EXPECT_EQ(CVariant(2.5).StringValue(), "2.5");
    EXPECT_EQ(CVariant("2.5").DoubleValue(), 2.5);
    EXPECT_EQ(CVariant(1234567L).StringValue(), "1234567");
}

TEST(VariantList, JoinsWithTheSeparator)
{
    CVariantList list;
    list += CVariant("a");
    list += CVariant("b");
    const CVariant joined = list;
    EXPECT_EQ(joined.StringValue(), "a\x1C" "b");
    EXPECT_TRUE(joined.IsList());
    CVariantList back(joined);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back.GetValues()[0], CVariant("a"));
    EXPECT_EQ(back.GetValues()[1], CVariant("b"));
    EXPECT_EQ(CVariantList().GetJoined().StringValue(), "");
}

TEST(VariantList, EmptyElementsSurviveSplitting)
{
    CVariantList list(CVariant("\x1C" "a\x1C\x1C"));
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list.GetValues()[0], CVariant(""));
    EXPECT_EQ(list.GetValues()[1], CVariant("a"));
    EXPECT_EQ(list.GetValues()[2], CVariant(""));
    EXPECT_EQ(list.GetValues()[3], CVariant(""));
    EXPECT_EQ(CVariantList(CVariant("\x1C")).size(), 2u);
    // The empty text is the empty list.
    EXPECT_EQ(CVariantList(CVariant("")).size(), 0u);
}

TEST(VariantList, RandomListsRoundTripExactly)
{
    std::mt19937 rng(5u);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int i = 0; i < 2000; ++i) {
        CVariantList list;
        const int n = pick(0, 6);
        for (int k = 0; k < n; ++k) {
            std::string text;
            const int len = pick(0, 2) == 0 ? 0 : pick(1, 6);
            for (int j = 0; j < len; ++j) {
                char c;
                do {
                    c = static_cast<char>(pick(0, 255));
                } while (c == CVariant::LIST_SEPARATOR);
                text.push_back(c);
            }
            list += CVariant(text);
        }
        // One empty element and no element share the text "".
        if (list.size() == 1 && list.GetValues()[0].empty())
            continue;
        CVariantList back;
        back = list.GetJoined();
        ASSERT_EQ(back, list) << "list " << i;
    }
}

TEST(VariantList, AppendsListsAndAssigns)
{
    CVariantList a(CVariant("x\x1Cy"));
    CVariantList b;
    b += a;
    b += b; // appending itself doubles it
    EXPECT_EQ(b.GetJoined().StringValue(), "x\x1Cy\x1Cx\x1Cy");
    CVariantList c;
    c.SetValue(a);
    EXPECT_EQ(c, a);
    // Splitting one of the list's own elements into it.
    CVariantList d(CVariant("p\x1Cq"));
    d.GetValues()[0] = CVariant("m\x1Cn");
    d.SetValue(d.GetValues()[0]);
    EXPECT_EQ(d.GetJoined().StringValue(), "m\x1Cn");
    int count = 0;
    for (const CVariant& v : a) {
        EXPECT_EQ(v.StringValue().size(), 1u);
        ++count;
    }
    EXPECT_EQ(count, 2);
}
