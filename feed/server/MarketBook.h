// The market's book: the orders at each side of an issue, the issues, the
// trade monitor's entries, the lines and pages. Shared by the market's
// simulation, its order handling and its views; nothing outside the market
// sees these types.
//
// Thread-safety: none; they belong to the one market.
#pragma once

#include "Market.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zphd {

// The largest rate or quantity an order may give.
constexpr double kMaxQuantity = 1e6;
// Centre codes of the simulated customers: the hundreds name the centre
// (1 New York, 2 London, 3 Buenos Aires, 4 Mexico, 5 New York - KRVM).
constexpr int kCentres[] = {110, 120, 210, 220, 230, 310, 320, 410, 510};

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

} // namespace zphd
