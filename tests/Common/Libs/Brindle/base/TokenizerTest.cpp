#include "Brindle/base/Tokenizer.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using Brindle::CTokenizer;

namespace {

std::vector<std::string> AllTokens(CTokenizer tokens)
{
    std::vector<std::string> out;
    while (!tokens.eof())
        out.emplace_back(tokens.next().get_cstr());
    return out;
}

using Texts = std::vector<std::string>;

TEST(CTokenizer, EmptyTokensBetweenDelimitersButNotAfterALastOne)
{
    EXPECT_EQ(AllTokens(CTokenizer("a,b,,c", ",")), (Texts{"a", "b", "", "c"}));
    EXPECT_EQ(AllTokens(CTokenizer(",,a", ",")), (Texts{"a"}));
    EXPECT_EQ(AllTokens(CTokenizer("a,", ",")), (Texts{"a"}));
    EXPECT_EQ(AllTokens(CTokenizer("a,,", ",")), (Texts{"a", ""}));
    EXPECT_EQ(AllTokens(CTokenizer("one", ",")), (Texts{"one"}));
}

TEST(CTokenizer, AnyDelimiterOfTheSetEndsAToken)
{
    EXPECT_EQ(AllTokens(CTokenizer(" x=1; y = 2", " ;=")), (Texts{"x", "1", "", "y", "", "", "2"}));
    EXPECT_EQ(AllTokens(CTokenizer(std::string("a\0b", 3), std::string(1, '\0'))), (Texts{"a", "b"}));
    EXPECT_EQ(AllTokens(CTokenizer("whole text", "")), (Texts{"whole text"}));
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

} // namespace
