// Market: the simulated broker's market behind zphd. Pages of field lines
// (one issue each, with a bid and an offer side: a rate, a stack of up to
// five customers at that rate in time priority, and trading history), text
// lines and trade monitor lines. Simulated customers join, improve, withdraw
// and trade at a configurable rate; users' order commands change the market
// as a real one would.
//
// Time is what the caller says it is: Advance(ms) runs everything due up to
// that moment, so a seed and a sequence of Advance calls and orders give the
// same market every time. Texts of clock times come from the wall-clock start
// given to the constructor plus the market's milliseconds.
//
// What changed is queued as events (TakeEvents); a line that changes again
// while its change is still queued is queued once.
//
// Thread-safety: none; the server runs one market on one thread.
#pragma once

#include "LineState.h"
#include "MarketRandom.h"
#include "ServerConfig.h"

#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace zphd {


struct MarketEvent {
    enum class Type {
        LineChanged,   // page, line: the line's state changed (or it appeared)
        LineInserted,  // page, line: a line was inserted there, lines below moved down
        LineErased,    // page, line: the line was erased, lines below moved up
        Cleared,       // page, line: that line (line > 0), page (line 0) or all (page 0) cleared
        TitleChanged,  // page
        CountChanged,  // page
        UserNote,      // customer: text for that user (trade confirmations)
    };
    Type type;
    int page = 0;
    int line = 0;
    int customer = 0;
    std::string text;
};

// An order command as a user sends it.
struct OrderCommand {
    std::string command;       // "CCEnterBid", "CCTradeOffer", ...
    int page = 0;
    int line = 0;
    std::optional<std::string> rate;       // field 15 as text
    std::optional<std::string> quantity;   // field 16 as text
    std::optional<std::string> quantity2;  // field 17 as text
};

// The user level that sees the whole book and every order: no own levels
// are marked for it.
constexpr int kFullView = 999;

// Who sends it.
struct Trader {
    int level = 0;         // the user's customer number (kFullView sees all)
    int centre = 100;
    bool orderEntry = false;
};

struct OrderResult {
    bool accepted = false;
    std::string text;      // why it was refused, or what was done
};

class Market {
public:
    // wallStart: the wall-clock second that market time 0 stands for.
    Market(const ServerConfig& config, std::time_t wallStart);
    ~Market();
    Market(const Market&) = delete;
    Market& operator=(const Market&) = delete;

    // Runs simulated updates, trades and trade completions due up to nowMs
    // (milliseconds of market time, never decreasing). Each simulated update
    // changes some line. afterEach, when given, runs after every update,
    // every simulated trade and the trade completions, so that a caller can
    // send each change on its own instead of only the sum of them.
    void Advance(std::int64_t nowMs, const std::function<void()>& afterEach = {});
    std::int64_t Now() const { return m_now; }

    // Simulated updates per second; 0 stops the simulation (orders and trade
    // completions still run).
    void SetRate(double perSecond);
    double Rate() const { return m_rate; }
    // Mean seconds between simulated trades; 0 for none.
    void SetTradeEvery(double seconds);

    OrderResult Execute(const Trader& trader, const OrderCommand& order);

    // ---- reading -----------------------------------------------------------
    const LineState* GetLine(int page, int line) const;
    bool HasPage(int page) const;
    std::vector<int> Pages() const;
    // Lines present on a page, ascending.
    std::vector<int> Lines(int page) const;
    std::string Title(int page) const;
    int Count(int page) const;
    // 1..5: the stack level of the customer's order on that side; 0 none.
    int OwnLevel(int page, int line, bool bid, int customer) const;
    // A trade monitor line as a viewer sees it: the monitor's entries of the
    // pages `visible` accepts, newest first, so that nobody is shown a trade
    // of a page they may not see. For any other line, its shared state.
    // Null when the line is absent.
    std::optional<LineState> ViewedLine(int page, int line, const std::function<bool(int)>& visible) const;
    // The user's live orders, for a listing: "page line bid|offer rate quantity".
    std::vector<std::string> OrdersOf(int customer) const;

    // ---- changes from the control interface --------------------------------
    void SetTitle(int page, const std::string& title);
    void SetCount(int page, int count);
    // Replaces the shown state of a line (the control interface edits one
    // field at a time through it); the market's own next change of a field
    // it computes overrides the edit. false when the line is absent.
    bool EditLine(int page, int line, const LineState& state);
    // Inserts a line (lines from there down move one down, line 26 falls off).
    bool InsertLine(int page, const LineSpec& spec);
    bool EraseLine(int page, int line);
    // Removes the line (line > 0), the page's lines (line 0) or every line
    // (page 0); titles stay.
    void Clear(int page, int line);
    // A trade on a side as if a simulated customer hit or lifted it; false
    // when that side cannot trade now.
    bool ForceTrade(int page, int line, bool onBid, double quantity);

    std::vector<MarketEvent> TakeEvents();
    bool HasEvents() const { return !m_events.empty(); }

private:
    struct Order;
    struct Side;
    struct Instrument;
    struct MarketLine;
    struct Page;
    struct MonitorEntry;
    enum class OrderAction;
    struct CheckedOrder;

    // ---- users' orders ----
    OrderResult EnterOrJoin(const CheckedOrder& order, bool join);
    OrderResult Withdraw(const CheckedOrder& order);
    OrderResult TradeOn(const CheckedOrder& order, bool max);

    // ---- simulation ----
    void Step();
    void StartSimTrade();
    bool StartTrade(Side& side, const Order& aggressor);
    void CompleteTrade(Instrument& inst, Side& side);
    struct TradeFills;
    TradeFills FillFromStack(Side& side);
    void RecordTrade(Instrument& inst, Side& side, const TradeFills& fills, const std::string& time,
                     const std::string& ticketText);
    void ConfirmTrade(const Instrument& inst, const Side& side, const TradeFills& fills, const std::string& time,
                      const std::string& ticketText);
    void CompleteDueTrades();
    void SimJoin(Instrument& inst, Side& side);
    void SimImprove(Instrument& inst, Side& side);
    void SimWithdraw(Instrument& inst, Side& side);
    void SimRequantity(Instrument& inst, Side& side);
    void SimDrift(Instrument& inst);
    void SimSubject(Instrument& inst, Side& side);
    void SimBackup(Instrument& inst, Side& side);
    void SimIndicative(Instrument& inst);
    Order SimCustomer(const Side& avoid);
    double SimQuantity();

    // ---- order book ----
    void NewLevel(Instrument& inst, Side& side, double rate, const Order& first);
    void EmptySide(Instrument& inst, Side& side, int lastCustomer);
    void ShiftPrevious(const Instrument& inst, Side& side, int customer);
    void RemoveOrder(Instrument& inst, Side& side, std::size_t index);
    bool Crosses(const Instrument& inst, const Side& side, double rate) const;
    bool Better(const Side& side, double a, double b) const;
    Side& Other(Instrument& inst, const Side& side);
    const Side& Other(const Instrument& inst, const Side& side) const;

    // ---- monitor ----
    void MonitorTrade(const Instrument& inst, const Side& side, std::uint64_t ticket, bool done);

    // ---- view ----
    void Render(MarketLine& line);
    void RenderInstrument(const Instrument& inst, LineState& view) const;
    void RenderSide(const Instrument& inst, const Side& side, SideView& view) const;
    void RenderMonitor(const MonitorEntry& entry, LineState& view) const;
    void Touch(Instrument& inst);
    void Changed(int page, int line);
    void Push(MarketEvent event);

    MarketLine* Find(int page, int line);
    const MarketLine* Find(int page, int line) const;
    void PlaceLine(int page, const LineSpec& spec);
    void Renumber(Page& page, int number);
    void RebuildIndexes();
    std::time_t WallNow() const;
    std::string Ticket();

    MarketRandom m_random;
    std::time_t m_wallStart;
    std::int64_t m_now = 0;
    double m_rate;
    double m_tradeEvery;
    double m_tradeWindowMs;
    double m_updateCredit = 0;
    std::int64_t m_nextSimTrade = 0;
    std::uint64_t m_nextTicket = 1001;
    std::uint64_t m_changes = 0;              // lines whose view changed, ever

    std::map<int, Page> m_pages;
    std::vector<Instrument*> m_instruments;   // every field line's issue, in page order
    std::vector<MarketLine*> m_monitors;      // every trade monitor line, in page order
    std::deque<MonitorEntry> m_monitorEntries;// newest first
    std::vector<Order> m_customers;           // the simulated customers
    std::set<int> m_userLevels;               // never used for simulated customers

    std::deque<MarketEvent> m_events;
    std::set<std::pair<int, int>> m_queuedChanges;
};

} // namespace zphd
