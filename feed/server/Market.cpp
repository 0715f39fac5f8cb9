#include "Market.h"

#include "MarketText.h"

#include <algorithm>
#include <cmath>

namespace zphd {

namespace {

constexpr int kFullView = 999;
constexpr double kMaxQuantity = 1e6;
constexpr std::size_t kMaxMonitorEntries = 26;

// Centre codes of the simulated customers: the hundreds name the centre
// (1 New York, 2 London, 3 Buenos Aires, 4 Mexico, 5 New York - KRVM).
constexpr int kCentres[] = {110, 120, 210, 220, 230, 310, 320, 410, 510};
constexpr double kSizes[] = {1, 2, 2, 3, 5, 5, 5, 10, 10, 15, 20, 25};

} // namespace

// ---- the book ------------------------------------------------------------------

struct Market::Order {
    int customer = 0;
    int centre = 0;
    double quantity = 0;
    bool user = false;
};

struct Market::Side {
    explicit Side(bool isBid) : bid(isBid) {}

    bool bid;
    double rate = 0;
    std::vector<Order> stack;          // orders at the rate in time priority; empty: no price
    int attribute = kAttrFirm;         // firm, subject or referred while priced
    std::int64_t firmAgain = 0;        // when a subject or referred price is firm again
    int whenCentre = 0;
    std::optional<double> backup;
    std::optional<double> indicative;
    bool best = false;
    std::optional<double> dayBest;

    // A trade in progress.
    bool trading = false;
    std::int64_t tradeEnds = 0;
    std::uint64_t ticket = 0;
    std::vector<Order> aggressors;
    bool fastFlash = false;
    std::vector<Order> traded;         // the last trade's aggressors as filled

    // History.
    std::string prevRate, prevDate, prevCustomer;
    std::string prevPrevRate, prevPrevDate, prevPrevCustomer;
    std::optional<double> lastTrade, high, low;
    double volume = 0;
    std::string lastTime, lastTicket;

    bool Priced() const { return !stack.empty(); }
    double Total() const
    {
        double total = 0;
        for (const auto& o : stack)
            total += o.quantity;
        return total;
    }
    int Find(int customer) const
    {
        for (std::size_t i = 0; i < stack.size(); ++i)
            if (stack[i].customer == customer)
                return static_cast<int>(i);
        return -1;
    }
};

struct Market::Instrument {
    LineSpec spec;
    int page = 0;
    double fair = 0;
    Side bid {true};
    Side offer {false};
    std::optional<double> last, high, low;
    double volume = 0;
    int lastType = kTradeNone;
    std::string lastTime, lastTicket;
};

struct Market::MonitorEntry {
    std::uint64_t ticket = 0;
    int page = 0;                      // the traded issue's page
    std::string issue;
    bool onBid = true;
    int attribute = kAttrTrading;
    std::string rate;
    double quantity = 0;
    std::string time;
    std::vector<Order> passive;        // the side that was hit or lifted
    std::vector<Order> aggressors;
};

struct Market::MarketLine {
    int page = 0;
    LineState view;
    std::unique_ptr<Instrument> instrument; // field lines only
};

struct Market::Page {
    std::string title;
    int count = 0;
    std::map<int, MarketLine> lines;
};

// ---- construction --------------------------------------------------------------

Market::Market(const ServerConfig& config, std::time_t wallStart)
    : m_random(config.market.seed)
    , m_wallStart(wallStart)
    , m_rate(config.market.rate)
    , m_tradeEvery(config.market.tradeEvery)
    , m_tradeWindowMs(config.market.tradeWindow * 1000.0)
{
    for (const auto& user : config.users)
        m_userLevels.insert(user.level);
    // A fixed pool of simulated customers, drawn from the seed.
    for (int number = 201; m_customers.size() < 48 && number < 999; number += 1 + static_cast<int>(m_random.Below(17))) {
        if (m_userLevels.count(number) != 0)
            continue;
        Order customer;
        customer.customer = number;
        customer.centre = kCentres[m_random.Below(std::size(kCentres))];
        m_customers.push_back(customer);
    }
    for (const auto& spec : config.pages) {
        Page& page = m_pages[spec.page];
        page.title = spec.title;
        for (const auto& line : spec.lines)
            PlaceLine(spec.page, line);
    }
    RebuildIndexes();
    if (m_tradeEvery > 0)
        m_nextSimTrade = static_cast<std::int64_t>(-std::log(1.0 - m_random.Unit()) * m_tradeEvery * 1000.0);
    // The opening state is not news: clients ask for pages.
    m_events.clear();
    m_queuedChanges.clear();
}

Market::~Market() = default;

void Market::PlaceLine(int pageNumber, const LineSpec& spec)
{
    Page& page = m_pages[pageNumber];
    MarketLine& line = page.lines[spec.line];
    line = MarketLine();
    line.page = pageNumber;
    line.view.line = spec.line;
    line.view.kind = static_cast<char>(spec.kind);
    line.view.lineFlags = spec.lineFlags;
    if (spec.kind == LineKind::Text) {
        line.view.text = spec.text;
    } else if (spec.kind == LineKind::Field) {
        auto inst = std::make_unique<Instrument>();
        inst->spec = spec;
        inst->page = pageNumber;
        inst->fair = spec.price;
        const double tick = spec.tick;
        // An opening book and a believable morning's history.
        for (Side* side : {&inst->bid, &inst->offer}) {
            const double sign = side->bid ? -1 : 1;
            side->rate = RoundToTick(inst->fair + sign * tick * m_random.Between(1, 2), tick);
            const int orders = m_random.Between(1, 4);
            for (int i = 0; i < orders; ++i) {
                Order o = SimCustomer(*side);
                o.quantity = SimQuantity();
                side->stack.push_back(o);
            }
            const std::time_t morning = m_wallStart - 60 * m_random.Between(5, 180);
            side->prevRate = FormatFixed(side->rate - sign * tick, spec.decimals);
            side->prevDate = FormatDate(m_wallStart - 86400);
            side->prevCustomer = std::to_string(m_customers[m_random.Below(m_customers.size())].customer);
            side->lastTrade = side->rate + sign * tick * m_random.Between(0, 2);
            side->high = *side->lastTrade + tick * m_random.Between(0, 3);
            side->low = *side->lastTrade - tick * m_random.Between(0, 3);
            side->volume = 5.0 * m_random.Between(1, 30);
            side->lastTime = FormatClock(morning);
            side->lastTicket = Ticket();
            if (spec.indicative)
                side->indicative = RoundToTick(inst->fair + sign * 2 * tick, tick);
        }
        const bool lastOnBid = m_random.Chance(0.5);
        const Side& lastSide = lastOnBid ? inst->bid : inst->offer;
        inst->last = lastSide.lastTrade;
        inst->lastType = lastOnBid ? kTradeOnBid : kTradeOnOffer;
        inst->lastTime = lastSide.lastTime;
        inst->lastTicket = lastSide.lastTicket;
        inst->high = std::max(*inst->bid.high, *inst->offer.high);
        inst->low = std::min(*inst->bid.low, *inst->offer.low);
        inst->volume = inst->bid.volume + inst->offer.volume;
        line.instrument = std::move(inst);
    }
    Render(line);
}

void Market::RebuildIndexes()
{
    m_instruments.clear();
    m_monitors.clear();
    for (auto& [number, page] : m_pages)
        for (auto& [lineNumber, line] : page.lines) {
            if (line.instrument) {
                line.instrument->page = number;
                line.instrument->spec.line = lineNumber;
                m_instruments.push_back(line.instrument.get());
            } else if (line.view.kind == 'M') {
                m_monitors.push_back(&line);
            }
        }
}

// ---- time ----------------------------------------------------------------------

std::time_t Market::WallNow() const { return m_wallStart + static_cast<std::time_t>(m_now / 1000); }

std::string Market::Ticket() { return std::to_string(m_nextTicket++); }

void Market::SetRate(double perSecond)
{
    m_rate = std::max(0.0, perSecond);
    m_updateCredit = 0;
}

void Market::SetTradeEvery(double seconds)
{
    m_tradeEvery = std::max(0.0, seconds);
    if (m_tradeEvery > 0)
        m_nextSimTrade = m_now + static_cast<std::int64_t>(-std::log(1.0 - m_random.Unit()) * m_tradeEvery * 1000.0);
}

void Market::Advance(std::int64_t nowMs, const std::function<void()>& afterEach)
{
    if (nowMs < m_now)
        return;
    const std::int64_t elapsed = nowMs - m_now;
    m_now = nowMs;
    if (m_rate > 0 && !m_instruments.empty()) {
        // At most one second's worth at once, so a long pause does not
        // release a burst.
        m_updateCredit = std::min(m_updateCredit + static_cast<double>(elapsed) * m_rate / 1000.0,
                                  std::max(1.0, m_rate));
        while (m_updateCredit >= 1) {
            m_updateCredit -= 1;
            Step();
            if (afterEach)
                afterEach();
        }
    }
    if (m_tradeEvery > 0) {
        int burst = 0;
        while (m_nextSimTrade <= m_now && burst++ < 100) {
            StartSimTrade();
            if (afterEach)
                afterEach();
            m_nextSimTrade += std::max<std::int64_t>(
                1, static_cast<std::int64_t>(-std::log(1.0 - m_random.Unit()) * m_tradeEvery * 1000.0));
        }
        if (m_nextSimTrade <= m_now)
            m_nextSimTrade = m_now + 1;
    }
    CompleteDueTrades();
    if (afterEach)
        afterEach();
}

// ---- simulation ----------------------------------------------------------------

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

void Market::CompleteTrade(Instrument& inst, Side& side)
{
    const std::uint64_t ticket = side.ticket;
    const int decimals = inst.spec.decimals;
    const std::string rateText = FormatFixed(side.rate, decimals);
    // Aggressors in order take the stack in time priority, never trading with
    // themselves.
    std::vector<Order> filledAggressors, filledPassive;
    std::map<int, double> userFills; // customer -> quantity, users only (aggressor sign +, passive -)
    std::map<int, double> userPassive;
    double total = 0;
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
            auto it = std::find_if(filledPassive.begin(), filledPassive.end(),
                                   [&](const Order& p) { return p.customer == o.customer; });
            if (it == filledPassive.end())
                filledPassive.push_back(Order {o.customer, o.centre, f, o.user});
            else
                it->quantity += f;
            if (o.user)
                userPassive[o.customer] += f;
        }
        if (filled > 0) {
            a.quantity = filled;
            filledAggressors.push_back(a);
            if (a.user)
                userFills[a.customer] += filled;
            total += filled;
        }
    }
    side.trading = false;
    side.fastFlash = false;
    const std::vector<Order> aggressors = std::move(side.aggressors);
    side.aggressors.clear();
    const int topCustomer = side.stack.empty() ? 0 : side.stack.front().customer;
    std::erase_if(side.stack, [](const Order& o) { return o.quantity <= 1e-9; });

    // The monitor entry of this trade.
    for (auto& entry : m_monitorEntries)
        if (entry.ticket == ticket) {
            entry.attribute = total > 0 ? kAttrFirm : kAttrError;
            entry.quantity = total;
            entry.passive = filledPassive;
            entry.aggressors = filledAggressors;
            entry.time = FormatClock(WallNow());
        }

    const char* sideName = side.bid ? "bid" : "offer";
    if (total <= 0) {
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
    side.lastTrade = side.rate;
    side.high = side.high ? std::max(*side.high, side.rate) : side.rate;
    side.low = side.low ? std::min(*side.low, side.rate) : side.rate;
    side.volume += total;
    side.lastTime = time;
    side.lastTicket = ticketText;
    side.traded = filledAggressors;
    inst.last = side.rate;
    inst.lastType = side.bid ? kTradeOnBid : kTradeOnOffer;
    inst.lastTime = time;
    inst.lastTicket = ticketText;
    inst.high = inst.high ? std::max(*inst.high, side.rate) : side.rate;
    inst.low = inst.low ? std::min(*inst.low, side.rate) : side.rate;
    inst.volume += total;

    // Confirmations: a hit bid means the aggressors sold and the bidders bought.
    const char* aggressorVerb = side.bid ? "SOLD" : "BOUGHT";
    const char* passiveVerb = side.bid ? "BOUGHT" : "SOLD";
    auto note = [&](int customer, const char* verb, double quantity) {
        Push(MarketEvent {MarketEvent::Type::UserNote, inst.page, inst.spec.line, customer,
                          std::string(verb) + " " + FormatQuantity(quantity) + " " + inst.spec.text + " @ " + rateText
                              + "|Ticket " + ticketText + " at " + time});
    };
    for (const auto& [customer, quantity] : userFills)
        note(customer, aggressorVerb, quantity);
    for (const auto& [customer, quantity] : userPassive)
        note(customer, passiveVerb, quantity);

    if (!side.Priced()) {
        EmptySide(inst, side, topCustomer); // traded out

    }
    MonitorTrade(inst, side, ticket, true);
    Touch(inst);
}

// ---- the book ------------------------------------------------------------------

bool Market::Better(const Side& side, double a, double b) const
{
    return side.bid ? a > b + 1e-9 : a < b - 1e-9;
}

Market::Side& Market::Other(Instrument& inst, const Side& side) { return side.bid ? inst.offer : inst.bid; }

const Market::Side& Market::Other(const Instrument& inst, const Side& side) const
{
    return side.bid ? inst.offer : inst.bid;
}

bool Market::Crosses(const Instrument& inst, const Side& side, double rate) const
{
    const Side& other = Other(inst, side);
    if (!other.Priced())
        return false;
    return side.bid ? rate >= other.rate - 1e-9 : rate <= other.rate + 1e-9;
}

void Market::ShiftPrevious(const Instrument& inst, Side& side, int customer)
{
    side.prevPrevRate = side.prevRate;
    side.prevPrevDate = side.prevDate;
    side.prevPrevCustomer = side.prevCustomer;
    side.prevRate = FormatFixed(side.rate, inst.spec.decimals);
    side.prevDate = FormatDate(WallNow());
    side.prevCustomer = std::to_string(customer);
}

void Market::NewLevel(Instrument& inst, Side& side, double rate, const Order& first)
{
    if (side.Priced() && !SamePrice(rate, side.rate)) {
        const int decimals = inst.spec.decimals;
        for (const auto& o : side.stack)
            if (o.user && o.customer != first.customer)
                Push(MarketEvent {MarketEvent::Type::UserNote, inst.page, inst.spec.line, o.customer,
                                  std::string("OUTBID: your ") + (side.bid ? "bid" : "offer") + " on " + inst.spec.text
                                      + " at " + FormatFixed(side.rate, decimals) + " is off; the market is now "
                                      + FormatFixed(rate, decimals)});
        ShiftPrevious(inst, side, side.stack.front().customer);
    }
    side.rate = rate;
    side.stack = {first};
    side.attribute = kAttrFirm;
    side.whenCentre = 0;
    side.backup.reset();
    // The best price of the day so far on this side.
    side.best = !side.dayBest || Better(side, rate, *side.dayBest);
    if (side.best)
        side.dayBest = rate;
    Touch(inst);
}

void Market::EmptySide(Instrument& inst, Side& side, int lastCustomer)
{
    ShiftPrevious(inst, side, lastCustomer);
    side.stack.clear();
    side.attribute = kAttrFirm;
    side.whenCentre = 0;
    side.best = false;
    side.backup.reset();
    Touch(inst);
}

void Market::RemoveOrder(Instrument& inst, Side& side, std::size_t index)
{
    if (index >= side.stack.size())
        return;
    if (side.stack.size() == 1) {
        EmptySide(inst, side, side.stack.front().customer);
        return;
    }
    side.stack.erase(side.stack.begin() + static_cast<std::ptrdiff_t>(index));
    Touch(inst);
}

// ---- orders --------------------------------------------------------------------

OrderResult Market::Execute(const Trader& trader, const OrderCommand& order)
{
    auto refuse = [](std::string text) { return OrderResult {false, std::move(text)}; };
    if (trader.level == kFullView || trader.level < 1 || trader.level > kFullView)
        return refuse("Orders cannot be entered from the full view");
    if (!trader.orderEntry)
        return refuse("Order entry is not enabled for this user");

    enum class Action { Enter, Join, Delete, Trade, MaxTrade };
    using enum Action;
    static const struct {
        const char* name;
        Action what;
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
        return refuse("Unknown order command \"" + order.command.substr(0, 40) + "\"");

    MarketLine* ml = Find(order.page, order.line);
    if (ml == nullptr || !ml->instrument)
        return refuse("There is no issue on page " + std::to_string(order.page) + " line " + std::to_string(order.line));
    Instrument& inst = *ml->instrument;
    if ((inst.spec.lineFlags | ml->view.lineFlags) & kFlagUntradeable)
        return refuse(inst.spec.text + " cannot be traded");
    Side& side = command->bid ? inst.bid : inst.offer;
    const std::string sideName = command->bid ? "bid" : "offer";
    const int decimals = inst.spec.decimals;

    double rate = 0;
    if (!order.rate || !ParseDecimal(*order.rate, rate) || std::fabs(rate) > kMaxQuantity)
        return refuse("The order has no valid rate");
    rate = std::round(rate * std::pow(10.0, decimals)) / std::pow(10.0, decimals);
    auto readQuantity = [](const std::optional<std::string>& text, double& value) {
        return text && ParseDecimal(*text, value) && value > 0 && value <= kMaxQuantity;
    };
    const std::string rateText = FormatFixed(rate, decimals);

    switch (command->what) {
    case Enter:
    case Join: {
        double quantity = 0;
        if (!readQuantity(order.quantity, quantity))
            return refuse("The order has no valid quantity");
        const bool join = command->what == Join;
        if (join && !side.Priced())
            return refuse("There is no " + sideName + " to join on " + inst.spec.text);
        if (side.Priced() && (join || !Better(side, rate, side.rate)) && !SamePrice(rate, side.rate)) {
            if (join)
                return refuse("The " + sideName + " on " + inst.spec.text + " is now "
                              + FormatFixed(side.rate, decimals));
            return refuse("Your " + sideName + " of " + rateText + " is " + (side.bid ? "below" : "above")
                          + " the market " + sideName + " of " + FormatFixed(side.rate, decimals));
        }
        if (Crosses(inst, side, rate))
            return refuse("Your " + sideName + " of " + rateText + " would trade; "
                          + (side.bid ? "lift the offer instead" : "hit the bid instead"));
        if (side.trading && !SamePrice(rate, side.rate))
            return refuse("The " + sideName + " on " + inst.spec.text + " is trading");
        Order mine {trader.level, trader.centre, quantity, true};
        const int existing = side.Find(trader.level);
        if (side.Priced() && SamePrice(rate, side.rate)) {
            if (existing >= 0) {
                side.stack[static_cast<std::size_t>(existing)].quantity = quantity;
                Touch(inst);
                return {true, "Your " + sideName + " on " + inst.spec.text + " is now " + FormatQuantity(quantity)};
            }
            if (side.stack.size() >= kStackLevels)
                return refuse("The " + sideName + " stack on " + inst.spec.text + " is full");
            side.stack.push_back(mine);
            Touch(inst);
            return {true, "Joined the " + sideName + " on " + inst.spec.text + " at " + rateText};
        }
        NewLevel(inst, side, rate, mine);
        return {true, "Your " + sideName + " on " + inst.spec.text + " is " + rateText};
    }
    case Delete: {
        const int existing = side.Find(trader.level);
        if (existing < 0)
            return refuse("You have no " + sideName + " on " + inst.spec.text);
        if (side.trading)
            return refuse("The " + sideName + " on " + inst.spec.text + " is trading");
        RemoveOrder(inst, side, static_cast<std::size_t>(existing));
        return {true, "Your " + sideName + " on " + inst.spec.text + " is withdrawn"};
    }
    case Trade:
    case MaxTrade: {
        double quantity = 0;
        const bool max = command->what == MaxTrade;
        if (!readQuantity(max ? order.quantity2 : (order.quantity2 ? order.quantity2 : order.quantity), quantity))
            return refuse("The order has no valid quantity");
        if (!side.Priced())
            return refuse("There is no " + sideName + " on " + inst.spec.text);
        if (!SamePrice(rate, side.rate))
            return refuse("The " + sideName + " on " + inst.spec.text + " is now " + FormatFixed(side.rate, decimals));
        if (side.Find(trader.level) >= 0 && side.stack.size() == 1)
            return refuse("You cannot trade with your own " + sideName);
        const char* verb = side.bid ? "Selling " : "Buying ";
        if (side.trading) {
            // Joining the trade in progress.
            auto it = std::find_if(side.aggressors.begin(), side.aggressors.end(),
                                   [&](const Order& a) { return a.customer == trader.level; });
            if (it != side.aggressors.end()) {
                it->quantity = quantity;
            } else {
                if (side.aggressors.size() >= kStackLevels)
                    return refuse("The trade on " + inst.spec.text + " is full");
                side.aggressors.push_back(Order {trader.level, trader.centre, quantity, true});
            }
            MonitorTrade(inst, side, side.ticket, false);
            Touch(inst);
            return {true, verb + FormatQuantity(quantity) + " " + inst.spec.text + " at " + rateText};
        }
        if (max)
            return refuse("The " + sideName + " on " + inst.spec.text + " is not trading");
        if (side.attribute != kAttrFirm)
            return refuse("The " + sideName + " on " + inst.spec.text + " is not firm");
        if (!StartTrade(side, Order {trader.level, trader.centre, quantity, true}))
            return refuse("The " + sideName + " on " + inst.spec.text + " cannot be traded now");
        MonitorTrade(inst, side, side.ticket, false);
        Touch(inst);
        return {true, verb + FormatQuantity(quantity) + " " + inst.spec.text + " at " + rateText};
    }
    }
    return refuse("Unknown order command");
}

// ---- trade monitor -------------------------------------------------------------

void Market::MonitorTrade(const Instrument& inst, const Side& side, std::uint64_t ticket, bool done)
{
    auto it = std::find_if(m_monitorEntries.begin(), m_monitorEntries.end(),
                           [&](const MonitorEntry& e) { return e.ticket == ticket; });
    if (it == m_monitorEntries.end()) {
        if (done)
            return;
        MonitorEntry entry;
        entry.ticket = ticket;
        m_monitorEntries.push_front(entry);
        if (m_monitorEntries.size() > kMaxMonitorEntries)
            m_monitorEntries.pop_back();
        it = m_monitorEntries.begin();
    }
    it->issue = inst.spec.text;
    it->page = inst.page;
    it->onBid = side.bid;
    it->rate = FormatFixed(side.rate, inst.spec.decimals);
    if (!done) {
        it->attribute = kAttrTrading;
        it->time = FormatClock(WallNow());
        it->quantity = 0;
        for (const auto& a : side.aggressors)
            it->quantity += a.quantity;
        it->passive = side.stack;
        it->aggressors = side.aggressors;
    }
    for (MarketLine* line : m_monitors)
        Render(*line);
}

std::optional<LineState> Market::ViewedLine(int page, int line, const std::function<bool(int)>& visible) const
{
    const MarketLine* found = Find(page, line);
    if (found == nullptr)
        return std::nullopt;
    if (found->view.kind != 'M')
        return found->view;
    const auto position =
        static_cast<std::size_t>(std::find(m_monitors.begin(), m_monitors.end(), found) - m_monitors.begin());
    LineState view;
    view.line = found->view.line;
    view.kind = 'M';
    view.lineFlags = found->view.lineFlags;
    std::size_t shown = 0;
    for (const MonitorEntry& entry : m_monitorEntries) {
        if (!visible(entry.page))
            continue;
        if (shown++ == position) {
            RenderMonitor(entry, view);
            break;
        }
    }
    return view;
}

void Market::RenderMonitor(const MonitorEntry& entry, LineState& view) const
{
    view.issue = entry.issue;
    SideView& shown = entry.onBid ? view.bid : view.offer;
    shown.attribute = entry.attribute;
    shown.rate = entry.rate;
    shown.quantity = FormatQuantity(entry.quantity);
    shown.lastTrade = entry.rate;
    shown.lastTradeTime = entry.time;
    shown.transaction = std::to_string(entry.ticket);
    // A hit bid: the bidders bought (the bid stack), the aggressors sold (the
    // traded bids); a lifted offer the other way round.
    for (std::size_t i = 0; i < kStackLevels; ++i) {
        if (i < entry.passive.size())
            shown.stack[i] = StackEntry {std::to_string(entry.passive[i].customer),
                                         std::to_string(entry.passive[i].centre),
                                         FormatQuantity(entry.passive[i].quantity)};
        if (i < entry.aggressors.size())
            shown.traded[i] = StackEntry {std::to_string(entry.aggressors[i].customer),
                                          std::to_string(entry.aggressors[i].centre),
                                          FormatQuantity(entry.aggressors[i].quantity)};
    }
}

// ---- view ----------------------------------------------------------------------

void Market::RenderSide(const Instrument& inst, const Side& side, SideView& view) const
{
    const int decimals = inst.spec.decimals;
    view = SideView();
    if (side.Priced()) {
        view.attribute = side.trading ? kAttrTrading : side.attribute;
        view.bestPrice = side.best ? 1 : 0;
        view.rate = FormatFixed(side.rate, decimals);
        view.quantity = FormatQuantity(side.Total());
        view.realRate = FormatReal(side.rate);
        view.realQuantity = FormatReal(side.Total());
        if (side.attribute == kAttrSubject)
            view.whenCentre = side.whenCentre;
        if (side.backup)
            view.backup = FormatFixed(*side.backup, decimals);
    }
    if (side.indicative)
        view.indicative = FormatFixed(*side.indicative, decimals);
    view.prevRate = side.prevRate;
    view.prevDate = side.prevDate;
    view.prevCustomer = side.prevCustomer;
    view.prevPrevRate = side.prevPrevRate;
    view.prevPrevDate = side.prevPrevDate;
    view.prevPrevCustomer = side.prevPrevCustomer;
    if (side.lastTrade) {
        view.lastTrade = FormatFixed(*side.lastTrade, decimals);
        view.lastTradeTime = side.lastTime;
        view.tradeHigh = FormatFixed(*side.high, decimals);
        view.tradeLow = FormatFixed(*side.low, decimals);
        view.tradeVolume = FormatFixed(side.volume, 2);
        view.transaction = side.lastTicket;
    }
    view.fastFlash = side.fastFlash ? 1 : 0;
    view.spreadRole = inst.spec.spreadRole;
    view.spreadPartner = inst.spec.spreadPartner;
    auto level = [](const Order& o) {
        return StackEntry {std::to_string(o.customer), std::to_string(o.centre), FormatQuantity(o.quantity)};
    };
    for (std::size_t i = 0; i < side.stack.size() && i < kStackLevels; ++i)
        view.stack[i] = level(side.stack[i]);
    const auto& traded = side.trading ? side.aggressors : side.traded;
    for (std::size_t i = 0; i < traded.size() && i < kStackLevels; ++i)
        view.traded[i] = level(traded[i]);
}

void Market::RenderInstrument(const Instrument& inst, LineState& view) const
{
    const int decimals = inst.spec.decimals;
    view.kind = 'F';
    view.text.clear();
    view.issue = inst.spec.text;
    view.lineFlags = inst.spec.lineFlags;
    view.issueFlags = inst.spec.issueFlags;
    view.lastTrade = inst.last ? FormatFixed(*inst.last, decimals) : "";
    view.lastTradeType = inst.lastType;
    view.lastTradeTime = inst.lastTime;
    view.transaction = inst.lastTicket;
    view.high = inst.high ? FormatFixed(*inst.high, decimals) : "";
    view.low = inst.low ? FormatFixed(*inst.low, decimals) : "";
    view.volume = FormatFixed(inst.volume, 2);
    view.persistTrade = view.lastTrade;
    view.persistTime = view.lastTradeTime;
    RenderSide(inst, inst.bid, view.bid);
    RenderSide(inst, inst.offer, view.offer);
}

void Market::Render(MarketLine& line)
{
    LineState view;
    view.line = line.view.line;
    if (line.instrument) {
        RenderInstrument(*line.instrument, view);
    } else if (line.view.kind == 'M') {
        view.kind = 'M';
        view.lineFlags = line.view.lineFlags;
        const auto position = std::find(m_monitors.begin(), m_monitors.end(), &line) - m_monitors.begin();
        if (static_cast<std::size_t>(position) < m_monitorEntries.size())
            RenderMonitor(m_monitorEntries[static_cast<std::size_t>(position)], view);
    } else {
        return; // a text line's view is its whole state
    }
    if (view == line.view)
        return;
    line.view = std::move(view);
    ++m_changes;
    Changed(line.page, line.view.line);
}

void Market::Touch(Instrument& inst)
{
    if (MarketLine* line = Find(inst.page, inst.spec.line))
        Render(*line);
}

void Market::Changed(int page, int line)
{
    if (m_queuedChanges.insert({page, line}).second)
        m_events.push_back(MarketEvent {MarketEvent::Type::LineChanged, page, line, 0, {}});
}

void Market::Push(MarketEvent event)
{
    using Type = MarketEvent::Type;
    if (event.type == Type::LineInserted || event.type == Type::LineErased || event.type == Type::Cleared) {
        // Changes queued before this refer to the old numbering; later ones
        // must be queued anew after it.
        std::erase_if(m_queuedChanges, [&](const auto& key) { return event.page == 0 || key.first == event.page; });
    }
    m_events.push_back(std::move(event));
}

std::vector<MarketEvent> Market::TakeEvents()
{
    std::vector<MarketEvent> events(std::make_move_iterator(m_events.begin()), std::make_move_iterator(m_events.end()));
    m_events.clear();
    m_queuedChanges.clear();
    return events;
}

// ---- reading -------------------------------------------------------------------

Market::MarketLine* Market::Find(int page, int line)
{
    auto p = m_pages.find(page);
    if (p == m_pages.end())
        return nullptr;
    auto l = p->second.lines.find(line);
    return l == p->second.lines.end() ? nullptr : &l->second;
}

const Market::MarketLine* Market::Find(int page, int line) const
{
    return const_cast<Market*>(this)->Find(page, line);
}

const LineState* Market::GetLine(int page, int line) const
{
    const MarketLine* ml = Find(page, line);
    return ml == nullptr ? nullptr : &ml->view;
}

bool Market::HasPage(int page) const { return m_pages.count(page) != 0; }

std::vector<int> Market::Pages() const
{
    std::vector<int> pages;
    for (const auto& [number, page] : m_pages)
        pages.push_back(number);
    return pages;
}

std::vector<int> Market::Lines(int page) const
{
    std::vector<int> lines;
    auto p = m_pages.find(page);
    if (p != m_pages.end())
        for (const auto& [number, line] : p->second.lines)
            lines.push_back(number);
    return lines;
}

std::string Market::Title(int page) const
{
    auto p = m_pages.find(page);
    return p == m_pages.end() ? std::string() : p->second.title;
}

int Market::Count(int page) const
{
    auto p = m_pages.find(page);
    return p == m_pages.end() ? 0 : p->second.count;
}

int Market::OwnLevel(int page, int line, bool bid, int customer) const
{
    const MarketLine* ml = Find(page, line);
    if (ml == nullptr || !ml->instrument)
        return 0;
    const Side& side = bid ? ml->instrument->bid : ml->instrument->offer;
    const int index = side.Find(customer);
    return index < 0 || index >= kStackLevels ? 0 : index + 1;
}

std::vector<std::string> Market::OrdersOf(int customer) const
{
    std::vector<std::string> orders;
    for (const Instrument* inst : m_instruments)
        for (const Side* side : {&inst->bid, &inst->offer}) {
            const int index = side->Find(customer);
            if (index >= 0)
                orders.push_back(std::to_string(inst->page) + " " + std::to_string(inst->spec.line) + " "
                                 + (side->bid ? "bid " : "offer ") + FormatFixed(side->rate, inst->spec.decimals) + " "
                                 + FormatQuantity(side->stack[static_cast<std::size_t>(index)].quantity));
        }
    return orders;
}

// ---- control -------------------------------------------------------------------

void Market::SetTitle(int page, const std::string& title)
{
    m_pages[page].title = title;
    Push(MarketEvent {MarketEvent::Type::TitleChanged, page, 0, 0, {}});
}

void Market::SetCount(int page, int count)
{
    Page& p = m_pages[page];
    if (p.count == count)
        return;
    p.count = count;
    Push(MarketEvent {MarketEvent::Type::CountChanged, page, 0, 0, {}});
}

bool Market::EditLine(int page, int line, const LineState& state)
{
    MarketLine* ml = Find(page, line);
    if (ml == nullptr)
        return false;
    if (state == ml->view)
        return true;
    ml->view = state;
    ml->view.line = line;
    if (ml->instrument && ml->view.kind != 'F') {
        // The line is no longer an issue's.
        ml->instrument.reset();
        RebuildIndexes();
    }
    Changed(page, line);
    return true;
}

void Market::Renumber(Page& page, int number)
{
    auto it = page.lines.find(number);
    if (it == page.lines.end())
        return;
    it->second.view.line = number;
    if (it->second.instrument)
        it->second.instrument->spec.line = number;
}

bool Market::InsertLine(int pageNumber, const LineSpec& spec)
{
    if (spec.line < 1 || spec.line > kLinesPerPage || pageNumber < 1 || pageNumber > PageSet::kMaxPage)
        return false;
    Page& page = m_pages[pageNumber];
    page.lines.erase(kLinesPerPage);
    for (int n = kLinesPerPage - 1; n >= spec.line; --n) {
        auto node = page.lines.extract(n);
        if (!node.empty()) {
            node.key() = n + 1;
            page.lines.insert(std::move(node));
            Renumber(page, n + 1);
        }
    }
    RebuildIndexes();
    PlaceLine(pageNumber, spec);
    RebuildIndexes();
    Push(MarketEvent {MarketEvent::Type::LineInserted, pageNumber, spec.line, 0, {}});
    for (MarketLine* line : m_monitors)
        Render(*line);
    return true;
}

bool Market::EraseLine(int pageNumber, int line)
{
    auto p = m_pages.find(pageNumber);
    if (p == m_pages.end() || line < 1 || line > kLinesPerPage)
        return false;
    Page& page = p->second;
    page.lines.erase(line);
    for (int n = line + 1; n <= kLinesPerPage; ++n) {
        auto node = page.lines.extract(n);
        if (!node.empty()) {
            node.key() = n - 1;
            page.lines.insert(std::move(node));
            Renumber(page, n - 1);
        }
    }
    RebuildIndexes();
    Push(MarketEvent {MarketEvent::Type::LineErased, pageNumber, line, 0, {}});
    for (MarketLine* ml : m_monitors)
        Render(*ml);
    return true;
}

void Market::Clear(int pageNumber, int line)
{
    for (auto& [number, page] : m_pages) {
        if (pageNumber > 0 && number != pageNumber)
            continue;
        if (line > 0)
            page.lines.erase(line);
        else
            page.lines.clear();
    }
    RebuildIndexes();
    Push(MarketEvent {MarketEvent::Type::Cleared, pageNumber, pageNumber > 0 ? line : 0, 0, {}});
    for (MarketLine* ml : m_monitors)
        Render(*ml);
}

} // namespace zphd
