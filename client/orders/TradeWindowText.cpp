#include "orders/TradeWindowText.h"

#include "orders/TradeButtons.h"
#include "core/FeedLibrary.h"
#include "zph/ZPHKey.h"

#include <algorithm>

namespace mavo {

namespace {

constexpr int kPointerGap = 10;
constexpr unsigned kIssueWithheld = 0x40000u;

} // namespace

const std::array<const char*, kStatColumns>& StatColumnTitles()
{
    static const std::array<const char*, kStatColumns> titles{"", "Last / Total", "Bid Trade", "Offer Trade"};
    return titles;
}

const std::array<const char*, kStatRows>& StatRowTitles()
{
    static const std::array<const char*, kStatRows> titles{"Last Trade", "Time", "High", "Low"};
    return titles;
}

std::string TradeWindowTitle(unsigned key)
{
    int page = 0;
    int line = 0;
    ParseZPHKey(key, page, line);
    return "Page " + std::to_string(page) + ", Line " + std::to_string(line);
}

TradeWindowContent TradeWindowContentOf(const LineObject* line)
{
    TradeWindowContent content;
    for (int row = 0; row < kStatRows; ++row)
        content.stats[static_cast<std::size_t>(row)][0] = StatRowTitles()[static_cast<std::size_t>(row)];
    if (line == nullptr)
        return content;
    if ((line->m_issueFlags & kIssueWithheld) == 0)
        content.issue = line->m_issueName;
    if (IsWithheld(*line))
        return content;
    content.rates = line->m_bid.m_rate + " / " + line->m_offer.m_rate;
    content.quantities = line->m_bid.m_quantity + " X " + line->m_offer.m_quantity;
    const std::array<std::array<const std::string*, kStatRows>, kStatColumns - 1> columns{{
        {&line->m_lastTrade, &line->m_lastTradeTime, &line->m_dailyHigh, &line->m_dailyLow},
        {&line->m_bid.m_lastTrade, &line->m_bid.m_lastTradeTime, &line->m_bid.m_tradeHigh, &line->m_bid.m_tradeLow},
        {&line->m_offer.m_lastTrade, &line->m_offer.m_lastTradeTime, &line->m_offer.m_tradeHigh,
         &line->m_offer.m_tradeLow},
    }};
    for (std::size_t column = 0; column < columns.size(); ++column)
        for (std::size_t row = 0; row < kStatRows; ++row)
            content.stats[row][column + 1] = *columns[column][row];
    return content;
}

PlaceRect PlaceNearPointer(int px, int py, int width, int height, const PlaceRect& screen)
{
    PlaceRect place{px, py + kPointerGap, width, height};
    const int right = screen.x + screen.width;
    const int bottom = screen.y + screen.height;
    if (place.y + height > bottom)
        place.y = py - kPointerGap - height;
    if (place.x + width > right)
        place.x -= width;
    // Whatever the pointer, the whole window stays on the screen (its top
    // left corner when it is larger than the screen).
    place.x = std::max(screen.x, std::min(place.x, right - width));
    place.y = std::max(screen.y, std::min(place.y, bottom - height));
    return place;
}

} // namespace mavo
