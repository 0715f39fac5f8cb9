#include "Brindle/base/Exception.h"
#include "Brindle/base/TextUtil.h"

#include "LocaleZone.h"

#include <gtest/gtest.h>

#include <climits>
#include <locale>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using namespace Brindle;

namespace {

// ---- control characters -----------------------------------------------------

TEST(ConvertCtrlCharsToText, NamesControlBytesKeepsAsciiDropsHighBytes)
{
    EXPECT_EQ(ConvertCtrlCharsToText("A\r\nB"), "A<CR><LF>B");
    EXPECT_EQ(ConvertCtrlCharsToText("caf\xE9!"), "caf!");
    EXPECT_EQ(ConvertCtrlCharsToText(std::string("a\0b", 3)), "a<NUL>b");
    EXPECT_EQ(ConvertCtrlCharsToText("\x7F~ "), "\x7F~ ");
    EXPECT_EQ(ConvertCtrlCharsToText(""), "");
    EXPECT_EQ(ConvertCtrlCharsToText("\xC3\xA9\xFF\x80"), "");
}

// ---- word wrap --------------------------------------------------------------

TEST(WordWrap, CutsAtSpacesAndTrimsTheRest)
{
    EXPECT_EQ(word_wrap("the quick brown fox jumps", 10),
              (std::vector<std::string>{"the quick", "brown fox", "jumps"}));
    EXPECT_EQ(word_wrap("aaaa     bbbb", 6), (std::vector<std::string>{"aaaa  ", "bbbb"}));
    EXPECT_EQ(word_wrap("short   ", 10), (std::vector<std::string>{"short"}));
    EXPECT_EQ(word_wrap("exactly10!", 10), (std::vector<std::string>{"exactly10!"}));
    EXPECT_EQ(word_wrap("", 10), (std::vector<std::string>{""}));
    EXPECT_EQ(word_wrap("      ", 3), (std::vector<std::string>{""}));
    EXPECT_EQ(word_wrap("  lead word", 5), (std::vector<std::string>{" ", "lead", "word"}));
}

TEST(WordWrap, LongWordsAreCutAtTheWidth)
{
    const std::string word(25, 'x');
    const auto lines = word_wrap(word, 10);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].size(), 10u);
    EXPECT_EQ(lines[1].size(), 10u);
    EXPECT_EQ(lines[2].size(), 5u);
    EXPECT_EQ(word_wrap("abcdefghij klm", 4), (std::vector<std::string>{"abcd", "efgh", "ij", "klm"}));
}

TEST(WordWrap, WidthZeroMeansNoLimitAndEnds)
{
    EXPECT_EQ(word_wrap("some long text here  ", 0), (std::vector<std::string>{"some long text here"}));
    EXPECT_EQ(word_wrap("", 0), (std::vector<std::string>{""}));
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

} // namespace
