// The older overlapped sockets and the log shippers on loopback, each beside
// a plain blocking peer doing the same work (the floor) and, for echo and
// broadcast, beside the communication engine's TCP transport:
// - Echo: one client sends 64 KiB and reads it back; bytes per second.
// - Broadcast: 8 clients each read every 16 KiB block; bytes per second
//   (counted once per block).
// - Ship: records per second into a server that counts the messages' ends,
//   through CLogServiceClient, CCommLogger, and a blocking writer of the
//   same message texts.
// - Syslog: lines per second into rsyslog (imtcp, one output file), through
//   CSyslog and through a blocking writer of the same lines.
// Compare bytes_per_second / items_per_second within one group.
#include "Brindle/base/CritSec.h"
#include "Brindle/base/LogServiceClient.h"
#include "Brindle/base/ThreadObject.h"
#include "Brindle/comm/CommIOCP.h"
#include "Brindle/comm/CommListener.h"
#include "Brindle/comm/CommLogger.h"
#include "Brindle/wsa/IOCPThreads.h"
#include "Brindle/base/Syslog.h"
#include "Brindle/wsa/WSAListener.h"
#include "ChildProcess.h"
#include "TempDir.h"

#include <benchmark/benchmark.h>

#include <csignal>
#include <fstream>
#include <sys/stat.h>

#include <arpa/inet.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace Brindle;

constexpr int kEchoBlock = 64 * 1024;
constexpr int kBroadcastBlock = 16 * 1024;
constexpr int kBroadcastClients = 8;
constexpr int kShipBatch = 2000;

int Dial(int port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<unsigned short>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

int PlainListen(int& port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd, 64);
    socklen_t length = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    port = ntohs(a.sin_port);
    return fd;
}

bool WriteAll(int fd, const char* data, std::size_t n)
{
    while (n > 0) {
        ssize_t w = ::send(fd, data, n, MSG_NOSIGNAL);
        if (w <= 0)
            return false;
        data += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

bool ReadAll(int fd, char* data, std::size_t n)
{
    while (n > 0) {
        ssize_t r = ::recv(fd, data, n, 0);
        if (r <= 0)
            return false;
        data += r;
        n -= static_cast<std::size_t>(r);
    }
    return true;
}

void EchoLoop(benchmark::State& state, int port)
{
    int fd = Dial(port);
    if (fd < 0) {
        state.SkipWithError("no connection");
        return;
    }
    std::vector<char> out(kEchoBlock, 'e'), in(kEchoBlock);
    for (auto _ : state) {
        if (!WriteAll(fd, out.data(), out.size()) || !ReadAll(fd, in.data(), in.size())) {
            state.SkipWithError("echo broke");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * kEchoBlock);
    ::close(fd);
}

// ---------------------------------------------------------------- echo

void BM_Echo_PlainBlocking(benchmark::State& state)
{
    int port = 0;
    int listener = PlainListen(port);
    std::thread server([&] {
        int c = ::accept(listener, nullptr, nullptr);
        std::vector<char> buf(kEchoBlock);
        for (;;) {
            ssize_t r = ::recv(c, buf.data(), buf.size(), 0);
            if (r <= 0 || !WriteAll(c, buf.data(), static_cast<std::size_t>(r)))
                break;
        }
        ::close(c);
    });
    EchoLoop(state, port);
    server.join();
    ::close(listener);
}
BENCHMARK(BM_Echo_PlainBlocking)->UseRealTime();

class EchoSink : public CWSASink {
public:
    void OnData(CWSASocket* socket, const CIOBuffer& data) override { socket->Send(data); }
};

void BM_Echo_WSAListener(benchmark::State& state)
{
    CIOCPThreads threads(2);
    EchoSink sink;
    CWSAListener listener(threads.GetIOCP(), &sink);
    if (!listener.SetAddress(0, "127.0.0.1", true) || !listener.Listen(16)) {
        state.SkipWithError("no listener");
        return;
    }
    EchoLoop(state, listener.GetLocalPort());
}
BENCHMARK(BM_Echo_WSAListener)->UseRealTime();

class EchoLayer : public CCommLayer {
public:
    void OnOpen(void*) override {}
    void OnClose(void*) override {}
    void OnData(void* source, const std::string& data) override { static_cast<CCommSocket*>(source)->Send(data); }
};

// The port a listening transport took (bound to port 0).
int LocalPort(const CCommSocket& socket)
{
    sockaddr_in local{};
    int length = sizeof local;
    if (getsockname(socket.Socket(), reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return 0;
    return ntohs(local.sin_port);
}

struct Engine {
    Engine()
    {
        for (int i = 0; i < 2; ++i) {
            threads.push_back(std::make_unique<CThreadObject>("bench engine"));
            threads.back()->StartThread(&iocp);
        }
    }
    ~Engine()
    {
        iocp.RequestShutdown();
        for (auto& t : threads) {
            t->StopThread();
            t->Join();
        }
    }
    CCommIOCP iocp;
    std::vector<std::unique_ptr<CThreadObject>> threads;
};

void BM_Echo_CommEngine(benchmark::State& state)
{
    Engine engine;
    EchoLayer layer;
    auto listener = std::make_unique<CCommListener>(engine.iocp);
    listener->SetChain(&layer);
    if (!listener->SetAddress(0, "127.0.0.1", true) || !listener->Listen(16)) {
        state.SkipWithError("no listener");
        return;
    }
    EchoLoop(state, LocalPort(*listener));
    listener.reset();
}
BENCHMARK(BM_Echo_CommEngine)->UseRealTime();

// ---------------------------------------------------------------- broadcast

// Clients that read and count; the benchmark waits until each has all.
struct Readers {
    explicit Readers(int port)
    {
        for (int i = 0; i < kBroadcastClients; ++i)
            fds.push_back(Dial(port));
        counts = std::make_unique<std::atomic<long long>[]>(kBroadcastClients);
        for (int i = 0; i < kBroadcastClients; ++i) {
            counts[i] = 0;
            threads.emplace_back([this, i] {
                std::vector<char> buf(1 << 16);
                for (;;) {
                    ssize_t r = ::recv(fds[i], buf.data(), buf.size(), 0);
                    if (r <= 0)
                        return;
                    counts[i] += r;
                }
            });
        }
    }
    ~Readers()
    {
        for (int fd : fds)
            ::shutdown(fd, SHUT_RDWR);
        for (auto& t : threads)
            t.join();
        for (int fd : fds)
            ::close(fd);
    }
    void WaitAll(long long total)
    {
        for (int i = 0; i < kBroadcastClients; ++i)
            while (counts[i].load() < total)
                std::this_thread::yield();
    }
    std::vector<int> fds;
    std::unique_ptr<std::atomic<long long>[]> counts;
    std::vector<std::thread> threads;
};

template <typename Send>
void BroadcastLoop(benchmark::State& state, Readers& readers, Send send)
{
    long long total = 0;
    for (auto _ : state) {
        send();
        total += kBroadcastBlock;
        readers.WaitAll(total);
    }
    state.SetBytesProcessed(state.iterations() * kBroadcastBlock);
}

void BM_Broadcast_PlainBlocking(benchmark::State& state)
{
    int port = 0;
    int listener = PlainListen(port);
    Readers readers(port);
    std::vector<int> accepted;
    for (int i = 0; i < kBroadcastClients; ++i)
        accepted.push_back(::accept(listener, nullptr, nullptr));
    const std::string block(kBroadcastBlock, 'b');
    BroadcastLoop(state, readers, [&] {
        for (int fd : accepted)
            WriteAll(fd, block.data(), block.size());
    });
    for (int fd : accepted)
        ::close(fd);
    ::close(listener);
}
BENCHMARK(BM_Broadcast_PlainBlocking)->UseRealTime();

void BM_Broadcast_WSAListener(benchmark::State& state)
{
    CIOCPThreads threads(2);
    CWSASink sink;
    CWSAListener listener(threads.GetIOCP(), &sink);
    listener.SetAddress(0, "127.0.0.1", true);
    listener.Listen(16);
    Readers readers(listener.GetLocalPort());
    while (listener.size() < static_cast<std::size_t>(kBroadcastClients))
        std::this_thread::yield();
    const CIOBuffer block{std::string(kBroadcastBlock, 'b')};
    BroadcastLoop(state, readers, [&] { listener.Broadcast(block); });
    listener.CloseAll();
}
BENCHMARK(BM_Broadcast_WSAListener)->UseRealTime();

void BM_Broadcast_CommEngine(benchmark::State& state)
{
    Engine engine;
    EchoLayer layer;
    auto listener = std::make_unique<CCommListener>(engine.iocp);
    listener->SetChain(&layer);
    listener->SetAddress(0, "127.0.0.1", true);
    listener->Listen(16);
    {
        Readers readers(LocalPort(*listener));
        while (listener->size() < static_cast<std::size_t>(kBroadcastClients))
            std::this_thread::yield();
        const std::string block(kBroadcastBlock, 'b');
        BroadcastLoop(state, readers, [&] {
            CSystemLock lock;
            for (auto* child : *listener)
                child->Send(block);
        });
        listener->CloseAll();
    }
    listener.reset();
}
BENCHMARK(BM_Broadcast_CommEngine)->UseRealTime();

// ---------------------------------------------------------------- shipping

// A log server that counts message ends (ETX) on every connection.
struct CountingServer {
    CountingServer()
    {
        listener = PlainListen(port);
        acceptor = std::thread([this] {
            for (;;) {
                int c = ::accept(listener, nullptr, nullptr);
                if (c < 0)
                    return;
                conns.emplace_back([this, c] {
                    std::vector<char> buf(1 << 16);
                    for (;;) {
                        ssize_t r = ::recv(c, buf.data(), buf.size(), 0);
                        if (r <= 0)
                            break;
                        long n = 0;
                        for (ssize_t i = 0; i < r; ++i)
                            n += buf[static_cast<std::size_t>(i)] == '\x03';
                        messages += n;
                    }
                    ::close(c);
                });
            }
        });
    }
    ~CountingServer()
    {
        ::shutdown(listener, SHUT_RDWR);
        ::close(listener);
        acceptor.join();
        for (auto& t : conns)
            t.join();
    }
    void WaitFor(long long n)
    {
        while (messages.load() < n)
            std::this_thread::yield();
    }
    int port = 0;
    int listener = -1;
    std::atomic<long long> messages{0};
    std::thread acceptor;
    std::vector<std::thread> conns;
};

CLogData ShipRecord()
{
    return CLogData(SEVERITY_INFORMATION, "Bench", CVar("a log record of ordinary length for shipping"), 1);
}

void BM_Ship_PlainBlocking(benchmark::State& state)
{
    CountingServer server;
    int fd = Dial(server.port);
    CLogData record = ShipRecord();
    long long sent = 0;
    int counter = 0;
    for (auto _ : state) {
        for (int i = 0; i < kShipBatch; ++i) {
            // The same work per record as the shippers: number it, build its
            // text, write it.
            record.SetCounter(++counter);
            const std::string text = CLogServiceClient::LogText(record);
            WriteAll(fd, text.data(), text.size());
        }
        sent += kShipBatch;
        server.WaitFor(sent);
    }
    state.SetItemsProcessed(state.iterations() * kShipBatch);
    ::close(fd);
}
BENCHMARK(BM_Ship_PlainBlocking)->UseRealTime();

template <typename Logger>
void ShipLoop(benchmark::State& state, Logger& logger, CountingServer& server)
{
    while (!logger.Connected())
        std::this_thread::yield();
    const CLogData record = ShipRecord();
    long long sent = 0;
    bool first = true;
    for (auto _ : state) {
        for (int i = 0; i < kShipBatch; ++i)
            logger.Log(record);
        // The first batch also carries the reset message.
        sent += kShipBatch + (first ? 1 : 0);
        first = false;
        server.WaitFor(sent);
    }
    state.SetItemsProcessed(state.iterations() * kShipBatch);
}

void BM_Ship_LogServiceClient(benchmark::State& state)
{
    CountingServer server;
    CIOCPThreads threads(2);
    CLogServiceClient client(threads.GetIOCP());
    client.Start(server.port, "127.0.0.1");
    ShipLoop(state, client, server);
    client.Stop();
}
BENCHMARK(BM_Ship_LogServiceClient)->UseRealTime();

void BM_Ship_CommLogger(benchmark::State& state)
{
    CountingServer server;
    Engine engine;
    CCommLogger logger(engine.iocp);
    logger.Start(server.port, "127.0.0.1");
    ShipLoop(state, logger, server);
    logger.Stop();
}
BENCHMARK(BM_Ship_CommLogger)->UseRealTime();

// ---------------------------------------------------------------- syslog

constexpr int kSyslogBatch = 2000;

// rsyslog on a free loopback port, writing each message into one file.
struct RsyslogPeer {
    RsyslogPeer()
    {
        int probe = PlainListen(port);
        ::close(probe);
        std::ofstream conf(dir.str() + "/rsyslog.conf");
        conf << "global(workDirectory=\"" << dir.str() << "\")\n"
             << "module(load=\"imtcp\")\n"
             << "input(type=\"imtcp\" port=\"" << port << "\" address=\"127.0.0.1\")\n"
             << "template(name=\"raw\" type=\"string\" string=\"%rawmsg%\\n\")\n"
             << "*.* action(type=\"omfile\" file=\"" << Output() << "\" template=\"raw\")\n";
        conf.close();
        process = std::make_unique<testsupport::ChildProcess>(std::vector<std::string>{
            "/usr/sbin/rsyslogd", "-n", "-f", dir.str() + "/rsyslog.conf", "-i", dir.str() + "/pid"});
        for (int i = 0; i < 200; ++i) {
            int fd = Dial(port);
            if (fd >= 0) {
                ::close(fd);
                up = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ~RsyslogPeer()
    {
        process->Signal(SIGTERM);
        process->Wait();
    }
    std::string Output() const { return dir.str() + "/out.log"; }
    void WaitForBytes(long long bytes) const
    {
        struct stat st {};
        while (::stat(Output().c_str(), &st) != 0 || st.st_size < bytes)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    testsupport::TempDir dir;
    int port = 0;
    bool up = false;
    std::unique_ptr<testsupport::ChildProcess> process;
};

CLogData SyslogRecord()
{
    return CLogData(SEVERITY_INFORMATION, "Bench", "Bench", 0, 0, CVar("a syslog line of ordinary length"));
}

void BM_Syslog_PlainBlocking(benchmark::State& state)
{
    RsyslogPeer rsyslog;
    if (!rsyslog.up) {
        state.SkipWithError("rsyslog did not start");
        return;
    }
    int fd = Dial(rsyslog.port);
    const CLogData record = SyslogRecord();
    const long long lineBytes = static_cast<long long>(CSyslog::Line(record).size());
    long long total = 0;
    for (auto _ : state) {
        for (int i = 0; i < kSyslogBatch; ++i) {
            const std::string line = CSyslog::Line(record);
            WriteAll(fd, line.data(), line.size());
        }
        total += kSyslogBatch * lineBytes;
        rsyslog.WaitForBytes(total);
    }
    state.SetItemsProcessed(state.iterations() * kSyslogBatch);
    ::close(fd);
}
BENCHMARK(BM_Syslog_PlainBlocking)->UseRealTime();

void BM_Syslog_CSyslog(benchmark::State& state)
{
    RsyslogPeer rsyslog;
    if (!rsyslog.up) {
        state.SkipWithError("rsyslog did not start");
        return;
    }
    CIOCPThreads threads(2);
    CSyslog syslog(threads.GetIOCP());
    syslog.Start(rsyslog.port, "127.0.0.1");
    while (!syslog.Connected())
        std::this_thread::yield();
    const CLogData record = SyslogRecord();
    const long long lineBytes = static_cast<long long>(CSyslog::Line(record).size());
    long long total = 0;
    for (auto _ : state) {
        for (int i = 0; i < kSyslogBatch; ++i)
            syslog.Log(record);
        total += kSyslogBatch * lineBytes;
        rsyslog.WaitForBytes(total);
    }
    state.SetItemsProcessed(state.iterations() * kSyslogBatch);
    syslog.Stop();
}
BENCHMARK(BM_Syslog_CSyslog)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
