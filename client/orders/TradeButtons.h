// The six buttons of the trade window and the rules that enable them, from
// a line as it stands, the user's level and the order-entry flag.
//
// A side's state is its display state with attribute 2 and best-price
// flag 1 always counting as state 8, whatever the display options. A side
// "has a rate" when its rate text holds more than blanks.
//
// Nothing is enabled for a missing line, a line that cannot be traded
// (line flag 0x200), a line whose prices are withheld from the user
// (0x40000 in either flag word: the window shows no price to trade on),
// without the order-entry flag, or in full view (level 999).
//
// Bid side with a rate: no own bid: the first traded bid customer is the
// user -> Sell only; else state 1 -> Sell and Bid; else not state 4 ->
// Bid. Own bid and not state 4 -> Bid and Bid Out. Without a bid rate:
// Bid. The offer side mirrors it with Buy, Offer and Offer Out.
//
// Pure functions; any thread.
#pragma once

#include "core/FeedLibrary.h"
#include "zph/LineObject.h"

#include <string>

namespace mavo {

enum TradeButton : unsigned {
    TB_SELL = 1u << 0,
    TB_BUY = 1u << 1,
    TB_BID_OUT = 1u << 2,
    TB_OFFER_OUT = 1u << 3,
    TB_BID = 1u << 4,
    TB_OFFER = 1u << 5,
};

constexpr unsigned kNoLineTrading = 0x200u;
constexpr unsigned kWithheldFlag = 0x40000u;
constexpr unsigned kTradeWindowLineFlag = 0x80000u;

// The side's state for trading (0..8).
int TradeSideState(const LineSide& side);
bool HasRate(const LineSide& side);
// The own level 1..5, or 0 (also for a level outside 1..5).
int OwnLevel(const LineSide& side);
// The stack quantity at the user's own level (level L is stack index L-1);
// "" without an own price.
std::string OwnStackQuantity(const LineObject& line, bool bid);
bool IsWithheld(const LineObject& line);

unsigned TradeButtonMask(const LineObject* line, int userLevel, bool orderEntry);

} // namespace mavo
