// MAVO's DDE server without its window: a real feed controller, feed
// messages dispatched from another thread, and a DDE client in this
// process that requests and advises as a spreadsheet would.
#include "core/DDEServer.h"
#include "core/DdeActivityLog.h"
#include "core/DdeItems.h"

#include "MavoDdeClient.h"

#include "Brindle/base/Exception.h"
#include "protocol/FieldIds.h"
#include "zph/ZPHController.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <sys/stat.h>
#include <thread>
#include <tuple>

using namespace mavo;
using ddetest::Client;
using testsupport::AdviseOn;
using testsupport::Heard;
using testing::StrEq;
using testing::ThrowsMessage;

namespace {

struct DDEServerTest : ::testing::Test {
    ddetest::ScopedRuntimeDir runtime;
    ZPHController controller;
    std::vector<std::string> log;
    std::atomic<int> wakes{0};
    CDDEServer server{controller, [this](const std::string& text) { log.push_back(text); }, [this] { ++wakes; }};

    void SetUp() override
    {
        controller.SetUserLevel(1);
        ZPHMessage line('R', 1, 1);
        line.AddField(ZPHWire::F_ISSUE_NAME, "BUND 2035");
        line.AddField(ZPHWire::F_BID_ATTRIBUTE, 2);
        line.AddField(ZPHWire::F_BID_RATE, "99.25");
        line.AddField(ZPHWire::F_BID_QUANTITY, "");
        line.AddField(ZPHWire::F_OFFER_ATTRIBUTE, 2);
        line.AddField(ZPHWire::F_OFFER_RATE, "99.27");
        line.AddField(ZPHWire::F_OFFER_QUANTITY, "10");
        line.AddField(ZPHWire::F_DAILY_HIGH, "99.30");
        Feed(line);
        ASSERT_NO_THROW(server.Start());
    }

    // A message as the source hands it over: applied, then dispatched on a
    // feed thread.
    void Feed(ZPHMessage msg)
    {
        ASSERT_TRUE(controller.ApplyMessage(msg));
        std::thread([&] { controller.DispatchMessage(msg); }).join();
    }

    // What the window does when woken.
    void Wake()
    {
        if (wakes.exchange(0) > 0)
            server.ProcessUpdates();
    }
};

} // namespace

TEST_F(DDEServerTest, StartLogsTheServiceAndASecondServerIsRefused)
{
    CDDEServer second(controller, {}, {});
    EXPECT_THAT([&] { second.Start(); }, ThrowsMessage<Brindle::CException>(StrEq("DDEServer instantiated")));
    EXPECT_FALSE(second.IsRunning());
    // Once the first stops, another may start.
    server.Stop();
    EXPECT_NO_THROW(second.Start());
    EXPECT_TRUE(second.IsRunning());
}

TEST_F(DDEServerTest, ServerThatCannotStartSaysSoAndLeavesRoomForAnother)
{
    server.Stop();
    const std::string dir = runtime.SocketDir();
    ASSERT_EQ(::chmod(dir.c_str(), 0755), 0);  // no longer private: refused
    EXPECT_THAT([&] { server.Start(); }, ThrowsMessage<Brindle::CException>(StrEq("Cannot initialize DDE")));
    ASSERT_EQ(::chmod(dir.c_str(), 0700), 0);
    EXPECT_NO_THROW(server.Start());
}

TEST_F(DDEServerTest, RequestsAnswerEveryItemWhateverTheGroups)
{
    Client client;
    HCONV conv = AdviseOn(client, "P1L1");
    std::string value;
    // An empty value is a single space.
    for (const auto& [item, expected] : {std::pair{"bidrate", "99.25"}, {"DAILYHIGH", "99.30"}, {"BIDQUAN", " "},
                                         {"ISSUENAME", "'BUND 2035"}}) {
        ASSERT_TRUE(client.Request(conv, item, value)) << item;
        EXPECT_EQ(value, expected) << item;
    }
    EXPECT_FALSE(client.Request(conv, "NOSUCH", value));
    EXPECT_EQ(DdeGetLastError(client.Inst()), DMLERR_NOTPROCESSED);
    EXPECT_EQ(server.Updates().AskedPages(), std::vector<int>{1});

    // Topics connect whatever they are; bad ones and absent lines answer nothing.
    for (const char* topic : {"P1L2x", "P0L1", "P1L2"})
        EXPECT_FALSE(client.Request(AdviseOn(client, topic), "BIDRATE", value)) << topic;
}

TEST_F(DDEServerTest, AppItemsGiveTheLastFeedTime)
{
    Client client;
    HCONV conv = AdviseOn(client, "APP", {"TIMESTAMP", "packets"});
    std::string value;
    ASSERT_TRUE(client.Request(conv, "TIMESTAMP", value));
    EXPECT_EQ(value, " ");
    ZPHMessage time('T', 0, 0);
    time.AddField(ZPHWire::F_FEED_TIME, "06 Dec 2026 10:42:00");
    time.AddField(ZPHWire::F_PACKETS, 12);
    Feed(time);
    Wake();
    ASSERT_TRUE(client.PumpUntil([&] { return client.Count(XTYP_ADVDATA) == 2; }));
    EXPECT_EQ(Heard(client, "APP", "TIMESTAMP"), std::vector<std::string>{"06 Dec 2026 10:42:00"});
    EXPECT_EQ(Heard(client, "APP", "packets"), std::vector<std::string>{"12"});
}

TEST_F(DDEServerTest, GroupsGateTheAdvisesOfFeedMessages)
{
    Client client;
    HCONV conv = AdviseOn(client, "P1L1", {"LINE", "BIDRATE", "DAILYHIGH"});

    // With the groups set, an update of the bid rate and daily high, and the
    // advises heard so far.
    const std::tuple<bool, bool, const char*, const char*, std::size_t> steps[] = {
        {false, false, "99.26", "99.31", 1},  // no group: only LINE
        {true, false, "99.27", "99.32", 3},   // LINE and BIDRATE
        {true, true, "99.28", "99.33", 6},    // all three
        {false, false, "99.29", "99.34", 7}};
    for (const auto& [live, history, rate, high, heard] : steps) {
        server.SetLive(live);
        server.SetHistory(history);
        ZPHMessage msg('D', 1, 1);
        msg.AddField(ZPHWire::F_BID_RATE, rate);
        msg.AddField(ZPHWire::F_DAILY_HIGH, high);
        Feed(msg);
        Wake();
        ASSERT_TRUE(client.PumpUntil([&] { return client.Count(XTYP_ADVDATA) == heard; })) << rate;
    }
    std::string value;
    ASSERT_TRUE(client.Request(conv, "LINE", value));  // flushes whatever might still come
    DdeProcessPending(client.Inst(), 0);

    EXPECT_EQ(Heard(client, "P1L1", "LINE"), (std::vector<std::string>{"1", "1", "1", "1"}));
    EXPECT_EQ(Heard(client, "P1L1", "BIDRATE"), (std::vector<std::string>{"99.27", "99.28"}));
    EXPECT_EQ(Heard(client, "P1L1", "DAILYHIGH"), (std::vector<std::string>{"99.33"}));
}

TEST_F(DDEServerTest, RestrictedLinesAdviseSpacesOutsideTheFullView)
{
    server.SetLive(true);
    Client client;
    HCONV conv = AdviseOn(client, "P1L1", {"BIDRATE", "ISSUENAME"});
    ZPHMessage withhold('D', 1, 1);
    withhold.AddField(ZPHWire::F_LINE_FLAGS, 0x40000u);
    Feed(withhold);
    Wake();
    ASSERT_TRUE(client.PumpUntil([&] { return client.Count(XTYP_ADVDATA) == 2; }));
    EXPECT_EQ(Heard(client, "P1L1", "BIDRATE"), std::vector<std::string>{" "});
    EXPECT_EQ(Heard(client, "P1L1", "ISSUENAME"), std::vector<std::string>{"'BUND 2035"});
    controller.SetUserLevel(999);
    std::string value;
    ASSERT_TRUE(client.Request(conv, "BIDRATE", value));
    EXPECT_EQ(value, "99.25");
}

TEST_F(DDEServerTest, InsertRefreshesTheLinesBelowAndClearWithoutAPageTheAskedPages)
{
    server.SetLive(true);
    Client client;
    HCONV line2 = AdviseOn(client, "P1L2", {"BIDRATE"});
    AdviseOn(client, "P2L1", {"OFFERRATE"});
    ZPHMessage insert('I', 1, 1);
    insert.AddField(ZPHWire::F_ISSUE_NAME, "NEW");
    insert.AddField(ZPHWire::F_BID_ATTRIBUTE, 2);
    insert.AddField(ZPHWire::F_BID_RATE, "1.5");
    Feed(insert);  // the old line 1 moves to line 2
    Wake();
    ASSERT_TRUE(client.PumpUntil([&] { return client.Count(XTYP_ADVDATA) == 1; }));
    EXPECT_EQ(Heard(client, "P1L2", "BIDRATE"), std::vector<std::string>{"99.25"});

    // The clear of everything reaches page 1 (asked for) but not page 2,
    // whose line no request or update has touched.
    Feed(ZPHMessage('C', 0, 0));
    Wake();
    // The answer (none: the line is gone) comes after any advise of the
    // same conversation.
    std::string value;
    EXPECT_FALSE(client.Request(line2, "LINE", value));
    DdeProcessPending(client.Inst(), 0);
    EXPECT_EQ(client.Count(XTYP_ADVDATA), 1u);
    EXPECT_EQ(server.Updates().AskedPages(), std::vector<int>{1});
}

TEST_F(DDEServerTest, PokeExecuteAndWildConnectAreLoggedAndNotProcessed)
{
    Client client;
    HCONV conv = AdviseOn(client, "P1L1");
    BYTE text[] = "1";
    EXPECT_EQ(DdeClientTransaction(text, sizeof text, conv, client.Str("BIDRATE"), CF_TEXT, XTYP_POKE, 20000, nullptr),
              nullptr);
    EXPECT_EQ(DdeClientTransaction(text, sizeof text, conv, nullptr, 0, XTYP_EXECUTE, 20000, nullptr), nullptr);
    EXPECT_EQ(client.Connect("MAVO", ""), nullptr);
    EXPECT_FALSE(DdeClientTransaction(nullptr, 0, conv, client.Str("BIDRATE"), 2, XTYP_ADVSTART, 20000, nullptr));
    const std::vector<std::string> expected{"DDE Server Initialized, servername = MAVO", "DDE Poke P1L1!BIDRATE",
                                            "DDE Execute not processed", "DDE Wild Connect not processed"};
    EXPECT_EQ(log, expected);
}

TEST_F(DDEServerTest, EveryThousandthCallBackAndAdvisePostIsLogged)
{
    Client client;
    HCONV conv = AdviseOn(client, "P1L1");  // connect and confirm: two call-backs
    std::string value;
    for (int i = 0; i < 998; ++i)
        ASSERT_TRUE(client.Request(conv, "LINE", value));
    EXPECT_EQ(server.CallbackCount(), 1000u);
    EXPECT_EQ(std::count(log.begin(), log.end(), "DDE Callback #1000"), 1);

    for (int i = 0; i < 500; ++i)
        server.Updates().Add(0, 0);  // two posts each: TIMESTAMP and PACKETS
    server.ProcessUpdates();         // coalesced into one
    EXPECT_EQ(server.AdvisePostCount(), 2u);
    for (int i = 0; i < 499; ++i) {
        server.Updates().Add(0, 0);
        server.ProcessUpdates();
    }
    EXPECT_EQ(server.AdvisePostCount(), 1000u);
    EXPECT_EQ(log.back(), "DDE Update #1000");
}

TEST_F(DDEServerTest, StopLeavesTheFeedAndTheService)
{
    server.Stop();
    EXPECT_FALSE(server.IsRunning());
    Client client;
    EXPECT_EQ(client.Connect("MAVO", "P1L1"), nullptr);
    // No longer a message client: feed messages add nothing.
    ZPHMessage msg('D', 1, 1);
    msg.AddField(ZPHWire::F_BID_RATE, "1");
    Feed(msg);
    EXPECT_EQ(server.Updates().PendingCount(), 0u);
    EXPECT_EQ(wakes.load(), 0);
}

TEST_F(DDEServerTest, AClientLeavingIsNoError)
{
    Client client;
    DdeDisconnect(AdviseOn(client, "P1L1"));
    ASSERT_TRUE(ddetest::Eventually([&] {
        server.ProcessDde();
        return server.CallbackCount() >= 2;
    }));
    // A disconnect alone is not an error.
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const std::string& s) { return s.rfind("DDE Error", 0) == 0; }),
              0);
}

TEST(DdeActivityLog, NeverHoldsMoreThanAThousandEntries)
{
    CDdeActivityLog log;
    for (int i = 0; i < 1000; ++i)
        EXPECT_EQ(log.Append("entry " + std::to_string(i)), 0u);
    EXPECT_EQ(log.Size(), 1000u);
    EXPECT_EQ(log.Append("entry 1000"), 100u);  // the oldest hundred go
    EXPECT_EQ(log.Size(), 901u);
    EXPECT_EQ(log.Entries().front(), "entry 100");
    EXPECT_EQ(log.Entries().back(), "entry 1000");
    for (int i = 1001; i < 5000; ++i) {
        log.Append("entry " + std::to_string(i));
        ASSERT_LE(log.Size(), 1000u);
    }
    EXPECT_EQ(log.Entries().back(), "entry 4999");
}
