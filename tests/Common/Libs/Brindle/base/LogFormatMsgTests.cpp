// The pipe-delimited text of up to ten values.
#include "Brindle/base/LogFormatMsg.h"

#include <gtest/gtest.h>

namespace {

using Brindle::CLogFormatMsg;
using Brindle::CVar;

TEST(LogFormatMsg, FieldsRunToTheLastValueThatIsNotEmpty)
{
    struct Case {
        CLogFormatMsg msg;
        const char* text;
    };
    const Case cases[] = {
        {CLogFormatMsg(), "||"},
        {CLogFormatMsg("a", "", "c"), "|a||c|"},
        {CLogFormatMsg("a"), "|a|"},
        {CLogFormatMsg("", "", "", "", "", "", "", "", "", "j"), "||||||||||j|"},
        {CLogFormatMsg("a", "b", "", "", ""), "|a|b|"},
        {CLogFormatMsg(1, -2, 3.5, 'x', true), "|1|-2|3.5|x|1|"},
        {CLogFormatMsg("", "b"), "||b|"},
        {CLogFormatMsg("p|q"), "|p|q|"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.msg.GetText(), c.text);
    EXPECT_STREQ(CLogFormatMsg("x").c_str(), "|x|");
}

} // namespace
