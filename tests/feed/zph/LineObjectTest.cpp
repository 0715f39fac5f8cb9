#include "MessageBuilder.h"
#include "protocol/FieldIds.h"
#include "protocol/Protocol.h"
#include "zph/LineObject.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace ZPH;

using namespace ZPHWire;
using zphtest::Msg;

namespace {

LineObject FullLine()
{
    LineObject line(4, 7);
    ZPHMessage msg(MSG_REFRESH, 4, 7);
    msg.AddField(F_KIND, 'F');
    msg.AddField(F_ISSUE_NAME, "UST 10Y");
    msg.AddField(F_LINE_FLAGS, 0x10u);
    msg.AddField(F_ISSUE_FLAGS, 0x2000u);
    msg.AddField(F_LAST_TRADE, "99.50");
    msg.AddField(F_LAST_TRADE_TYPE, 1);
    msg.AddField(F_LAST_TRADE_TIME, "10:42");
    msg.AddField(F_DAILY_VOLUME, "1234.56");
    for (int side : {0, OFFER_SIDE}) {
        msg.AddField(F_BID_RATE + side, side ? "99.75" : "99.50");
        msg.AddField(F_BID_QUANTITY + side, "5");
        msg.AddField(F_BID_ATTRIBUTE + side, 2);
        msg.AddField(F_BID_SPREAD_ROLE + side, 'M');
        msg.AddField(F_BID_WHEN_CENTER + side, 250);
        for (int level = 0; level < STACK_LEVELS; ++level) {
            msg.AddField(StackField(F_BID_STACK_CUSTOMER + side, level), std::to_string(100 + level));
            msg.AddField(StackField(F_BID_STACK_CENTER + side, level), std::to_string(200 + level));
            msg.AddField(StackField(F_BID_STACK_QUANTITY + side, level), std::to_string(level + 1));
            msg.AddField(StackField(F_BID_TRADED_CUSTOMER + side, level), std::to_string(300 + level));
            msg.AddField(StackField(F_BID_TRADED_CENTER + side, level), std::to_string(400 + level));
            msg.AddField(StackField(F_BID_TRADED_QUANTITY + side, level), std::to_string(level + 10));
        }
    }
    EXPECT_TRUE(line.Apply(msg, true));
    return line;
}

} // namespace

TEST(LineObject, EveryLevelGetterReadsItsOwnStack)
{
    const LineObject line = FullLine();
    using Getter = const char* (LineObject::*)(int) const;
    // Each stack's bid and offer getter and the number FullLine gave level 0.
    const struct {
        Getter bid, offer;
        int first;
    } stacks[] = {
        {&LineObject::GetBidCustomer, &LineObject::GetOfferCustomer, 100},
        {&LineObject::GetBidCenter, &LineObject::GetOfferCenter, 200},
        {&LineObject::GetBidQuantity, &LineObject::GetOfferQuantity, 1},
        {&LineObject::GetTradedBidCustomer, &LineObject::GetTradedOfferCustomer, 300},
        {&LineObject::GetTradedBidCenter, &LineObject::GetTradedOfferCenter, 400},
        {&LineObject::GetTradedBidQuantity, &LineObject::GetTradedOfferQuantity, 10},
    };
    for (const auto& stack : stacks) {
        for (int level = 0; level < 5; ++level) {
            EXPECT_STREQ((line.*stack.bid)(level), std::to_string(stack.first + level).c_str()) << stack.first;
            EXPECT_STREQ((line.*stack.offer)(level), std::to_string(stack.first + level).c_str()) << stack.first;
        }
        for (int level : {-1, 5, 100}) {
            EXPECT_STREQ((line.*stack.bid)(level), "");
            EXPECT_STREQ((line.*stack.offer)(level), "");
        }
    }
    EXPECT_EQ(std::pair(line.m_bid.m_spreadRole, line.m_offer.m_whenCenter), std::pair('M', 250));
    EXPECT_EQ(std::pair(line.m_lineFlags, line.m_issueFlags), std::pair(0x10u, 0x2000u));
}

TEST(LineObject, DataChangesOnlyTheFieldsItCarriesAndRefreshReplacesTheLine)
{
    LineObject line = FullLine();
    ASSERT_TRUE(line.Apply(Msg(MSG_DATA, 4, 7, F_BID_RATE, "99.625"), false));
    EXPECT_EQ(line.m_bid.m_rate, "99.625");
    EXPECT_EQ(line.m_bid.m_realRate, 99.625) << "the number follows the text when the sender gives only the text";
    EXPECT_EQ(line.m_issueName, "UST 10Y");
    EXPECT_STREQ(line.GetOfferCustomer(4), "104");

    ASSERT_TRUE(line.Apply(Msg(MSG_REFRESH, 4, 7, F_ISSUE_NAME, "UST 2Y"), true));
    EXPECT_EQ(std::tie(line.m_issueName, line.m_bid.m_rate, line.m_bid.m_realRate), std::tuple("UST 2Y", "", 0.0));
    EXPECT_STREQ(line.GetOfferCustomer(4), "");
    EXPECT_EQ(std::pair(line.m_page, line.m_line), std::pair(4, 7));
}

TEST(LineObject, ABadFieldLeavesTheLineAsItWas)
{
    const LineObject before = FullLine();
    for (auto [id, text] : {std::pair{F_BID_ATTRIBUTE, "two"}, {F_LINE_FLAGS, "-1"}, {F_KIND, "FT"},
                            {F_OFFER_REAL_RATE, "1,5"}, {F_LAST_TRADE_TYPE, "1.0"}}) {
        LineObject line = before;
        EXPECT_FALSE(line.Apply(Msg(MSG_DATA, 4, 7, F_ISSUE_NAME, "changed", id, text), false)) << id << "=" << text;
        EXPECT_EQ(line, before) << id;
    }
    // Unknown ids are a later version's fields, not errors.
    LineObject line = before;
    EXPECT_TRUE(line.Apply(Msg(MSG_DATA, 4, 7, 999, "whatever", F_BID_RATE + 14, "x"), false));
    EXPECT_EQ(line, before);
}

TEST(LineObject, TextLineFitsTheBufferAndHonoursTheMode)
{
    LineObject line = FullLine();
    char buffer[50];
    const int length = line.GetTextLine(buffer, sizeof buffer, 0);
    EXPECT_EQ(length, static_cast<int>(std::strlen(buffer)));
    EXPECT_LT(length, 50);
    EXPECT_NE(std::strstr(buffer, "UST 10Y"), nullptr);
    EXPECT_NE(std::strstr(buffer, "99.50/99.75"), nullptr) << buffer;
    EXPECT_NE(std::strstr(buffer, "5 X 5"), nullptr) << buffer;

    line.GetTextLine(buffer, sizeof buffer, 1);
    EXPECT_STREQ(buffer, "UST 10Y") << "withheld prices never reach the text";

    line.m_bid.m_attribute = 0;
    line.m_offer.m_attribute = 6;
    line.GetTextLine(buffer, sizeof buffer, 0);
    EXPECT_EQ(std::strstr(buffer, "99.50"), nullptr);
    EXPECT_NE(std::strstr(buffer, "Error"), nullptr);

    LineObject text(1, 2);
    text.m_kind = LINE_TEXT;
    text.m_text = std::string(80, 'z');
    char small[10];
    EXPECT_EQ(text.GetTextLine(small, sizeof small, 0), 9);
    EXPECT_EQ(std::string(small), std::string(9, 'z'));
    EXPECT_EQ(text.GetTextLine(nullptr, 10, 0), 0);
    EXPECT_EQ(text.GetTextLine(small, 0, 0), 0);
}

TEST(ZPHMessage, FieldsKeepTheirOrderAndTheFirstOfAnIdWins)
{
    ZPHMessage msg(0, 0);
    msg.m_type = MSG_ORDER;
    msg.AddField(O_SYSTEM, O_SYSTEM_VALUE);
    msg.AddField(O_RATE, 99.5);
    msg.AddField(O_COMMAND, "CCEnterBid", 0);
    msg.AddField(O_COMMAND, "second", 3);
    msg.AddField(O_FLAGS, static_cast<const char*>(nullptr), 0);
    msg.AddField(F_KIND, 'T');
    ASSERT_EQ(msg.GetFieldCount(), 6u);
    EXPECT_EQ(msg.GetFields()[0], (ZPHMessage::Field{O_SYSTEM, "22"}));
    EXPECT_EQ(msg.GetFields()[1], (ZPHMessage::Field{O_RATE, "99.5"}));
    EXPECT_EQ(msg.GetFields()[3], (ZPHMessage::Field{O_COMMAND, "sec"}));
    EXPECT_STREQ(msg.GetValue(O_COMMAND), "CCEnterBid");
    EXPECT_STREQ(msg.GetValue(O_FLAGS), "");
    EXPECT_STREQ(msg.GetValue(F_KIND), "T");
    EXPECT_EQ(msg.GetValue(12345), nullptr);
    double rate = 0;
    EXPECT_TRUE(msg.GetDouble(O_RATE, rate));
    EXPECT_EQ(rate, 99.5);
    int number = 5;
    EXPECT_FALSE(msg.GetInt(O_COMMAND, number));
    EXPECT_EQ(number, 5);
}

TEST(ZPHMessage, TimeStampComesOnlyFromAFeedTime)
{
    const ZPHMessage time = Msg(MSG_TIME, 0, 0, F_FEED_TIME, "06 Dec 2026 10:00:00", F_CONNECT_TIME,
                                "06 Dec 2026 09:59:58", F_PACKETS, 1234, F_BAD_PACKETS, 2, F_MAX_DELAY, 17);
    Timestamp ts;
    ASSERT_TRUE(time.GetTimeStamp(ts));
    EXPECT_STREQ(ts.GetFeedTime(), "06 Dec 2026 10:00:00");
    EXPECT_STREQ(ts.GetConnectTime(), "06 Dec 2026 09:59:58");
    EXPECT_EQ(std::tuple(ts.GetPackets(), ts.GetBadPackets(), ts.GetMaxDelay()), std::tuple(1234, 2, 17));

    Timestamp untouched = ts;
    EXPECT_FALSE(Msg(MSG_DATA, 1, 1, F_FEED_TIME, "x").GetTimeStamp(untouched));
    EXPECT_EQ(untouched, ts);
}

TEST(LineObject, ToMessageRebuildsTheSameLineAndFieldTextsReadEachOfItsFields)
{
    const LineObject line = FullLine();
    ZPHMessage msg(MSG_REFRESH, line.m_page, line.m_line);
    line.ToMessage(msg);
    LineObject copy(line.m_page, line.m_line);
    ASSERT_TRUE(copy.Apply(msg, true));
    EXPECT_EQ(copy, line);
    LineObject empty(1, 1);
    ZPHMessage none(MSG_REFRESH, 1, 1);
    empty.ToMessage(none);
    EXPECT_EQ(none.GetFieldCount(), 0u);

    std::string text;
    for (auto [id, expected] : {std::pair {F_ISSUE_NAME, "UST 10Y"}, {F_LINE_FLAGS, "16"}, {F_OFFER_SPREAD_ROLE, "M"},
                                {F_OFFER_REAL_RATE, "99.75"}, {StackField(F_OFFER_TRADED_QUANTITY, 4), "14"},
                                {F_LINE, "7"}}) {
        ASSERT_TRUE(line.GetFieldText(id, text)) << id;
        EXPECT_EQ(text, expected) << id;
    }
    EXPECT_FALSE(line.GetFieldText(F_BID_RATE + 14, text));
    EXPECT_FALSE(line.GetFieldText(1000, text));
    // Every field the message form carries reads back the same.
    for (const auto& [id, value] : msg.GetFields()) {
        ASSERT_TRUE(line.GetFieldText(id, text)) << id;
        EXPECT_EQ(text, value) << id;
    }
}
