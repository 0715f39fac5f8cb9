// The server's logic behind its connections: logins, pages, updates for each
// user's view, orders and the control commands, driven without sockets.
#include "ZphdTestSupport.h"

#include "LineFields.h"
#include "MarketText.h"

using namespace ZPH;

using namespace zphd;
using namespace zphdtest;

namespace {

class HubTest : public HubFixture {
protected:
    double Rate(int page, int line, int field)
    {
        std::string text;
        EXPECT_TRUE(GetField(*hub.GetMarket().GetLine(page, line), field, text));
        double value = 0;
        EXPECT_TRUE(ParseDecimal(text, value)) << text;
        return value;
    }

    std::int64_t now = 0;
};

} // namespace

// ---- logging in ---------------------------------------------------------------------

TEST_F(HubTest, SocketAndDatabaseConnectionsAreGreetedAndASerialLineIsNot)
{
    FakeLink socket, database, serial;
    hub.Connect(PortKind::Socket, socket, "a");
    hub.Connect(PortKind::Database, database, "b");
    hub.Connect(PortKind::Serial, serial, "c");
    ASSERT_EQ(socket.Types() + "/" + database.Types() + "/" + serial.Types(), "G/G/");
    EXPECT_EQ(Values(socket.messages, F_PROTOCOL), Strings{"1"});
    EXPECT_EQ(Values(socket.messages, F_SERVER_NAME), Strings{"test-zphd"});
    const std::string nonce = Value(socket.messages[0], F_NONCE);
    EXPECT_EQ(nonce.size(), 32u);
    EXPECT_NE(nonce, Value(database.messages[0], F_NONCE)) << "a fresh nonce per connection";
}

TEST_F(HubTest, AWelcomeCarriesLevelOrderEntryPermissionsTitlesAndTime)
{
    FakeLink link;
    LoggedIn(link, "alice");
    EXPECT_EQ(link.Types(), "GWMHHHHT");
    const ZPHMessage& welcome = link.messages[1];
    EXPECT_EQ(Strings({Value(welcome, F_USER), Value(welcome, F_USER_LEVEL), Value(welcome, F_ORDER_ENTRY)}),
              Strings({"alice", "101", "1"}));
    const std::string permissions = Value(link.messages[2], F_PERMISSIONS);
    ASSERT_EQ(permissions.size(), 300u);
    EXPECT_EQ(permissions.substr(0, 4), "1110");
    EXPECT_EQ(permissions.find('1', 3), std::string::npos);
    EXPECT_EQ(link.messages[3].m_page, 1);
    EXPECT_EQ(Value(link.messages[3], F_TITLE), "FIRST PAGE");
    EXPECT_EQ(link.messages[6].m_page, 9) << "titles of every page, permitted or not";
    EXPECT_EQ(Value(link.messages[7], F_FEED_TIME).size(), 20u);
}

TEST_F(HubTest, AnUnknownSocketUserGetsTheDefaultAccountOrWithoutOneIsRefusedAndClosed)
{
    FakeLink guest;
    LoggedIn(guest, "stranger");
    EXPECT_EQ(Values(guest.OfType(MSG_WELCOME), F_USER), Strings{"viewer"});
    EXPECT_EQ(Values(guest.OfType(MSG_WELCOME), F_ORDER_ENTRY), Strings{"0"});

    ServerConfig config = TestConfig();
    config.defaultUser.clear();
    Hub strict(config, kNoon, "z");
    FakeLink link;
    const int id = strict.Connect(PortKind::Socket, link, "t");
    Feed(strict, id, LoginMessage("stranger"));
    ASSERT_EQ(link.Types(), "GF");
    EXPECT_EQ(Value(link.messages[1], F_REASON), "Unknown user stranger");
    EXPECT_EQ(link.closes, 1);
    // Nothing more is read or sent on a refused connection.
    Feed(strict, id, PageRequestMessage(1));
    EXPECT_EQ(link.Types(), "GF");
}

TEST_F(HubTest, TheDatabasePortChecksThePasswordProof)
{
    // The one reply to a login with a proof made for this connection's nonce,
    // or for that of `nonceOf`.
    auto attempt = [&](const std::string& user, const std::string& password, bool withProof,
                       const FakeLink* nonceOf = nullptr) {
        FakeLink link;
        const int id = hub.Connect(PortKind::Database, link, "db");
        ZPHMessage login = LoginMessage(user, SOURCE_DATABASE);
        if (withProof)
            login.AddField(F_PASSWORD_PROOF, LoginProof(Value((nonceOf ? *nonceOf : link).messages[0], F_NONCE), user, password));
        Feed(id, login);
        // Either a refusal with nothing after it, or a welcome of that user.
        if (link.Types() != "GF") {
            EXPECT_EQ(Value(link.messages.at(1), F_USER), user);
        }
        return link.messages.size() > 1 ? link.messages[1] : ZPHMessage();
    };
    EXPECT_EQ(attempt("alice", "wonder", true).m_type, MSG_WELCOME);
    for (auto [user, password, proof] : {std::tuple {"alice", "Wonder", true}, std::tuple {"alice", "wonder", false},
                                         std::tuple {"nobody", "wonder", true}}) {
        ZPHMessage reply = attempt(user, password, proof);
        EXPECT_EQ(reply.m_type, MSG_LOGIN_FAILED) << user << "/" << password;
        EXPECT_EQ(Value(reply, F_REASON), "Invalid user name or password");
    }
    FakeLink first;
    hub.Connect(PortKind::Database, first, "1");
    EXPECT_EQ(attempt("alice", "wonder", true, &first).m_type, MSG_LOGIN_FAILED) << "another connection's nonce";
}

TEST_F(HubTest, FailLoginRefusesOnlyTheNextLoginAndAnotherProtocolVersionIsRefused)
{
    EXPECT_EQ(hub.Control("fail-login Account locked"), "OK");
    EXPECT_EQ(Value(Refusal(LoginMessage("alice")), F_REASON), "Account locked");
    EXPECT_EQ(hub.Control("fail-login"), "OK");
    EXPECT_FALSE(Refusal(LoginMessage("alice")).HasField(F_REASON)) << "no reason given";
    FakeLink link;
    LoggedIn(link, "alice");
    ZPHMessage login = LoginMessage("alice");
    login.SetField(F_PROTOCOL, "2");
    EXPECT_EQ(Value(Refusal(login), F_REASON), "Protocol version 2 is not supported");
}

TEST_F(HubTest, AConnectionThatNeverLogsInIsDroppedAfterSixteenMessagesOrHalfAMinute)
{
    FakeLink chatty, idle, line, done;
    const int id = hub.Connect(PortKind::Socket, chatty, "t");
    for (int i = 0; i < 16; ++i)
        Feed(id, PageRequestMessage(1));
    EXPECT_EQ(chatty.Types(), "G") << "ignored before the login";
    EXPECT_EQ(chatty.drops, 0);
    Feed(id, PageRequestMessage(1));
    EXPECT_EQ(chatty.drops, 1);

    hub.Connect(PortKind::Socket, idle, "idle");
    hub.Connect(PortKind::Serial, line, "pty");
    LoggedIn(done, "alice");
    hub.Tick(29999);
    EXPECT_EQ(idle.drops, 0);
    hub.Tick(30000);
    EXPECT_EQ(idle.drops, 1);
    EXPECT_EQ(line.drops, 0) << "a serial line waits for its client";
    EXPECT_EQ(done.drops, 0);
}

TEST_F(HubTest, EveryLoginOnASerialLineStartsANewSession)
{
    FakeLink line;
    const int id = hub.Connect(PortKind::Serial, line, "pty");
    Feed(id, LoginMessage("nobody-known", SOURCE_SERIAL));
    ASSERT_EQ(line.Types(), "WMHHHHT");
    EXPECT_EQ(Value(line.messages[0], F_USER), "bob") << "the serial line's account";
    Feed(id, PageRequestMessage(1));
    Feed(id, LoginMessage("alice", SOURCE_SERIAL));
    EXPECT_EQ(line.restarts, 2);
    EXPECT_EQ(Value(line.OfType(MSG_WELCOME).back(), F_USER), "alice");
    // The new session asked for no page yet: changes are not sent.
    const std::size_t before = line.messages.size();
    EXPECT_EQ(hub.Control("set 1 2 5 RENAMED"), "OK");
    EXPECT_TRUE(line.OfType(MSG_DATA, before).empty());
}

// ---- pages and updates ----------------------------------------------------------------

TEST_F(HubTest, APageRequestClearsThePageAndSendsEveryLineWholeOrIsRefusedWithANotice)
{
    FakeLink link;
    const int id = LoggedIn(link, "alice");
    const std::size_t before = link.messages.size();
    Feed(id, PageRequestMessage(1));
    EXPECT_EQ(link.Types(before), "CRRRRK");
    EXPECT_EQ(std::pair(link.messages[before].m_page, link.messages[before].m_line), std::pair(1, 0)) << "clear";
    const ZPHMessage& issue = link.messages[before + 2];
    EXPECT_EQ(issue.m_line, 2);
    EXPECT_FALSE(issue.HasField(F_KIND)) << "a field line is the kind a line is unless it says";
    EXPECT_FALSE(issue.HasField(F_LINE)) << "the header carries the line";
    EXPECT_EQ(Value(link.messages[before + 1], F_KIND), "T");
    EXPECT_EQ(Value(issue, F_ISSUE_NAME), "AAA 5 30");
    EXPECT_EQ(Value(issue, F_BID_RATE), hub.GetMarket().GetLine(1, 2)->bid.rate);
    EXPECT_FALSE(issue.HasField(F_BID_OWN_LEVEL)) << "absent means 0";
    EXPECT_EQ(Value(link.messages[before + 1], F_TEXT), "HEADER");
    EXPECT_FALSE(link.messages[before + 1].HasField(F_BID_ATTRIBUTE));
    EXPECT_EQ(Value(link.messages.back(), F_PAGE_COUNT), "1") << "one viewer now";

    // Pages alice may not see, or that do not exist, are refused with a notice.
    const std::size_t refused = link.messages.size();
    Feed(id, PageRequestMessage(9));
    Feed(id, PageRequestMessage(301));
    ASSERT_EQ(link.Types(refused), "OO");
    EXPECT_EQ(Value(link.messages[refused], F_NOTICE), std::to_string(kNoticeNoPermission));
    EXPECT_EQ(Value(link.messages[refused], F_NOTICE_TEXT), "No permission for page 9");
}

TEST_F(HubTest, UpdatesCarryOnlyWhatChangedAndOnlyToThoseWhoAskedForThePage)
{
    FakeLink alice, bob, desk;
    Viewing(alice, "alice", {1});
    Viewing(bob, "bob", {2});
    LoggedIn(desk, "desk");
    for (FakeLink* link : {&alice, &bob, &desk})
        link->Mark();
    const double bid = Rate(1, 2, F_BID_RATE);
    EXPECT_EQ(hub.Control("order bob CCEnterBid 1 2 " + FormatFixed(bid, 3) + " 7"), "OK Joined the bid on AAA 5 30 at "
                                                                                           + FormatFixed(bid, 3));
    hub.Tick(now += 10);
    auto updates = alice.Fresh(MSG_DATA);
    ASSERT_EQ(updates.size(), 1u);
    const ZPHMessage& d = updates[0];
    EXPECT_EQ(std::pair(d.m_page, d.m_line), std::pair(1, 2));
    std::set<int> ids;
    for (const auto& [id, text] : d.GetFields())
        ids.insert(id);
    const int level = hub.GetMarket().OwnLevel(1, 2, true, 102) - 1;
    const std::set<int> expected = {F_BID_QUANTITY, F_BID_REAL_QUANTITY, StackField(F_BID_STACK_CUSTOMER, level),
                                    StackField(F_BID_STACK_CENTER, level), StackField(F_BID_STACK_QUANTITY, level)};
    EXPECT_EQ(ids, expected);
    EXPECT_EQ(Value(d, StackField(F_BID_STACK_CUSTOMER, level)), "102");
    EXPECT_EQ(Value(d, StackField(F_BID_STACK_CENTER, level)), "210");
    EXPECT_TRUE(bob.Fresh(MSG_DATA).empty()) << "bob did not ask for page 1";
    EXPECT_TRUE(desk.Fresh(MSG_DATA).empty());
}

TEST_F(HubTest, OwnLevelsGoOnlyToTheirOwnerAndFollowTheStack)
{
    FakeLink alice, bob;
    const int a = Viewing(alice, "alice", {1});
    const int b = Viewing(bob, "bob", {1});
    const std::string better = FormatFixed(Rate(1, 2, F_BID_RATE) + 0.125, 3);
    // An order on line 2 at the better rate; both links marked before it.
    auto order = [&](int session, const char* command, int level, const char* quantity, bool enter) {
        alice.Mark();
        bob.Mark();
        std::vector<std::pair<int, std::string>> fields = {{O_RATE, better}, {O_QUANTITY, quantity}};
        if (enter)
            fields.insert(fields.begin(), {O_FLAGS, std::to_string(O_ENTER_FLAGS)});
        Feed(session, OrderMessage(command, 1, 2, level, fields));
    };
    auto own = [](const FakeLink& link) { return Values(link.Fresh(MSG_DATA), F_BID_OWN_LEVEL); };
    order(a, "CCEnterBid", 101, "5", true);
    EXPECT_EQ(own(alice), Strings{"1"});
    EXPECT_EQ(Values(alice.Fresh(MSG_DATA), F_BID_RATE), Strings{better});
    EXPECT_EQ(own(bob), Strings{"<none>"});

    order(b, "CCJoinBid", 102, "2", true);
    EXPECT_EQ(own(bob), Strings{"2"});
    EXPECT_EQ(own(alice), Strings{"<none>"}) << "alice's level did not change";

    // Alice withdraws: bob moves up to level 1 and alice's level goes to 0.
    order(a, "CCDeleteBid", 101, "5", false);
    EXPECT_EQ(own(alice), Strings{"0"});
    EXPECT_EQ(own(bob), Strings{"1"});
    // A fresh refresh of the page gives the own level whole.
    bob.Mark();
    Feed(b, PageRequestMessage(1));
    EXPECT_EQ(Values(bob.Fresh(MSG_REFRESH), F_BID_OWN_LEVEL), (Strings{"<none>", "1", "<none>", "<none>"}));
}

TEST_F(HubTest, WithheldPagesCarryTheWithheldFlagForThatUserOnly)
{
    FakeLink viewer, alice;
    Viewing(viewer, "viewer", {2});
    Viewing(alice, "alice", {2});
    EXPECT_EQ(Value(viewer.OfType(MSG_REFRESH)[0], F_LINE_FLAGS), std::to_string(kFlagWithheld));
    EXPECT_FALSE(alice.OfType(MSG_REFRESH)[0].HasField(F_LINE_FLAGS));
    // A change of the flags keeps the mark.
    EXPECT_EQ(hub.Control("set 2 1 3 16"), "OK");
    EXPECT_EQ(Value(viewer.OfType(MSG_DATA).back(), F_LINE_FLAGS), std::to_string(kFlagWithheld | 16));
    EXPECT_EQ(Value(alice.OfType(MSG_DATA).back(), F_LINE_FLAGS), "16");
}

// ---- orders ------------------------------------------------------------------------------

TEST_F(HubTest, RefusedOrdersAreAnsweredWithANoticeAndChangeNothing)
{
    FakeLink alice, viewer;
    const int a = LoggedIn(alice, "alice");
    const int v = LoggedIn(viewer, "viewer");
    const LineState before = *hub.GetMarket().GetLine(1, 2);
    const std::string bid = before.bid.rate;
    struct {
        int session;
        FakeLink* link;
        ZPHMessage order;
        const char* text;
    } cases[] = {
        {a, &alice, OrderMessage("CCTradeBid", 1, 2, 999, {{O_RATE, bid}, {O_QUANTITY, "1"}, {O_TRADE_QUANTITY, "1"}}),
         "The order's user level is not yours"},
        {a, &alice, OrderMessage("CCEnterBid", 9, 1, 101, {{O_RATE, "10"}, {O_QUANTITY, "1"}}), "No permission for page 9"},
        {v, &viewer, OrderMessage("CCEnterBid", 1, 2, 300, {{O_RATE, bid}, {O_QUANTITY, "1"}}),
         "Order entry is not enabled for this user"},
        {a, &alice, OrderMessage("CCTradeBid", 1, 4, 101, {{O_RATE, "75"}, {O_QUANTITY, "1"}, {O_TRADE_QUANTITY, "1"}}),
         "CCC 7 32 cannot be traded"},
        {a, &alice, OrderMessage("CCNonsense", 1, 2, 101, {}), "Unknown order command \"CCNonsense\""},
    };
    for (auto& c : cases) {
        const std::size_t from = c.link->messages.size();
        Feed(c.session, c.order);
        const auto notices = c.link->OfType(MSG_NOTICE, from);
        EXPECT_EQ(Values(notices, F_NOTICE), Strings{std::to_string(kNoticeOrderRefused)}) << c.text;
        EXPECT_EQ(Values(notices, F_NOTICE_TEXT), Strings{c.text});
        // The same answer as a notification, the path a client shows.
        const auto notes = Values(c.link->OfType(MSG_NOTIFICATION, from), F_NOTIFICATION);
        ASSERT_EQ(notes.size(), 1u) << c.text;
        EXPECT_EQ(notes[0].rfind("REFUSED: ", 0), 0u) << notes[0];
        EXPECT_EQ(notes[0].substr(notes[0].find('|') + 1), c.text);
    }
    // What the client wrote cannot break the notification's lines.
    const std::size_t from = alice.messages.size();
    Feed(a, OrderMessage("CCEnter|Bid\x7f", 1, 2, 101, {{O_RATE, "1|2"}}));
    const auto notes = Values(alice.OfType(MSG_NOTIFICATION, from), F_NOTIFICATION);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].rfind("REFUSED: Enter?Bid? on page 1 line 2 at 1?2|", 0), 0u) << notes[0];
    EXPECT_EQ(*hub.GetMarket().GetLine(1, 2), before);
}

TEST_F(HubTest, AHitTradesAndBothSidesAreToldWhatTheyDid)
{
    FakeLink alice, bob;
    const int a = Viewing(alice, "alice", {1});
    const int b = LoggedIn(bob, "bob");
    const std::string better = FormatFixed(Rate(1, 2, F_BID_RATE) + 0.125, 3);
    Feed(a, OrderMessage("CCEnterBid", 1, 2, 101,
                         {{O_FLAGS, std::to_string(O_ENTER_FLAGS)}, {O_RATE, better}, {O_QUANTITY, "5"}}));
    const std::size_t from = alice.messages.size();
    Mirror mirror;
    mirror.Apply(alice.messages);
    Feed(b, OrderMessage("CCTradeBid", 1, 2, 102,
                         {{O_RATE, better}, {O_QUANTITY, "5"}, {O_TRADE_QUANTITY, "5"}, {O_FLAGS, "0"}}));
    const auto trading = alice.OfType(MSG_DATA, from);
    EXPECT_EQ(Values(trading, F_BID_ATTRIBUTE), Strings{"5"});
    EXPECT_EQ(Values(trading, StackField(F_BID_TRADED_CUSTOMER, 0)), Strings{"102"});
    hub.Tick(now += 999);
    EXPECT_TRUE(bob.OfType(MSG_NOTIFICATION).empty());
    hub.Tick(now += 1);
    auto done = alice.OfType(MSG_DATA, from);
    ASSERT_GE(done.size(), 2u);
    EXPECT_EQ(Value(done.back(), F_BID_ATTRIBUTE), "0") << "traded out";
    EXPECT_EQ(Value(done.back(), F_BID_OWN_LEVEL), "0");
    mirror.Apply(done);
    auto line = mirror.Line(1, 2);
    const Strings traded = {line[F_LAST_TRADE], line[F_LAST_TRADE_TYPE], line[F_BID_LAST_TRADE],
                            line[StackField(F_BID_TRADED_CUSTOMER, 0)], line[StackField(F_BID_TRADED_QUANTITY, 0)]};
    EXPECT_EQ(traded, (Strings{better, "1", better, "102", "5"})) << "last trade and type, the bid's, who, how much";
    EXPECT_EQ(line.count(F_BID_RATE), 0u);
    const auto sold = Values(bob.OfType(MSG_NOTIFICATION), F_NOTIFICATION);
    ASSERT_EQ(sold.size(), 1u);
    EXPECT_EQ(sold[0].rfind("SOLD 5 AAA 5 30 @ " + better + "|Ticket ", 0), 0u);
    EXPECT_EQ(Value(alice.OfType(MSG_NOTIFICATION)[0], F_NOTIFICATION).rfind("BOUGHT 5 AAA 5 30", 0), 0u);
}

// ---- a slow or hostile client ---------------------------------------------------------------

TEST_F(HubTest, AClientThatCannotKeepUpIsDroppedAndTheRestGoOn)
{
    FakeLink slow, fast;
    const int s = Viewing(slow, "alice", {1});
    Viewing(fast, "bob", {1});
    slow.refuse = true;
    hub.Control("set 1 2 5 NEW NAME");
    EXPECT_EQ(slow.drops, 1);
    hub.Control("set 1 2 5 NEWER NAME");
    EXPECT_EQ(slow.drops, 1) << "dropped once; nothing more is sent";
    EXPECT_EQ(Value(fast.OfType(MSG_DATA).back(), F_ISSUE_NAME), "NEWER NAME");
    hub.Disconnected(s);
    EXPECT_EQ(hub.SessionCount(), 1u);
}

TEST_F(HubTest, BadBytesFromAClientAreCountedAndNeverStopTheSession)
{
    FakeLink link;
    const int id = LoggedIn(link, "alice");
    const std::string junk[] = {
        std::string("\x01\x1DZPH\x1ET\x1FQ\x1EP\x1F" "1", 14),                  // cut short by the next message
        std::string("\x02\x03 noise \x1D\x1E\x1F"),                              // outside any message
        std::string("\x01\x1DZPH\x1ET\x1FQQ\x1EP\x1F" "1\x1EL\x1F" "0\x02\x03"), // a two-letter type
        std::string("\x01\x1DZPH\x1ET\x1FQ\x1EP\x1F" "x\x1EL\x1F" "0\x02\x03"),  // a page that is no number
        std::string("\x01\x1DZPH\x1ET\x1F" "A\x1EP\x1F" "0\x1EL\x1F" "0\x02\x1D" "F\x1E" "7\x1F" "CCEnterBid\x1E"
                    "15\x1F" "1e999\x1E" "16\x1F-5\x03"),                        // an order with silly numbers
        std::string(70000, 'x'),
        std::string("\x01") + std::string(70000, 'y') + "\x03",                  // longer than a frame may be
    };
    for (const auto& bytes : junk)
        hub.Receive(id, bytes.data(), bytes.size());
    const std::size_t from = link.messages.size();
    Feed(id, PageRequestMessage(1));
    EXPECT_EQ(link.Types(from), "CRRRRK");
    EXPECT_EQ(link.drops, 0);
    EXPECT_NE(hub.Control("sessions").find("bad="), std::string::npos);
    // Every byte value, in every split, leaves the hub standing.
    std::string bytes;
    for (int i = 0; i < 4096; ++i)
        bytes += static_cast<char>((i * 131 + i / 7) & 0xFF);
    for (std::size_t cut = 1; cut < 64; cut += 7)
        for (std::size_t at = 0; at < bytes.size(); at += cut)
            hub.Receive(id, bytes.data() + at, std::min(cut, bytes.size() - at));
}

TEST_F(HubTest, ATradeMonitorShowsOnlyTradesOfPagesItsUserMaySee)
{
    FakeLink alice, desk;
    Viewing(alice, "alice", {3}); // pages 1-3
    Viewing(desk, "desk", {3});   // every page
    auto issues = [](const FakeLink& link) {
        Mirror mirror;
        mirror.Apply(link.messages);
        std::vector<std::string> shown;
        for (int line = 1; line <= 4; ++line) {
            auto fields = mirror.Line(3, line);
            shown.push_back(fields.count(F_ISSUE_NAME) != 0 ? fields[F_ISSUE_NAME] : "");
        }
        return shown;
    };
    ASSERT_TRUE(hub.GetMarket().ForceTrade(1, 2, true, 1));
    hub.Tick(now += 10);
    ASSERT_TRUE(hub.GetMarket().ForceTrade(9, 1, true, 1));  // a page alice may not see
    hub.Tick(now += 10);
    EXPECT_EQ(issues(desk), (std::vector<std::string>{"ZZZ", "AAA 5 30", "", ""}));
    EXPECT_EQ(issues(alice), (std::vector<std::string>{"AAA 5 30", "", "", ""}));
    for (const auto& msg : alice.messages)
        EXPECT_NE(Value(msg, F_ISSUE_NAME), "ZZZ") << "sent to alice on " << msg.m_type;

    // The trade completes: still nothing of page 9 for alice.
    hub.Tick(now += 2000);
    EXPECT_EQ(issues(alice), (std::vector<std::string>{"AAA 5 30", "", "", ""}));
    // Allowed page 9, alice's monitor shows its trade in its place.
    EXPECT_EQ(hub.Control("permissions alice 1-3,9").rfind("OK", 0), 0u);
    EXPECT_EQ(issues(alice), (std::vector<std::string>{"ZZZ", "AAA 5 30", "", ""}));
}
