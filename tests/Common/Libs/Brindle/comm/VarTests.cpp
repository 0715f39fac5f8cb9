#include "Brindle/comm/Var.h"
#include "Brindle/comm/Variant.h"

#include "LocaleZone.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>

using namespace Brindle;

namespace {

std::string Printf(const char* format, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

} // namespace

TEST(Var, StoresTypedValuesAsText)
{
    const std::pair<CVar, std::string> cases[] = {
        {CVar(std::string("abc")), "abc"}, {CVar(static_cast<const char*>(nullptr)), ""}, {CVar('x'), "x"},
        {CVar(-42), "-42"}, {CVar(LONG_MIN), std::to_string(LONG_MIN)}, {CVar(4294967295u), "4294967295"},
        {CVar(ULONG_MAX), std::to_string(ULONG_MAX)}, {CVar(true), "1"}, {CVar(false), "0"}};
    for (const auto& [var, text] : cases)
        EXPECT_EQ(var.get_value(), text);

    CVar v;
    v.set_value(12);
    EXPECT_EQ(v.get_value(), "12");
    v.set_value("text");
    EXPECT_EQ(v.get_value(), "text");
    v.set_value(static_cast<const char*>(nullptr));
    EXPECT_TRUE(v.empty());
}

TEST(Var, FloatingValuesFormatAsAStreamWould)
{
    // A stream with precision 20 (double) or 12 (float) formats as %.<n>g.
    for (double d : {2.5, 0.1, -1.0 / 3.0, 1e300, 5e-324, 0.0, 123456789.125}) {
        EXPECT_EQ(CVar(d).get_value(), Printf("%.20g", d)) << d;
        EXPECT_EQ(CVar(d).get_double(), d);
    }
    for (float f : {0.1f, 2.5f, -3.14159f, 1e30f}) {
        EXPECT_EQ(CVar(f).get_value(), Printf("%.12g", static_cast<double>(f))) << f;
    }
}

TEST(Var, ReadsLikeTheCLibraryReaders)
{
    // A NUL inside the text ends the number, as it would a C text.
    const std::string nul("1\0" "2", 3);
    const std::pair<std::string, long> longs[] = {{"abc", 0},   {" \t+12abc", 12}, {"\n-7", -7},
                                                  {"- 7", 0},   {"12.9", 12},      {nul, 1}};
    for (const auto& [text, value] : longs) {
        EXPECT_EQ(CVar(text).get_int(), value) << text;
        EXPECT_EQ(CVar(text).get_long(), value) << text;
    }
    const std::pair<std::string, double> doubles[] = {{" 1e3x", 1000.0}, {"0x10", 16.0}, {".5", 0.5}, {"abc", 0.0},
                                                      {nul, 1.0}};
    for (const auto& [text, value] : doubles)
        EXPECT_EQ(CVar(text).get_double(), value) << text;
    EXPECT_TRUE(std::isinf(CVar("1e999").get_double()));
    EXPECT_EQ(CVar("abc").get_char(), 'a');
    EXPECT_EQ(CVar("").get_char(), ' ');
    EXPECT_EQ(CVar("77").get_unsigned_long(), 77ul);
    EXPECT_EQ(CVar("77").get_unsigned_int(), 77u);
}

TEST(Var, IntegerReadsSaturateInsteadOfOverflowing)
{
    const std::pair<const char*, int> ints[] = {{"2147483647", INT_MAX},  {"2147483648", INT_MAX},
                                                {"-2147483648", INT_MIN}, {"-2147483649", INT_MIN},
                                                {"99999999999999999999999", INT_MAX}};
    for (const auto& [text, value] : ints)
        EXPECT_EQ(CVar(text).get_int(), value) << text;
    const std::pair<const char*, long> longs[] = {{"99999999999999999999999", LONG_MAX},
                                                  {"-99999999999999999999999", LONG_MIN},
                                                  {"-9223372036854775808", LONG_MIN}};
    for (const auto& [text, value] : longs)
        EXPECT_EQ(CVar(text).get_long(), value) << text;
    // strtoul rules: a sign wraps, a magnitude out of range gives the maximum.
    for (const char* text : {"-1", "18446744073709551616", "-18446744073709551616"})
        EXPECT_EQ(CVar(text).get_unsigned_long(), ULONG_MAX) << text;
    const std::pair<const char*, unsigned> uints[] = {
        {"4294967296", UINT_MAX}, {"-1", UINT_MAX}, {"-2", UINT_MAX - 1}, {"4294967295", UINT_MAX}};
    for (const auto& [text, value] : uints)
        EXPECT_EQ(CVar(text).get_unsigned_int(), value) << text;
}

TEST(Var, BoolIsTrueOnlyForALeadingOne)
{
    for (const char* yes : {"1", " 1", "01", "+1", "1abc", "1.9"})
        EXPECT_TRUE(CVar(yes).get_bool()) << yes;
    // 2^64 + 1 must not wrap round to 1.
    for (const char* no : {"0", "2", "-1", "", "abc", "10", " ", "18446744073709551617"})
        EXPECT_FALSE(CVar(no).get_bool()) << no;
}

TEST(Var, ConversionOperatorsMatchTheReads)
{
    const CVar v("42");
    EXPECT_EQ(static_cast<int>(v), 42);
    EXPECT_EQ(static_cast<long>(v), 42);
    EXPECT_EQ(static_cast<unsigned long>(v), 42ul);
    EXPECT_EQ(static_cast<unsigned int>(v), 42u);
    EXPECT_EQ(static_cast<double>(v), 42.0);
    EXPECT_EQ(static_cast<char>(v), '4');
    EXPECT_STREQ(static_cast<const char*>(v), "42");
    EXPECT_FALSE(static_cast<bool>(v));
    EXPECT_TRUE(static_cast<bool>(CVar(true)));
}

TEST(Var, EqualityIsByteWiseAndCaseSensitive)
{
    EXPECT_TRUE(CVar("abc") == "abc");
    EXPECT_FALSE(CVar("abc") == "ABC");
    EXPECT_TRUE(CVar("abc") != CVar("abd"));
    EXPECT_TRUE(CVar(std::string("a\0b", 3)) == std::string("a\0b", 3));
    EXPECT_FALSE(CVar(std::string("a\0b", 3)) == CVar("a"));
    EXPECT_TRUE(CVar("") == static_cast<const char*>(nullptr));
    // Compares the text, not the pointer.
    const std::string copy = "abc";
    EXPECT_TRUE(CVar("abc") == copy.c_str());
}

TEST(Var, NumbersIgnoreTheProcessLocale)
{
    const std::string before = CVar(2.5).get_value();
    testsupport::ScopedForeignLocale german;
    if (!german.available())
        GTEST_SKIP() << "no German locale to test with";
    // Under the German locale the C library itself writes a comma.
    ASSERT_EQ(Printf("%.1f", 2.5), "2,5");
    EXPECT_EQ(CVar(2.5).get_value(), before);
    EXPECT_EQ(CVar(2.5).get_value(), "2.5");
    EXPECT_EQ(CVar(2.5f).get_value(), "2.5");
    EXPECT_EQ(CVar("2.5").get_double(), 2.5);
    EXPECT_EQ(CVar("2,5").get_double(), 2.0);
    EXPECT_EQ(CVar(1234567).get_value(), "1234567");
    // Nor does CVariant heed it.
    EXPECT_EQ(CVariant(2.5).StringValue(), "2.5");
    EXPECT_EQ(CVariant("2.5").DoubleValue(), 2.5);
    EXPECT_EQ(CVariant(1234567L).StringValue(), "1234567");
}

TEST(Variant, StoresAsAStreamWould)
{
    const std::pair<CVariant, const char*> cases[] = {
        {CVariant(42), "42"}, {CVariant(-7L), "-7"}, {CVariant(4000000000UL), "4000000000"}, {CVariant(true), "1"},
        {CVariant('c'), "c"}, {CVariant(static_cast<const char*>(nullptr)), ""}, {CVariant(2.5), "2.5"},
        {CVariant(0.1), "0.1"}, {CVariant(1.0 / 3.0), "0.3333333333333333"}, {CVariant(1e100), "1e+100"}};
    for (const auto& [variant, text] : cases)
        EXPECT_EQ(variant.StringValue(), text);
}

TEST(Variant, ReadsTheLeadingNumberOrADefinedZero)
{
    const std::pair<const char*, long> ints[] = {{" 42x", 42}, {"abc", 0}, {"", 0}, {"99999999999", INT_MAX}};
    for (const auto& [text, value] : ints)
        EXPECT_EQ(CVariant(text).IntValue(), value) << text;
    EXPECT_EQ(CVariant("").LongValue(), 0);
    EXPECT_EQ(CVariant("-99999999999999999999").LongValue(), LONG_MIN);
    EXPECT_EQ(CVariant("12").UnsignedLongValue(), 12ul);
    EXPECT_EQ(CVariant("x").UnsignedLongValue(), 0ul);
    // "inf": a stream does not read it.
    const std::pair<const char*, double> doubles[] = {{"1e3", 1000.0}, {"-.5e1z", -5.0}, {"2e", 2.0},
                                                      {"inf", 0.0},    {".", 0.0}};
    for (const auto& [text, value] : doubles)
        EXPECT_EQ(CVariant(text).DoubleValue(), value) << text;
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

TEST(VariantList, JoinsWithTheSeparator)
{
    CVariantList list;
    list += CVariant("a");
    list += CVariant("b");
    const CVariant joined = list;
    EXPECT_EQ(joined.StringValue(), "a\x1C" "b");
    EXPECT_TRUE(joined.IsList());
    EXPECT_EQ(CVariantList(joined).GetValues(), (CVariantList::values_type{CVariant("a"), CVariant("b")}));
    EXPECT_EQ(CVariantList().GetJoined().StringValue(), "");
}

TEST(VariantList, EmptyElementsSurviveSplitting)
{
    EXPECT_EQ(CVariantList(CVariant("\x1C" "a\x1C\x1C")).GetValues(),
              (CVariantList::values_type{CVariant(""), CVariant("a"), CVariant(""), CVariant("")}));
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
            for (int j = 0; j < len; ++j) { // any byte but the separator
                const char c = static_cast<char>(pick(0, 254));
                text.push_back(c == CVariant::LIST_SEPARATOR ? '\xFF' : c);
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
