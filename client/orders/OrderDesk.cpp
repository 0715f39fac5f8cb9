#include "orders/OrderDesk.h"

#include "orders/OrderMessages.h"
#include "pages/DisplayState.h"
#include "core/FeedLibrary.h"
#include "zph/NumberText.h"

namespace mavo {

namespace {

// The line's texts as numbers, a plain decimal conversion in any locale.
double Number(const std::string& text) { return ZPHText::LeadingDouble(text); }

} // namespace

bool COrderDesk::Enabled(const LineObject* line, unsigned button) const
{
    return (TradeButtonMask(line, m_feed.UserLevel(), m_feed.OrderEntry()) & button) != 0;
}

unsigned COrderDesk::Buttons(unsigned key) const
{
    const LineRef line = m_feed.GetLine(key);
    return TradeButtonMask(line.get(), m_feed.UserLevel(), m_feed.OrderEntry());
}

OrderOutcome COrderDesk::Press(unsigned key, TradeButton button)
{
    const LineRef line = m_feed.GetLine(key);
    if (!Enabled(line.get(), button))
        return OrderOutcome::Refused;
    const int level = m_feed.UserLevel();
    switch (button) {
    case TB_SELL:
    case TB_BUY: {
        const bool bid = button == TB_SELL;
        const LineSide& side = bid ? line->m_bid : line->m_offer;
        if (TradeSideState(side) == DS_TRADING)
            return OrderOutcome::NeedsMaximum;
        const double quantity = Number(side.m_quantity);
        return Deliver(TradeOrder(key, level, bid, Number(side.m_rate), quantity));
    }
    case TB_BID_OUT:
    case TB_OFFER_OUT: {
        const bool bid = button == TB_BID_OUT;
        const LineSide& side = bid ? line->m_bid : line->m_offer;
        if (OwnLevel(side) == 0)
            return OrderOutcome::Refused;
        return Deliver(DeleteOrder(key, level, bid, Number(side.m_rate), Number(OwnStackQuantity(*line, bid))));
    }
    case TB_BID:
    case TB_OFFER:
        return OrderOutcome::NeedsTicket;
    }
    return OrderOutcome::Refused;
}

OrderOutcome COrderDesk::SendMaximum(unsigned key, bool bid, COrderNumber maximum)
{
    const LineRef line = m_feed.GetLine(key);
    if (!Enabled(line.get(), bid ? TB_SELL : TB_BUY))
        return OrderOutcome::Refused;
    const LineSide& side = bid ? line->m_bid : line->m_offer;
    if (TradeSideState(side) != DS_TRADING || maximum < COrderNumber::FromMicros(COrderNumber::kScale))
        return OrderOutcome::Refused;
    return Deliver(MaxTradeOrder(key, m_feed.UserLevel(), bid, side.m_rate, maximum.ToDouble()));
}

OrderOutcome COrderDesk::SendTicket(unsigned key, const COrderTicket& ticket)
{
    const LineRef line = m_feed.GetLine(key);
    if (!Enabled(line.get(), ticket.IsBid() ? TB_BID : TB_OFFER) || !ticket.CanConfirm())
        return OrderOutcome::Refused;
    return Deliver(EnterOrder(key, m_feed.UserLevel(), ticket.IsBid(), ticket.Join(), ticket.Rate()->ToDouble(),
                              ticket.Quantity()->ToDouble()));
}

OrderOutcome COrderDesk::Deliver(const ZPHMessage& msg)
{
    if (!m_feed.Send(msg))
        return OrderOutcome::NotDelivered;
    m_lastSent = msg;
    return OrderOutcome::Sent;
}

} // namespace mavo
