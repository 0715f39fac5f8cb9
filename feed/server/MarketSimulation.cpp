// The market's simulated customers: they join, improve, withdraw, change
// quantities, go subject, drift the fair price and trade, at the set rate;
// and every trade, simulated or a user's, completes here.
#include "Market.h"
#include "MarketBook.h"
#include "MarketText.h"

#include <algorithm>
#include <cmath>

namespace zphd {

namespace {

constexpr double kSizes[] = {1, 2, 2, 3, 5, 5, 5, 10, 10, 15, 20, 25};

} // namespace

Market::Order Market::SimCustomer(const Side& avoid)
{
    Order o;
    for (int tries = 0; tries < 8; ++tries) {
        o = m_customers[m_random.Below(m_customers.size())];
        if (avoid.Find(o.customer) < 0 && std::none_of(avoid.aggressors.begin(), avoid.aggressors.end(),
                                                       [&](const Order& a) { return a.customer == o.customer; }))
            break;
    }
    o.user = false;
    return o;
}

double Market::SimQuantity() { return kSizes[m_random.Below(std::size(kSizes))]; }

void Market::Step()
{
    // Some actions find nothing to do (a full stack, a price that would
    // cross); another is tried, so that an update is a change on a page.
    const std::uint64_t before = m_changes;
    for (int attempt = 0; attempt < 8 && m_changes == before; ++attempt) {
        Instrument& inst = *m_instruments[m_random.Below(m_instruments.size())];
        Side& side = m_random.Chance(0.5) ? inst.bid : inst.offer;
        static const std::vector<double> weights = {0.30, 0.13, 0.22, 0.10, 0.12, 0.05, 0.04, 0.04};
        switch (m_random.Weighted(weights)) {
        case 0: SimJoin(inst, side); break;
        case 1: SimImprove(inst, side); break;
        case 2: SimWithdraw(inst, side); break;
        case 3: SimRequantity(inst, side); break;
        case 4: SimDrift(inst); break;
        case 5: SimSubject(inst, side); break;
        case 6: SimBackup(inst, side); break;
        default: SimIndicative(inst); break;
        }
    }
}

void Market::SimJoin(Instrument& inst, Side& side)
{
    if (!side.Priced()) {
        const double sign = side.bid ? -1 : 1;
        const double rate = RoundToTick(inst.fair + sign * inst.spec.tick * m_random.Between(1, 2), inst.spec.tick);
        if (Crosses(inst, side, rate))
            return;
        Order o = SimCustomer(side);
        o.quantity = SimQuantity();
        NewLevel(inst, side, rate, o);
        return;
    }
    if (side.stack.size() >= kStackLevels)
        return;
    Order o = SimCustomer(side);
    if (side.Find(o.customer) >= 0)
        return;
    o.quantity = SimQuantity();
    side.stack.push_back(o);
    Touch(inst);
}

void Market::SimImprove(Instrument& inst, Side& side)
{
    if (!side.Priced()) {
        SimJoin(inst, side);
        return;
    }
    if (side.trading)
        return;
    const double sign = side.bid ? 1 : -1;
    const double rate = RoundToTick(side.rate + sign * inst.spec.tick, inst.spec.tick);
    // Nobody chases a price through the fair value or into the other side.
    if (Crosses(inst, side, rate) || (side.bid ? rate > inst.fair : rate < inst.fair))
        return;
    Order o = SimCustomer(side);
    o.quantity = SimQuantity();
    NewLevel(inst, side, rate, o);
}

void Market::SimWithdraw(Instrument& inst, Side& side)
{
    if (side.trading || !side.Priced())
        return;
    std::vector<std::size_t> sims;
    for (std::size_t i = 0; i < side.stack.size(); ++i)
        if (!side.stack[i].user)
            sims.push_back(i);
    if (sims.empty())
        return;
    RemoveOrder(inst, side, sims[m_random.Below(sims.size())]);
}

void Market::SimRequantity(Instrument& inst, Side& side)
{
    if (side.trading || !side.Priced())
        return;
    Order& o = side.stack[m_random.Below(side.stack.size())];
    if (o.user)
        return;
    o.quantity = SimQuantity();
    Touch(inst);
}

void Market::SimDrift(Instrument& inst)
{
    const double tick = inst.spec.tick;
    // A random walk that leans back towards the opening price.
    const double away = (inst.fair - inst.spec.price) / (20 * tick);
    const double up = std::clamp(0.5 - 0.1 * away, 0.1, 0.9);
    inst.fair = RoundToTick(inst.fair + (m_random.Chance(up) ? tick : -tick), tick);
    for (Side* side : {&inst.bid, &inst.offer}) {
        if (!side->Priced() || side->trading)
            continue;
        const bool through = side->bid ? side->rate > inst.fair : side->rate < inst.fair;
        const bool users = std::any_of(side->stack.begin(), side->stack.end(), [](const Order& o) { return o.user; });
        if (!through || users)
            continue;
        const double rate = RoundToTick(inst.fair + (side->bid ? -tick : tick), tick);
        if (Crosses(inst, *side, rate))
            continue;
        Order o = SimCustomer(*side);
        o.quantity = SimQuantity();
        NewLevel(inst, *side, rate, o);
    }
    if (inst.spec.indicative)
        SimIndicative(inst);
}

void Market::SimSubject(Instrument& inst, Side& side)
{
    // A price goes subject (or is referred) for a few seconds, then is firm
    // again (CompleteDueTrades), so that most of a page stays firm.
    if (!side.Priced() || side.trading || side.attribute != kAttrFirm)
        return;
    side.attribute = m_random.Chance(0.8) ? kAttrSubject : kAttrReferred;
    side.firmAgain = m_now + m_random.Between(2000, 8000);
    side.whenCentre = side.attribute == kAttrSubject && m_random.Chance(0.5)
        ? kCentres[m_random.Below(std::size(kCentres))] / 100 * 100
        : 0;
    Touch(inst);
}

void Market::SimBackup(Instrument& inst, Side& side)
{
    if (side.backup || !side.Priced())
        side.backup.reset();
    else
        side.backup = side.rate + (side.bid ? -1 : 1) * inst.spec.tick * m_random.Between(1, 3);
    Touch(inst);
}

void Market::SimIndicative(Instrument& inst)
{
    if (!inst.spec.indicative) {
        SimDrift(inst);
        return;
    }
    const double tick = inst.spec.tick;
    inst.bid.indicative = RoundToTick(inst.fair - 2 * tick, tick);
    inst.offer.indicative = RoundToTick(inst.fair + 2 * tick, tick);
    Touch(inst);
}

void Market::StartSimTrade()
{
    // Any firm side with someone to trade with, chosen at random.
    for (int tries = 0; tries < 16 && !m_instruments.empty(); ++tries) {
        Instrument& inst = *m_instruments[m_random.Below(m_instruments.size())];
        if (inst.spec.lineFlags & kFlagUntradeable)
            continue;
        Side& side = m_random.Chance(0.5) ? inst.bid : inst.offer;
        if (!side.Priced() || side.trading || side.attribute != kAttrFirm)
            continue;
        Order aggressor = SimCustomer(side);
        const double total = side.Total();
        aggressor.quantity = std::min(total, SimQuantity());
        if (!StartTrade(side, aggressor))
            continue;
        // Sometimes others pile in while it trades.
        int more = m_random.Chance(0.3) ? m_random.Between(1, 2) : 0;
        while (more-- > 0 && side.aggressors.size() < kStackLevels) {
            Order o = SimCustomer(side);
            if (side.Find(o.customer) >= 0)
                continue;
            o.quantity = SimQuantity();
            side.aggressors.push_back(o);
        }
        MonitorTrade(inst, side, side.ticket, false);
        Touch(inst);
        return;
    }
}

bool Market::ForceTrade(int page, int line, bool onBid, double quantity)
{
    MarketLine* ml = Find(page, line);
    if (ml == nullptr || !ml->instrument || !(quantity > 0) || quantity > kMaxQuantity)
        return false;
    Instrument& inst = *ml->instrument;
    Side& side = onBid ? inst.bid : inst.offer;
    if (!side.Priced() || side.trading)
        return false;
    Order aggressor = SimCustomer(side);
    aggressor.quantity = quantity;
    if (!StartTrade(side, aggressor))
        return false;
    MonitorTrade(inst, side, side.ticket, false);
    Touch(inst);
    return true;
}

bool Market::StartTrade(Side& side, const Order& aggressor)
{
    if (!side.Priced() || side.trading)
        return false;
    if (std::none_of(side.stack.begin(), side.stack.end(),
                     [&](const Order& o) { return o.customer != aggressor.customer; }))
        return false;
    side.trading = true;
    side.ticket = m_nextTicket++;
    side.tradeEnds = m_now + static_cast<std::int64_t>(m_tradeWindowMs);
    side.aggressors = {aggressor};
    side.fastFlash = aggressor.quantity >= 10;
    return true;
}

void Market::CompleteDueTrades()
{
    for (Instrument* inst : m_instruments)
        for (Side* side : {&inst->bid, &inst->offer}) {
            if (side->trading && side->tradeEnds <= m_now)
                CompleteTrade(*inst, *side);
            if (side->attribute != kAttrFirm && side->firmAgain <= m_now && !side->trading) {
                side->attribute = kAttrFirm;
                side->whenCentre = 0;
                Touch(*inst);
            }
        }
}

// What the aggressors of one trade took from the stack.
struct Market::TradeFills {
    std::vector<Order> aggressors;
    std::vector<Order> passive;
    std::map<int, double> userFills; // customer -> quantity, users only (aggressor sign +, passive -)
    std::map<int, double> userPassive;
    double total = 0;
};

Market::TradeFills Market::FillFromStack(Side& side)
{
    // Aggressors in order take the stack in time priority, never trading with
    // themselves.
    TradeFills fills;
    for (Order a : side.aggressors) {
        double remaining = a.quantity;
        double filled = 0;
        for (Order& o : side.stack) {
            if (remaining <= 0)
                break;
            if (o.customer == a.customer || o.quantity <= 0)
                continue;
            const double f = std::min(o.quantity, remaining);
            o.quantity -= f;
            remaining -= f;
            filled += f;
            auto it = std::find_if(fills.passive.begin(), fills.passive.end(),
                                   [&](const Order& p) { return p.customer == o.customer; });
            if (it == fills.passive.end())
                fills.passive.push_back(Order {o.customer, o.centre, f, o.user});
            else
                it->quantity += f;
            if (o.user)
                fills.userPassive[o.customer] += f;
        }
        if (filled > 0) {
            a.quantity = filled;
            fills.aggressors.push_back(a);
            if (a.user)
                fills.userFills[a.customer] += filled;
            fills.total += filled;
        }
    }
    return fills;
}

void Market::RecordTrade(Instrument& inst, Side& side, const TradeFills& fills, const std::string& time,
                         const std::string& ticketText)
{
    side.lastTrade = side.rate;
    side.high = side.high ? std::max(*side.high, side.rate) : side.rate;
    side.low = side.low ? std::min(*side.low, side.rate) : side.rate;
    side.volume += fills.total;
    side.lastTime = time;
    side.lastTicket = ticketText;
    side.traded = fills.aggressors;
    inst.last = side.rate;
    inst.lastType = side.bid ? kTradeOnBid : kTradeOnOffer;
    inst.lastTime = time;
    inst.lastTicket = ticketText;
    inst.high = inst.high ? std::max(*inst.high, side.rate) : side.rate;
    inst.low = inst.low ? std::min(*inst.low, side.rate) : side.rate;
    inst.volume += fills.total;
}

void Market::ConfirmTrade(const Instrument& inst, const Side& side, const TradeFills& fills, const std::string& time,
                          const std::string& ticketText)
{
    // A hit bid means the aggressors sold and the bidders bought.
    const std::string rateText = FormatFixed(side.rate, inst.spec.decimals);
    const char* aggressorVerb = side.bid ? "SOLD" : "BOUGHT";
    const char* passiveVerb = side.bid ? "BOUGHT" : "SOLD";
    auto note = [&](int customer, const char* verb, double quantity) {
        Push(MarketEvent {MarketEvent::Type::UserNote, inst.page, inst.spec.line, customer,
                          std::string(verb) + " " + FormatQuantity(quantity) + " " + inst.spec.text + " @ " + rateText
                              + "|Ticket " + ticketText + " at " + time});
    };
    for (const auto& [customer, quantity] : fills.userFills)
        note(customer, aggressorVerb, quantity);
    for (const auto& [customer, quantity] : fills.userPassive)
        note(customer, passiveVerb, quantity);
}

void Market::CompleteTrade(Instrument& inst, Side& side)
{
    const std::uint64_t ticket = side.ticket;
    const TradeFills fills = FillFromStack(side);
    side.trading = false;
    side.fastFlash = false;
    const std::vector<Order> aggressors = std::move(side.aggressors);
    side.aggressors.clear();
    const int topCustomer = side.stack.empty() ? 0 : side.stack.front().customer;
    std::erase_if(side.stack, [](const Order& o) { return o.quantity <= 1e-9; });

    // The monitor entry of this trade.
    for (auto& entry : m_monitorEntries)
        if (entry.ticket == ticket) {
            entry.attribute = fills.total > 0 ? kAttrFirm : kAttrError;
            entry.quantity = fills.total;
            entry.passive = fills.passive;
            entry.aggressors = fills.aggressors;
            entry.time = FormatClock(WallNow());
        }

    const char* sideName = side.bid ? "bid" : "offer";
    if (fills.total <= 0) {
        for (const auto& a : aggressors)
            if (a.user)
                Push(MarketEvent {MarketEvent::Type::UserNote, inst.page, inst.spec.line, a.customer,
                                  "NO TRADE: the " + std::string(sideName) + " on " + inst.spec.text + " was gone"});
        MonitorTrade(inst, side, ticket, true);
        Touch(inst);
        return;
    }

    const std::string time = FormatClock(WallNow());
    const std::string ticketText = std::to_string(ticket);
    RecordTrade(inst, side, fills, time, ticketText);
    ConfirmTrade(inst, side, fills, time, ticketText);
    if (!side.Priced())
        EmptySide(inst, side, topCustomer); // traded out
    MonitorTrade(inst, side, ticket, true);
    Touch(inst);
}

} // namespace zphd
