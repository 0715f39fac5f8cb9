// Layer stacks for the message-layer tests and benchmarks: two byte
// transports wired back to back in memory, whose sends queue up until the
// caller pumps them across (in pieces of a chosen size), or go straight
// across when linked directly; a transport over one connected TCP socket;
// and recorders at the top of a stack.
#pragma once

#include "Brindle/comm/CommLayer.h"
#include "Brindle/comm/MsgLayer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace commtest {

// The bottom of a stack: what is sent waits in the outbox for Pump.
class MemoryTransport : public Brindle::CCommLayer {
public:
    bool SendData(void* source, const std::string& data) override
    {
        if (source != GetSource() || !m_connected)
            return false;
        if (m_direct != nullptr) {
            m_direct->Receive(data);
            return true;
        }
        std::lock_guard<std::mutex> guard(m_lock);
        m_outbox.push_back(data);
        m_sent.push_back(data);
        return true;
    }
    void Open()
    {
        m_connected = true;
        CallUpOpen(GetSource());
    }
    void Close()
    {
        m_connected = false;
        CallUpClose(GetSource());
    }
    void Receive(const std::string& bytes) { CallUpData(GetSource(), bytes); }
    // Sends go straight to `peer` (no queue, no record); null queues again.
    void SendDirectlyTo(MemoryTransport* peer) { m_direct = peer; }
    bool TakeOne(std::string& bytes)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_outbox.empty())
            return false;
        bytes = std::move(m_outbox.front());
        m_outbox.pop_front();
        return true;
    }
    // Every send so far, as sent.
    std::vector<std::string> Sent()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_sent;
    }
    void ClearSent()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_sent.clear();
    }

private:
    std::mutex m_lock;
    std::deque<std::string> m_outbox;
    std::vector<std::string> m_sent;
    bool m_connected = false;
    MemoryTransport* m_direct = nullptr;
};

// Two transports back to back. Pump delivers queued sends in both
// directions, `chunk` bytes at a time (0: as sent), until both are quiet.
class MemoryLink {
public:
    MemoryTransport a;
    MemoryTransport b;
    std::size_t chunk = 0;

    void Open()
    {
        a.Open();
        b.Open();
    }
    // Sends cross at once from here on (for benchmarks).
    void Direct()
    {
        a.SendDirectlyTo(&b);
        b.SendDirectlyTo(&a);
    }
    void Pump()
    {
        for (bool moved = true; moved;) {
            moved = Move(a, b) | Move(b, a);
        }
    }

private:
    bool Move(MemoryTransport& from, MemoryTransport& to)
    {
        std::string bytes;
        if (!from.TakeOne(bytes))
            return false;
        if (chunk == 0) {
            to.Receive(bytes);
        } else {
            for (std::size_t i = 0; i < bytes.size(); i += chunk)
                to.Receive(bytes.substr(i, chunk));
        }
        return true;
    }
};

// The bottom of a stack on one connected TCP socket (owned): Start hands
// the open up and starts a reader thread that hands every receive up the
// stack, and the close at the end of the stream; sends write the whole
// buffer before they return.
class SocketTransport : public Brindle::CCommLayer {
public:
    explicit SocketTransport(int fd) : m_fd(fd)
    {
        const int one = 1;
        ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    ~SocketTransport() override
    {
        Stop();
        ::close(m_fd);
    }
    void Start()
    {
        CallUpOpen(GetSource());
        m_reader = std::thread([this] {
            std::string buffer(65536, '\0');
            for (;;) {
                const ssize_t n = ::read(m_fd, buffer.data(), buffer.size());
                if (n <= 0)
                    break;
                CallUpData(GetSource(), buffer.substr(0, static_cast<std::size_t>(n)));
            }
            CallUpClose(GetSource());
            m_ended = true;
        });
    }
    // Ends the connection and waits for the reader.
    void Stop()
    {
        if (m_reader.joinable()) {
            ::shutdown(m_fd, SHUT_RDWR);
            m_reader.join();
        }
    }
    // Waits until the peer has ended the stream (and the close went up).
    void Join()
    {
        if (m_reader.joinable())
            m_reader.join();
    }
    bool Ended() const { return m_ended; }
    bool SendData(void* source, const std::string& data) override
    {
        std::lock_guard<std::mutex> guard(m_sendLock);
        std::size_t done = 0;
        while (source == GetSource() && done < data.size()) {
            const ssize_t n = ::send(m_fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            done += static_cast<std::size_t>(n);
        }
        return source == GetSource();
    }

    // A socket connected to 127.0.0.1:port, or -1.
    static int Connect(int port)
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(static_cast<std::uint16_t>(port));
        if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0)
            return fd;
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    // A listener on 127.0.0.1 and a free port: its descriptor, or -1.
    static int Listen(int& port)
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof addr;
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 4) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
            if (fd >= 0)
                ::close(fd);
            return -1;
        }
        port = ntohs(addr.sin_port);
        return fd;
    }
    // Two ends of one loopback connection, or false.
    static bool Pair(int& first, int& second)
    {
        int port = 0;
        const int listener = Listen(port);
        if (listener < 0)
            return false;
        first = Connect(port);
        second = first >= 0 ? ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC) : -1;
        ::close(listener);
        return first >= 0 && second >= 0;
    }

private:
    int m_fd;
    std::mutex m_sendLock;
    std::thread m_reader;
    std::atomic<bool> m_ended{false};
};

// The top of a byte stack: records what arrives.
class ByteRecorder : public Brindle::CCommLayer {
public:
    void OnOpen(void* source) override { opens.push_back(source); }
    void OnClose(void* source) override { closes.push_back(source); }
    void OnData(void* /*source*/, const std::string& data) override { data_.push_back(data); }
    void OnError(void* /*source*/, unsigned long error, const std::string& text) override
    {
        errors.push_back(text);
        codes.push_back(error);
    }
    bool Send(const std::string& data) { return CallDownData(opens.empty() ? nullptr : opens.back(), data); }

    std::vector<void*> opens;
    std::vector<void*> closes;
    std::vector<std::string> data_;
    std::vector<std::string> errors;
    std::vector<unsigned long> codes;
};

// The top of a message stack: records what arrives; `onMsg` runs inside
// each delivery.
class MsgRecorder : public Brindle::CMsgLayer {
public:
    void OnOpen(void* source) override { opens.push_back(source); }
    void OnClose(void* source) override { closes.push_back(source); }
    void OnMsg(void* source, const Brindle::CMsg& msg) override
    {
        msgs.push_back(msg);
        sources.push_back(source);
        if (onMsg)
            onMsg(msg);
    }
    void OnError(void* /*source*/, unsigned long /*error*/, const std::string& text) override { errors.push_back(text); }
    bool Send(void* source, const Brindle::CMsg& msg) { return CallDownMsg(source, msg); }
    std::vector<std::string> Ids() const
    {
        std::vector<std::string> ids;
        for (const auto& m : msgs)
            ids.push_back(m.get_header().get_id().get_value());
        return ids;
    }

    std::vector<void*> opens;
    std::vector<void*> closes;
    std::vector<Brindle::CMsg> msgs;
    std::vector<void*> sources;
    std::vector<std::string> errors;
    std::function<void(const Brindle::CMsg&)> onMsg;
};

} // namespace commtest
