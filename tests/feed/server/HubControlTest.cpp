// The control commands, each seen from a logged-in client; and the promise
// behind line updates: a client that applies what it was sent holds what the
// server holds, whatever the market and the control interface did.
#include "ZphdTestSupport.h"

#include "LineFields.h"
#include "MarketText.h"

using namespace ZPH;

using namespace zphd;
using namespace zphdtest;

namespace {

class HubControl : public HubFixture {
protected:
    HubControl()
    {
        aliceId = Viewing(alice, "alice", {1, 3});
        bobId = Viewing(bob, "bob", {2});
    }
    // The server's own answer to "get", as id -> text.
    std::map<int, std::string> ServerLine(int page, int line)
    {
        return ReplyFields(hub.Control("get " + std::to_string(page) + " " + std::to_string(line)));
    }

    FakeLink alice, bob;
    int aliceId = 0, bobId = 0;
};

} // namespace

TEST_F(HubControl, TitleCountNotifyAndNoticeReachTheirTargets)
{
    const std::size_t a = alice.messages.size(), b = bob.messages.size();
    EXPECT_EQ(hub.Control("title 2 NEW TITLE  with  blanks"), "OK");
    EXPECT_EQ(Value(alice.OfType(MSG_TITLE, a)[0], F_TITLE), "NEW TITLE  with  blanks");
    EXPECT_EQ(Value(bob.OfType(MSG_TITLE, b)[0], F_TITLE), "NEW TITLE  with  blanks");
    EXPECT_EQ(hub.Control("title 2"), "OK");
    EXPECT_EQ(Value(bob.OfType(MSG_TITLE, b).back(), F_TITLE), "") << "an empty title is a title";

    EXPECT_EQ(hub.Control("count 7 42"), "OK");
    const ZPHMessage count = alice.OfType(MSG_PAGE_COUNT, a).back();
    EXPECT_EQ(std::pair(count.m_page, Value(count, F_PAGE_COUNT)), std::pair(7, std::string("42")));
    // A set count stays when viewers come and go; "auto" gives it back to them.
    Feed(bobId, PageRequestMessage(1));
    EXPECT_EQ(hub.GetMarket().Count(1), 2);
    EXPECT_EQ(hub.Control("count 1 9"), "OK");
    hub.Disconnected(bobId);
    EXPECT_EQ(hub.GetMarket().Count(1), 9);
    EXPECT_EQ(hub.Control("count 1 auto"), "OK");
    EXPECT_EQ(hub.GetMarket().Count(1), 1);

    EXPECT_EQ(hub.Control("notify alice Desk closes early|Call 110"), "OK sessions=1");
    EXPECT_EQ(Value(alice.OfType(MSG_NOTIFICATION, a).back(), F_NOTIFICATION), "Desk closes early|Call 110");
    EXPECT_EQ(hub.Control("notice all 77 maintenance at six"), "OK sessions=1");
    const ZPHMessage notice = alice.OfType(MSG_NOTICE, a).back();
    EXPECT_EQ(Strings({Value(notice, F_NOTICE), Value(notice, F_NOTICE_TEXT)}), Strings({"77", "maintenance at six"}));
    EXPECT_EQ(hub.Control("notice #" + std::to_string(aliceId) + " -3"), "OK sessions=1");
    EXPECT_FALSE(alice.OfType(MSG_NOTICE, a).back().HasField(F_NOTICE_TEXT));
    EXPECT_EQ(hub.Control("notify nobody hello"), "ERR no user nobody");
    EXPECT_EQ(hub.Control("notify #99 hello"), "ERR no session #99");
}

TEST_F(HubControl, PermissionsLevelAndOrderEntryChangeTheUsersSessions)
{
    const std::size_t a = alice.messages.size();
    EXPECT_EQ(hub.Control("permissions alice 2-3,7"), "OK");
    auto permissions = Values(alice.OfType(MSG_PERMISSIONS, a), F_PERMISSIONS);
    ASSERT_EQ(permissions.size(), 1u);
    EXPECT_EQ(permissions[0].substr(0, 8), "01100010");
    // Page 1 is no longer allowed, so its changes no longer go to alice.
    EXPECT_EQ(hub.Control("set 1 2 5 HIDDEN"), "OK");
    EXPECT_TRUE(alice.OfType(MSG_DATA, a).empty());
    EXPECT_EQ(hub.Control("permissions alice 0"), "ERR bad page list item \"0\" (pages are 1-300)");

    // Own levels follow a new level at once.
    hub.Control("permissions alice all");
    Feed(aliceId, PageRequestMessage(1));
    const std::string bid = hub.GetMarket().GetLine(1, 2)->bid.rate;
    EXPECT_EQ(hub.Control("order bob CCJoinBid 1 2 " + bid + " 3").rfind("OK", 0), 0u);
    const std::size_t before = alice.messages.size();
    EXPECT_EQ(hub.Control("level alice 102"), "OK");
    EXPECT_EQ(Values(alice.OfType(MSG_USER, before), F_USER_LEVEL), Strings{"102"});
    EXPECT_EQ(Values(alice.OfType(MSG_USER, before), F_ORDER_ENTRY), Strings{"1"});
    EXPECT_EQ(Values(alice.OfType(MSG_DATA, before), F_BID_OWN_LEVEL),
              Strings{std::to_string(hub.GetMarket().OwnLevel(1, 2, true, 102))})
        << "alice now sees bob's bid as her own";

    EXPECT_EQ(hub.Control("order-entry alice no"), "OK");
    EXPECT_EQ(Value(alice.OfType(MSG_USER).back(), F_ORDER_ENTRY), "0");
    Feed(aliceId, OrderMessage("CCJoinBid", 1, 2, 102, {{O_RATE, bid}, {O_QUANTITY, "1"}}));
    EXPECT_EQ(Value(alice.OfType(MSG_NOTICE).back(), F_NOTICE_TEXT), "Order entry is not enabled for this user");
    EXPECT_EQ(hub.Control("level alice 1000"), "ERR the level is 1-999");
    EXPECT_EQ(hub.Control("order-entry alice maybe"), "ERR yes or no");
}

TEST_F(HubControl, SetAndGetWorkOnAnyFieldTheLineKeeps)
{
    const std::size_t a = alice.messages.size();
    EXPECT_EQ(hub.Control("set 1 2 102 6"), "OK");
    auto d = alice.OfType(MSG_DATA, a);
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(Value(d[0], F_BID_ATTRIBUTE), "6");
    EXPECT_EQ(d[0].GetFieldCount(), 1u);
    EXPECT_EQ(hub.Control("get 1 2 102"), "OK 1\n102\t6");
    // The line's last transaction number goes out like any other field.
    const std::size_t b = alice.messages.size();
    EXPECT_EQ(hub.Control("set 1 2 13 T-4711"), "OK");
    EXPECT_EQ(Values(alice.OfType(MSG_DATA, b), F_LAST_TRADE_NUMBER), Strings{"T-4711"});
    EXPECT_EQ(hub.Control("set 1 2 222 level two customer"), "OK");
    EXPECT_EQ(hub.Control("get 1 2 222"), "OK 1\n222\tlevel two customer");
    EXPECT_EQ(hub.Control("set 1 2 102 six"), "ERR field 102 cannot take \"six\"");
    EXPECT_EQ(hub.Control("set 1 2 104 1"), "ERR field 104 cannot take \"1\"") << "own levels belong to each user";
    EXPECT_EQ(hub.Control("set 1 25 5 x"), "ERR no line 1/25");
    EXPECT_EQ(hub.Control(std::string("set 1 2 5 a\x1D" "b")), "ERR control characters in the command");
    EXPECT_EQ(hub.Control("get 1 2").substr(0, 3), "OK ");
    EXPECT_EQ(hub.Control("get 1 27"), "ERR usage: get PAGE LINE [FIELD]");
}

TEST_F(HubControl, InsertEraseAndClearMoveTheClientsLinesToo)
{
    Mirror mirror;
    mirror.Apply(alice.messages);
    const std::size_t a = alice.messages.size();
    EXPECT_EQ(hub.Control("insert 1 2 text  BREAKING NEWS"), "OK");
    EXPECT_EQ(hub.Control("insert 1 1 issue 12.5 0.125 NEW ISSUE 2030"), "OK");
    EXPECT_EQ(hub.Control("erase 1 4"), "OK");
    EXPECT_EQ(hub.Control("insert 3 1 monitor"), "OK");
    std::string moves = alice.Types(a);
    std::erase_if(moves, [](char t) { return t == MSG_DATA; }); // moved lines get their new numbers
    EXPECT_EQ(moves, "IIEI");
    mirror.Apply(alice.messages, a);
    EXPECT_EQ(mirror.Line(1, 3)[F_TEXT], " BREAKING NEWS");
    EXPECT_EQ(mirror.Line(1, 1)[F_ISSUE_NAME], "NEW ISSUE 2030");
    EXPECT_EQ(mirror.Line(1, 4)[F_ISSUE_NAME], "BBB 6 31") << "AAA was erased";
    for (int page : {1, 3})
        for (int line = 1; line <= 26; ++line)
            EXPECT_EQ(mirror.Line(page, line), ServerLine(page, line)) << page << "/" << line;

    const std::size_t c = alice.messages.size();
    EXPECT_EQ(hub.Control("clear 1 3"), "OK");
    EXPECT_EQ(hub.Control("clear 3"), "OK");
    EXPECT_EQ(hub.Control("clear"), "OK");
    ASSERT_EQ(alice.Types(c), "CCC");
    EXPECT_EQ(alice.messages[c].m_line, 3);
    EXPECT_EQ(std::pair(alice.messages[c + 1].m_page, alice.messages[c + 1].m_line), std::pair(3, 0));
    EXPECT_EQ(alice.messages[c + 2].m_page, 0);
    EXPECT_EQ(hub.Control("get 1 1"), "ERR no line 1/1");
    EXPECT_EQ(hub.Control("erase 44 1"), "ERR no page 44");
    EXPECT_EQ(hub.Control("insert 1 1 monitor extra"), "ERR usage: insert PAGE LINE text [TEXT] | issue PRICE TICK NAME | monitor");
}

TEST_F(HubControl, AStallSendsNothingThenCatchesUpWithTheLatestState)
{
    hub.Tick(1000);
    const std::size_t a = alice.messages.size();
    EXPECT_EQ(hub.Control("stall 2.5"), "OK");
    EXPECT_TRUE(hub.Stalled());
    hub.Control("set 1 2 5 FIRST");
    hub.Control("set 1 2 5 SECOND");
    for (std::int64_t t = 1000; t < 3500; t += 100)
        hub.Tick(t);
    EXPECT_EQ(alice.Types(a), "") << "no data and no feed time while stalled";
    hub.Tick(3500);
    EXPECT_FALSE(hub.Stalled());
    auto d = alice.OfType(MSG_DATA, a);
    ASSERT_EQ(d.size(), 1u) << "the two changes arrive as one";
    EXPECT_EQ(Value(d[0], F_ISSUE_NAME), "SECOND");
    EXPECT_EQ(alice.OfType(MSG_TIME, a).size(), 1u);
    EXPECT_EQ(hub.Control("stall x"), "ERR usage: stall SECONDS");
}

TEST_F(HubControl, DropAndMalformedPackets)
{
    EXPECT_EQ(hub.Control("drop bob"), "OK sessions=1");
    EXPECT_EQ(bob.drops, 1);
    EXPECT_EQ(alice.drops, 0);
    for (const char* kind : {"garbage", "truncated", "header", "fields", "page", "oversize", "binary"}) {
        const int badBefore = alice.bad;
        const std::size_t before = alice.messages.size();
        EXPECT_EQ(hub.Control(std::string("malformed alice ") + kind), "OK sessions=1") << kind;
        // What follows still arrives whole.
        hub.Control("notify alice after");
        EXPECT_GT(alice.bad, badBefore) << kind;
        ASSERT_EQ(alice.Types(before), "N") << kind;
    }
    EXPECT_EQ(hub.Control("malformed alice nonsense"), "ERR no malformed kind nonsense");
    EXPECT_EQ(hub.Control("drop"), "OK sessions=1");
    EXPECT_EQ(alice.drops, 1);
}

TEST_F(HubControl, MarketCommandsAndListings)
{
    EXPECT_EQ(hub.Control("rate 250"), "OK");
    EXPECT_EQ(hub.GetMarket().Rate(), 250);
    EXPECT_EQ(hub.Control("trade-every 0.5"), "OK");
    EXPECT_EQ(hub.Control("rate -1"), "ERR usage: rate UPDATES-PER-SECOND");
    EXPECT_EQ(hub.Control("trade 1 2 bid 1"), "OK");
    EXPECT_EQ(hub.Control("trade 1 2 bid 1"), "ERR that side cannot trade now");
    EXPECT_EQ(hub.Control("trade 1 1 offer 1"), "ERR that side cannot trade now");
    const std::string offer = hub.GetMarket().GetLine(1, 3)->offer.rate;
    EXPECT_EQ(hub.Control("order alice CCJoinOffer 1 3 " + offer + " 4"), "OK Joined the offer on BBB 6 31 at " + offer);
    EXPECT_EQ(hub.Control("orders alice"), "OK 1\n1 3 offer " + offer + " 4");
    EXPECT_EQ(hub.Control("orders bob"), "OK 0");
    EXPECT_EQ(hub.Control("order alice CCJoinOffer 1 3 1.0 4").rfind("ERR The offer on BBB 6 31 is now", 0), 0u);
    const std::string sessions = hub.Control("sessions");
    EXPECT_EQ(sessions.rfind("OK 2\n#1 socket alice level=101 state=in pages=1,3 ", 0), 0u) << sessions;
    EXPECT_EQ(hub.Control("status").rfind("OK sessions=2 logged-in=2 rate=250 stalled=0", 0), 0u);
    EXPECT_EQ(hub.Control("help").rfind("OK 1\nhelp ", 0), 0u);
    EXPECT_EQ(hub.Control("frobnicate"), "ERR unknown command frobnicate (try help)");
    EXPECT_EQ(hub.Control(""), "ERR empty command");
    EXPECT_FALSE(hub.QuitRequested());
    EXPECT_EQ(hub.Control("quit"), "OK");
    EXPECT_TRUE(hub.QuitRequested());
}

TEST_F(HubControl, AClientMirrorEqualsTheServerAfterABusyMarketAndEveryKindOfChange)
{
    Mirror mirror;
    FakeLink desk;
    const int d = LoggedIn(desk, "desk");
    for (int page : {1, 2, 3, 9})
        Feed(d, PageRequestMessage(page));
    hub.Control("rate 2000");
    hub.Control("trade-every 0.05");
    std::int64_t t = 0;
    const char* changes[] = {"insert 1 2 text inserted", "erase 2 1", "insert 2 1 issue 50 0.25 BACK AGAIN",
                             "clear 1 5", "insert 9 1 monitor", "erase 1 1", "set 2 2 5 RENAMED",
                             "insert 1 26 text last", "clear 9", "insert 9 3 issue 1 0.125 LATE"};
    for (const char* change : changes) {
        for (int i = 0; i < 20; ++i)
            hub.Tick(t += 7);
        ASSERT_EQ(hub.Control(change), "OK") << change;
    }
    hub.Control("stall 1");
    for (int i = 0; i < 30; ++i)
        hub.Tick(t += 50);
    hub.Control("rate 0");
    hub.Control("trade-every 0");
    hub.Tick(t += 5000); // every trade done
    mirror.Apply(desk.messages);
    EXPECT_EQ(desk.bad, 0);
    EXPECT_GT(desk.OfType(MSG_DATA).size(), 100u);
    int lines = 0;
    for (int page : {1, 2, 3, 9})
        for (int line = 1; line <= 26; ++line) {
            auto server = ServerLine(page, line);
            lines += !server.empty();
            EXPECT_EQ(mirror.Line(page, line), server) << page << "/" << line;
        }
    EXPECT_GT(lines, 10);
}

TEST_F(HubControl, LastOrderReportsTheFieldsOfTheLastOrderAsTheyCame)
{
    EXPECT_EQ(hub.Control("last-order"), "ERR no order received yet");
    // Refused orders count too: the report is of what arrived.
    Feed(aliceId, OrderMessage("CCEnterBid", 9, 1, 101, {{O_FLAGS, "33554432"}, {O_RATE, "10"}, {O_QUANTITY, "2"}}));
    EXPECT_EQ(hub.Control("last-order"), "OK 11\nuser alice type A\n1\t22\n3\t199\n8\t9\n9\t1\n10\t0\n20\t101\n"
                                         "7\tCCEnterBid\n21\t33554432\n15\t10\n16\t2");
    Feed(bobId, OrderMessage("CCTradeOffer", 2, 1, 102, {{O_RATE, "1\t5"}, {O_QUANTITY, "3"}}));
    const std::string reply = hub.Control("last-order");
    EXPECT_EQ(reply.rfind("OK 10\nuser bob type A\n", 0), 0u) << reply;
    EXPECT_NE(reply.find("\n15\t1?5\n16\t3"), std::string::npos) << reply;
    EXPECT_EQ(hub.Control("last-order now"), "ERR usage: last-order");
}
