// The market's side of users' order commands: which command it is, whether
// the user and the line may take it, and what it does to the book.
#include "Market.h"
#include "MarketBook.h"
#include "MarketText.h"

#include <algorithm>
#include <cmath>

namespace zphd {

namespace {

OrderResult Refuse(std::string text)
{
    return OrderResult {false, std::move(text)};
}

OrderResult Done(std::string text)
{
    return OrderResult {true, std::move(text)};
}

bool ReadQuantity(const std::optional<std::string>& text, double& value)
{
    return text && ParseDecimal(*text, value) && value > 0 && value <= kMaxQuantity;
}

} // namespace

enum class Market::OrderAction { Enter, Join, Delete, Trade, MaxTrade };

struct Market::CheckedOrder {
    const Trader& trader;
    const OrderCommand& order;
    Instrument& inst;
    Side& side;
    std::string sideName;       // "bid" or "offer"
    int decimals = 0;
    double rate = 0;            // rounded to the issue's decimals
    std::string rateText;
};

OrderResult Market::Execute(const Trader& trader, const OrderCommand& order)
{
    if (trader.level == kFullView || trader.level < 1 || trader.level > kFullView)
        return Refuse("Orders cannot be entered from the full view");
    if (!trader.orderEntry)
        return Refuse("Order entry is not enabled for this user");

    using enum OrderAction;
    static const struct {
        const char* name;
        OrderAction what;
        bool bid;
    } commands[] = {
        {"CCEnterBid", Enter, true},
        {"CCEnterOffer", Enter, false},
        {"CCJoinBid", Join, true},
        {"CCJoinOffer", Join, false},
        {"CCDeleteBid", Delete, true},
        {"CCDeleteOffer", Delete, false},
        {"CCTradeBid", Trade, true},
        {"CCTradeOffer", Trade, false},
        {"CCEnterMaxBidTradeQuantity", MaxTrade, true},
        {"CCEnterMaxOfferTradeQuantity", MaxTrade, false},
    };
    const auto* command = std::find_if(std::begin(commands), std::end(commands),
                                       [&](const auto& c) { return order.command == c.name; });
    if (command == std::end(commands))
        return Refuse("Unknown order command \"" + order.command.substr(0, 40) + "\"");

    MarketLine* ml = Find(order.page, order.line);
    if (ml == nullptr || !ml->instrument)
        return Refuse("There is no issue on page " + std::to_string(order.page) + " line " + std::to_string(order.line));
    Instrument& inst = *ml->instrument;
    if ((inst.spec.lineFlags | ml->view.lineFlags) & kFlagUntradeable)
        return Refuse(inst.spec.text + " cannot be traded");

    double rate = 0;
    if (!order.rate || !ParseDecimal(*order.rate, rate) || std::fabs(rate) > kMaxQuantity)
        return Refuse("The order has no valid rate");
    const int decimals = inst.spec.decimals;
    rate = std::round(rate * std::pow(10.0, decimals)) / std::pow(10.0, decimals);
    const CheckedOrder checked {trader, order, inst, command->bid ? inst.bid : inst.offer,
                                command->bid ? "bid" : "offer", decimals, rate, FormatFixed(rate, decimals)};
    switch (command->what) {
    case Enter:
    case Join:
        return EnterOrJoin(checked, command->what == Join);
    case Delete:
        return Withdraw(checked);
    case Trade:
    case MaxTrade:
        return TradeOn(checked, command->what == MaxTrade);
    }
    return Refuse("Unknown order command");
}

OrderResult Market::EnterOrJoin(const CheckedOrder& o, bool join)
{
    Side& side = o.side;
    const std::string& issue = o.inst.spec.text;
    double quantity = 0;
    if (!ReadQuantity(o.order.quantity, quantity))
        return Refuse("The order has no valid quantity");
    if (join && !side.Priced())
        return Refuse("There is no " + o.sideName + " to join on " + issue);
    if (side.Priced() && (join || !Better(side, o.rate, side.rate)) && !SamePrice(o.rate, side.rate)) {
        if (join)
            return Refuse("The " + o.sideName + " on " + issue + " is now " + FormatFixed(side.rate, o.decimals));
        return Refuse("Your " + o.sideName + " of " + o.rateText + " is " + (side.bid ? "below" : "above")
                      + " the market " + o.sideName + " of " + FormatFixed(side.rate, o.decimals));
    }
    if (Crosses(o.inst, side, o.rate))
        return Refuse("Your " + o.sideName + " of " + o.rateText + " would trade; "
                      + (side.bid ? "lift the offer instead" : "hit the bid instead"));
    if (side.trading && !SamePrice(o.rate, side.rate))
        return Refuse("The " + o.sideName + " on " + issue + " is trading");
    Order mine {o.trader.level, o.trader.centre, quantity, true};
    if (!side.Priced() || !SamePrice(o.rate, side.rate)) {
        NewLevel(o.inst, side, o.rate, mine);
        return Done("Your " + o.sideName + " on " + issue + " is " + o.rateText);
    }
    const int existing = side.Find(o.trader.level);
    if (existing >= 0) {
        side.stack[static_cast<std::size_t>(existing)].quantity = quantity;
        Touch(o.inst);
        return Done("Your " + o.sideName + " on " + issue + " is now " + FormatQuantity(quantity));
    }
    if (side.stack.size() >= kStackLevels)
        return Refuse("The " + o.sideName + " stack on " + issue + " is full");
    side.stack.push_back(mine);
    Touch(o.inst);
    return Done("Joined the " + o.sideName + " on " + issue + " at " + o.rateText);
}

OrderResult Market::Withdraw(const CheckedOrder& o)
{
    const int existing = o.side.Find(o.trader.level);
    if (existing < 0)
        return Refuse("You have no " + o.sideName + " on " + o.inst.spec.text);
    if (o.side.trading)
        return Refuse("The " + o.sideName + " on " + o.inst.spec.text + " is trading");
    RemoveOrder(o.inst, o.side, static_cast<std::size_t>(existing));
    return Done("Your " + o.sideName + " on " + o.inst.spec.text + " is withdrawn");
}

OrderResult Market::TradeOn(const CheckedOrder& o, bool max)
{
    Side& side = o.side;
    const std::string& issue = o.inst.spec.text;
    double quantity = 0;
    // A maximum trade quantity comes as the trade quantity; a trade takes
    // it when given, else the quantity.
    if (!ReadQuantity(max ? o.order.quantity2 : (o.order.quantity2 ? o.order.quantity2 : o.order.quantity), quantity))
        return Refuse("The order has no valid quantity");
    if (!side.Priced())
        return Refuse("There is no " + o.sideName + " on " + issue);
    if (!SamePrice(o.rate, side.rate))
        return Refuse("The " + o.sideName + " on " + issue + " is now " + FormatFixed(side.rate, o.decimals));
    if (side.Find(o.trader.level) >= 0 && side.stack.size() == 1)
        return Refuse("You cannot trade with your own " + o.sideName);
    const std::string done = (side.bid ? "Selling " : "Buying ") + FormatQuantity(quantity) + " " + issue + " at "
        + o.rateText;
    if (side.trading) {
        // Joining the trade in progress.
        auto it = std::find_if(side.aggressors.begin(), side.aggressors.end(),
                               [&](const Order& a) { return a.customer == o.trader.level; });
        if (it != side.aggressors.end()) {
            it->quantity = quantity;
        } else {
            if (side.aggressors.size() >= kStackLevels)
                return Refuse("The trade on " + issue + " is full");
            side.aggressors.push_back(Order {o.trader.level, o.trader.centre, quantity, true});
        }
        MonitorTrade(o.inst, side, side.ticket, false);
        Touch(o.inst);
        return Done(done);
    }
    if (max)
        return Refuse("The " + o.sideName + " on " + issue + " is not trading");
    if (side.attribute != kAttrFirm)
        return Refuse("The " + o.sideName + " on " + issue + " is not firm");
    if (!StartTrade(side, Order {o.trader.level, o.trader.centre, quantity, true}))
        return Refuse("The " + o.sideName + " on " + issue + " cannot be traded now");
    MonitorTrade(o.inst, side, side.ticket, false);
    Touch(o.inst);
    return Done(done);
}

} // namespace zphd
