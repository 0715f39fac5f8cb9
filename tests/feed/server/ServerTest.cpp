// zphd end to end: real sockets on loopback, TLS, the serial line on a pty
// and a socat pair, the control port, and the program itself.
#include "ZphdTestSupport.h"

#include "ChildProcess.h"
#include "Eventually.h"
#include "FileText.h"
#include "Log.h"
#include "PtyPair.h"
#include "Server.h"
#include "TempDir.h"
#include "TlsContext.h"

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <termios.h>
#include <thread>

using namespace ZPH;

using namespace zphd;
using namespace zphdtest;

namespace {

// A server on free ports, run on its own thread for the test's life.
class RunningServer {
public:
    explicit RunningServer(ServerOptions options, const char* config = kTestConfig)
    {
        SetQuiet(true);
        options.socketPort = options.databasePort = options.controlPort = 0;
        m_server = std::make_unique<Server>(options, TestConfig(config));
        std::string error;
        started = m_server->Start(error);
        EXPECT_TRUE(started) << error;
        if (started)
            m_thread = std::thread([this] { m_server->Run(); });
    }
    ~RunningServer()
    {
        m_server->Stop();
        if (m_thread.joinable())
            m_thread.join();
    }
    Server& operator*() { return *m_server; }
    Server* operator->() { return m_server.get(); }

    bool started = false;

private:
    std::unique_ptr<Server> m_server;
    std::thread m_thread;
};

void LogIn(TestClient& client, const std::string& user, int kind = SOURCE_SOCKET, std::string account = {})
{
    ZPHMessage msg;
    if (kind != SOURCE_SERIAL) {
        ASSERT_TRUE(client.Await(MSG_GREETING));
    }
    ASSERT_TRUE(client.Send(LoginMessage(user, kind)));
    ASSERT_TRUE(client.Await(MSG_WELCOME, msg));
    EXPECT_EQ(Value(msg, F_USER), account.empty() ? user : account);
}

int OpenTerminal(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    termios tio {};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd, TCSANOW, &tio);
    return fd;
}

using testsupport::Eventually;
using testsupport::ReadFile;

} // namespace

TEST(ZphdServer, ClientsOfEachPortAreServedAndTheControlPortAnswersEachLineInTurn)
{
    RunningServer server({});
    ASSERT_TRUE(server.started);
    ControlClient control(server->ControlPort());
    ASSERT_TRUE(control.Ok());
    EXPECT_EQ(control.Command("status").rfind("OK sessions=0 logged-in=0", 0), 0u);
    const std::string line = control.Command("get 1 2");
    EXPECT_EQ(line.rfind("OK ", 0), 0u);
    EXPECT_NE(line.find("\n5\tAAA 5 30"), std::string::npos) << line;
    EXPECT_EQ(control.Command("nonsense"), "ERR unknown command nonsense (try help)");
    // A line longer than any command is refused and the connection closed.
    ControlClient flood(server->ControlPort());
    EXPECT_EQ(flood.Command(std::string(70000, 'x')), "ERR line too long");
    EXPECT_EQ(control.Command("title 1 STILL HERE"), "OK");

    TestClient client;
    ASSERT_TRUE(client.Connect(server->SocketPort()));
    LogIn(client, "alice");
    ASSERT_TRUE(client.Send(PageRequestMessage(1)));
    ZPHMessage msg;
    ASSERT_TRUE(client.Await(MSG_CLEAR, msg));
    ASSERT_TRUE(client.Await(MSG_REFRESH, msg));
    EXPECT_EQ(msg.m_page, 1);
    EXPECT_EQ(control.Command("rate 500"), "OK");
    ASSERT_TRUE(client.Await(MSG_DATA, msg));
    EXPECT_EQ(msg.m_page, 1);
    ASSERT_TRUE(client.Await(MSG_TIME, msg));
    std::int64_t sent = 0;
    EXPECT_TRUE(msg.GetInt64(F_SEND_TIME, sent));
    EXPECT_GT(sent, 1600000000000000);

    // The database port logs in with a password proof.
    for (const auto& [password, welcome] : {std::pair {"builder", true}, std::pair {"guess", false}}) {
        TestClient db;
        ASSERT_TRUE(db.Connect(server->DatabasePort()));
        ZPHMessage greeting, reply;
        ASSERT_TRUE(db.Await(MSG_GREETING, greeting));
        ZPHMessage login = LoginMessage("bob", SOURCE_DATABASE);
        login.AddField(F_PASSWORD_PROOF, LoginProof(Value(greeting, F_NONCE), "bob", password));
        ASSERT_TRUE(db.Send(login));
        ASSERT_TRUE(db.Next(reply));
        EXPECT_EQ(reply.m_type, welcome ? MSG_WELCOME : MSG_LOGIN_FAILED) << password;
        if (!welcome) {
            EXPECT_EQ(Value(reply, F_REASON), "Invalid user name or password");
            EXPECT_FALSE(db.Next(reply)) << "closed after the refusal";
            EXPECT_TRUE(db.closed);
        }
    }
}

TEST(ZphdServer, AControlClientThatNeverReadsItsRepliesIsClosed)
{
    RunningServer server({});
    ASSERT_TRUE(server.started);
    const int fd = ConnectTcp(server->ControlPort(), 4096);
    ASSERT_GE(fd, 0);
    // Far more replies than the server holds for a client (8 MiB) plus what
    // the kernel buffers for it (a few MiB on loopback), so the limit is
    // reached whatever the timing.
    std::string commands;
    for (int i = 0; i < 60000; ++i)
        commands += "get 1 2\n";
    // Some of this may never be read by the server: it closes first.
    for (std::size_t at = 0; at < commands.size();) {
        const ssize_t n = ::send(fd, commands.data() + at, commands.size() - at, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        at += static_cast<std::size_t>(n);
    }
    // Reading now finds the end of the connection after what was sent.
    char buffer[65536];
    bool closed = false;
    for (int i = 0; i < 100000 && !closed; ++i) {
        pollfd p {fd, POLLIN, 0};
        if (::poll(&p, 1, 20000) <= 0)
            break;
        closed = ::recv(fd, buffer, sizeof buffer, 0) <= 0;
    }
    ::close(fd);
    EXPECT_TRUE(closed);
    ControlClient control(server->ControlPort());
    EXPECT_EQ(control.Command("status").rfind("OK ", 0), 0u) << "and the server goes on";
}

TEST(ZphdServer, TlsUsesACertificateMadeAtFirstStartAndKeepsItOrOneGivenThatMustExist)
{
    testsupport::TempDir dir;
    ServerOptions options;
    options.tls = true;
    options.tlsDir = dir.str() + "/state";
    std::string certificate;
    {
        RunningServer server(options);
        ASSERT_TRUE(server.started);
        certificate = server->CertificatePath();
        struct stat key {};
        ASSERT_EQ(::stat((options.tlsDir + "/zphd-key.pem").c_str(), &key), 0);
        EXPECT_EQ(key.st_mode & 0777, 0600u);
        TestClient client;
        ASSERT_TRUE(client.Connect(server->SocketPort(), certificate)) << TlsContext::TakeErrors();
        LogIn(client, "alice");
        ASSERT_TRUE(client.Send(PageRequestMessage(2)));
        ASSERT_TRUE(client.Await(MSG_REFRESH));
        // A plain client on the TLS port gets no message at all.
        TestClient plain;
        ASSERT_TRUE(plain.Connect(server->SocketPort()));
        plain.Send(LoginMessage("alice"));
        ZPHMessage msg;
        EXPECT_FALSE(plain.Next(msg, 3000));
    }
    const std::string first = ReadFile(certificate);
    RunningServer again(options);
    ASSERT_TRUE(again.started);
    EXPECT_EQ(ReadFile(again->CertificatePath()), first) << "the certificate is made once";
    TestClient client;
    ASSERT_TRUE(client.Connect(again->DatabasePort(), certificate));
    ASSERT_TRUE(client.Await(MSG_GREETING));
    // A given certificate that does not exist stops the start, wherever the
    // state directory is.
    options.socketPort = options.databasePort = options.controlPort = 0;
    options.tlsDir.clear();
    options.certFile = "/nonexistent/cert.pem";
    options.keyFile = "/nonexistent/key.pem";
    Server missing(options, TestConfig());
    std::string error;
    EXPECT_FALSE(missing.Start(error));
    EXPECT_NE(error.find("/nonexistent/cert.pem"), std::string::npos) << error;
}

TEST(ZphdServer, AClientThatStopsReadingIsDroppedAndTheOthersGoOn)
{
    ServerOptions options;
    options.maxQueue = 64 * 1024;
    options.sendBuffer = 32 * 1024;
    RunningServer server(options);
    ASSERT_TRUE(server.started);
    ControlClient control(server->ControlPort());
    TestClient slow;
    slow.Adopt(ConnectTcp(server->SocketPort(), 4096));
    ASSERT_GE(slow.Fd(), 0);
    LogIn(slow, "alice");
    for (int page : {1, 2, 3})
        slow.Send(PageRequestMessage(page));
    TestClient fast;
    ASSERT_TRUE(fast.Connect(server->SocketPort()));
    LogIn(fast, "bob");
    ASSERT_TRUE(fast.Send(PageRequestMessage(1)));
    // Fast enough to fill a queue that is never read within a second, slow
    // enough for a reader on a busy machine to keep up.
    EXPECT_EQ(control.Command("rate 2000"), "OK");
    EXPECT_EQ(control.Command("trade-every 0.01"), "OK");
    ZPHMessage msg;
    EXPECT_TRUE(Eventually([&] {
        while (fast.Next(msg, 0)) {
        }
        return control.Command("sessions").find(" alice ") == std::string::npos;
    })) << control.Command("sessions");
    EXPECT_EQ(control.Command("rate 0"), "OK");
    EXPECT_TRUE(fast.Await(MSG_TIME, msg)) << "the reader is still served";
}

TEST(ZphdServer, BytesOfAnyKindFromAClientLeaveTheServerStanding)
{
    RunningServer server({});
    ASSERT_TRUE(server.started);
    ControlClient control(server->ControlPort());
    for (int round = 0; round < 3; ++round) {
        TestClient hostile;
        ASSERT_TRUE(hostile.Connect(server->SocketPort()));
        std::string bytes;
        for (int i = 0; i < 200000; ++i)
            bytes += static_cast<char>((i * 7919 + round * 31 + i / 13) & 0xFF);
        if (round == 1)
            LogIn(hostile, "bob");
        hostile.SendBytes(bytes);
        // From a logged-in client: counted as bad packets, and the session goes on.
        if (round == 1) {
            EXPECT_TRUE(Eventually([&] {
                const std::string sessions = control.Command("sessions");
                return sessions.find(" bob ") != std::string::npos && sessions.find("bad=0") == std::string::npos;
            })) << control.Command("sessions");
        }
    }
    TestClient client;
    ASSERT_TRUE(client.Connect(server->SocketPort()));
    LogIn(client, "alice");
    EXPECT_EQ(control.Command("status").rfind("OK ", 0), 0u);
}

TEST(ZphdServer, TheSerialLineOnAPtyItMade)
{
    testsupport::TempDir dir;
    ServerOptions options;
    options.serialPath = dir.str() + "/serial";
    RunningServer server(options);
    ASSERT_TRUE(server.started);
    char target[256] = {};
    ASSERT_GT(::readlink(options.serialPath.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(server->SerialDevice(), target);
    for (const char* user : {"alice", "bob"}) {
        // Each client opens the line, logs in and leaves; the line stays.
        TestClient client;
        const int fd = OpenTerminal(options.serialPath);
        ASSERT_GE(fd, 0);
        client.Adopt(fd);
        LogIn(client, user, SOURCE_SERIAL);
        ASSERT_TRUE(client.Send(PageRequestMessage(1)));
        ASSERT_TRUE(client.Await(MSG_REFRESH));
    }
}

TEST(ZphdServer, TheSerialLineOverASocatPairSurvivesThePairGoingAway)
{
    testsupport::PtyPair pair;
    ASSERT_TRUE(pair.Running());
    ServerOptions options;
    options.serialPath = pair.First();
    RunningServer server(options);
    ASSERT_TRUE(server.started);
    {
        TestClient client;
        client.Adopt(OpenTerminal(pair.Second()));
        LogIn(client, "nobody-known", SOURCE_SERIAL, "bob");
    }
    pair.Stop();
    ASSERT_TRUE(pair.Start());
    // The server opens the new pair by itself within a few seconds.
    bool welcomed = false;
    for (int attempt = 0; attempt < 20 && !welcomed; ++attempt) {
        TestClient client;
        client.Adopt(OpenTerminal(pair.Second()));
        client.Send(LoginMessage("alice", SOURCE_SERIAL));
        welcomed = client.Await(MSG_WELCOME, 1000);
    }
    EXPECT_TRUE(welcomed);
}

// ---- the program -----------------------------------------------------------------------

#ifdef ZPHD_PROGRAM
namespace {

// Runs zphd to its end: its exit status and all it wrote.
std::pair<int, std::string> RunZphd(std::vector<std::string> args)
{
    args.insert(args.begin(), ZPHD_PROGRAM);
    testsupport::ChildProcess zphd(args);
    const int status = zphd.Wait();
    return {status, zphd.Stdout() + zphd.Stderr()};
}

} // namespace

TEST(ZphdProgram, HelpNamesTheOptionsAndBadOptionsAreRefused)
{
    const auto [status, help] = RunZphd({"--help"});
    EXPECT_EQ(status, 0);
    for (const char* option : {"Usage: zphd", "--config", "--port", "--database-port", "--control-port", "--tls",
                               "--serial", "--rate", "--seed", "--max-queue"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
    const auto [badRate, rateError] = RunZphd({"--rate", "fast"});
    EXPECT_EQ(badRate, 2);
    EXPECT_NE(rateError.find("bad rate \"fast\""), std::string::npos);
    testsupport::TempDir dir;
    std::ofstream(dir.str() + "/bad.conf") << "seed 1\nuser x\n";
    const auto [badConfig, configError] = RunZphd({"--check-config", "-c", dir.str() + "/bad.conf"});
    EXPECT_EQ(badConfig, 1);
    EXPECT_NE(configError.find("line 2: user needs level="), std::string::npos) << configError;
    // The built-in configuration prints as a file that reads back.
    const auto [printed, builtIn] = RunZphd({"--print-config"});
    EXPECT_EQ(printed, 0);
    std::ofstream(dir.str() + "/built-in.conf") << builtIn;
    EXPECT_EQ(RunZphd({"--check-config", "-c", dir.str() + "/built-in.conf"}).first, 0);
}

TEST(ZphdProgram, ServesUntilSigtermAndThenCleansUp)
{
    testsupport::TempDir dir;
    const std::string ports = dir.str() + "/ports";
    testsupport::ChildProcess zphd({ZPHD_PROGRAM, "--port", "0", "--database-port", "0", "--control-port", "0",
                                    "--ports-file", ports, "--serial", dir.str() + "/tty"});
    ASSERT_TRUE(zphd.ReadUntil([&] { return ::access(ports.c_str(), F_OK) == 0; })) << zphd.Stderr();
    std::map<std::string, std::string> found;
    std::ifstream in(ports);
    for (std::string key, value; in >> key >> value;)
        found[key] = value;
    TestClient client;
    ASSERT_TRUE(client.Connect(std::stoi(found["socket"])));
    LogIn(client, "trader1");
    ASSERT_TRUE(client.Send(PageRequestMessage(1)));
    ASSERT_TRUE(client.Await(MSG_DATA)) << "the built-in market moves";
    zphd.Signal(SIGTERM);
    EXPECT_EQ(zphd.Wait(), 0);
    EXPECT_NE((zphd.Stdout() + zphd.Stderr()).find("shutting down"), std::string::npos);
    EXPECT_NE(::access(ports.c_str(), F_OK), 0) << "the ports file goes";
    EXPECT_NE(::access((dir.str() + "/tty").c_str(), F_OK), 0) << "the serial link goes";
}
#endif
