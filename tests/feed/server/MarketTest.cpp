#include "Market.h"
#include "MarketText.h"

#include <gtest/gtest.h>

using namespace zphd;

namespace {

constexpr const char* kStillMarket = R"(seed 7
rate 0
trade-every 0
trade-window 2
user t1 level=101 orders=yes pages=all centre=110
user t2 level=102 orders=yes pages=all centre=210
user watcher level=103 pages=all
user desk level=999 orders=yes pages=all
page 1 TEST PAGE
issue "AAA 5 30" 100.000 0.125
issue "BBB 6 31" 50.00 0.25 decimals=2 flags=0x200
text  "hello"
page 2 MONITOR
monitor 3
)";

constexpr std::time_t kNoon = 1718107200; // a fixed wall clock for the texts

ServerConfig Config(const char* text = kStillMarket)
{
    ServerConfig config;
    std::string error;
    EXPECT_TRUE(ParseConfig(text, config, error)) << error;
    return config;
}

// The built-in market, moving at `rate` updates a second.
ServerConfig MovingConfig(double rate, double tradeEvery)
{
    ServerConfig config = Config(DefaultConfigText());
    config.market.rate = rate;
    config.market.tradeEvery = tradeEvery;
    return config;
}

Trader T1() { return Trader {101, 110, true}; }
Trader T2() { return Trader {102, 210, true}; }

OrderCommand Order(const char* command, double rate, std::optional<double> quantity = {},
                   std::optional<double> quantity2 = {})
{
    OrderCommand order;
    order.command = command;
    order.page = 1;
    order.line = 1;
    order.rate = FormatFixed(rate, 6);
    if (quantity)
        order.quantity = FormatQuantity(*quantity);
    if (quantity2)
        order.quantity2 = FormatQuantity(*quantity2);
    return order;
}

double Rate(const std::string& text)
{
    double value = 0;
    EXPECT_TRUE(ParseDecimal(text, value)) << text;
    return value;
}

int StackDepth(const SideView& side)
{
    int n = 0;
    while (n < kStackLevels && !side.stack[static_cast<std::size_t>(n)].customer.empty())
        ++n;
    return n;
}

// What a side shows first: its rate, quantity and attribute.
auto Shown(const SideView& side) { return std::tie(side.rate, side.quantity, side.attribute); }

std::vector<std::string> Notes(Market& market)
{
    std::vector<std::string> notes;
    for (const auto& e : market.TakeEvents())
        if (e.type == MarketEvent::Type::UserNote)
            notes.push_back(std::to_string(e.customer) + ": " + e.text);
    return notes;
}

// A still market and order helpers.
class MarketTest : public ::testing::Test {
protected:
    const LineState& Line(int line = 1) { return *market.GetLine(1, line); }
    double Bid(int line = 1) { return Rate(Line(line).bid.rate); }
    double Offer(int line = 1) { return Rate(Line(line).offer.rate); }
    // The text of an order that must be refused.
    std::string Refused(const Trader& who, const OrderCommand& order)
    {
        OrderResult r = market.Execute(who, order);
        EXPECT_FALSE(r.accepted) << order.command << ": " << r.text;
        return r.text;
    }
    // An order that must be refused, for a reason that says `why`.
    void ExpectRefused(const Trader& who, const OrderCommand& order, const std::string& why)
    {
        EXPECT_NE(Refused(who, order).find(why), std::string::npos) << order.command << " not refused for " << why;
    }
    void ExpectAccepted(const Trader& who, const char* command, double rate, std::optional<double> quantity = {},
                        std::optional<double> quantity2 = {})
    {
        OrderResult r = market.Execute(who, Order(command, rate, quantity, quantity2));
        ASSERT_TRUE(r.accepted) << command << ": " << r.text;
    }

    Market market {Config(), kNoon};
};
using MarketOrders = MarketTest;
using MarketTrades = MarketTest;
using MarketPages = MarketTest;

} // namespace

// ---- repeatable ------------------------------------------------------------------

TEST(Market, ASeedAndTheSameCallsGiveTheSameMarket)
{
    ServerConfig config = MovingConfig(200, 0.5);
    Market a(config, kNoon), b(config, kNoon);
    config.market.seed += 1;
    Market c(config, kNoon);
    bool differs = false;
    for (std::int64_t t = 0; t <= 20000; t += 37) {
        a.Advance(t);
        b.Advance(t);
        c.Advance(t);
    }
    for (int page : a.Pages())
        for (int line : a.Lines(page)) {
            ASSERT_NE(b.GetLine(page, line), nullptr);
            EXPECT_EQ(*a.GetLine(page, line), *b.GetLine(page, line)) << page << "/" << line;
            const LineState* other = c.GetLine(page, line);
            differs = differs || other == nullptr || !(*other == *a.GetLine(page, line));
        }
    EXPECT_TRUE(differs) << "another seed gave the same market";
}

TEST(Market, SimulationMovesPricesTradesAndNeverCrossesTheBook)
{
    ServerConfig config = MovingConfig(100, 1);
    Market market(config, kNoon);
    const std::string before = market.GetLine(1, 2)->bid.rate + market.GetLine(1, 3)->offer.rate;
    int changes = 0, trading = 0;
    for (std::int64_t t = 0; t <= 60000; t += 50) {
        market.Advance(t);
        for (const auto& e : market.TakeEvents())
            changes += e.type == MarketEvent::Type::LineChanged;
        for (int page : market.Pages())
            for (int line : market.Lines(page)) {
                const LineState& l = *market.GetLine(page, line);
                if (l.kind != 'F')
                    continue;
                trading += l.bid.attribute == kAttrTrading || l.offer.attribute == kAttrTrading;
                if (!l.bid.rate.empty() && !l.offer.rate.empty()) {
                    ASSERT_LT(Rate(l.bid.rate), Rate(l.offer.rate)) << l.issue << " at " << t;
                }
                ASSERT_LE(StackDepth(l.bid), kStackLevels);
                EXPECT_EQ(l.bid.rate.empty(), StackDepth(l.bid) == 0) << l.issue;
            }
    }
    EXPECT_GT(changes, 1000);
    EXPECT_GT(trading, 0);
    EXPECT_NE(before, market.GetLine(1, 2)->bid.rate + market.GetLine(1, 3)->offer.rate);
    // Trades reached the trade monitor.
    const LineState* monitor = market.GetLine(5, 2);
    ASSERT_NE(monitor, nullptr);
    EXPECT_EQ(monitor->kind, 'M');
    EXPECT_FALSE(monitor->issue.empty());
}

TEST(Market, ALongPauseStartsAtMostAHundredTradesAtOnce)
{
    Market market(MovingConfig(0, 0.001), kNoon);
    int started = 0;
    market.Advance(3600000, [&] { ++started; });
    // A hundred trades, then one call for the trades that ended.
    EXPECT_EQ(started, 100 + 1) << "an hour of a trade a millisecond is not made up at once";
    started = 0;
    market.Advance(3600001, [&] { ++started; });
    EXPECT_GE(started, 1 + 1) << "and the next trade is due at once";
}

TEST(Market, RateZeroIsAStillMarket)
{
    Market market(Config(), kNoon);
    const LineState opening = *market.GetLine(1, 1);
    market.Advance(600000);
    EXPECT_EQ(*market.GetLine(1, 1), opening);
    EXPECT_FALSE(market.HasEvents());
}

// ---- entering, joining, withdrawing --------------------------------------------------

TEST_F(MarketOrders, ABetterBidIsOwnAtLevelOneAndMovesTheOldToPrevious)
{
    const LineState before = Line();
    const double better = Bid() + 0.125;
    ExpectAccepted(T1(), "CCEnterBid", better, 7);
    const SideView& bid = Line().bid;
    EXPECT_EQ(Shown(bid), std::tuple(FormatFixed(better, 3), "7", kAttrFirm));
    EXPECT_EQ(std::tie(bid.stack[0].customer, bid.stack[0].centre), std::tuple("101", "110"));
    EXPECT_EQ(StackDepth(bid), 1);
    EXPECT_EQ(std::tie(bid.prevRate, bid.prevCustomer, bid.prevPrevRate),
              std::tie(before.bid.rate, before.bid.stack[0].customer, before.bid.prevRate));
    EXPECT_EQ(std::pair(market.OwnLevel(1, 1, true, 101), market.OwnLevel(1, 1, false, 101)), std::pair(1, 0));
    auto events = market.TakeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, MarketEvent::Type::LineChanged);
}

TEST_F(MarketOrders, JoiningTheBidTakesTheNextLevelUntilTheStackIsFull)
{
    const double offer = Offer();
    const int depth = StackDepth(Line().offer);
    const auto mine = static_cast<std::size_t>(depth);
    // Entering again at the same rate changes the quantity in place.
    for (auto [command, quantity] : {std::pair {"CCJoinOffer", 3}, std::pair {"CCEnterOffer", 4}}) {
        ExpectAccepted(T1(), command, offer, quantity);
        EXPECT_EQ(market.OwnLevel(1, 1, false, 101), depth + 1) << command;
        EXPECT_EQ(Line().offer.stack[mine].quantity, std::to_string(quantity));
    }
    for (int customer = 110; StackDepth(Line().offer) < kStackLevels; ++customer)
        ExpectAccepted(Trader {customer, 100, true}, "CCJoinOffer", offer, 1);
    ExpectRefused(T2(), Order("CCJoinOffer", offer, 1), "full");
}

TEST_F(MarketOrders, WorsePricesCrossingPricesAndMovedJoinsAreRefused)
{
    const LineState l = Line();
    const double bid = Bid(), offer = Offer();
    OrderCommand noRate = Order("CCEnterBid", bid, 1);
    noRate.rate = "98,5";
    const struct {
        OrderCommand order;
        const char* why;
    } cases[] = {
        {Order("CCEnterBid", bid - 0.125, 1), "below the market bid"},
        {Order("CCEnterOffer", offer + 0.125, 1), "above the market offer"},
        {Order("CCEnterBid", offer, 1), "lift the offer instead"},
        {Order("CCEnterOffer", bid, 1), "hit the bid instead"},
        {Order("CCJoinBid", bid + 0.125, 1), "is now"},
        {Order("CCEnterBid", bid, 0), "no valid quantity"},
        {Order("CCEnterBid", bid), "no valid quantity"},
        {Order("CCDeleteBid", bid, 1), "You have no bid"},
        {Order("CCFrobBid", bid, 1), "Unknown order command"},
        {noRate, ""},
    };
    for (const auto& c : cases)
        ExpectRefused(T1(), c.order, c.why);
    EXPECT_EQ(Line(), l);
}

TEST_F(MarketOrders, WhoMayTradeAndWhatCanBeTraded)
{
    const double bid = Bid();
    ExpectRefused(Trader {999, 100, true}, Order("CCTradeBid", bid, 1, 1), "full view");
    ExpectRefused(Trader {103, 100, false}, Order("CCTradeBid", bid, 1, 1), "not enabled");
    OrderCommand untradeable = Order("CCTradeBid", Bid(2), 1, 1);
    untradeable.line = 2;
    ExpectRefused(T1(), untradeable, "cannot be traded");
    OrderCommand textLine = Order("CCEnterBid", 1, 1);
    textLine.line = 3;
    ExpectRefused(T1(), textLine, "no issue");
    textLine.line = 27;
    Refused(T1(), textLine);
}

TEST_F(MarketOrders, WithdrawingTheLastOrderEmptiesTheSide)
{
    const double better = Bid() + 0.125;
    ExpectAccepted(T1(), "CCEnterBid", better, 2);
    ExpectAccepted(T2(), "CCJoinBid", better, 5);
    EXPECT_EQ(market.OwnLevel(1, 1, true, 102), 2);
    ExpectAccepted(T1(), "CCDeleteBid", better, 2);
    EXPECT_EQ(market.OwnLevel(1, 1, true, 101), 0);
    EXPECT_EQ(market.OwnLevel(1, 1, true, 102), 1) << "the level moves up";
    EXPECT_EQ(Line().bid.quantity, "5");
    ExpectAccepted(T2(), "CCDeleteBid", better, 5);
    const SideView& bid = Line().bid;
    EXPECT_EQ(Shown(bid), std::tuple("", "", kAttrNone));
    EXPECT_EQ(std::tie(bid.prevRate, bid.prevCustomer), std::tuple(FormatFixed(better, 3), "102"));
    // An empty side takes any bid that does not cross.
    ExpectAccepted(T1(), "CCEnterBid", 90, 1);
    EXPECT_EQ(Line().bid.rate, "90.000");
}

TEST_F(MarketOrders, BeingOutbidTakesTheOrderOffAndTellsItsOwner)
{
    // Lifting the whole offer leaves room above the bid.
    ASSERT_TRUE(market.ForceTrade(1, 1, false, 1000));
    market.Advance(2000);
    ASSERT_EQ(Line().offer.rate, "");
    const double better = Bid() + 0.125;
    ExpectAccepted(T1(), "CCEnterBid", better, 2);
    market.TakeEvents();
    // Improving one's own bid is no news to oneself.
    ExpectAccepted(T1(), "CCEnterBid", better + 0.125, 2);
    EXPECT_TRUE(Notes(market).empty());
    ExpectAccepted(T2(), "CCEnterBid", better + 0.25, 2);
    auto notes = Notes(market);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].rfind("101: OUTBID", 0), 0u) << notes[0];
    EXPECT_EQ(market.OwnLevel(1, 1, true, 101), 0);
    EXPECT_TRUE(market.OrdersOf(101).empty());
    EXPECT_EQ(market.OrdersOf(102), std::vector<std::string> {"1 1 bid " + FormatFixed(better + 0.25, 3) + " 2"});
}

// ---- trading -------------------------------------------------------------------------

TEST_F(MarketTrades, AHitTradesForAMomentThenUpdatesTheHistory)
{
    const double better = Bid() + 0.125;
    const std::string rate = FormatFixed(better, 3);
    ExpectAccepted(T1(), "CCEnterBid", better, 10);
    const LineState before = Line();
    market.TakeEvents();

    ExpectAccepted(T2(), "CCTradeBid", better, 10, 4);
    const LineState trading = Line();
    EXPECT_EQ(trading.bid.attribute, kAttrTrading);
    const auto traded = [](const SideView& side) { return std::tie(side.traded[0].customer, side.traded[0].quantity); };
    EXPECT_EQ(traded(trading.bid), std::tuple("102", "4")) << "field 17 is the quantity that trades";
    EXPECT_EQ(trading.lastTrade, before.lastTrade) << "nothing is done until the trade ends";
    // The trade monitor shows it trading, the bidder as buyer, the hitter as seller.
    const LineState* monitor = market.GetLine(2, 1);
    ASSERT_NE(monitor, nullptr);
    EXPECT_EQ(std::tie(monitor->issue, monitor->bid.attribute, monitor->bid.rate),
              std::tuple("AAA 5 30", kAttrTrading, rate));
    EXPECT_EQ(std::tie(monitor->bid.stack[0].customer, monitor->bid.traded[0].customer), std::tuple("101", "102"));
    EXPECT_TRUE(monitor->offer.rate.empty());

    market.Advance(1999);
    EXPECT_EQ(Line().bid.attribute, kAttrTrading);
    market.Advance(2000);
    const LineState& done = Line();
    EXPECT_EQ(std::tie(done.bid.attribute, done.bid.quantity), std::tuple(kAttrFirm, "6"));
    EXPECT_EQ(std::tie(done.lastTrade, done.lastTradeType, done.lastTradeTime, done.persistTrade),
              std::tuple(rate, kTradeOnBid, FormatClock(kNoon + 2), rate));
    EXPECT_EQ(Rate(done.volume), Rate(before.volume) + 4);
    EXPECT_EQ(done.volume.substr(done.volume.find('.')).size(), 3u) << "two decimals";
    EXPECT_GE(Rate(done.high), better);
    EXPECT_LE(Rate(done.low), better);
    EXPECT_EQ(done.bid.lastTrade, rate);
    EXPECT_EQ(Rate(done.bid.tradeVolume), Rate(before.bid.tradeVolume) + 4);
    EXPECT_EQ(done.bid.transaction, done.transaction);
    EXPECT_NE(done.transaction, before.transaction);
    EXPECT_EQ(traded(done.bid), std::tuple("102", "4"));
    EXPECT_EQ(done.offer.lastTrade, before.offer.lastTrade);
    EXPECT_EQ(std::tie(market.GetLine(2, 1)->bid.attribute, market.GetLine(2, 1)->bid.transaction),
              std::tie(kAttrFirm, done.transaction));

    const std::string ticket = " 4 AAA 5 30 @ " + rate + "|Ticket " + done.transaction + " at " + done.lastTradeTime;
    EXPECT_EQ(Notes(market), (std::vector<std::string> {"102: SOLD" + ticket, "101: BOUGHT" + ticket}));
}

TEST_F(MarketTrades, ALiftThatTakesEverythingEmptiesTheOfferAndOthersMayJoinIt)
{
    const LineState before = Line();
    const double offer = Offer();
    const double total = Rate(before.offer.quantity);
    OrderCommand max = Order("CCEnterMaxOfferTradeQuantity", offer, {}, 1000);
    ExpectRefused(T2(), max, "not trading");

    ExpectAccepted(T1(), "CCTradeOffer", offer, 1);
    OrderResult join = market.Execute(T2(), max);
    ASSERT_TRUE(join.accepted) << join.text;
    EXPECT_EQ(Line().offer.traded[1].customer, "102");
    market.Advance(5000);
    const LineState& done = Line();
    EXPECT_EQ(done.lastTradeType, kTradeOnOffer);
    EXPECT_EQ(Rate(done.offer.tradeVolume), Rate(before.offer.tradeVolume) + total);
    EXPECT_EQ(std::tie(done.offer.attribute, done.offer.rate, done.offer.prevRate),
              std::tie(kAttrNone, "", before.offer.rate));
    EXPECT_EQ(std::tie(done.offer.traded[0].quantity, done.offer.traded[1].quantity),
              std::tuple("1", FormatQuantity(total - 1)));
    // The monitor line of a lifted offer is an offer-side line.
    const LineState& monitor = *market.GetLine(2, 1);
    EXPECT_TRUE(monitor.bid.rate.empty());
    EXPECT_EQ(std::tie(monitor.offer.rate, monitor.offer.quantity),
              std::tuple(before.offer.rate, FormatQuantity(total)));
}

TEST_F(MarketTrades, HitsNeedTheShownFirmPriceAndSomeoneElse)
{
    const double bid = Bid(), better = bid + 0.125;
    ExpectRefused(T2(), Order("CCTradeBid", bid - 0.125, 1, 1), "is now");
    ExpectAccepted(T1(), "CCEnterBid", better, 1);
    ExpectRefused(T1(), Order("CCTradeBid", better, 1, 1), "your own");
    // While trading, the stack may be joined but not withdrawn from or improved.
    ExpectAccepted(T2(), "CCTradeBid", better, 1, 1);
    ExpectRefused(T1(), Order("CCDeleteBid", better, 1), "trading");
    Refused(Trader {120, 100, true}, Order("CCEnterBid", bid + 0.25, 1));
    ExpectAccepted(Trader {120, 100, true}, "CCJoinBid", better, 1);
    // Five aggressors at most.
    for (int customer = 130; customer < 134; ++customer)
        ExpectAccepted(Trader {customer, 100, true}, "CCEnterMaxBidTradeQuantity", better, {}, 1);
    ExpectRefused(Trader {140, 100, true}, Order("CCEnterMaxBidTradeQuantity", better, {}, 1), "full");
    // Only two could be filled: the stack held 1 + 1.
    market.Advance(3000);
    const SideView& done = Line().bid;
    EXPECT_EQ(done.rate, "");
    EXPECT_EQ(std::tie(done.traded[0].customer, done.traded[1].customer, done.traded[2].customer),
              std::tuple("102", "130", ""));
}

TEST_F(MarketTrades, ForcedTradesAndTheMonitorKeepsTheNewestFirst)
{
    ASSERT_TRUE(market.ForceTrade(1, 1, true, 1));
    EXPECT_FALSE(market.ForceTrade(1, 1, true, 1)) << "already trading";
    EXPECT_FALSE(market.ForceTrade(1, 3, true, 1)) << "a text line";
    market.Advance(2000);
    ASSERT_TRUE(market.ForceTrade(1, 1, false, 1));
    const LineState& newest = *market.GetLine(2, 1);
    const LineState& older = *market.GetLine(2, 2);
    EXPECT_FALSE(newest.offer.rate.empty());
    EXPECT_FALSE(older.bid.rate.empty());
    EXPECT_LT(std::stoi(older.bid.transaction), std::stoi(newest.offer.transaction));
    EXPECT_TRUE(market.GetLine(2, 3)->issue.empty());
}

// ---- the page from the control side ---------------------------------------------------

TEST_F(MarketPages, InsertAndEraseMoveTheLinesBelowAndTheLastFallsOffAFullPage)
{
    const LineState first = Line();
    LineSpec spec;
    spec.line = 1;
    spec.kind = LineKind::Text;
    spec.text = "inserted";
    ASSERT_TRUE(market.InsertLine(1, spec));
    EXPECT_EQ(Line(1).text, "inserted");
    EXPECT_EQ(std::tie(Line(2).issue, Line(2).line), std::tuple(first.issue, 2));
    EXPECT_EQ(Line(4).text, "hello");
    // Orders follow their issue to its new line.
    OrderCommand order = Order("CCEnterBid", Rate(first.bid.rate) + 0.125, 1);
    order.line = 2;
    ASSERT_TRUE(market.Execute(T1(), order).accepted);
    EXPECT_EQ(market.OwnLevel(1, 2, true, 101), 1);
    auto events = market.TakeEvents();
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[0].type, MarketEvent::Type::LineInserted);
    EXPECT_EQ(events.back().type, MarketEvent::Type::LineChanged);

    ASSERT_TRUE(market.EraseLine(1, 1));
    EXPECT_EQ(std::tie(Line(1).issue, Line(1).line), std::tuple(first.issue, 1));
    EXPECT_EQ(market.GetLine(1, 4), nullptr);
    EXPECT_EQ(market.OwnLevel(1, 1, true, 101), 1);
    EXPECT_FALSE(market.EraseLine(9, 1));
    LineSpec beyond;
    beyond.line = 27;
    EXPECT_FALSE(market.InsertLine(1, beyond));
    // On a full page, line 26 falls off.
    Market full(Config("page 1 X\nmonitor 26\n"), kNoon);
    spec.line = 3;
    ASSERT_TRUE(full.InsertLine(1, spec));
    EXPECT_EQ(full.Lines(1).size(), 26u);
    EXPECT_EQ(std::pair(full.GetLine(1, 3)->kind, full.GetLine(1, 26)->kind), std::pair('T', 'M'));
}

TEST_F(MarketPages, ClearRemovesLinesAndKeepsTitles)
{
    market.Clear(1, 2);
    EXPECT_EQ(market.GetLine(1, 2), nullptr);
    EXPECT_NE(market.GetLine(1, 1), nullptr);
    market.Clear(1, 0);
    EXPECT_TRUE(market.Lines(1).empty());
    EXPECT_EQ(market.Title(1), "TEST PAGE");
    market.Clear(0, 0);
    EXPECT_TRUE(market.Lines(2).empty());
    auto events = market.TakeEvents();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[2].type, MarketEvent::Type::Cleared);
    EXPECT_EQ(events[2].page, 0);
}

TEST_F(MarketPages, ALineChangedTwiceIsQueuedOnceButAgainAfterAMove)
{
    const double better = Bid() + 0.125;
    ExpectAccepted(T1(), "CCEnterBid", better, 1);
    ExpectAccepted(T2(), "CCJoinBid", better, 1);
    market.SetTitle(1, "NEW");
    market.EraseLine(1, 3);
    ExpectAccepted(T2(), "CCEnterBid", better, 2);
    std::vector<MarketEvent::Type> types;
    for (const auto& e : market.TakeEvents())
        types.push_back(e.type);
    using Type = MarketEvent::Type;
    EXPECT_EQ(types, (std::vector<Type> {Type::LineChanged, Type::TitleChanged, Type::LineErased, Type::LineChanged}));
    EXPECT_EQ(market.Title(1), "NEW");
}

TEST_F(MarketPages, EditsShowUntilTheMarketChangesTheLine)
{
    LineState text = Line(3);
    text.text = "edited";
    text.lineFlags = 0x40;
    ASSERT_TRUE(market.EditLine(1, 3, text));
    EXPECT_EQ(Line(3).text, "edited");
    LineState issue = Line();
    issue.bid.attribute = kAttrError;
    ASSERT_TRUE(market.EditLine(1, 1, issue));
    EXPECT_EQ(Line().bid.attribute, kAttrError);
    ExpectAccepted(T1(), "CCJoinBid", Rate(issue.bid.rate), 1);
    EXPECT_EQ(Line().bid.attribute, kAttrFirm);
    EXPECT_FALSE(market.EditLine(1, 20, text));
}
