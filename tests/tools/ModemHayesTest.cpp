// The modem emulator's command side: command lines, AT parsing, escapes.
#include "Hayes.h"

#include <gtest/gtest.h>

namespace modememu {
namespace {

std::vector<CommandLineBuffer::Line> Lines(const std::string& bytes)
{
    CommandLineBuffer buffer;
    std::vector<CommandLineBuffer::Line> lines;
    buffer.Feed(bytes.data(), bytes.size(), lines);
    return lines;
}

TEST(ModemHayesTest, LinesStartAtATAndBinaryDataIsNoCommand)
{
    auto lines = Lines("\x01ZPH\x1eT\x1fL\x03" "ATS0=1&D2DT555\r\r\nat&d2\r");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].text, "ATS0=1&D2DT555");
    EXPECT_EQ(lines[1].text, "") << "a return alone is an empty line";
    EXPECT_EQ(lines[2].text, "at&d2");

    lines = Lines("ATH9\b0\r");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "ATH0");

    lines = Lines("AT" + std::string(300, '1') + "\r");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].overflow);
    EXPECT_EQ(lines[0].text.size(), CommandLineBuffer::kMaxLine);
}

TEST(ModemHayesTest, ParsesTheDialCommandAndItsSettings)
{
    const ParsedLine dial = ParseCommandLine("ATS0=1&D2DT555-1234");
    EXPECT_TRUE(dial.isAt);
    EXPECT_TRUE(dial.ok);
    ASSERT_TRUE(dial.dial.has_value());
    EXPECT_EQ(*dial.dial, "555-1234");
    EXPECT_EQ(dial.registers.at(0), 1);

    const ParsedLine hangup = ParseCommandLine("ATH0");
    EXPECT_TRUE(hangup.ok);
    EXPECT_TRUE(hangup.hangup);
    EXPECT_TRUE(ParseCommandLine("ath").hangup);
    EXPECT_TRUE(ParseCommandLine("ATO").online);
    EXPECT_EQ(ParseCommandLine("ATE0").echo, std::optional<bool>(false));
    EXPECT_EQ(ParseCommandLine("ATS7?").queries, std::vector<int>{7});
    EXPECT_TRUE(ParseCommandLine("AT").ok);
}

TEST(ModemHayesTest, RefusesWhatItDoesNotKnow)
{
    EXPECT_FALSE(ParseCommandLine("HELLO").isAt);
    for (const char* bad : {"ATH1", "ATS0", "ATS999=1", "ATS0=9999999999", "ATDT555$", "AT%"})
        EXPECT_FALSE(ParseCommandLine(bad).ok) << bad;
}

TEST(ModemHayesTest, EscapeIsFoundAcrossReads)
{
    EscapeDetector escape;
    EXPECT_EQ(escape.Feed("data+", 5), std::string::npos);
    EXPECT_EQ(escape.Feed("+", 1), std::string::npos);
    EXPECT_EQ(escape.Feed("+\r", 2), 1u);
    EXPECT_EQ(escape.Feed("a++b+++", 7), 7u);
    escape.Reset();
    EXPECT_EQ(escape.Feed("++x+", 4), std::string::npos);
}

} // namespace
} // namespace modememu
