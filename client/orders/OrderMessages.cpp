#include "orders/OrderMessages.h"

#include "protocol/FieldIds.h"
#include "protocol/Protocol.h"
#include "core/FeedLibrary.h"
#include "zph/ZPHKey.h"

namespace mavo {

using namespace ZPHWire;

ZPHMessage OrderMessage(unsigned key, int userLevel, const char* command)
{
    int page = 0;
    int line = 0;
    ParseZPHKey(key, page, line);
    ZPHMessage msg(0, 0);
    msg.m_type = MSG_ORDER;
    msg.AddField(O_SYSTEM, O_SYSTEM_VALUE);
    msg.AddField(O_CLASS, O_CLASS_VALUE);
    msg.AddField(O_PAGE, page);
    msg.AddField(O_LINE, line);
    msg.AddField(O_RESERVED, 0);
    msg.AddField(O_USER_LEVEL, userLevel);
    msg.AddField(O_COMMAND, command, 0);
    return msg;
}

ZPHMessage TradeOrder(unsigned key, int userLevel, bool bid, double rate, double quantity)
{
    ZPHMessage msg = OrderMessage(key, userLevel, bid ? OrderCommand::kTradeBid : OrderCommand::kTradeOffer);
    msg.AddField(O_RATE, rate);
    msg.AddField(O_QUANTITY, quantity);
    msg.AddField(O_TRADE_QUANTITY, quantity);
    if (bid)
        msg.AddField(O_FLAGS, "0", 0);
    return msg;
}

ZPHMessage MaxTradeOrder(unsigned key, int userLevel, bool bid, const std::string& rateText, double maximum)
{
    ZPHMessage msg = OrderMessage(key, userLevel, bid ? OrderCommand::kMaxBidTrade : OrderCommand::kMaxOfferTrade);
    msg.AddField(O_RATE, rateText.c_str(), 0);
    msg.AddField(O_TRADE_QUANTITY, maximum);
    return msg;
}

ZPHMessage DeleteOrder(unsigned key, int userLevel, bool bid, double rate, double stackQuantity)
{
    ZPHMessage msg = OrderMessage(key, userLevel, bid ? OrderCommand::kDeleteBid : OrderCommand::kDeleteOffer);
    msg.AddField(O_RATE, rate);
    msg.AddField(O_QUANTITY, stackQuantity);
    return msg;
}

ZPHMessage EnterOrder(unsigned key, int userLevel, bool bid, bool join, double rate, double quantity)
{
    const char* command = bid ? (join ? OrderCommand::kJoinBid : OrderCommand::kEnterBid)
                              : (join ? OrderCommand::kJoinOffer : OrderCommand::kEnterOffer);
    ZPHMessage msg = OrderMessage(key, userLevel, command);
    msg.AddField(O_FLAGS, O_ENTER_FLAGS);
    msg.AddField(O_RATE, rate);
    msg.AddField(O_QUANTITY, quantity);
    return msg;
}

} // namespace mavo
