#include "Server.h"

#include "ByteStream.h"
#include "ControlLine.h"
#include "Log.h"
#include "Poller.h"
#include "SerialLine.h"
#include "TlsContext.h"

#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <fstream>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zphd {

namespace {

constexpr std::size_t kReadChunk = 64 * 1024;
// Bytes read from one client per wake-up, so that one busy client does not
// starve the rest.
constexpr std::size_t kReadBudget = 1024 * 1024;
constexpr std::int64_t kSerialRetryMs = 1000;
// Replies a control client may leave unread before it is closed.
constexpr std::size_t kMaxControlOutput = 8u << 20;
constexpr std::uint32_t kIn = EPOLLIN;
constexpr std::uint32_t kOut = EPOLLOUT;

std::string PeerName(const sockaddr_storage& addr)
{
    char host[INET6_ADDRSTRLEN] = "?";
    int port = 0;
    if (addr.ss_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(&addr);
        ::inet_ntop(AF_INET, &in->sin_addr, host, sizeof host);
        port = ntohs(in->sin_port);
    } else if (addr.ss_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&addr);
        ::inet_ntop(AF_INET6, &in6->sin6_addr, host, sizeof host);
        port = ntohs(in6->sin6_port);
    }
    return std::string(host) + ":" + std::to_string(port);
}

} // namespace

// ---- one client --------------------------------------------------------------------

class Server::Connection : public SessionLink {
public:
    Connection(Server& server, PortKind portKind, std::unique_ptr<ByteStream> byteStream)
        : m_server(server), kind(portKind), stream(std::move(byteStream))
    {
    }

    bool Send(std::string_view bytes) override
    {
        if (dead)
            return true; // going anyway; the hub hears of it when it is reaped
        if (queued + bytes.size() > m_server.m_options.maxQueue)
            return false;
        queue.emplace_back(bytes);
        queued += bytes.size();
        m_server.Flush(*this);
        return true;
    }

    void CloseAfterSend() override
    {
        closing = true;
        m_server.Flush(*this);
    }

    void Drop() override
    {
        if (kind == PortKind::Serial) {
            // The line stays; what the gone client did not read goes.
            queue.clear();
            queued = 0;
            offset = 0;
            restartSerial = true;
        }
        MarkDead();
    }

    void Restart() override
    {
        queue.clear();
        queued = 0;
        offset = 0;
        if (m_server.m_serial)
            m_server.m_serial->DiscardPending();
    }

    void MarkDead()
    {
        if (!dead) {
            dead = true;
            m_server.m_dead.push_back(this);
        }
    }

    Server& m_server;
    int id = 0;
    PortKind kind;
    std::unique_ptr<ByteStream> stream;
    std::deque<std::string> queue;
    std::size_t queued = 0;
    std::size_t offset = 0;   // bytes of queue.front() already written
    bool closing = false;
    bool dead = false;
    bool restartSerial = false;
};

struct Server::ControlClient {
    int fd = -1;
    std::string in, out;
    bool closing = false;
};

// ---- set-up ------------------------------------------------------------------------

Server::Server(ServerOptions options, ServerConfig config)
    : m_options(std::move(options))
    , m_hub(std::make_unique<Hub>(std::move(config), std::time(nullptr), m_options.name))
    , m_poller(std::make_unique<Poller>())
    , m_start(std::chrono::steady_clock::now())
{
    m_wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

Server::~Server()
{
    CloseAll();
    for (int fd : {m_socketListener, m_databaseListener, m_controlListener, m_wake, m_signals})
        if (fd >= 0)
            ::close(fd);
    if (!m_options.portsFile.empty())
        ::unlink(m_options.portsFile.c_str());
}

std::int64_t Server::NowMs() const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - m_start).count();
}

std::string Server::SerialDevice() const { return m_serial ? m_serial->Device() : std::string(); }

std::string Server::CertificatePath() const { return m_tls ? m_tls->CertificatePath() : std::string(); }

bool Server::Listen(int& port, const std::string& host, int& fd, std::string& error)
{
    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found); rc != 0) {
        error = host + ": " + ::gai_strerror(rc);
        return false;
    }
    fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const bool ok = fd >= 0 && ::bind(fd, found->ai_addr, found->ai_addrlen) == 0 && ::listen(fd, 64) == 0;
    ::freeaddrinfo(found);
    if (!ok) {
        error = host + " port " + service + ": " + std::strerror(errno);
        return false;
    }
    sockaddr_storage bound {};
    socklen_t length = sizeof bound;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
    port = bound.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port)
                                       : ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    return true;
}

bool Server::Start(std::string& error)
{
    // TLS writes go through write(2): a client that has gone must not kill
    // the process with SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    if (m_wake < 0 || !m_poller->Watch(m_wake, EPOLLIN, [this](std::uint32_t) {
            std::uint64_t n = 0;
            [[maybe_unused]] auto r = ::read(m_wake, &n, sizeof n);
            m_stop = true;
        })) {
        error = "cannot make the wake-up descriptor";
        return false;
    }
    if (m_options.handleSignals) {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGTERM);
        ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
        m_signals = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
        m_poller->Watch(m_signals, EPOLLIN, [this](std::uint32_t) {
            signalfd_siginfo info {};
            if (::read(m_signals, &info, sizeof info) == sizeof info)
                Log(std::string("signal ") + ::strsignal(static_cast<int>(info.ssi_signo)) + ": shutting down");
            m_stop = true;
        });
    }
    if (m_options.tls) {
        m_tls = TlsContext::Create(m_options.certFile, m_options.keyFile,
                                   m_options.tlsDir.empty() ? TlsContext::DefaultStateDir() : m_options.tlsDir, error);
        if (!m_tls)
            return false;
        Log(std::string("TLS certificate ") + (m_tls->Generated() ? "made: " : "") + m_tls->CertificatePath());
    }
    struct Wanted {
        int option;
        int& port;
        int& fd;
        const std::string& host;
        PortKind kind;
        bool control;
    };
    const std::string loopback = "127.0.0.1";
    const Wanted wanted[] = {
        {m_options.socketPort, m_socketPort, m_socketListener, m_options.host, PortKind::Socket, false},
        {m_options.databasePort, m_databasePort, m_databaseListener, m_options.host, PortKind::Database, false},
        {m_options.controlPort, m_controlPort, m_controlListener, loopback, PortKind::Socket, true},
    };
    for (const auto& w : wanted) {
        if (w.option < 0)
            continue;
        w.port = w.option;
        if (!Listen(w.port, w.host, w.fd, error))
            return false;
        const int fd = w.fd;
        const PortKind kind = w.kind;
        if (w.control)
            m_poller->Watch(fd, EPOLLIN, [this](std::uint32_t) { AcceptControl(); });
        else
            m_poller->Watch(fd, EPOLLIN, [this, fd, kind](std::uint32_t) { Accept(fd, kind); });
        Log(std::string(w.control ? "control" : PortName(kind)) + " port " + std::to_string(w.port) + " on "
            + w.host + (m_tls && !w.control ? " (TLS)" : ""));
    }
    if (!m_options.serialPath.empty()) {
        m_serial = SerialLine::Open(m_options.serialPath, error);
        if (!m_serial)
            return false;
        OpenSerial();
        Log("serial line " + m_serial->Path()
            + (m_serial->Made() ? " -> " + m_serial->Device() + " (made)" : std::string(" (given)")));
    }
    return WritePortsFile(error);
}

bool Server::WritePortsFile(std::string& error)
{
    if (m_options.portsFile.empty())
        return true;
    const std::string temp = m_options.portsFile + ".tmp";
    {
        std::ofstream out(temp, std::ios::trunc);
        out << "socket " << m_socketPort << "\ndatabase " << m_databasePort << "\ncontrol " << m_controlPort << "\n";
        if (m_serial)
            out << "serial " << m_serial->Device() << "\n";
        if (m_tls)
            out << "certificate " << m_tls->CertificatePath() << "\n";
        out << "pid " << ::getpid() << "\n";
        if (!out.flush()) {
            error = temp + ": cannot be written";
            return false;
        }
    }
    if (::rename(temp.c_str(), m_options.portsFile.c_str()) != 0) {
        error = m_options.portsFile + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void Server::OpenSerial()
{
    // The line's stream works on its own duplicate of the descriptor, so that
    // closing the stream never closes the line.
    const int fd = ::fcntl(m_serial->Fd(), F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        LogError(std::string("serial line: ") + std::strerror(errno));
        return;
    }
    auto c = std::make_unique<Connection>(*this, PortKind::Serial, std::make_unique<ByteStream>(fd, nullptr, false));
    Connection& conn = *c;
    conn.id = m_hub->Connect(PortKind::Serial, conn, m_serial->Path());
    m_connections[conn.id] = std::move(c);
    m_poller->Watch(fd, m_stalled ? 0 : kIn, [this, &conn](std::uint32_t events) { OnClient(conn, events); });
}

// ---- accepting ---------------------------------------------------------------------------

void Server::Accept(int listener, PortKind kind)
{
    for (;;) {
        sockaddr_storage addr {};
        socklen_t length = sizeof addr;
        const int fd = ::accept4(listener, reinterpret_cast<sockaddr*>(&addr), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED)
                LogError(std::string("accept: ") + std::strerror(errno));
            return;
        }
        int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        if (m_options.sendBuffer > 0)
            ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &m_options.sendBuffer, sizeof m_options.sendBuffer);
        SSL* ssl = nullptr;
        if (m_tls && (ssl = m_tls->NewSession(fd)) == nullptr) {
            LogError("TLS session: " + TlsContext::TakeErrors());
            ::close(fd);
            continue;
        }
        auto c = std::make_unique<Connection>(*this, kind, std::make_unique<ByteStream>(fd, ssl, true));
        Connection& conn = *c;
        const std::string peer = PeerName(addr);
        // Watch before the hub greets, so that a greeting that cannot go at
        // once has its descriptor watched for writing.
        m_poller->Watch(fd, m_stalled ? 0 : kIn, [this, &conn](std::uint32_t events) { OnClient(conn, events); });
        conn.id = m_hub->Connect(kind, conn, peer);
        m_connections[conn.id] = std::move(c);
        Log("connection " + std::to_string(conn.id) + " on the " + PortName(kind) + " port from " + peer
            + (ssl != nullptr ? " (TLS)" : ""));
        Reap();
    }
}

void Server::AcceptControl()
{
    for (;;) {
        const int fd = ::accept4(m_controlListener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        auto c = std::make_unique<ControlClient>();
        c->fd = fd;
        ControlClient& client = *c;
        m_controls[fd] = std::move(c);
        m_poller->Watch(fd, EPOLLIN, [this, &client](std::uint32_t events) { OnControl(client, events); });
        LogDebug("control connection");
    }
}

// ---- clients -------------------------------------------------------------------------------

void Server::OnClient(Connection& c, std::uint32_t events)
{
    if (c.dead)
        return;
    if (events & (EPOLLIN | EPOLLHUP | EPOLLERR))
        ReadFrom(c);
    if (!c.dead && (events & EPOLLOUT)) {
        const bool readWaitedForWrite = c.stream->WantsWrite();
        Flush(c);
        if (readWaitedForWrite && !c.dead)
            ReadFrom(c);
    }
    if (!c.dead && !c.queue.empty())
        Flush(c);
    if (!c.dead)
        UpdateInterest(c);
    Reap();
}

void Server::ReadFrom(Connection& c)
{
    if (m_stalled)
        return;
    char buffer[kReadChunk];
    std::size_t total = 0;
    while (!c.dead && total < kReadBudget) {
        std::size_t got = 0;
        const auto status = c.stream->Read(buffer, sizeof buffer, got);
        if (status == ByteStream::Status::Ok) {
            total += got;
            m_hub->Receive(c.id, buffer, got);
            continue;
        }
        if (status == ByteStream::Status::WouldBlock)
            return;
        if (status == ByteStream::Status::Failed)
            Log("connection " + std::to_string(c.id) + ": " + c.stream->Error());
        c.MarkDead();
    }
}

void Server::Flush(Connection& c)
{
    if (m_stalled || c.dead)
        return;
    while (!c.queue.empty()) {
        const std::string& head = c.queue.front();
        std::size_t wrote = 0;
        const auto status = c.stream->Write(head.data() + c.offset, head.size() - c.offset, wrote);
        c.offset += wrote;
        c.queued -= wrote;
        if (c.offset == head.size()) {
            c.queue.pop_front();
            c.offset = 0;
        }
        if (status == ByteStream::Status::WouldBlock)
            break;
        if (status != ByteStream::Status::Ok) {
            if (status == ByteStream::Status::Failed)
                Log("connection " + std::to_string(c.id) + ": " + c.stream->Error());
            c.MarkDead();
            return;
        }
    }
    if (c.closing && c.queue.empty())
        c.MarkDead();
    else
        UpdateInterest(c);
}

void Server::UpdateInterest(Connection& c)
{
    std::uint32_t events = 0;
    if (!m_stalled)
        events = kIn | ((!c.queue.empty() || c.stream->WantsWrite()) ? kOut : 0);
    m_poller->Change(c.stream->Fd(), events);
}

void Server::Reap()
{
    while (!m_dead.empty()) {
        const Connection* dead = m_dead.back();
        m_dead.pop_back();
        auto it = std::find_if(m_connections.begin(), m_connections.end(),
                               [&](const auto& entry) { return entry.second.get() == dead; });
        if (it == m_connections.end())
            continue;
        const int id = it->first;
        std::unique_ptr<Connection> c = std::move(it->second);
        m_connections.erase(it);
        m_poller->Unwatch(c->stream->Fd());
        m_hub->Disconnected(id);
        if (c->kind == PortKind::Serial) {
            if (c->restartSerial) {
                c.reset();
                OpenSerial();
            } else if (m_serial && !m_serial->Made()) {
                // The given terminal's other end went away: open it again later.
                c.reset();
                m_serial.reset();
                m_serialRetry = NowMs() + kSerialRetryMs;
                Log("serial line closed by its other end; trying again every second");
            } else {
                c.reset();
                OpenSerial();
            }
        }
    }
}

// ---- control ----------------------------------------------------------------------------------

void Server::OnControl(ControlClient& c, std::uint32_t events)
{
    bool closed = false;
    if (events & (EPOLLIN | EPOLLHUP | EPOLLERR)) {
        char buffer[4096];
        // Read a bounded amount at a time; what is left waits for the next round.
        while (c.in.size() <= 2 * kMaxControlLine) {
            const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, 0);
            if (n > 0) {
                c.in.append(buffer, static_cast<std::size_t>(n));
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                break;
            if (n < 0 && errno == EINTR)
                continue;
            closed = true;
            break;
        }
        std::size_t start = 0;
        while (!c.closing) {
            const auto end = c.in.find('\n', start);
            if (end == std::string::npos)
                break;
            if (c.out.size() > kMaxControlOutput) {
                Log("control connection closed: it does not read its replies");
                c.out.clear();
                c.closing = true;
                break;
            }
            std::string_view line(c.in.data() + start, end - start);
            c.out += m_hub->Control(line) + "\n";
            start = end + 1;
            Reap();
        }
        c.in.erase(0, start);
        if (c.in.size() > kMaxControlLine) {
            c.out += "ERR line too long\n";
            c.in.clear();
            c.closing = true;
        }
    }
    if (closed)
        c.closing = true;
    FlushControl(c);
}

void Server::FlushControl(ControlClient& c)
{
    while (!c.out.empty()) {
        const ssize_t n = ::send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL);
        if (n > 0) {
            c.out.erase(0, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        if (n < 0 && errno == EINTR)
            continue;
        c.out.clear();
        c.closing = true;
        break;
    }
    if (c.closing && c.out.empty()) {
        const int fd = c.fd;
        m_poller->Unwatch(fd);
        ::close(fd);
        m_controls.erase(fd);
        return;
    }
    m_poller->Change(c.fd, kIn | (c.out.empty() ? 0 : kOut));
}

// ---- the loop ----------------------------------------------------------------------------------

void Server::Stall(bool on)
{
    if (on == m_stalled)
        return;
    m_stalled = on;
    if (!on)
        Log("the feed goes on");
    for (int fd : {m_socketListener, m_databaseListener})
        if (fd >= 0)
            m_poller->Change(fd, on ? 0 : kIn);
    for (auto& [id, c] : m_connections)
        if (!c->dead)
            UpdateInterest(*c);
    if (!on)
        for (auto& [id, c] : m_connections)
            if (!c->dead)
                Flush(*c);
    Reap();
}

void Server::Stop()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] auto r = ::write(m_wake, &one, sizeof one);
}

int Server::Run()
{
    std::int64_t nextTick = 0;
    while (!m_stop && !m_hub->QuitRequested()) {
        const std::int64_t now = NowMs();
        if (now >= nextTick) {
            m_hub->Tick(now);
            Reap();
            nextTick = now + m_options.tickMs;
        }
        Stall(m_hub->Stalled());
        if (!m_serial && m_serialRetry >= 0 && now >= m_serialRetry) {
            std::string error;
            m_serial = SerialLine::Open(m_options.serialPath, error);
            if (m_serial) {
                m_serialRetry = -1;
                OpenSerial();
                Log("serial line " + m_serial->Path() + " open again");
            } else {
                m_serialRetry = now + kSerialRetryMs;
            }
        }
        std::int64_t wait = nextTick - NowMs();
        if (m_stalled)
            wait = std::min(wait, std::max<std::int64_t>(0, m_hub->StallEnds() - now));
        m_poller->Wait(static_cast<int>(std::clamp<std::int64_t>(wait, 0, 1000)));
        Reap();
    }
    // The reply to "quit" still reaches its sender.
    for (auto& [fd, c] : m_controls)
        if (!c->out.empty())
            [[maybe_unused]] auto n = ::send(fd, c->out.data(), c->out.size(), MSG_NOSIGNAL);
    Log("stopped");
    CloseAll();
    return 0;
}

void Server::CloseAll()
{
    m_dead.clear();
    for (auto& [id, c] : m_connections) {
        m_poller->Unwatch(c->stream->Fd());
        m_hub->Disconnected(id);
    }
    m_connections.clear();
    for (auto& [fd, c] : m_controls) {
        m_poller->Unwatch(fd);
        ::close(fd);
    }
    m_controls.clear();
    m_serial.reset();
}

} // namespace zphd
