// COrderDesk: what a press of a trade-window button does, on the line as it
// stands at that moment. Each press re-reads the line and checks that the
// button is still enabled (TradeButtons.h), so a button that was painted
// enabled a moment before a price vanished, moved into a trade or became
// the user's own sends nothing. The same check is made again when a dialog
// that a press opened (the order dialog, the maximum-quantity dialog)
// closes: its order is built from the line as it stands then.
//
//   Sell / Buy     outside a trade: "CCTradeBid" / "CCTradeOffer" at once
//                  with the shown rate and quantity; while that side trades
//                  (state 4): NeedsMaximum, then SendMaximum.
//   Bid Out / Offer Out  "CCDeleteBid" / "CCDeleteOffer" with the rate and
//                  the stack quantity at the own level (index level-1).
//   Bid / Offer    NeedsTicket, then SendTicket with the confirmed dialog.
//
// Thread-safety: the window thread (one caller at a time).
#pragma once

#include "orders/OrderFeed.h"
#include "orders/OrderNumber.h"
#include "orders/OrderTicket.h"
#include "orders/TradeButtons.h"

namespace mavo {

enum class OrderOutcome {
    Sent,          // the source took the order
    Refused,       // the line is gone or the button is not enabled now: nothing sent
    NotDelivered,  // built, but the source did not take it
    NeedsMaximum,  // Sell/Buy on a trading side: ask for the maximum quantity
    NeedsTicket,   // Bid/Offer: open the order dialog
};

class COrderDesk {
public:
    explicit COrderDesk(COrderFeed& feed) : m_feed(feed) {}

    COrderFeed& Feed() const { return m_feed; }
    // The enabled buttons for the line as it stands.
    unsigned Buttons(unsigned key) const;
    OrderOutcome Press(unsigned key, TradeButton button);
    // The maximum-quantity dialog closed with OK. Refused unless that side
    // still trades, its button is enabled and the maximum is at least 1.
    OrderOutcome SendMaximum(unsigned key, bool bid, COrderNumber maximum);
    // The order dialog was confirmed. Refused unless the button is still
    // enabled and the ticket can be confirmed.
    OrderOutcome SendTicket(unsigned key, const COrderTicket& ticket);

    // The last message handed to the source (tests, the log).
    const ZPHMessage& LastSent() const { return m_lastSent; }

private:
    bool Enabled(const LineObject* line, unsigned button) const;
    OrderOutcome Deliver(const ZPHMessage& msg);

    COrderFeed& m_feed;
    ZPHMessage m_lastSent;
};

} // namespace mavo
