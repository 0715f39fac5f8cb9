// The communication engine's TCP and datagram transports beside Boost.Asio
// (two threads, the same message sizes, the same socket buffers) and a raw
// single-thread epoll loop (the floor), in the same run, on loopback:
// (a) 64-byte ping-pong round trips on one connection;
// (b) 1 KiB messages pipelined (16 in flight) on 10 connections;
// (c) 100 connections ping-ponging 64 bytes at once;
// (d) 64-byte UDP datagrams echoed, 8 in flight.
// Each side runs an echo server and its clients in this process; a client
// sends the next message when an echo has come back whole. Items are
// messages (round trips for ping-pong); bytes are the client's sent bytes.
#include "Brindle/base/ThreadObject.h"
#include "Brindle/comm/CommDatagram.h"
#include "Brindle/comm/CommIOCP.h"
#include "Brindle/comm/CommListener.h"
#include "Brindle/comm/CommMultiplexer.h"
#include "Brindle/comm/CommSocket.h"

#include <benchmark/benchmark.h>

#include <boost/asio.hpp>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <functional>
#include <chrono>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace {

constexpr int kBuffer = 32768; // the transport's socket buffers, both ways
const std::string kBytes(1 << 20, 'm');

// One shape of work: `connections` clients, each sending `total` messages
// of `size` bytes with at most `window` in flight.
struct Work {
    int connections;
    std::size_t size;
    std::size_t window;
    std::size_t total;
};
const Work kPingPong{1, 64, 1, 2000};
const Work kPipelined{10, 1024, 16, 2000};
const Work kMany{100, 64, 1, 100};
const Work kDatagrams{1, 64, 8, 4000};

// The client side of one connection, the same for every implementation.
struct Driver {
    const Work* work = nullptr;
    std::size_t sent = 0;     // messages
    std::size_t received = 0; // bytes
    std::size_t Start()
    {
        sent = std::min(work->window, work->total);
        received = 0;
        return sent * work->size;
    }
    // Bytes to send after `bytes` more came back; done when all are back.
    std::size_t OnReceived(std::size_t bytes, bool& done)
    {
        received += bytes;
        const std::size_t back = received / work->size;
        const std::size_t allowed = std::min(work->total, back + work->window);
        const std::size_t more = allowed > sent ? allowed - sent : 0;
        sent += more;
        done = received >= work->total * work->size;
        return more * work->size;
    }
};

// Counts connections still running; the benchmark thread waits for none.
class Finish {
public:
    void Arm(int n) { m_left.store(n); }
    void One()
    {
        if (m_left.fetch_sub(1) == 1)
            m_left.notify_all();
    }
    bool Wait()
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        for (int v = m_left.load(); v != 0; v = m_left.load()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            m_left.wait(v);
        }
        return true;
    }

private:
    std::atomic<int> m_left{0};
};

void Report(benchmark::State& state, const Work& work)
{
    const auto items = static_cast<std::int64_t>(work.total) * work.connections;
    state.SetItemsProcessed(state.iterations() * items);
    state.SetBytesProcessed(state.iterations() * items * static_cast<std::int64_t>(work.size));
}

sockaddr_in Loopback(int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    return a;
}

// ------------------------------------------------------------------ ours

using namespace Brindle;

class OurWorkers {
public:
    OurWorkers(CCommIOCP& iocp, int n)
    {
        for (int i = 0; i < n; ++i) {
            m_threads.push_back(std::make_unique<CThreadObject>("Comm Worker"));
            m_threads.back()->StartThread(&iocp);
        }
    }
    ~OurWorkers()
    {
        for (auto& t : m_threads)
            t->StopThread();
        for (auto& t : m_threads)
            t->Join();
    }

private:
    std::vector<std::unique_ptr<CThreadObject>> m_threads;
};

class EchoTop : public CCommLayer {
public:
    void OnOpen(void*) override { opened.fetch_add(1); }
    void OnClose(void*) override {}
    void OnData(void* source, const std::string& data) override { CallDownData(source, data); }
    std::atomic<int> opened{0};
};

class ClientTop : public CCommLayer {
public:
    void OnOpen(void*) override { opened.fetch_add(1); }
    void OnClose(void*) override {}
    void OnData(void* source, const std::string& data) override
    {
        Driver& d = drivers.at(source);
        bool done = false;
        const std::size_t more = d.OnReceived(data.size(), done);
        if (more != 0)
            CallDownData(source, kBytes.substr(0, more));
        if (done)
            finish.One();
    }
    void Kick()
    {
        finish.Arm(static_cast<int>(drivers.size()));
        for (auto& [source, d] : drivers)
            CallDownData(source, kBytes.substr(0, d.Start()));
    }
    std::unordered_map<void*, Driver> drivers;
    std::atomic<int> opened{0};
    Finish finish;
};

void OursTcp(benchmark::State& state, const Work& work)
{
    CCommIOCP iocp;
    OurWorkers workers(iocp, 2);
    EchoTop echo;
    CCommMultiplexer serverMux;
    serverMux.SetChain(&echo);
    CCommListener listener(iocp);
    listener.SetAddress(0, "127.0.0.1", true);
    listener.SetChain(&serverMux);
    if (!listener.Listen(128)) {
        state.SkipWithError("listen failed");
        return;
    }
    sockaddr_in bound{};
    int length = sizeof bound;
    getsockname(listener.Socket(), reinterpret_cast<sockaddr*>(&bound), &length);
    ClientTop top;
    CCommMultiplexer clientMux;
    clientMux.SetChain(&top);
    std::vector<std::unique_ptr<CCommSocket>> clients;
    for (int i = 0; i < work.connections; ++i) {
        clients.push_back(std::make_unique<CCommSocket>(iocp));
        clients.back()->SetAddress(ntohs(bound.sin_port), "127.0.0.1", true);
        clients.back()->SetChain(&clientMux);
        top.drivers[clients.back()->GetSource()].work = &work;
    }
    for (auto& c : clients)
        c->Connect();
    while (top.opened.load() < work.connections || echo.opened.load() < work.connections)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    for (auto _ : state) {
        top.Kick();
        if (!top.finish.Wait()) {
            state.SkipWithError("stalled");
            break;
        }
    }
    Report(state, work);
    clients.clear();
}

class DatagramEcho : public CCommLayer {
public:
    explicit DatagramEcho(CCommDatagram& back) : m_back(back) {}
    void OnData(void*, const std::string& data) override { m_back.Send(data); }

private:
    CCommDatagram& m_back;
};

class DatagramClient : public CCommLayer {
public:
    DatagramClient(CCommDatagram& out, const Work& work) : m_out(out) { driver.work = &work; }
    void OnData(void*, const std::string& data) override
    {
        bool done = false;
        std::size_t more = driver.OnReceived(data.size(), done);
        for (; more != 0; more -= driver.work->size)
            m_out.Send(kBytes.substr(0, driver.work->size));
        if (done)
            finish.One();
    }
    void Kick()
    {
        finish.Arm(1);
        for (std::size_t n = driver.Start(); n != 0; n -= driver.work->size)
            m_out.Send(kBytes.substr(0, driver.work->size));
    }
    Driver driver;
    Finish finish;

private:
    CCommDatagram& m_out;
};

int FreeUdpPort()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a = Loopback(0);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

void OursUdp(benchmark::State& state, const Work& work)
{
    CCommIOCP iocp;
    OurWorkers workers(iocp, 2);
    const int serverPort = FreeUdpPort(), clientPort = FreeUdpPort();
    CCommDatagram serverOut(iocp), clientOut(iocp);
    serverOut.SetAddress(clientPort, "127.0.0.1", true);
    clientOut.SetAddress(serverPort, "127.0.0.1", true);
    serverOut.Connect();
    clientOut.Connect();
    DatagramEcho echo(serverOut);
    DatagramClient top(clientOut, work);
    CCommDatagramFrom serverIn(iocp), clientIn(iocp);
    serverIn.SetAddress(serverPort, "127.0.0.1", true);
    clientIn.SetAddress(clientPort, "127.0.0.1", true);
    serverIn.SetChain(&echo);
    clientIn.SetChain(&top);
    if (!serverIn.BeginReceive(false) || !clientIn.BeginReceive(false)) {
        state.SkipWithError("bind failed");
        return;
    }
    for (auto _ : state) {
        top.Kick();
        if (!top.finish.Wait()) {
            state.SkipWithError("stalled (datagrams lost)");
            break;
        }
    }
    Report(state, work);
}

// ------------------------------------------------------------------ Asio

namespace asio = boost::asio;
using asio::ip::tcp;
using asio::ip::udp;

template <typename Socket>
void SizeBuffers(Socket& s)
{
    s.set_option(asio::socket_base::receive_buffer_size(kBuffer));
    s.set_option(asio::socket_base::send_buffer_size(kBuffer));
}

class AsioRunner {
public:
    AsioRunner() : m_guard(asio::make_work_guard(ctx))
    {
        for (int i = 0; i < 2; ++i)
            m_threads.emplace_back([this] { ctx.run(); });
    }
    ~AsioRunner() { Stop(); }
    // Joins the threads; the context stays for the sockets' destructors.
    void Stop()
    {
        m_guard.reset();
        ctx.stop();
        for (auto& t : m_threads)
            t.join();
        m_threads.clear();
    }
    asio::io_context ctx;

private:
    asio::executor_work_guard<asio::io_context::executor_type> m_guard;
    std::vector<std::thread> m_threads;
};

// The echo side: read, write back, read again.
class AsioEcho : public std::enable_shared_from_this<AsioEcho> {
public:
    explicit AsioEcho(tcp::socket s) : m_socket(std::move(s)) {}
    void Read()
    {
        auto self = shared_from_this();
        m_socket.async_read_some(asio::buffer(m_buffer), [self](boost::system::error_code ec, std::size_t n) {
            if (ec)
                return;
            asio::async_write(self->m_socket, asio::buffer(self->m_buffer, n),
                              [self](boost::system::error_code ec2, std::size_t) {
                                  if (!ec2)
                                      self->Read();
                              });
        });
    }

private:
    tcp::socket m_socket;
    std::array<char, 65536> m_buffer;
};

class AsioClient {
public:
    AsioClient(asio::io_context& ctx, const Work& work, Finish& finish)
        : m_socket(ctx), m_strand(asio::make_strand(ctx)), m_finish(finish)
    {
        m_driver.work = &work;
    }
    tcp::socket& Socket() { return m_socket; }
    void Kick()
    {
        asio::post(m_strand, [this] { Queue(m_driver.Start()); });
    }
    void Read()
    {
        m_socket.async_read_some(asio::buffer(m_buffer),
                                 asio::bind_executor(m_strand, [this](boost::system::error_code ec, std::size_t n) {
                                     if (ec)
                                         return;
                                     bool done = false;
                                     Queue(m_driver.OnReceived(n, done));
                                     if (done)
                                         m_finish.One();
                                     Read();
                                 }));
    }

private:
    // One write at a time: later bytes wait their turn.
    void Queue(std::size_t bytes)
    {
        if (bytes == 0)
            return;
        m_pending += bytes;
        if (!m_writing)
            Write();
    }
    void Write()
    {
        m_writing = true;
        const std::size_t n = std::min(m_pending, kBytes.size());
        m_pending -= n;
        asio::async_write(m_socket, asio::buffer(kBytes.data(), n),
                          asio::bind_executor(m_strand, [this](boost::system::error_code ec, std::size_t) {
                              m_writing = false;
                              if (!ec && m_pending != 0)
                                  Write();
                          }));
    }

    tcp::socket m_socket;
    asio::strand<asio::io_context::executor_type> m_strand;
    Finish& m_finish;
    Driver m_driver;
    std::array<char, 65536> m_buffer;
    std::size_t m_pending = 0;
    bool m_writing = false;
};

void AsioTcp(benchmark::State& state, const Work& work)
{
    AsioRunner runner;
    tcp::acceptor acceptor(runner.ctx, tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
    std::atomic<int> accepted{0};
    std::function<void()> accept = [&] {
        acceptor.async_accept([&](boost::system::error_code ec, tcp::socket s) {
            if (ec)
                return;
            SizeBuffers(s);
            std::make_shared<AsioEcho>(std::move(s))->Read();
            accepted.fetch_add(1);
            accept();
        });
    };
    accept();
    Finish finish;
    std::vector<std::unique_ptr<AsioClient>> clients;
    for (int i = 0; i < work.connections; ++i) {
        clients.push_back(std::make_unique<AsioClient>(runner.ctx, work, finish));
        auto& s = clients.back()->Socket();
        s.open(tcp::v4());
        SizeBuffers(s);
        s.connect(acceptor.local_endpoint());
        clients.back()->Read();
    }
    while (accepted.load() < work.connections)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    for (auto _ : state) {
        finish.Arm(work.connections);
        for (auto& c : clients)
            c->Kick();
        if (!finish.Wait()) {
            state.SkipWithError("stalled");
            break;
        }
    }
    Report(state, work);
    runner.Stop(); // before the clients and sockets go
}

void AsioUdp(benchmark::State& state, const Work& work)
{
    AsioRunner runner;
    udp::socket server(runner.ctx, udp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
    udp::socket client(runner.ctx, udp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
    SizeBuffers(server);
    SizeBuffers(client);
    const udp::endpoint serverAt = server.local_endpoint();
    std::array<char, 65536> serverBuffer, clientBuffer;
    udp::endpoint from, clientFrom;
    std::function<void()> serve = [&] {
        server.async_receive_from(asio::buffer(serverBuffer), from, [&](boost::system::error_code ec, std::size_t n) {
            if (ec)
                return;
            server.async_send_to(asio::buffer(serverBuffer.data(), n), from,
                                 [&](boost::system::error_code ec2, std::size_t) {
                                     if (!ec2)
                                         serve();
                                 });
        });
    };
    serve();
    Driver driver;
    driver.work = &work;
    Finish finish;
    auto strand = asio::make_strand(runner.ctx);
    auto sendOne = [&] {
        client.async_send_to(asio::buffer(kBytes.data(), work.size), serverAt,
                             [](boost::system::error_code, std::size_t) {});
    };
    std::function<void()> receive = [&] {
        client.async_receive_from(asio::buffer(clientBuffer), clientFrom,
                                  asio::bind_executor(strand, [&](boost::system::error_code ec, std::size_t n) {
                                      if (ec)
                                          return;
                                      bool done = false;
                                      for (std::size_t more = driver.OnReceived(n, done); more != 0; more -= work.size)
                                          sendOne();
                                      if (done)
                                          finish.One();
                                      receive();
                                  }));
    };
    receive();
    for (auto _ : state) {
        finish.Arm(1);
        asio::post(strand, [&] {
            for (std::size_t n = driver.Start(); n != 0; n -= work.size)
                sendOne();
        });
        if (!finish.Wait()) {
            state.SkipWithError("stalled (datagrams lost)");
            break;
        }
    }
    Report(state, work);
    runner.Stop();
}

// ------------------------------------------------------------------ raw epoll

int NonBlocking(int fd)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kBuffer, sizeof kBuffer);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &kBuffer, sizeof kBuffer);
    return fd;
}

// One end of a raw connection: bytes waiting to be written.
struct RawEnd {
    int fd = -1;
    bool client = false;
    Driver driver;
    std::string out;
};

void RawWrite(RawEnd& e, int ep)
{
    while (!e.out.empty()) {
        const ssize_t n = ::send(e.fd, e.out.data(), e.out.size(), MSG_NOSIGNAL);
        if (n <= 0)
            break;
        e.out.erase(0, static_cast<std::size_t>(n));
    }
    epoll_event ev{};
    ev.events = EPOLLIN | (e.out.empty() ? 0u : static_cast<unsigned>(EPOLLOUT));
    ev.data.ptr = &e;
    ::epoll_ctl(ep, EPOLL_CTL_MOD, e.fd, &ev);
}

void RawTcp(benchmark::State& state, const Work& work)
{
    const int ep = ::epoll_create1(0);
    const int lfd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Loopback(0);
    ::bind(lfd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(lfd, 128);
    socklen_t len = sizeof a;
    ::getsockname(lfd, reinterpret_cast<sockaddr*>(&a), &len);
    std::vector<std::unique_ptr<RawEnd>> ends;
    for (int i = 0; i < work.connections; ++i) {
        auto c = std::make_unique<RawEnd>();
        c->fd = ::socket(AF_INET, SOCK_STREAM, 0);
        ::setsockopt(c->fd, SOL_SOCKET, SO_RCVBUF, &kBuffer, sizeof kBuffer);
        ::setsockopt(c->fd, SOL_SOCKET, SO_SNDBUF, &kBuffer, sizeof kBuffer);
        ::connect(c->fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        NonBlocking(c->fd);
        c->client = true;
        c->driver.work = &work;
        auto s = std::make_unique<RawEnd>();
        s->fd = NonBlocking(::accept(lfd, nullptr, nullptr));
        for (RawEnd* e : {c.get(), s.get()}) {
            epoll_event ev{};
            ev.events = EPOLLIN;
            ev.data.ptr = e;
            ::epoll_ctl(ep, EPOLL_CTL_ADD, e->fd, &ev);
        }
        ends.push_back(std::move(c));
        ends.push_back(std::move(s));
    }
    std::vector<char> buffer(65536);
    epoll_event events[256];
    for (auto _ : state) {
        int left = work.connections;
        for (auto& e : ends)
            if (e->client) {
                e->out.append(kBytes, 0, e->driver.Start());
                RawWrite(*e, ep);
            }
        while (left > 0) {
            const int n = ::epoll_wait(ep, events, 256, 5000);
            if (n <= 0) {
                state.SkipWithError("stalled");
                break;
            }
            for (int i = 0; i < n; ++i) {
                RawEnd& e = *static_cast<RawEnd*>(events[i].data.ptr);
                if (events[i].events & EPOLLIN) {
                    const ssize_t got = ::recv(e.fd, buffer.data(), buffer.size(), 0);
                    if (got > 0) {
                        if (e.client) {
                            bool done = false;
                            e.out.append(kBytes, 0, e.driver.OnReceived(static_cast<std::size_t>(got), done));
                            left -= done ? 1 : 0;
                        } else {
                            e.out.append(buffer.data(), static_cast<std::size_t>(got));
                        }
                    }
                }
                RawWrite(e, ep);
            }
        }
    }
    Report(state, work);
    for (auto& e : ends)
        ::close(e->fd);
    ::close(lfd);
    ::close(ep);
}

void RawUdp(benchmark::State& state, const Work& work)
{
    const int server = NonBlocking(::socket(AF_INET, SOCK_DGRAM, 0));
    const int client = NonBlocking(::socket(AF_INET, SOCK_DGRAM, 0));
    sockaddr_in sa = Loopback(0), ca = Loopback(0);
    ::bind(server, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    ::bind(client, reinterpret_cast<sockaddr*>(&ca), sizeof ca);
    socklen_t len = sizeof sa;
    ::getsockname(server, reinterpret_cast<sockaddr*>(&sa), &len);
    const int ep = ::epoll_create1(0);
    for (int fd : {server, client}) {
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.fd = fd;
        ::epoll_ctl(ep, EPOLL_CTL_ADD, fd, &ev);
    }
    Driver driver;
    driver.work = &work;
    char buffer[65536];
    epoll_event events[8];
    for (auto _ : state) {
        for (std::size_t n = driver.Start(); n != 0; n -= work.size)
            ::sendto(client, kBytes.data(), work.size, 0, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
        bool done = false;
        while (!done) {
            const int n = ::epoll_wait(ep, events, 8, 5000);
            if (n <= 0) {
                state.SkipWithError("stalled (datagrams lost)");
                break;
            }
            for (int i = 0; i < n && !done; ++i) {
                const int fd = events[i].data.fd;
                for (;;) {
                    sockaddr_in from{};
                    socklen_t fl = sizeof from;
                    const ssize_t got = ::recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fl);
                    if (got < 0)
                        break;
                    if (fd == server) {
                        ::sendto(server, buffer, static_cast<std::size_t>(got), 0, reinterpret_cast<sockaddr*>(&from), fl);
                    } else {
                        for (std::size_t more = driver.OnReceived(static_cast<std::size_t>(got), done); more != 0;
                             more -= work.size)
                            ::sendto(client, kBytes.data(), work.size, 0, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
                    }
                }
            }
        }
    }
    Report(state, work);
    ::close(server);
    ::close(client);
    ::close(ep);
}

} // namespace

BENCHMARK_CAPTURE(OursTcp, a_pingpong64, kPingPong)->UseRealTime();
BENCHMARK_CAPTURE(AsioTcp, a_pingpong64, kPingPong)->UseRealTime();
BENCHMARK_CAPTURE(RawTcp, a_pingpong64, kPingPong)->UseRealTime();
BENCHMARK_CAPTURE(OursTcp, b_pipelined1k_x10, kPipelined)->UseRealTime();
BENCHMARK_CAPTURE(AsioTcp, b_pipelined1k_x10, kPipelined)->UseRealTime();
BENCHMARK_CAPTURE(RawTcp, b_pipelined1k_x10, kPipelined)->UseRealTime();
BENCHMARK_CAPTURE(OursTcp, c_pingpong64_x100, kMany)->UseRealTime();
BENCHMARK_CAPTURE(AsioTcp, c_pingpong64_x100, kMany)->UseRealTime();
BENCHMARK_CAPTURE(RawTcp, c_pingpong64_x100, kMany)->UseRealTime();
BENCHMARK_CAPTURE(OursUdp, d_datagram64, kDatagrams)->UseRealTime();
BENCHMARK_CAPTURE(AsioUdp, d_datagram64, kDatagrams)->UseRealTime();
BENCHMARK_CAPTURE(RawUdp, d_datagram64, kDatagrams)->UseRealTime();

BENCHMARK_MAIN();
