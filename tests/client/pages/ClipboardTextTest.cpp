// The six cut-and-paste formats: exact texts of field, text and trade
// monitor lines, two columns, the formula rows, an empty page, and prices
// withheld from the user.
#include "pages/ClipboardText.h"

#include "zph/ZPHKey.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <tuple>

using namespace mavo;

namespace {

LineObject Field(int line, const std::string& issue, const std::string& bid, const std::string& offer,
                 const std::string& bidQuantity = "5", const std::string& offerQuantity = "10")
{
    LineObject result(1, line);
    result.m_kind = 'F';
    result.m_issueName = issue;
    result.m_bid.m_rate = bid;
    result.m_offer.m_rate = offer;
    result.m_bid.m_quantity = bidQuantity;
    result.m_offer.m_quantity = offerQuantity;
    result.m_bid.m_indicative = "99.10";
    result.m_offer.m_indicative = "99.40";
    return result;
}

LineObject Text(int line, const std::string& text)
{
    LineObject result(1, line);
    result.m_kind = 'T';
    result.m_text = text;
    return result;
}

LineObject Monitor(int line, bool offer)
{
    LineObject result(1, line);
    result.m_kind = 'M';
    result.m_issueName = "SCHATZ 2026 DEC";
    LineSide& side = offer ? result.m_offer : result.m_bid;
    side.m_rate = "101.5";
    side.m_attribute = 2;
    side.m_lastTradeTime = "10:42";
    if (offer)
        side.m_tradeNumber = "T-77";
    return result;
}

// A page of lines keyed by their line numbers on page 1.
struct Page {
    std::map<unsigned, LineRef> lines;
    std::vector<unsigned> keys;

    void Add(const LineObject& line)
    {
        const unsigned key = CreateZPHKey(1, line.m_line);
        lines[key] = std::make_shared<const LineObject>(line);
        keys.push_back(key);
    }
    void AddMissing(int line) { keys.push_back(CreateZPHKey(1, line)); }
    std::string Copy(int style, bool fullView = false) const
    {
        return ClipboardPageText(
            keys,
            [this](unsigned key) {
                auto found = lines.find(key);
                return found == lines.end() ? nullptr : found->second;
            },
            style, fullView);
    }
};

} // namespace

TEST(ClipboardFormats, StoredStyleOutsideTheSixFallsBackToTheFirst)
{
    for (const auto& [stored, used] : {std::pair{5, 5}, {6, 0}, {-1, 0}})
        EXPECT_EQ(ValidCopyStyle(stored), used) << stored;
}

TEST(ClipboardFormats, FieldLinesInEachTextFormatWithLongIssuesCutToTwelveAndEmptyRates)
{
    const LineObject plain = Field(1, "BUND", "99.25", "99.27");
    const LineObject longer = Field(1, "BUNDESANLEIHE 2035", "1234567", "99.27");  // long rates are not cut
    const LineObject empty = Field(1, "OAT", "", "", "", "");
    const std::tuple<const LineObject&, int, std::string> texts[] = {
        {plain, 0, "BUND          99.25/99.27       5X10    "},
        {plain, 1, "BUND          99.25/99.27 "},
        {plain, 2, "BUND\t99.25\t/\t99.27\t5\tX\t10"},
        {plain, 3, "BUND            99.10  99.25/99.27  99.40   "},
        {longer, 0, "BUNDESANLEIH 1234567/99.27       5X10    "},
        {longer, 1, "BUNDESANLEIH 1234567/99.27 "},
        {longer, 2, "BUNDESANLEIH\t1234567\t/\t99.27\t5\tX\t10"},
        {empty, 0, "OAT" + std::string(16, ' ') + "/" + std::string(13, ' ') + "X      "},
        {empty, 1, "OAT         "},  // both rates empty: the padded issue
        {empty, 2, "OAT\t\t/\t\t\tX\t"},
        {empty, 3, "OAT         "},
    };
    for (const auto& [line, style, text] : texts)
        EXPECT_EQ(ClipboardLineText(line, style, false), text) << line.m_issueName << " " << style;
    EXPECT_EQ(ClipboardLineText(longer, 3, false).substr(0, 13), "BUNDESANLEIH ");
}

TEST(ClipboardFormats, TextLinesArePaddedToFortyAndCutByFormat)
{
    const std::string long_ = "Settlement of all trades is T+2 unless agreed otherwise";
    const LineObject line = Text(2, long_);
    EXPECT_EQ(ClipboardLineText(line, 0, false), long_.substr(0, 40));
    EXPECT_EQ(ClipboardLineText(line, 1, false), long_.substr(0, 26) + std::string(14, ' '));
    EXPECT_EQ(ClipboardLineText(line, 2, false), long_);
    EXPECT_EQ(ClipboardLineText(line, 3, false), long_);
    EXPECT_EQ(ClipboardLineText(Text(2, "Short"), 0, false), "Short" + std::string(35, ' '));
}

TEST(ClipboardFormats, TradeMonitorLinesShowTheirSideAndStatus)
{
    const LineObject bid = Monitor(3, false);
    const LineObject offer = Monitor(3, true);
    for (int style = 0; style < 4; ++style) {
        EXPECT_EQ(ClipboardLineText(bid, style, false), "SCHATZ 2026   101.5  BID  @    10:42");
        EXPECT_EQ(ClipboardLineText(offer, style, false), "SCHATZ 2026   101.5 OFFER @    10:42");
    }
    // An offer rate alone makes it an offer-side line.
    LineObject rateOnly = Monitor(3, false);
    rateOnly.m_offer.m_rate = "101.6";
    EXPECT_EQ(ClipboardLineText(rateOnly, 0, false), "SCHATZ 2026   101.6 OFFER @         ");
    const std::map<int, std::string> states = {
        {5, "-- TRADING --"}, {6, "-- ERROR --"}, {8, "-- LINEFULL --"}, {7, "-- NOLINE --"}, {3, "   10:42"}};
    for (const auto& [attribute, status] : states) {
        LineObject line = Monitor(3, true);
        line.m_offer.m_attribute = attribute;
        EXPECT_EQ(ClipboardLineText(line, 0, false), "SCHATZ 2026   101.5 OFFER @ " + status) << attribute;
    }
}

TEST(ClipboardFormats, PageTextsEndEveryRowWithCrLf)
{
    Page page;
    page.Add(Field(1, "BUND", "99.25", "99.27"));
    page.Add(Text(2, "Note"));
    EXPECT_EQ(page.Copy(0), "BUND          99.25/99.27       5X10    \r\nNote" + std::string(36, ' ') + "\r\n");
    EXPECT_EQ(page.Copy(2), "BUND\t99.25\t/\t99.27\t5\tX\t10\r\nNote" + std::string(36, ' ') + "\r\n");
}

TEST(ClipboardFormats, TwoColumnsOfFiveLinesGiveThreeRowsTheLastAlone)
{
    Page page;
    for (int line = 1; line <= 5; ++line)
        page.Add(Field(line, "L" + std::to_string(line), "1", "2"));
    const std::string text = page.Copy(1);
    // "%-12s %6s/%-6s": exactly 26 wide here.
    auto column = [](int line) { return "L" + std::to_string(line) + std::string(16, ' ') + "1/2     "; };
    auto pad = [](const std::string& s) { return s + std::string(26 - s.size(), ' '); };
    const std::string expected = pad(column(1)) + " " + pad(column(4)) + "\r\n" + pad(column(2)) + " " +
                                 pad(column(5)) + "\r\n" + pad(column(3)) + "\r\n";
    EXPECT_EQ(text, expected);
    Page even;
    for (int line = 1; line <= 4; ++line)
        even.Add(Text(line, "T" + std::to_string(line)));
    const std::string rows = even.Copy(1);
    EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 2);
    EXPECT_EQ(rows.substr(0, 40), "T1" + std::string(38, ' '));  // a text line is 40 wide, not cut to 26
}

TEST(ClipboardFormats, FormulaRowsLinkEachLineToTheDdeServer)
{
    Page page;
    page.Add(Field(1, "BUND", "99.25", "99.27"));
    page.AddMissing(12);  // formulas need only the key
    EXPECT_EQ(page.Copy(5), "=MAVO|P1L1!'TEXT'\r\n=MAVO|P1L12!'TEXT'\r\n");
    std::string data;  // eight tab-separated links a row
    for (const char* line : {"P1L1", "P1L12"}) {
        std::string row;
        for (const char* item : {"LINE", "ISSUENAME", "BIDATTR", "BIDREALRATE", "OFFERREALRATE", "OFFERATTR",
                                 "BIDREALQUAN", "OFFERREALQUAN"})
            row += std::string(row.empty() ? "" : "\t") + "=MAVO|" + line + "!'" + item + "'";
        data += row + "\r\n";
    }
    EXPECT_EQ(page.Copy(4), data);
}

TEST(ClipboardFormats, AnEmptyPageCopiesAnEmptyTextInEveryFormat)
{
    Page page;
    for (int style = 0; style < 6; ++style)
        EXPECT_EQ(page.Copy(style), "") << style;
}

TEST(ClipboardFormats, MissingLinesKeepTheirRowEmpty)
{
    Page page;
    page.AddMissing(1);
    page.Add(Text(2, "Here"));
    EXPECT_EQ(page.Copy(0), "\r\nHere" + std::string(36, ' ') + "\r\n");
}

TEST(ClipboardFormats, WithheldPricesNeverReachTheTextOutsideTheFullView)
{
    LineObject line = Field(1, "BUND", "99.25", "99.27");
    line.m_lineFlags = 0x40000;
    for (int style = 0; style < 4; ++style) {
        const std::string text = ClipboardLineText(line, style, false);
        EXPECT_EQ(text.find("99."), std::string::npos) << style << ": " << text;
        EXPECT_EQ(text.find("10"), std::string::npos) << style;
        EXPECT_EQ(text.rfind("BUND", 0), 0u) << style;
        EXPECT_NE(ClipboardLineText(line, style, true).find("99.25"), std::string::npos) << style;
    }
    EXPECT_EQ(ClipboardLineText(line, 1, false), "BUND        ");
    LineObject issue = Field(1, "SECRET", "99.25", "99.27");
    issue.m_issueFlags = 0x40000;
    EXPECT_EQ(ClipboardLineText(issue, 2, false), "\t\t/\t\t\tX\t");
    LineObject text = Text(2, "Private note");
    text.m_lineFlags = 0x40000;
    EXPECT_EQ(ClipboardLineText(text, 0, false), std::string(40, ' '));
    EXPECT_EQ(ClipboardLineText(text, 0, true), "Private note" + std::string(28, ' '));
    LineObject monitor = Monitor(3, true);
    monitor.m_lineFlags = 0x40000;
    EXPECT_EQ(ClipboardLineText(monitor, 0, false), "SCHATZ 2026         OFFER @         ");
}

TEST(ClipboardCopy, TextThatCannotBeBuiltLeavesTheClipboardAlone)
{
    std::string clipboard = "the user's own text";
    int replaced = 0;
    auto replace = [&](const std::string& text) {
        ++replaced;
        clipboard = text;
        return true;
    };
    EXPECT_FALSE(mavo::CopyText([]() -> std::string { throw std::bad_alloc(); }, replace));
    EXPECT_EQ(std::pair(replaced, clipboard), std::pair(0, std::string("the user's own text")));
    EXPECT_TRUE(mavo::CopyText([] { return std::string("page"); }, replace));
    EXPECT_EQ(std::pair(replaced, clipboard), std::pair(1, std::string("page")));
    EXPECT_TRUE(mavo::CopyText([] { return std::string(); }, replace));  // an empty page: an empty text
    EXPECT_EQ(clipboard, "");
}
