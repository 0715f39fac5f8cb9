// The order commands the trade window sends, each one ZPHMessage of type
// 'A' built in this order: the common fields (all integers) 1 = 22,
// 3 = 199, 8 = page, 9 = line, 10 = 0, 20 = the user level; then field 7,
// the command name as a string; then the command's own fields:
//
//   "CCTradeBid"                    15 rate, 16 quantity, 17 quantity (doubles), 21 the string "0"
//   "CCTradeOffer"                  15 rate, 16 quantity, 17 quantity (doubles)
//   "CCEnterMaxBidTradeQuantity"    15 the rate text (string), 17 the maximum quantity (double)
//   "CCEnterMaxOfferTradeQuantity"  the same
//   "CCDeleteBid", "CCDeleteOffer"  15 rate, 16 the stack quantity at the own level (doubles)
//   "CCEnterBid", "CCJoinBid", "CCEnterOffer", "CCJoinOffer"
//                                   21 the integer 0x2000000, 15 rate, 16 quantity (doubles)
//
// Page and line come from the line key; the header's page and line stay 0.
//
// Pure functions; any thread.
#pragma once

#include "core/FeedLibrary.h"
#include "zph/ZPHMessage.h"

#include <string>

namespace mavo {

namespace OrderCommand {
inline constexpr const char* kTradeBid = "CCTradeBid";
inline constexpr const char* kTradeOffer = "CCTradeOffer";
inline constexpr const char* kMaxBidTrade = "CCEnterMaxBidTradeQuantity";
inline constexpr const char* kMaxOfferTrade = "CCEnterMaxOfferTradeQuantity";
inline constexpr const char* kDeleteBid = "CCDeleteBid";
inline constexpr const char* kDeleteOffer = "CCDeleteOffer";
inline constexpr const char* kEnterBid = "CCEnterBid";
inline constexpr const char* kJoinBid = "CCJoinBid";
inline constexpr const char* kEnterOffer = "CCEnterOffer";
inline constexpr const char* kJoinOffer = "CCJoinOffer";
} // namespace OrderCommand

// The common part: type, fields 1, 3, 8, 9, 10, 20 and 7.
ZPHMessage OrderMessage(unsigned key, int userLevel, const char* command);

// "Sell" (bid) or "Buy" (offer) outside a trade: rate and the shown quantity.
ZPHMessage TradeOrder(unsigned key, int userLevel, bool bid, double rate, double quantity);
// "Sell" or "Buy" while that side trades: join with a maximum quantity.
ZPHMessage MaxTradeOrder(unsigned key, int userLevel, bool bid, const std::string& rateText, double maximum);
// "Bid Out" or "Offer Out".
ZPHMessage DeleteOrder(unsigned key, int userLevel, bool bid, double rate, double stackQuantity);
// "Bid" or "Offer" confirmed in the order dialog.
ZPHMessage EnterOrder(unsigned key, int userLevel, bool bid, bool join, double rate, double quantity);

} // namespace mavo
