#include "ServerConfig.h"
#include "MarketText.h"

#include <gtest/gtest.h>

using namespace zphd;
using Strings = std::vector<std::string>;

namespace {
// '1' for each page the set contains, '0' for each it does not.
std::string Pages(const PageSet& set, std::initializer_list<int> pages)
{
    std::string bits;
    for (int page : pages)
        bits += set.Contains(page) ? '1' : '0';
    return bits;
}
} // namespace

TEST(ServerConfig, LinesNumberOnFromThePreviousAndBlankSkipsOne)
{
    ServerConfig config;
    std::string error;
    ASSERT_TRUE(ParseConfig("page 3 Two words\n"
                            "text \"a # not a comment\"   # a comment\n"
                            "blank\n"
                            "issue \"X \\\"Y\\\"\" 99.5 0.25 decimals=2 spread=M partner=\"Z 1\"\n"
                            "monitor 2 line=10\n",
                            config, error))
        << error;
    ASSERT_EQ(config.pages.size(), 1u);
    const PageSpec& page = config.pages[0];
    EXPECT_EQ(page.title, "Two words");
    ASSERT_EQ(page.lines.size(), 4u);
    EXPECT_EQ(std::tie(page.lines[0].line, page.lines[0].text), std::tuple(1, "a # not a comment"));
    const LineSpec& issue = page.lines[1];
    EXPECT_EQ(std::tie(issue.line, issue.text, issue.decimals, issue.spreadRole, issue.spreadPartner),
              std::tuple(3, "X \"Y\"", 2, 'M', "Z 1"));
    EXPECT_EQ(std::pair(page.lines[2].line, page.lines[3].line), std::pair(10, 11)) << "blank skips line 2";
    EXPECT_TRUE(page.lines[3].kind == LineKind::Monitor);
}

TEST(ServerConfig, BadInputIsRefusedWithItsLineNumber)
{
    const struct {
        std::string_view text;
        const char* error;
    } cases[] = {
        {"rate fast", "line 1: bad number"},
        {"\nuser bob", "line 2: user needs level="},
        {"user bob level=1000", "line 1: bad number"},
        {"user bob level=5 colour=red", "line 1: unknown option"},
        {"user bob level=5\nuser bob level=6", "line 2: user name"},
        {"text \"hello\"", "line 1: text before any page"},
        {"page 301 x", "line 1: page needs a number 1-300"},
        {"page 1 x\npage 1 y", "line 2: page 1 repeated"},
        {"page 1 x\ntext \"open", "line 2: unclosed quote"},
        {"page 1 x\nissue A 1 0", "line 2: bad number"},
        {"page 1 x\ntext a line=5\ntext b line=4", "line 3: line 4 is not after line 5"},
        {"page 1 x\nmonitor 26\ntext z", "line 3: more than 26 lines"},
        {"user a level=1 pages=0-4", "line 1: bad page list item"},
        {"default-user nobody", "no user \"nobody\""},
        {"frobnicate", "line 1: unknown directive"},
        {std::string_view("seed 1\n\0", 8), "line 2: NUL"}, // refused, not cut short
    };
    for (const auto& c : cases) {
        ServerConfig config;
        std::string error;
        EXPECT_FALSE(ParseConfig(c.text, config, error)) << c.text;
        EXPECT_NE(error.find(c.error), std::string::npos) << c.text << " gave " << error;
    }
}

TEST(PageSet, ParsesRangesAndPrintsThemBack)
{
    PageSet set;
    std::string error;
    ASSERT_TRUE(PageSet::Parse("1-3,7,9-10", set, error));
    EXPECT_EQ(Pages(set, {2, 4}), "10");
    EXPECT_EQ(set.ToString(), "1-3,7,9-10");
    set.Remove(2);
    set.Add(8);
    EXPECT_EQ(set.ToString(), "1,3,7-10");
    PageSet all = PageSet::All();
    all.Remove(5);
    EXPECT_EQ(Pages(all, {4, 5, 6, 300, 301}), "10110");
    EXPECT_FALSE(PageSet::Parse("3-1", set, error));
    EXPECT_FALSE(PageSet::Parse("1,,2", set, error));
    EXPECT_FALSE(PageSet::Parse("301", set, error));
}

TEST(MarketText, NumbersIgnoreTheLocaleAndReadersAreStrict)
{
    EXPECT_EQ(Strings({FormatFixed(98.25, 3), FormatFixed(-0.0001, 3), FormatQuantity(5), FormatQuantity(2.5),
                       FormatReal(4.285), FormatReal(5)}),
              Strings({"98.250", "0.000", "5", "2.5", "4.285", "5"}));
    double d = 0;
    EXPECT_TRUE(ParseDecimal("98.125", d));
    EXPECT_DOUBLE_EQ(d, 98.125);
    EXPECT_TRUE(ParseDecimal("-16", d));
    EXPECT_DOUBLE_EQ(d, -16);
    for (const char* bad : {"", "1e5", "nan", "inf", " 1", "1 ", "1.2.3", "+", ".", "0x10"})
        EXPECT_FALSE(ParseDecimal(bad, d)) << bad;
    int i = 0;
    EXPECT_TRUE(ParseInt("42", i));
    EXPECT_FALSE(ParseInt("4x", i));
    EXPECT_FALSE(ParseInt("99999999999", i));
    std::uint64_t u = 0;
    EXPECT_TRUE(ParseUnsigned("0x2000", u));
    EXPECT_EQ(u, 0x2000u);
    EXPECT_FALSE(ParseUnsigned("-1", u));
}
