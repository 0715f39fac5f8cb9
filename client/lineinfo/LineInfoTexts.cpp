#include "lineinfo/LineInfoTexts.h"

#include "lineinfo/DisplayOptions.h"
#include "pages/RowLayout.h"

#include <string>

namespace mavo {

namespace {

constexpr unsigned kWithheldFlag = 0x40000;

void AppendLevel(std::string& out, const char* customer, const char* quantity)
{
    out += customer;
    out += " (";
    out += quantity;
    out += ")  ";
}

// Numbers become text without the process locale.
std::string Decimal(int value) { return std::to_string(value); }

std::string RateTip(const LineSide& side, int mask, const char* backupLabel, const char* whenCenterLabel)
{
    std::string tip;
    if ((mask & InfoTipBit::BackupPrice) != 0 && !side.m_backup.empty())
        tip = backupLabel + side.m_backup;
    if ((mask & InfoTipBit::WhenCenter) != 0 && side.m_whenCenter > 0) {
        // Both at once read as two lines of one tip.
        if (!tip.empty())
            tip += '\n';
        tip += whenCenterLabel + Decimal(side.m_whenCenter);
    }
    return tip;
}

std::string PreviousTip(const LineSide& side, int mask)
{
    if ((mask & InfoTipBit::PreviousRate) == 0 || side.m_prevCustomer.empty())
        return {};
    return "Previous: " + side.m_prevRate;
}

std::string TradeTip(const LineObject& line, int mask)
{
    if ((mask & InfoTipBit::TradeStatistics) == 0)
        return {};
    if (line.m_bid.m_tradeNumber.empty() && line.m_offer.m_tradeNumber.empty())
        return {};
    std::string tip = line.m_issueName;
    tip += line.m_lastTradeType == 1 ? "\nLast: Bid " : "\nLast: Offer ";
    tip += line.m_lastTrade;
    tip += " @ ";
    tip += line.m_lastTradeTime;
    tip += "\nHigh: ";
    tip += line.m_dailyHigh;
    tip += "\nLow: ";
    tip += line.m_dailyLow;
    tip += "\nVolume: ";
    tip += line.m_dailyVolume;
    return tip;
}

} // namespace

bool PricesWithheld(const LineObject& line, bool fullView)
{
    return !fullView && ((line.m_lineFlags | line.m_issueFlags) & kWithheldFlag) != 0;
}

std::string LineInfoCaption(int page, int line, std::string_view issueName)
{
    std::string caption = "Page " + Decimal(page) + ", Line " + Decimal(line) + " - ";
    caption += issueName;
    return caption;
}

std::string SpreadText(const LineSide& side)
{
    switch (side.m_spreadRole) {
    case 'M': return "spread MASTER for " + side.m_spreadPartner;
    case 'S': return "spread SLAVE to " + side.m_spreadPartner;
    default: return kNoSpreadText;
    }
}

std::string StackText(const LineObject& line)
{
    std::string text;
    for (int level = LineSide::LEVELS - 1; level >= 0; --level) {
        const char* customer = line.GetBidCustomer(level);
        if (*customer != '\0')
            AppendLevel(text, customer, line.GetBidQuantity(level));
    }
    text += "/  ";
    for (int level = 0; level < LineSide::LEVELS; ++level) {
        const char* customer = line.GetOfferCustomer(level);
        if (*customer == '\0')
            break;
        AppendLevel(text, customer, line.GetOfferQuantity(level));
    }
    return text;
}

LineInfoTable BuildLineInfoTable(const LineObject& line)
{
    LineInfoTable table;
    for (int i = 0; i < kLineInfoRows; ++i)
        table[static_cast<std::size_t>(i)].name = kLineInfoRowNames[static_cast<std::size_t>(i)];
    const auto sides = [&table](int row, const std::string& bid, const std::string& offer) {
        table[static_cast<std::size_t>(row)].bid = bid;
        table[static_cast<std::size_t>(row)].offer = offer;
    };
    const LineSide& b = line.m_bid;
    const LineSide& o = line.m_offer;
    sides(0, b.m_rate, o.m_rate);
    sides(1, line.GetBidCenter(0), line.GetOfferCenter(0));
    sides(2, b.m_prevRate, o.m_prevRate);
    sides(3, b.m_prevDate, o.m_prevDate);
    sides(4, b.m_prevCustomer, o.m_prevCustomer);
    sides(5, b.m_prevPrevRate, o.m_prevPrevRate);
    sides(6, b.m_prevPrevDate, o.m_prevPrevDate);
    sides(7, b.m_prevPrevCustomer, o.m_prevPrevCustomer);
    sides(8, b.m_lastTrade, o.m_lastTrade);
    sides(9, b.m_lastTradeTime, o.m_lastTradeTime);
    sides(10, b.m_tradeNumber, o.m_tradeNumber);
    sides(11, b.m_tradeHigh, o.m_tradeHigh);
    sides(12, b.m_tradeLow, o.m_tradeLow);
    sides(13, b.m_tradeVolume, o.m_tradeVolume);
    table[8].total = line.m_lastPersistTrade;
    table[9].total = line.m_lastPersistTradeTime;
    table[10].total = line.m_lastTradeNumber;
    table[11].total = line.m_dailyHigh;
    table[12].total = line.m_dailyLow;
    table[13].total = line.m_dailyVolume;
    return table;
}

LineInfoTexts BuildLineInfoTexts(const LineObject& line, bool fullView)
{
    LineInfoTexts texts;
    texts.caption = LineInfoCaption(line.m_page, line.m_line, line.m_issueName);
    if (PricesWithheld(line, fullView)) {
        texts.bidSpread = texts.offerSpread = kNoSpreadText;
        for (int i = 0; i < kLineInfoRows; ++i)
            texts.table[static_cast<std::size_t>(i)].name = kLineInfoRowNames[static_cast<std::size_t>(i)];
        return texts;
    }
    texts.bidSpread = SpreadText(line.m_bid);
    texts.offerSpread = SpreadText(line.m_offer);
    texts.stack = StackText(line);
    texts.table = BuildLineInfoTable(line);
    return texts;
}

std::string InfoTipText(const LineObject& line, int column, int mask)
{
    if (line.m_kind != 'F')
        return {};
    switch (column) {
    case COL_BID_RATE: return RateTip(line.m_bid, mask, "Backup Bid: ", "Hit When Center: ");
    case COL_OFFER_RATE: return RateTip(line.m_offer, mask, "Backup Offer: ", "Lift When Center: ");
    case COL_PREV_BID: return PreviousTip(line.m_bid, mask);
    case COL_PREV_OFFER: return PreviousTip(line.m_offer, mask);
    case COL_ISSUE: return TradeTip(line, mask);
    default: return {};
    }
}

} // namespace mavo
