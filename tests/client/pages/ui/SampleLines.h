// A believable page of lines for the widget tests and pictures: field lines
// with stacks, aggressors and trades in several display states, a text
// line, and a page of trade monitor lines.
#pragma once

#include "zph/LineCache.h"
#include "zph/ZPHKey.h"

#include <string>

using namespace ZPH;

namespace pagestest {

inline LineObject SampleFieldLine(int page, int line)
{
    static const char* issues[] = {"UST 2Y",   "UST 3Y",  "UST 5Y",    "UST 7Y",    "UST 10Y", "UST 20Y", "UST 30Y",
                                   "TIPS 10Y", "BUND 2Y", "BUND 5Y",   "BUND 10Y",  "OAT 10Y", "BTP 10Y", "GILT 10Y",
                                   "JGB 10Y",  "ACGB 10", "CAN 10Y",   "SWAP 2Y",   "SWAP 5Y", "SWAP 10",  "2S10S",
                                   "5S30S",    "FLY 2/5/10", "EDZ4",   "TYZ4",      "USZ4"};
    LineObject l(page, line);
    l.m_kind = 'F';
    l.m_issueName = issues[(line - 1) % 26];
    const int base = 9900 + line * 7;
    auto rate = [](int hundredths) {
        return std::to_string(hundredths / 100) + "." + (hundredths % 100 < 10 ? "0" : "") +
               std::to_string(hundredths % 100);
    };
    l.m_bid.m_rate = rate(base);
    l.m_offer.m_rate = rate(base + 3);
    l.m_bid.m_quantity = std::to_string(5 + line % 7 * 5);
    l.m_offer.m_quantity = std::to_string(10 + line % 5 * 5);
    l.m_bid.m_attribute = 2;
    l.m_offer.m_attribute = 2;
    if (line % 6 == 2)
        l.m_bid.m_attribute = 3;
    if (line % 7 == 3)
        l.m_offer.m_attribute = 4;
    if (line == 5)
        l.m_bid.m_attribute = 5;  // trading: blinks
    if (line == 9)
        l.m_offer.m_attribute = 8;
    if (line % 4 == 0)
        l.m_bid.m_best = 1;
    for (int level = 0; level < 5; ++level) {
        if (level < 1 + line % 4) {
            l.m_bid.m_stack[level] = {std::to_string(100 + line * 3 + level), std::to_string(100 * (1 + (line + level) % 9)),
                                      std::to_string(5 * (level + 1))};
            l.m_offer.m_stack[level] = {std::to_string(200 + line * 5 + level),
                                        std::to_string(100 * (1 + (line * 2 + level) % 9)), std::to_string(10 * (level + 1))};
        }
        if (level < line % 3) {
            l.m_bid.m_traded[level] = {std::to_string(300 + line + level), "250", "5"};
            l.m_offer.m_traded[level] = {std::to_string(400 + line + level), "450", "10"};
        }
    }
    if (line % 3 == 1) {
        l.m_lastTrade = rate(base + 1);
        l.m_lastTradeType = line % 2 == 0 ? 1 : 2;
        l.m_lastTradeTime = "1" + std::to_string(line % 6) + ":" + std::to_string(10 + line);
        l.m_lastTradeNumber = std::to_string(4000 + line);
        l.m_dailyVolume = std::to_string(line * 125) + ".50";
    }
    if (line % 5 == 0)
        l.m_lineFlags |= 0x10;  // underline
    if (line % 8 == 1)
        l.m_bid.m_ownLevel = 1 + line % 5;
    if (line == 12)
        l.m_issueFlags = 0x1000;
    if (line == 14)
        l.m_bid.m_backup = rate(base - 2);
    return l;
}

inline void FillSamplePage(LineCache& cache, int page, const std::string& title = "US RATES")
{
    cache.SetTitle(page, title);
    for (int line = 1; line <= 26; ++line) {
        LineObject l = SampleFieldLine(page, line);
        if (line == 13) {
            l = LineObject(page, line);
            l.m_kind = 'T';
            l.m_text = "  --- EUROPE ---";
            l.m_lineFlags = 0x2000;
        }
        cache.Put(CreateZPHKey(page, line), l);
    }
}

inline LineObject SampleTradeLine(int page, int line)
{
    LineObject l(page, line);
    l.m_kind = 'M';
    l.m_issueName = SampleFieldLine(page, line).m_issueName;
    LineSide& side = line % 2 == 0 ? l.m_offer : l.m_bid;
    side.m_tradeNumber = std::to_string(7000 + line);
    side.m_rate = SampleFieldLine(page, line).m_bid.m_rate;
    side.m_quantity = std::to_string(line * 5);
    side.m_attribute = line == 3 ? 5 : 2;
    side.m_lastTradeTime = "11:" + std::to_string(10 + line);
    for (int level = 0; level < 3; ++level) {
        l.m_bid.m_stack[level] = {std::to_string(110 + line + level), std::to_string(100 * (1 + level)), "5"};
        l.m_bid.m_traded[level] = {std::to_string(120 + line + level), std::to_string(100 * (3 + level)), "5"};
        l.m_offer.m_stack[level] = {std::to_string(130 + line + level), std::to_string(100 * (5 + level)), "5"};
        l.m_offer.m_traded[level] = {std::to_string(140 + line + level), std::to_string(100 * (7 + level)), "5"};
    }
    return l;
}

} // namespace pagestest
