// Text helpers: control characters named, word wrap, formatting, numbers
// and wide texts to text, the tokenizer, and number lists and ranges.
#include "Brindle/base/Exception.h"
#include "Brindle/base/NumberList.h"
#include "Brindle/base/TextUtil.h"
#include "Brindle/base/Tokenizer.h"

#include "LocaleZone.h"

#include <gtest/gtest.h>

#include <climits>
#include <locale>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

using namespace Brindle;
using Ints = std::vector<int>;
using Texts = std::vector<std::string>;

namespace {

// ---- control characters -----------------------------------------------------

TEST(ConvertCtrlCharsToText, NamesControlBytesKeepsAsciiDropsHighBytes)
{
    for (const auto& [in, out] : {std::pair<std::string, std::string>{"A\r\nB", "A<CR><LF>B"}, {"caf\xE9!", "caf!"},
                                  {std::string("a\0b", 3), "a<NUL>b"}, {"\x7F~ ", "\x7F~ "}, {"", ""},
                                  {"\xC3\xA9\xFF\x80", ""}, {"\tx\n", "<HT>x<LF>"}})
        EXPECT_EQ(ConvertCtrlCharsToText(in), out) << in;
    // Into a text already holding a longer one: nothing of it is left.
    std::string out = "a much longer text from before";
    ConvertCtrlCharsToText("x\ty", out);
    EXPECT_EQ(out, "x<HT>y");
}

// ---- word wrap --------------------------------------------------------------

TEST(WordWrap, CutsAtSpacesAndTrimsTheRest)
{
    // Width 0 sets no limit; a word longer than the width is cut at it.
    for (const auto& [text, width, lines] : {
             std::tuple<const char*, unsigned, Texts>{"the quick brown fox jumps", 10, {"the quick", "brown fox", "jumps"}},
             {"aaaa     bbbb", 6, {"aaaa  ", "bbbb"}}, {"short   ", 10, {"short"}}, {"exactly10!", 10, {"exactly10!"}},
             {"", 10, {""}}, {"      ", 3, {""}}, {"  lead word", 5, {" ", "lead", "word"}},
             {"some long text here  ", 0, {"some long text here"}}, {"", 0, {""}},
             {"0123456789abcdefghijABCDE", 10, {"0123456789", "abcdefghij", "ABCDE"}},
             {"abcdefghij klm", 4, {"abcd", "efgh", "ij", "klm"}}})
        EXPECT_EQ(word_wrap(text, width), lines) << '"' << text << "\" width " << width;
}

TEST(WordWrap, RandomTextsKeepEveryWordCharacterWithinTheWidth)
{
    std::mt19937 random(7);
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const int length = static_cast<int>(random() % 80);
        for (int i = 0; i < length; ++i)
            text += random() % 4 == 0 ? ' ' : static_cast<char>('a' + random() % 26);
        const unsigned width = 1 + random() % 15;
        const auto lines = word_wrap(text, width);
        std::string kept;
        for (const auto& line : lines) {
            ASSERT_LE(line.size(), width) << '"' << text << "\" width " << width;
            kept += line;
        }
        std::erase(text, ' ');
        std::erase(kept, ' ');
        ASSERT_EQ(kept, text);
    }
}

// ---- formatting -------------------------------------------------------------

TEST(FormatString, GrowsPastTheWorkingBufferWithoutCutting)
{
    for (std::size_t length : {1022u, 1023u, 1024u, 1025u, 5000u, 100000u}) {
        const std::string long_text(length, 'q');
        const std::string out = FormatString("[%s]", long_text.c_str());
        ASSERT_EQ(out.size(), length + 2);
        EXPECT_EQ(out, "[" + long_text + "]");
    }
    EXPECT_EQ(FormatString("%2000d|", 7).size(), 2001u);
}

TEST(FormatString, IgnoresTheProcessLocaleAndRefusesNoFormat)
{
    testsupport::ScopedForeignLocale german;
    if (!german.available())
        GTEST_SKIP() << "no German locale can be built on this machine";
    char native[32];
    std::snprintf(native, sizeof native, "%.2f", 1.5);
    ASSERT_STREQ(native, "1,50") << "the locale did not take effect";
    EXPECT_EQ(FormatString("%.2f %g", 1.5, 0.25), "1.50 0.25");
    EXPECT_EQ(ToString(1.5), "1.5");
    // The caller's own locale is back afterwards.
    std::snprintf(native, sizeof native, "%.1f", 2.5);
    EXPECT_STREQ(native, "2,5");
    EXPECT_THROW(FormatString(static_cast<const char*>(nullptr)), CException);
}

// ---- numbers to text --------------------------------------------------------

TEST(ToString, IntegersCharsAndDoublesAsADefaultStreamWritesThem)
{
    EXPECT_EQ(ToString(0), "0");
    EXPECT_EQ(ToString(INT_MIN), "-2147483648");
    EXPECT_EQ(ToString(UINT_MAX), "4294967295");
    EXPECT_EQ(ToString(-7L), "-7");
    EXPECT_EQ(ToString(18446744073709551615ull), "18446744073709551615");
    EXPECT_EQ(ToString('x'), "x");
    EXPECT_EQ(ToString('\0'), std::string(1, '\0'));

    const double samples[] = {0.0, -0.0, 1.0, 3.14159265, 1e10, 0.0001, 0.00001, 123456789.0, 123456.0, 1234567.0,
                              -2.5, 1e-300, 1.7976931348623157e308, 0.1 + 0.2, 100.0, 999999.5};
    for (double d : samples) {
        std::ostringstream peer;
        peer.imbue(std::locale::classic());
        peer << d;
        EXPECT_EQ(ToString(d), peer.str()) << d;
    }
    EXPECT_EQ(ToString(3.14159265), "3.14159");
    EXPECT_EQ(ToString(1e10), "1e+10");
}

// ---- wide text --------------------------------------------------------------

TEST(WideCharToStdString, ConvertsToUtf8)
{
    EXPECT_EQ(WideCharToStdString(u"Gr\u00FC\u00DFe \u20AC"), "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC");
    EXPECT_EQ(WideCharToStdString(u"\U0001F600!"), "\xF0\x9F\x98\x80!");
    EXPECT_EQ(WideCharToStdString(L"Gr\u00FC\u00DFe \U0001F600"), "Gr\xC3\xBC\xC3\x9F" "e \xF0\x9F\x98\x80");
    EXPECT_EQ(WideCharToStdString(u"plain ascii"), "plain ascii");
}

TEST(WideCharToStdString, LengthCountsUnitsAndZeroMeansUpToTheTerminator)
{
    const char16_t text[] = u"abc\0def";
    EXPECT_EQ(WideCharToStdString(text), "abc");
    EXPECT_EQ(WideCharToStdString(text, 2), "ab");
    EXPECT_EQ(WideCharToStdString(text, 7), std::string("abc\0def", 7));
    EXPECT_EQ(WideCharToStdString(static_cast<const WCHAR*>(nullptr)), "");
    EXPECT_EQ(WideCharToStdString(u""), "");
    EXPECT_EQ(WideCharToStdString(static_cast<const wchar_t*>(nullptr)), "");
    EXPECT_EQ(WideCharToStdString(L"xyz", 1), "x");
}

TEST(WideCharToStdString, MalformedUnitsBecomeReplacementCharacters)
{
    const std::string replacement = "\xEF\xBF\xBD";
    const char16_t lone_high[] = {u'a', 0xD83D, u'b', 0};
    const char16_t lone_low[] = {0xDE00, 0};
    EXPECT_EQ(WideCharToStdString(lone_high), "a" + replacement + "b");
    EXPECT_EQ(WideCharToStdString(lone_low), replacement);
    // A pair cut by the length is a lone surrogate.
    EXPECT_EQ(WideCharToStdString(u"\U0001F600", 1), replacement);
    const wchar_t bad32[] = {static_cast<wchar_t>(0x110000), static_cast<wchar_t>(0xD800), L'z', 0};
    EXPECT_EQ(WideCharToStdString(bad32), replacement + replacement + "z");
}

// ---- tokenizer --------------------------------------------------------------

std::vector<std::string> AllTokens(CTokenizer tokens)
{
    std::vector<std::string> out;
    while (!tokens.eof())
        out.emplace_back(tokens.next().get_cstr());
    return out;
}

TEST(CTokenizer, EmptyTokensBetweenDelimitersButNotAfterALastOneAndAnyDelimiterOfTheSetEndsAToken)
{
    for (const auto& [text, delimiters, tokens] :
         {std::tuple<std::string, std::string, Texts>{"a,b,,c", ",", {"a", "b", "", "c"}}, {",,a", ",", {"a"}},
          {"a,", ",", {"a"}}, {"a,,", ",", {"a", ""}}, {"one", ",", {"one"}},
          {" x=1; y = 2", " ;=", {"x", "1", "", "y", "", "", "2"}}, {"whole text", "", {"whole text"}},
          {std::string("a\0b", 3), std::string(1, '\0'), {"a", "b"}}})
        EXPECT_EQ(AllTokens(CTokenizer(text, delimiters)), tokens) << text << " by " << delimiters;
}

TEST(CTokenizer, NothingToSplitIsAtEofAndGivesEmptyValues)
{
    for (const char* text : {"", ",,,"}) {
        CTokenizer tokens(text, ",");
        EXPECT_TRUE(tokens.eof()) << text;
        EXPECT_STREQ(tokens.next().get_cstr(), "");
        EXPECT_TRUE(tokens.eof());
    }
    CTokenizer used("a", ",");
    EXPECT_STREQ(used.next().get_cstr(), "a");
    EXPECT_TRUE(used.eof());
    EXPECT_STREQ(used.next().get_cstr(), "");
}

TEST(CTokenizer, NewDelimitersApplyFromTheCurrentPosition)
{
    CTokenizer tokens("key=a b,c d", "=");
    EXPECT_STREQ(tokens.next().get_cstr(), "key");
    EXPECT_STREQ(tokens.next(",").get_cstr(), "a b");
    EXPECT_STREQ(tokens.next(" ").get_cstr(), "c");
    EXPECT_STREQ(tokens.next().get_cstr(), "d");
    EXPECT_TRUE(tokens.eof());
}

// Joining the tokens with the delimiter gives back the text without its
// leading delimiters and without one final delimiter.
TEST(CTokenizer, TokensJoinBackToTheText)
{
    std::mt19937 random(5);
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        const int length = static_cast<int>(random() % 20);
        for (int i = 0; i < length; ++i)
            text += "ab,"[random() % 3];
        const Texts tokens = AllTokens(CTokenizer(text, ","));
        std::string expected = text.substr(std::min(text.size(), text.find_first_not_of(',')));
        if (!expected.empty() && expected.back() == ',')
            expected.pop_back();
        std::string joined;
        for (std::size_t i = 0; i < tokens.size(); ++i)
            joined += (i > 0 ? "," : "") + tokens[i];
        ASSERT_EQ(joined, expected) << '"' << text << '"';
    }
}

// ---- number lists -----------------------------------------------------------

TEST(ToVector, NumbersAndRangesInEitherDirectionAndEmptyNumbersReadAsZero)
{
    for (const auto& [text, numbers] : {std::pair<const char*, Ints>{"1,3,5-8", {1, 3, 5, 6, 7, 8}}, {"8-5", {5, 6, 7, 8}},
                                        {"5-5", {5}}, {"3,1,2", {3, 1, 2}}, {" 1, 2 ,x3;4 ", {1, 2, 34}},
                                        {"007", {7}}, {"", {0}}, {"1,,2", {1, 0, 2}},
                                        {"5-", {0, 1, 2, 3, 4, 5}}, {"-3", {0, 1, 2, 3}}, {",", {0, 0}}})
        EXPECT_EQ(to_vector(text), numbers) << text;
    for (const auto& [text, list] : {std::pair{"1,3,5-8", "1 3 5 6 7 8"}, {"42", "42"}, {"", "0"}})
        EXPECT_EQ(to_delimited_string(text), list) << text;
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

TEST(ToRangeString, CollapsesAscendingRunsInTheGivenOrderOfAListOrAText)
{
    for (const auto& [numbers, text] : {std::pair<Ints, const char*>{{1, 2, 3, 5, 7, 8}, "1-3, 5, 7-8"}, {{5}, "5"},
                                        {{3, 2, 1}, "3, 2, 1"}, {{1, 1, 2}, "1, 1-2"}, {{-2, -1, 0, 4}, "-2-0, 4"},
                                        {{INT_MAX, INT_MIN}, "2147483647, -2147483648"},
                                        {{INT_MAX - 1, INT_MAX}, "2147483646-2147483647"}})
        EXPECT_EQ(to_range_string(numbers), text);
    // A text is read as whitespace-separated integers up to the first non-integer.
    for (const auto& [text, ranges] :
         {std::pair{"1 2 3 5 7 8", "1-3, 5, 7-8"}, {"  4\n5\t6 \r\n", "4-6"}, {"1 2 x 3", "1-2"}, {"12abc 13", "12"},
          {"+1 +2", "1-2"}, {"1 -2 -1", "1, -2--1"}, {"3 - 4", "3"}, {"7 99999999999 8", "7"}, {"1 +-2", "1"}})
        EXPECT_EQ(to_range_string(std::string(text)), ranges) << text;
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
