// Number texts and the fixed-point values of the order dialogs.
#include "orders/OrderIncrement.h"
#include "orders/OrderNumber.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <utility>

using mavo::COrderNumber;
using mavo::OrderNumberText;

TEST(OrderNumberText, WholeNumbersShowOneDecimalOthersUpToSixWithoutTrailingZeros)
{
    // Beyond six decimals it is the whole number it shows as.
    const std::pair<double, const char*> cases[] = {{2, "2.0"},       {2.125, "2.125"}, {0.0625, "0.0625"},
                                                    {99.5, "99.5"},   {0, "0.0"},       {1234567, "1234567.0"},
                                                    {0.1 + 0.2, "0.3"}, {2.0000001, "2.0"}};
    for (const auto& [value, text] : cases)
        EXPECT_EQ(OrderNumberText(value), text) << value;
}

TEST(OrderNumberText, DoesNotFollowTheProcessLocale)
{
    const std::string old = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "de_DE.utf8") == nullptr)
        GTEST_SKIP() << "no German locale installed";
    const std::string shown = OrderNumberText(2.125);
    const auto parsed = COrderNumber::FromText("2.5");
    const std::string stepped = COrderNumber::FromMicros(1500000).Text();
    std::setlocale(LC_ALL, old.c_str());
    EXPECT_EQ(shown, "2.125");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->Micros(), 2500000);
    EXPECT_EQ(stepped, "1.5");
}

TEST(OrderNumber, ReadsPlainDecimalsOnly)
{
    EXPECT_EQ(COrderNumber::FromText("2.125")->Micros(), 2125000);
    EXPECT_EQ(COrderNumber::FromText(" 3 ")->Micros(), 3000000);
    EXPECT_EQ(COrderNumber::FromText(".25")->Micros(), 250000);
    EXPECT_EQ(COrderNumber::FromText("7.")->Micros(), 7000000);
    EXPECT_EQ(COrderNumber::FromText("0.0000004")->Micros(), 0);
    EXPECT_EQ(COrderNumber::FromText("0.0000005")->Micros(), 1);
    for (const char* bad : {"", ".", "-1", "+1", "1e3", "1.2.3", "abc", "1,5", "99999999999999999999"})
        EXPECT_FALSE(COrderNumber::FromText(bad)) << bad;
    EXPECT_FALSE(COrderNumber::FromDouble(-0.5));
    EXPECT_FALSE(COrderNumber::FromDouble(1.0 / 0.0));
    EXPECT_EQ(COrderNumber::FromDouble(0.1)->Micros(), 100000);
}

TEST(OrderNumber, StepsDoNotAccumulateRoundingErrors)
{
    const COrderNumber tenth = *COrderNumber::FromText("0.1");
    COrderNumber value;
    double plain = 0;
    for (int i = 0; i < 10; ++i) {
        value = value.Plus(tenth);
        plain += 0.1;
    }
    EXPECT_NE(plain, 1.0);  // what doubles alone would give
    EXPECT_EQ(value.Text(), "1.0");
    EXPECT_EQ(value.ToDouble(), 1.0);
    for (int i = 0; i < 10; ++i)
        value = value.Minus(tenth, COrderNumber());
    EXPECT_TRUE(value.IsZero());
    // Never below the floor.
    EXPECT_EQ(COrderNumber::FromText("0.10")->Minus(*COrderNumber::FromText("0.25"), COrderNumber()).Text(), "0.0");
    const COrderNumber one = *COrderNumber::FromText("1");
    EXPECT_EQ(one.Minus(one, one).Text(), "1.0");
}

TEST(OrderIncrement, SixChoicesStartingAtAQuarter)
{
    mavo::COrderIncrement increment;
    EXPECT_EQ(increment.Index(), 4);
    EXPECT_EQ(increment.Current().step.Text(), "0.25");
    // Each step is the value its label reads as, smallest first.
    const auto& choices = mavo::IncrementChoices();
    for (int i = 0; i < mavo::kIncrementCount; ++i) {
        EXPECT_EQ(*COrderNumber::FromText(choices[i].label), choices[i].step) << choices[i].label;
        EXPECT_TRUE(i == 0 || choices[i - 1].step.Micros() < choices[i].step.Micros()) << i;
    }
    EXPECT_FALSE(increment.SetIndex(6));
    EXPECT_FALSE(increment.SetIndex(-1));
    EXPECT_EQ(increment.Index(), 4);
    EXPECT_TRUE(increment.SetIndex(1));
    EXPECT_EQ(increment.Current().step.Text(), "0.0625");
}

TEST(OrderNumberTyping, FieldsTakeDigitsAndOnePointOnly)
{
    struct {
        const char* text;
        bool accepted;
    } cases[] = {
        {"", true},    {"9", true},     {"99.5", true},  {".25", true},         {"3.", true},
        {"9a", false}, {"1.2.3", false}, {"-1", false},  {"1e5", false},        {" 2", false},
        {"2,5", false}, {"0123456789012345", true},      {"01234567890123456", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(mavo::AcceptsOrderNumberTyping(c.text), c.accepted) << '"' << c.text << '"';
}
