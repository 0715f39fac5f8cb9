// Shared pieces of the overlapped socket tests: a port with worker threads,
// a sink that records what it is told, the Python wire peer and the Python
// log server.
#pragma once

#include "Brindle/base/ThreadObject.h"
#include "Brindle/wsa/IOCP.h"
#include "Brindle/wsa/WSAListener.h"
#include "Brindle/wsa/WSASocket.h"
#include "../comm/CommTestSupport.h"
#include "FileText.h"
#include "PythonPeer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace wsatest {

using namespace Brindle;

inline std::string PeerScript()
{
    return std::string(BRINDLE_SOURCE_DIR) + "/tests/Common/Libs/Brindle/wsa/peers/tcppeer.py";
}

// Words of a peer's answer line.
inline std::vector<std::string> Words(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

// The second word of an answer as a number ("port 4711" -> 4711); -1 when
// there is none.
inline int Number(const std::string& line, std::size_t index = 1)
{
    std::vector<std::string> w = Words(line);
    return w.size() > index ? std::stoi(w[index]) : -1;
}

// A port and the threads that run it; stopped and joined on destruction.
template <typename Port>
struct PortWorkers {
    explicit PortWorkers(int count = 2)
    {
        for (int i = 0; i < count; ++i) {
            threads.push_back(std::make_unique<CThreadObject>("wsa worker"));
            threads.back()->StartThread(&iocp);
        }
    }
    ~PortWorkers()
    {
        iocp.RequestShutdown();
        for (auto& t : threads) {
            t->StopThread();
            t->Join();
        }
    }
    Port iocp;
    std::vector<std::unique_ptr<CThreadObject>> threads;
};
using Workers = PortWorkers<CIOCP>;

// A loopback port nobody listens on (free a moment ago).
inline int FreePort(CIOCP& iocp)
{
    CWSAListener probe(iocp, nullptr);
    if (!probe.SetAddress(0, "127.0.0.1", true) || !probe.Listen(1))
        return 0;
    return probe.GetLocalPort();
}

using testsupport::FileLines;

// The Python log server (peers/logserver.py), listening on a port of its
// own choosing.
struct LogServer {
    LogServer() : peer(std::string(BRINDLE_SOURCE_DIR) + "/tests/Common/Libs/Brindle/wsa/peers/logserver.py", {})
    {
        port = Number(peer.Ask("listen"));
        EXPECT_GT(port, 0);
    }
    std::string Ask(const std::string& line) { return peer.Ask(line); }
    // Listens again on its port.
    void Listen() { EXPECT_EQ(Ask("listen " + std::to_string(port)), "port " + std::to_string(port)); }
    // Stops listening, dropping its connections, and listens again.
    void Restart()
    {
        EXPECT_EQ(Ask("stop"), "ok");
        Listen();
    }
    // Each field of its report against the text expected.
    void ExpectReport(const std::vector<std::pair<const char*, std::string>>& fields)
    {
        const std::string report = Ask("report");
        for (const auto& [name, value] : fields)
            EXPECT_EQ(testsupport::JsonField(report, name), value) << name;
    }
    testsupport::PythonPeer peer;
    int port = 0;
};

class RecordingSink : public CWSASink, public commtest::Waitable {
public:
    struct Event {
        char kind; // 'o'pen, 'd'ata, 'c'lose, 'e'rror
        CWSASocket* socket;
        std::string text;
        unsigned long code;
    };

    void OnOpen(CWSASocket* s) override { Add({'o', s, {}, 0}); }
    void OnClose(CWSASocket* s) override { Add({'c', s, {}, 0}); }
    void OnData(CWSASocket* s, const CIOBuffer& data) override
    {
        if (echo)
            s->Send(data); // shares the received block while the send is pending
        Note([&] {
            received[s] += data.ToString();
            if (keep)
                kept.push_back(data);
            events.push_back({'d', s, data.ToString(), 0});
        });
    }
    void OnError(CWSASocket* s, unsigned long code, CIOBuffer& text) override { Add({'e', s, text.ToString(), code}); }

    int Count(char kind) { return Locked([&] { return CountLocked(kind); }); }
    std::vector<Event> Events() { return Locked([&] { return events; }); }
    std::string Received(CWSASocket* s) { return Locked([&] { return received[s]; }); }
    bool WaitCount(char kind, int n) { return Until([&] { return CountLocked(kind) >= n; }); }
    bool WaitReceived(CWSASocket* s, std::size_t bytes) { return Until([&] { return received[s].size() >= bytes; }); }

    bool echo = false;
    bool keep = false;
    std::vector<Event> events;
    std::map<CWSASocket*, std::string> received;
    std::vector<CIOBuffer> kept;

private:
    int CountLocked(const char kind) const
    {
        return static_cast<int>(std::count_if(events.begin(), events.end(), [&](const Event& e) { return e.kind == kind; }));
    }
    void Add(Event e) { Note([&] { events.push_back(std::move(e)); }); }
};

using commtest::Eventually;

} // namespace wsatest
