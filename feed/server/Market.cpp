#include "Market.h"
#include "MarketBook.h"
#include "MarketText.h"

#include <algorithm>
#include <cmath>

namespace zphd {

namespace {

constexpr std::size_t kMaxMonitorEntries = 26;

} // namespace

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
