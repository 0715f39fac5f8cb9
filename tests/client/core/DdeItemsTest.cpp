// The DDE server's topics, item table and the value of every item for a
// line, restricted lines included.
#include "core/DdeItems.h"

#include "LocaleZone.h"
#include "zph/ZPHKey.h"

#include <gtest/gtest.h>

#include <map>
#include <tuple>

using namespace mavo;

namespace {

LineObject FieldLine()
{
    LineObject line(12, 3);
    line.m_kind = 'F';
    line.m_issueName = "UST 10Y 4.25% 2034";
    line.m_lastTrade = "99.24";
    line.m_lastTradeType = 1;
    line.m_lastTradeTime = "10:42";
    line.m_dailyHigh = "99.30";
    line.m_dailyLow = "99.01";
    line.m_dailyVolume = "1250.00";
    line.m_lastPersistTrade = "99.20";
    line.m_lastPersistTradeTime = "09:15";
    auto side = [](LineSide& s, const char* rate, double real, const char* prefix) {
        s.m_attribute = 2;
        s.m_rate = rate;
        s.m_quantity = "25";
        s.m_realRate = real;
        s.m_realQuantity = 25;
        // The other texts: the side's letter and the field's own name.
        using S = LineSide;
        for (const auto& [field, name] : {std::pair{&S::m_indicative, "ind"}, {&S::m_prevRate, "prev"},
                                          {&S::m_prevDate, "pdate"},          {&S::m_prevPrevRate, "pprev"},
                                          {&S::m_prevPrevDate, "ppdate"},     {&S::m_lastTrade, "last"},
                                          {&S::m_lastTradeTime, "ltime"},     {&S::m_tradeHigh, "high"},
                                          {&S::m_tradeLow, "low"},            {&S::m_tradeVolume, "vol"}})
            s.*field = std::string(prefix) + name;
    };
    side(line.m_bid, "99.25", 99.25, "b");
    side(line.m_offer, "99.27", 99.265625, "o");
    return line;
}

std::string Value(const LineObject& line, const char* item, bool fullView = false)
{
    const DdeItem* found = FindDdeItem(item);
    EXPECT_NE(found, nullptr) << item;
    std::string value;
    EXPECT_TRUE(found != nullptr && DdeLineValue(line, found->field, fullView, value));
    return value;
}

} // namespace

TEST(DdeTopics, OnlyExactLineTopicsWithinRangeAreAccepted)
{
    unsigned key = 1;
    for (const char* refused : {"P301L1", "P0L1", "P1L27", "X1L1", "P12", "p12l3", "P12l3", "p12L3", "P1L2x",
                                "PL1", "P1L", "P1L0", "P1234L1", "P1L2 ", " P1L2", "P+1L2", "P1L-2", "", "APP",
                                "P12L3L4", "P1\0L2"}) {
        EXPECT_FALSE(ParseDdeTopic(refused, key)) << refused;
        EXPECT_EQ(key, 0u);
    }
    // "P01L001": seven characters, digits as they read.
    for (const auto& [topic, page, line] : {std::tuple{"P12L3", 12, 3}, {"P300L26", 300, 26}, {"P01L001", 1, 1}}) {
        ASSERT_TRUE(ParseDdeTopic(topic, key)) << topic;
        EXPECT_EQ(key, CreateZPHKey(page, line)) << topic;
    }
}

TEST(DdeTopics, EveryLineKeyRoundTripsThroughItsTopic)
{
    for (int page = 1; page <= 300; ++page) {
        for (int line = 1; line <= 26; ++line) {
            const unsigned key = CreateZPHKey(page, line);
            const std::string topic = MakeDdeTopic(key);
            unsigned back = 0;
            ASSERT_TRUE(ParseDdeTopic(topic, back)) << topic;
            ASSERT_EQ(back, key);
        }
    }
    EXPECT_EQ(MakeDdeTopic(CreateZPHKey(12, 3)), "P12L3");
    EXPECT_EQ(MakeDdeTopic(0), "");
}

TEST(DdeItemTable, NamesMatchInAnyCaseAndFieldsFindTheirItem)
{
    for (const char* name : {"bidrate", "BidRate", "BIDRATE"}) {
        const DdeItem* item = FindDdeItem(name);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->field, 100);
        EXPECT_EQ(item->group, DdeGroup::Live);
    }
    EXPECT_EQ(FindDdeItem("BID RATE"), nullptr);
    EXPECT_EQ(FindDdeItem("BIDRATES"), nullptr);
    for (const DdeItem& item : DdeLineItems())
        EXPECT_EQ(FindDdeItemByField(item.field), &item) << item.name;
}

TEST(DdeValues, EveryItemOfAFieldLine)
{
    const LineObject line = FieldLine();
    char text[50];
    line.GetTextLine(text, sizeof text, 0);
    const std::map<std::string, std::string> expected = {
        {"LINE", "3"}, {"TEXT", text}, {"ISSUENAME", "'UST 10Y 4.25% 2034"}, {"LASTTRADE", "99.24"},
        {"LASTTRADETYPE", "1"}, {"LASTTRADETIME", "10:42"}, {"DAILYHIGH", "99.30"}, {"DAILYLOW", "99.01"},
        {"DAILYVOLUME", "1250.00"}, {"LASTPERSISTTRADE", "99.20"}, {"LASTPERSISTTRADETIME", "09:15"},
        {"BIDRATE", "99.25"}, {"BIDQUAN", "25"}, {"BIDATTR", " "}, {"PREVBIDRATE", "bprev"}, {"PREVBIDDATE", "bpdate"},
        {"INDICATIVEBID", "bind"}, {"PREVPREVBIDRATE", "bpprev"}, {"PREVPREVBIDDATE", "bppdate"},
        {"LASTBIDTRADE", "blast"}, {"LASTBIDTRADETIME", "bltime"}, {"HIGHBIDTRADE", "bhigh"}, {"LOWBIDTRADE", "blow"},
        {"BIDTRADEVOLUME", "bvol"}, {"BIDREALRATE", "99.250000"}, {"BIDREALQUAN", "25.000000"}, {"OFFERRATE", "99.27"},
        {"OFFERQUAN", "25"}, {"OFFERATTR", " "}, {"PREVOFFERRATE", "oprev"}, {"PREVOFFERDATE", "opdate"},
        {"INDICATIVEOFFER", "oind"}, {"PREVPREVOFFERRATE", "opprev"}, {"PREVPREVOFFERDATE", "oppdate"},
        {"LASTOFFERTRADE", "olast"}, {"LASTOFFERTRADETIME", "oltime"}, {"HIGHOFFERTRADE", "ohigh"},
        {"LOWOFFERTRADE", "olow"}, {"OFFERTRADEVOLUME", "ovol"}, {"OFFERREALRATE", "99.265625"},
        {"OFFERREALQUAN", "25.000000"}
    };
    ASSERT_EQ(expected.size(), DdeLineItems().size());
    for (const auto& [item, value] : expected)
        EXPECT_EQ(Value(line, item.c_str()), value) << item;
    std::string out;
    EXPECT_FALSE(DdeLineValue(line, 2, false, out));  // the kind: published by no item
}

TEST(DdeValues, EmptyValuesAreASingleSpace)
{
    LineObject line(1, 1);
    line.m_bid.m_attribute = 2;
    for (const char* item : {"BIDQUAN", "BIDRATE", "LASTTRADE"})  // an empty bid quantity among them
        EXPECT_EQ(Value(line, item), " ") << item;
    EXPECT_EQ(Value(line, "ISSUENAME"), "'");
}

TEST(DdeValues, QuantitiesNeedAnAttributeAndAttributesHaveTheirTexts)
{
    LineObject line = FieldLine();
    const std::map<int, std::pair<std::string, std::string>> attributes = {
        {0, {" ", " "}}, {1, {" ", " "}}, {4, {" ", " "}}, {5, {"HIT", "TAK"}},
        {6, {"ERR", "ERR"}}, {8, {"ERR", "ERR"}}, {-1, {"ERR", "ERR"}},
    };
    for (const auto& [attribute, texts] : attributes) {
        line.m_bid.m_attribute = attribute;
        line.m_offer.m_attribute = attribute;
        EXPECT_EQ(Value(line, "BIDATTR"), texts.first) << attribute;
        EXPECT_EQ(Value(line, "OFFERATTR"), texts.second) << attribute;
        EXPECT_EQ(Value(line, "BIDQUAN"), attribute == 0 ? " " : "25") << attribute;
        EXPECT_EQ(Value(line, "OFFERQUAN"), attribute == 0 ? " " : "25") << attribute;
    }
}

TEST(DdeValues, TextLinesGiveTheirTextWhole)
{
    LineObject line(4, 7);
    line.m_kind = 'T';
    line.m_text = std::string("Market closes early today for the holiday; settlement T+2 as usual.");
    line.m_issueName = "ignored";
    EXPECT_EQ(Value(line, "TEXT"), line.m_text);
    EXPECT_EQ(Value(line, "ISSUENAME"), "'" + line.m_text);
    EXPECT_EQ(Value(line, "LINE"), "7");
}

TEST(DdeValues, WithheldPricesGiveOnlyLineTextAndIssueOutsideTheFullView)
{
    for (const bool inIssueFlags : {false, true}) {
        LineObject line = FieldLine();
        (inIssueFlags ? line.m_issueFlags : line.m_lineFlags) = 0x40000 | 0x10;
        char withheld[50];
        line.GetTextLine(withheld, sizeof withheld, 1);
        // Only the line number, the text and the issue; every other item a space.
        const std::map<int, std::string> shown{
            {1, "3"}, {4, withheld[0] ? withheld : " "}, {5, "'UST 10Y 4.25% 2034"}};
        for (const auto& item : DdeLineItems()) {
            std::string value;
            ASSERT_TRUE(DdeLineValue(line, item.field, false, value));
            EXPECT_EQ(value, shown.count(item.field) != 0 ? shown.at(item.field) : " ") << item.name;
        }
        // The full view sees everything.
        EXPECT_EQ(Value(line, "BIDRATE", true), "99.25");
        EXPECT_EQ(Value(line, "DAILYHIGH", true), "99.30");
    }
}

TEST(DdeValues, NumbersIgnoreTheProcessLocale)
{
    testsupport::ScopedForeignLocale german;
    if (!german.available())
        GTEST_SKIP() << "no foreign locale";
    const LineObject line = FieldLine();
    EXPECT_EQ(Value(line, "BIDREALRATE"), "99.250000");
    EXPECT_EQ(Value(line, "OFFERREALRATE"), "99.265625");
}
