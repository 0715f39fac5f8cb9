// The connect thread: the pause schedule, its log lines, the redial once the
// server comes up, the redial after the peer closes, with asynchronous and
// blocking dialling.
#include "WSATestSupport.h"

#include "Brindle/wsa/WSAConnectProcess.h"
#include "CommLogCapture.h"

#include <regex>

namespace wsatest {
namespace {

TEST(WSAConnectProcess, ThePauseGrowsAtTheEleventhAndTheHundredTwentyFirstAttempt)
{
    struct Case {
        long attempt;
        long pause;
        long next;
    };
    const Case cases[] = {
        {1, 10, 10}, {10, 10, 10}, {11, 10, 60},   {12, 60, 60},   {120, 60, 60},
        {121, 60, 600}, {500, 600, 600}, {11, 90, 90}, {121, 900, 900}, {1, 0, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CWSAConnectProcess::NextPause(c.attempt, c.pause), c.next) << c.attempt << " after " << c.pause;
    // The schedule a socket sees: ten attempts 10 s apart, then 60 s, then 600 s.
    long pause = CWSASocket::ConnectPause;
    long total = 0;
    for (long attempt = 1; attempt <= 130; ++attempt) {
        pause = CWSAConnectProcess::NextPause(attempt, pause);
        if (attempt == 10) {
            EXPECT_EQ(total + pause, 100);
        }
        total += pause;
    }
    EXPECT_EQ(total, 10 * 10 + 110 * 60 + 10 * 600);
}

class Redial : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { CWSAConnectProcess::SetAsyncConnect(GetParam()); }
    void TearDown() override { CWSAConnectProcess::SetAsyncConnect(true); }
};

TEST_P(Redial, AnAutoConnectingSocketDialsUntilTheServerComesUpAndAgainAfterThePeerCloses)
{
    commtest::CommLogCapture log;
    Workers pool;
    RecordingSink sink;
    const int port = FreePort(pool.iocp);
    ASSERT_GT(port, 0);
    testsupport::PythonPeer peer(PeerScript(), {});
    CWSASocket socket(pool.iocp, &sink);
    ASSERT_TRUE(socket.SetAddress(port, "127.0.0.1", true));
    socket.AutoConnect(true);
    EXPECT_TRUE(socket.IsAutoConnect());
    ASSERT_TRUE(Eventually([&] { return log.Matching("CWSAConnectProcess: thread").size() >= 2; }));
    EXPECT_EQ(sink.Count('o'), 0);
    ASSERT_EQ(peer.Ask("listen " + std::to_string(port)), "port " + std::to_string(port));
    ASSERT_EQ(Words(peer.Ask("accept")).at(0), "accepted") << "redialled within the pause";
    ASSERT_TRUE(sink.WaitCount('o', 1));

    const std::vector<commtest::LogRecord> records = log.Take();
    const std::string kind = GetParam() ? "async connect" : "connect";
    const std::regex attempt("CWSAConnectProcess: thread [0-9]+ " + kind + " attempt ([0-9]+) to 127\\.0\\.0\\.1:" +
                             std::to_string(port));
    const std::regex failed("CWSAConnectProcess: thread [0-9]+ connection attempt ([0-9]+) failed, next connect "
                            "attempt at [0-9]{10}:[0-9]{2}:[0-9]{2}");
    int attempts = 0, failures = 0;
    for (const commtest::LogRecord& r : records) {
        std::smatch m;
        EXPECT_EQ(r.severity, 0);
        EXPECT_EQ(r.source, "CWSAConnectProcess");
        if (std::regex_match(r.text, m, attempt)) {
            EXPECT_EQ(std::stoi(m[1]), ++attempts);
        } else if (std::regex_match(r.text, m, failed)) {
            EXPECT_EQ(std::stoi(m[1]), attempts) << "a failure names its attempt";
            ++failures;
        } else {
            ADD_FAILURE() << "unexpected record: " << r.text;
        }
    }
    EXPECT_EQ(attempts, 2) << "the first attempt failed, the second (10 s later) got through";
    EXPECT_EQ(failures, 1);

    // The peer goes away: OnClose, then the connect thread dials again.
    EXPECT_EQ(peer.Ask("close 0"), "ok");
    ASSERT_TRUE(sink.WaitCount('c', 1));
    ASSERT_EQ(Words(peer.Ask("accept")).at(0), "accepted");
    ASSERT_TRUE(sink.WaitCount('o', 2));
    EXPECT_TRUE(socket.Send(CIOBuffer("again\n")));
    EXPECT_EQ(peer.Ask("line 1"), "line again");
    const std::vector<commtest::LogRecord> after = log.Take();
    ASSERT_FALSE(after.empty());
    EXPECT_NE(after.front().text.find(kind + " attempt 1 to"), std::string::npos)
        << "a success reset the counter: " << after.front().text;
    socket.Close();
    EXPECT_EQ(peer.Ask("eof 1"), "eof");
    EXPECT_EQ(sink.Count('c'), 1) << "Close by the program gives no OnClose";
}

INSTANTIATE_TEST_SUITE_P(Dialling, Redial, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& mode) { return mode.param ? "Async" : "Blocking"; });

TEST(WSAConnect, AutoConnectOffDialsAtOnceAndDoesNotRedial)
{
    Workers pool;
    RecordingSink sink;
    testsupport::PythonPeer peer(PeerScript(), {});
    const int port = Number(peer.Ask("listen"));
    CWSASocket socket(pool.iocp, &sink);
    ASSERT_TRUE(socket.SetAddress(port, "127.0.0.1", true));
    socket.AutoConnect(false);
    ASSERT_EQ(Words(peer.Ask("accept")).at(0), "accepted");
    ASSERT_TRUE(sink.WaitCount('o', 1));
    EXPECT_EQ(peer.Ask("close 0"), "ok");
    ASSERT_TRUE(sink.WaitCount('c', 1));
    EXPECT_EQ(peer.Ask("unlisten"), "ok");
    // OnClose comes before the handle is closed.
    EXPECT_TRUE(Eventually([&] { return socket.Socket() == INVALID_SOCKET; }));
    EXPECT_FALSE(socket.IsAutoConnect());
}

TEST(WSAConnect, ClosingWhileTheConnectThreadDialsStopsIt)
{
    commtest::CommLogCapture log;
    Workers pool;
    RecordingSink sink;
    const int port = FreePort(pool.iocp);
    auto socket = std::make_unique<CWSASocket>(pool.iocp, &sink);
    ASSERT_TRUE(socket->SetAddress(port, "127.0.0.1", true));
    socket->AutoConnect(true);
    ASSERT_TRUE(Eventually([&] { return !log.Matching("CWSAConnectProcess").empty(); }));
    socket->Close();
    const std::size_t seen = log.Take().size();
    socket.reset();
    EXPECT_LE(seen, 2u);
    EXPECT_TRUE(log.Take().empty()) << "nothing logs after the close";
    EXPECT_EQ(sink.Events().size(), 0u);
}

} // namespace
} // namespace wsatest
