// Helpers of the transport tests: workers on a port, the Python network
// peer (peers/netpeer.py), a recording top layer, both together with a
// client socket, CRC-32 and the peer's byte pattern.
#pragma once

#include "Brindle/base/ThreadObject.h"
#include "Brindle/comm/CommIOCP.h"
#include "Brindle/comm/CommLayer.h"
#include "Brindle/comm/CommSocket.h"

#include "CommTestSupport.h"
#include "PythonPeer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace transporttest {

class Workers {
public:
    Workers(Brindle::CCommIOCP& iocp, int count)
    {
        for (int i = 0; i < count; ++i) {
            m_threads.push_back(std::make_unique<Brindle::CThreadObject>("Comm Worker"));
            m_threads.back()->StartThread(&iocp);
        }
    }
    ~Workers() { Stop(); }
    void Stop()
    {
        for (auto& t : m_threads)
            t->StopThread();
        for (auto& t : m_threads)
            t->Join();
        m_threads.clear();
    }

private:
    std::vector<std::unique_ptr<Brindle::CThreadObject>> m_threads;
};

class NetPeer {
public:
    NetPeer() : m_peer(std::string(BRINDLE_SOURCE_DIR) + "/tests/Common/Libs/Brindle/comm/peers/netpeer.py", {}) {}
    bool Started() const { return m_peer.Started(); }
    // The answer line; a missing answer or an error fails the test.
    std::string Ask(const std::string& command, bool errorAllowed = false)
    {
        const std::string answer = m_peer.Ask(command);
        EXPECT_FALSE(answer.empty()) << "no answer to " << command;
        if (!errorAllowed) {
            EXPECT_EQ(answer.find("\"error\""), std::string::npos) << command << ": " << answer;
        }
        return answer;
    }
    std::string Field(const std::string& command, const std::string& name, bool errorAllowed = false)
    {
        return testsupport::JsonField(Ask(command, errorAllowed), name);
    }
    // "n crc" of an answer naming a byte count and its CRC-32.
    std::string Sum(const std::string& command)
    {
        const std::string answer = Ask(command);
        return testsupport::JsonField(answer, "n") + " " + testsupport::JsonField(answer, "crc");
    }
    int Int(const std::string& command, const std::string& name)
    {
        const std::string value = Field(command, name);
        return value.empty() ? -1 : std::stoi(value);
    }

private:
    testsupport::PythonPeer m_peer;
};

inline std::uint32_t Crc32(const std::string& bytes)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const unsigned char c : bytes) {
        crc ^= c;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc ^ 0xFFFFFFFFu;
}

// What the peer's Sum says of these bytes.
inline std::string Sum(const std::string& bytes)
{
    return std::to_string(bytes.size()) + " " + std::to_string(Crc32(bytes));
}

// The peer's pattern: byte i is i*7+3 mod 256.
inline std::string Pattern(std::size_t n)
{
    std::string out(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<char>((i * 7 + 3) & 0xFF);
    return out;
}

using commtest::Unhex;

// The top of a stack: records every up-call by source and can send down.
class Recorder : public Brindle::CCommLayer, public commtest::Waitable {
public:
    struct Error {
        void* source;
        unsigned long code;
        std::string text;
    };
    void OnOpen(void* source) override
    {
        Note([&] {
            opens.push_back(source);
            events[source] += "O";
        });
    }
    void OnClose(void* source) override
    {
        Note([&] {
            closes.push_back(source);
            events[source] += "C";
        });
    }
    void OnData(void* source, const std::string& data) override
    {
        if (onData)
            onData(source, data);
        Note([&] {
            received[source] += data;
            ++datagrams;
            sizes.push_back(data.size());
            if (events[source].empty() || events[source].back() != 'D')
                events[source] += "D";
        });
    }
    void OnError(void* source, unsigned long code, const std::string& text) override
    {
        Note([&] { errors.push_back({source, code, text}); });
    }
    bool Send(void* source, const std::string& data) { return SendData(source, data); }
    // Snapshots taken under the lock.
    std::vector<void*> Opens() { return Locked([&] { return opens; }); }
    std::string Events(void* source) { return Locked([&] { return events[source]; }); }

    std::function<void(void*, const std::string&)> onData;
    std::vector<void*> opens;
    std::vector<void*> closes;
    std::map<void*, std::string> received;
    std::map<void*, std::string> events;
    std::vector<std::size_t> sizes;
    std::vector<Error> errors;
    std::size_t datagrams = 0;
};

// A client socket to 127.0.0.1:port with `top` above it.
inline std::unique_ptr<Brindle::CCommSocket> Client(Brindle::CCommIOCP& iocp, int port, Brindle::CCommLayer& top)
{
    auto socket = std::make_unique<Brindle::CCommSocket>(iocp);
    EXPECT_TRUE(socket->SetAddress(port, "127.0.0.1", true));
    socket->SetChain(&top);
    return socket;
}

// The non-blocking dial: whether it connected once its event was set.
inline bool AsyncDial(Brindle::CCommSocket& socket)
{
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const bool started = socket.AsyncConnect(event);
    EXPECT_TRUE(started);
    EXPECT_EQ(WaitForSingleObject(event, 60000), WAIT_OBJECT_0);
    const bool connected = started && socket.CheckAsyncConnect(event);
    CloseHandle(event);
    return connected;
}

// The network peer, a port with workers and a recording top.
struct Net {
    explicit Net(int count = 3) : workers(iocp, count) { EXPECT_TRUE(peer.Started()); }
    // A client of the peer's listener in `mode`, connected (without blocking
    // when async) and opened.
    std::unique_ptr<Brindle::CCommSocket> Dial(const std::string& mode, bool async = false)
    {
        peer.Ask("mode " + mode);
        auto socket = Client(iocp, peer.Int("listen", "port"), top);
        EXPECT_TRUE(async ? AsyncDial(*socket) : socket->Connect());
        EXPECT_TRUE(top.Until([&] { return top.opens.size() == 1; }));
        EXPECT_EQ(top.Opens(), std::vector<void*>{socket->GetSource()});
        return socket;
    }
    NetPeer peer;
    Brindle::CCommIOCP iocp;
    Workers workers;
    Recorder top;
};

// Waits without a limit of its own (the test's time-out is the limit).
template <typename Pred>
void WaitFor(Pred done)
{
    while (!done())
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

} // namespace transporttest
