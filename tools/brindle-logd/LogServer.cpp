#include "LogServer.h"

#include "LogMessage.h"

#include "Brindle/base/EventLog.h"
#include "Brindle/base/Exception.h"
#include "Brindle/base/Log.h"
#include "Brindle/base/LogData.h"
#include "Brindle/base/Logger.h"
#include "Brindle/base/MonitorStream.h"
#include "Brindle/base/ThreadObject.h"
#include "Brindle/base/Timestamp.h"
#include "Brindle/comm/CommIOCP.h"
#include "Brindle/comm/CommListener.h"
#include "Brindle/comm/CommLog.h"
#include "Brindle/comm/CommSocket.h"
#include "Brindle/comm/CredentialLayer.h"
#include "Brindle/comm/MsgLayer.h"
#include "Brindle/comm/MsgParser.h"
#include "Brindle/comm/SecurityLayer.h"
#include "Brindle/odbc/OdbcException.h"

#include "Brindle/base/CritSec.h"

#include <arpa/inet.h>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

using namespace Brindle;

namespace logd {

namespace {

constexpr int MaxCounter = 999999;
constexpr int RefusalsLogged = 3;

long long Now()
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

enum class Kind { Open, Reset, Log, Close };

// The engine's own records (parse errors above all) go to the running
// server; one server per process.
std::atomic<CLogServer::CImpl*> g_running{nullptr};

struct Item {
    Kind kind = Kind::Log;
    unsigned long long connection = 0;
    std::string peer;
    Record record;
};

} // namespace

class CLogServer::CImpl : public CMsgLayer, public CLogger, public CCredentialCallback {
public:
    explicit CImpl(ServerOptions options) : m_options(std::move(options)), m_listener(m_iocp) {}

    ~CImpl() override { Stop(); }

    void Start()
    {
        try {
            m_events = std::make_unique<CEventLog>("brindle-logd");
        } catch (const std::exception&) {
            // no system log to be had; the server works without it
        }
        m_store.Open(m_options.connection);
        m_clients = m_store.LoadClients();
        CLog::RegisterLogger(this);
        m_logRegistered = true;
        g_running.store(this);
        CommLog::SetRecordSink(&EngineRecord);

        m_parser.SetMessageLimit(m_options.messageLimit);
        if (m_options.requireLogin) {
            m_credentials.SetCallback(this);
            m_credentials.SetChain(this);
            m_parser.SetChain(&m_credentials);
        } else {
            m_parser.SetChain(this);
        }
        if (m_options.secure) {
            // Room for the frame header, padding and a message that did not
            // compress; a peer's longer claim is refused before allocation.
            m_security.SetFrameLimit(m_options.messageLimit + 4096);
            m_security.SetStrict(true);
            m_security.SetChain(&m_parser);
            m_listener.SetChain(&m_security);
        } else {
            m_listener.SetChain(&m_parser);
        }
        if (!m_listener.SetAddress(m_options.port, m_options.bind.empty() ? nullptr : m_options.bind.c_str(), true))
            throw CException("Cannot resolve the listening address \"" + m_options.bind + "\"", EINVAL);
        if (!m_listener.Listen(128))
            throw CException("Cannot listen on port " + std::to_string(m_options.port), errno);
        sockaddr_in bound{};
        int size = sizeof bound;
        if (::getsockname(m_listener.Socket(), reinterpret_cast<sockaddr*>(&bound), &size) == 0)
            m_port = ntohs(bound.sin_port);
        m_writer = std::thread([this] { WriterLoop(); });
        for (int i = 0; i < std::max(1, m_options.workers); ++i) {
            m_workers.push_back(std::make_unique<CThreadObject>("Logd Worker"));
            m_workers.back()->StartThread(&m_iocp);
        }
        status_text::Write(mstr, STATUS_APPLICATION_START);
        mstr.WriteLog();
        service_listen("brindle-logd", &m_listener).Write(mstr);
        mstr.WriteLog();
        Event("started", "listening on port " + std::to_string(m_port), m_options.connection, true);
        m_started = true;
    }

    void Stop()
    {
        if (!m_started)
            return;
        m_started = false;
        // No new connections, then no open ones: whatever they sent is queued.
        m_listener.CloseAll();
        m_listener.Close();
        for (auto& worker : m_workers)
            worker->StopThread();
        for (auto& worker : m_workers)
            worker->Join();
        m_workers.clear();
        {
            std::lock_guard<std::mutex> hold(m_lock);
            m_stopping = true;
        }
        m_wake.notify_all();
        if (m_writer.joinable())
            m_writer.join();
        if (m_logRegistered) {
            CommLog::SetRecordSink(nullptr);
            g_running.store(nullptr);
            CLog::RegisterLogger(nullptr);
            m_logRegistered = false;
        }
        Event("stopped",
              std::to_string(m_counters.stored.load()) + " records stored, " + std::to_string(m_counters.lost.load()) +
                  " lost in " + std::to_string(m_counters.gaps.load()) + " gaps",
              "", true);
        status_text::Write(mstr, STATUS_APPLICATION_SHUTDOWN);
        mstr.WriteLog();
        m_store.Close();
    }

    int Port() const { return m_port; }
    const ServerCounters& Counters() const { return m_counters; }

    // The library's own records (parse errors and the like) reach the
    // system log with the others.
    void Log(const CLogData& record) override
    {
        Event("library", record.GetSource(), record.GetText().substr(0, 200), false);
    }

    static void EngineRecord(int /*severity*/, const char* sourceName, const std::string& text)
    {
        CImpl* server = g_running.load();
        if (server == nullptr)
            return;
        const std::string name = sourceName != nullptr ? sourceName : "";
        if (name == "Parse Error")
            ++server->m_counters.refused;
        // A refused text can be as long as the message limit: its start is enough.
        server->Event(name.empty() ? "engine" : name, text.substr(0, 200), "", false);
    }

    void OnOpen(void* source) override
    {
        CCommSocket* socket = SocketOf(source);
        Connection c;
        c.id = ++m_nextConnection;
        c.peer = socket != nullptr ? socket->GetAddress() : std::string("?");
        const long long open = ++m_counters.open;
        ++m_counters.connections;
        {
            std::lock_guard<std::mutex> hold(m_connLock);
            m_connections[source] = c;
        }
        if (open > m_options.maxClients) {
            ++m_counters.refused;
            Event("refused", c.peer, "too many clients (" + std::to_string(m_options.maxClients) + ")", false);
            if (socket != nullptr)
                socket->Close();
            return;
        }
        Event("client connected", c.peer, "", false);
        if (socket != nullptr) {
            client_open("brindle-logd", socket).Write(mstr);
            mstr.WriteLog();
        }
        Push(Item{Kind::Open, c.id, c.peer, {}});
    }

    void OnClose(void* source) override
    {
        Connection c;
        {
            std::lock_guard<std::mutex> hold(m_connLock);
            const auto found = m_connections.find(source);
            if (found == m_connections.end())
                return;
            c = found->second;
            m_connections.erase(found);
        }
        --m_counters.open;
        Event("client disconnected", c.peer, std::to_string(c.messages) + " messages", false);
        status_text(STATUS_CLIENT_CLOSE, "brindle-logd", c.peer).Write(mstr);
        mstr.WriteLog();
        Push(Item{Kind::Close, c.id, c.peer, {}});
    }

    void OnError(void* source, unsigned long error, const std::string& text) override
    {
        // From the parser: a message beyond the limit. The peer is cut off.
        Refuse(source, "error " + std::to_string(error) + ": " + text, true);
    }

    void OnLogin(void* source, const CCredentials& credentials) override
    {
        const auto user = m_options.users.find(credentials.get_username());
        const bool good = user != m_options.users.end() && SameText(user->second, credentials.get_password());
        std::string peer = "?";
        {
            std::lock_guard<std::mutex> hold(m_connLock);
            const auto found = m_connections.find(source);
            if (found == m_connections.end())
                return;
            found->second.loggedIn = good;
            peer = found->second.peer;
        }
        if (good) {
            Event("logged in", credentials.get_username().substr(0, 64), peer, false);
            return;
        }
        Refuse(source, "bad credentials for user \"" + credentials.get_username().substr(0, 64) + "\"", true);
    }

    void OnLogout(void* source) override
    {
        if (CCommSocket* socket = SocketOf(source))
            socket->Close();
    }

    void OnMsg(void* source, const CMsg& msg) override
    {
        unsigned long long id = 0;
        std::string peer;
        bool loggedIn = false;
        {
            std::lock_guard<std::mutex> hold(m_connLock);
            const auto found = m_connections.find(source);
            if (found == m_connections.end())
                return;
            id = found->second.id;
            peer = found->second.peer;
            loggedIn = found->second.loggedIn;
            ++found->second.messages;
        }
        if (m_options.requireLogin && !loggedIn) {
            Refuse(source, "a message before a login", true);
            return;
        }
        Item item{Kind::Log, id, peer, {}};
        std::string why;
        switch (ReadMessage(msg, item.record, why)) {
        case MessageKind::Reset:
            ++m_counters.received;
            Push(Item{Kind::Reset, id, peer, {}});
            return;
        case MessageKind::Refused:
            Refuse(source, why, false);
            return;
        case MessageKind::Log:
            break;
        }
        Record& r = item.record;
        r.peer = peer;
        r.received = Now();
        ++m_counters.received;
        Push(std::move(item));
    }

private:
    struct Connection {
        unsigned long long id = 0;
        std::string peer;
        long long messages = 0;
        int refusals = 0;
        bool loggedIn = false;
    };
    struct ConnectionState {
        std::string peer;
        bool resetPending = false;
    };

    // Compares every byte, so the time taken tells nothing of where a
    // guess went wrong.
    static bool SameText(const std::string& a, const std::string& b)
    {
        const std::size_t n = std::max(a.size(), b.size());
        unsigned diff = a.size() == b.size() ? 0u : 1u;
        for (std::size_t i = 0; i < n; ++i) {
            const unsigned char x = i < a.size() ? static_cast<unsigned char>(a[i]) : 0;
            const unsigned char y = i < b.size() ? static_cast<unsigned char>(b[i]) : 0;
            diff |= static_cast<unsigned>(x ^ y);
        }
        return diff == 0;
    }

    static CCommSocket* SocketOf(void* source)
    {
        return dynamic_cast<CCommSocket*>(static_cast<CCommLayer*>(source));
    }

    void Refuse(void* source, const std::string& why, bool close)
    {
        ++m_counters.refused;
        int refusals = 0;
        std::string peer = "?";
        {
            std::lock_guard<std::mutex> hold(m_connLock);
            const auto found = m_connections.find(source);
            if (found != m_connections.end()) {
                refusals = ++found->second.refusals;
                peer = found->second.peer;
            }
        }
        close = close || refusals > MaxRefusals;
        if (refusals <= RefusalsLogged || close)
            Event(close ? "refused, connection closed" : "refused", peer, why, false);
        if (close) {
            if (CCommSocket* socket = SocketOf(source))
                socket->Close();
        }
    }

    // Waits while the queue is full: the connection is not read meanwhile.
    void Push(Item item)
    {
        std::unique_lock<std::mutex> hold(m_lock);
        m_room.wait(hold, [this] { return m_queue.size() < m_options.queueLimit || m_stopping; });
        m_queue.push_back(std::move(item));
        if (m_queue.size() == 1)
            m_wake.notify_one();
    }

    void WriterLoop()
    {
        std::vector<Item> items;
        Batch batch;
        for (;;) {
            items.clear();
            bool last = false;
            {
                std::unique_lock<std::mutex> hold(m_lock);
                m_wake.wait_for(hold, std::chrono::milliseconds(200), [this] { return !m_queue.empty() || m_stopping; });
                while (!m_queue.empty() && items.size() < m_options.batchLimit) {
                    items.push_back(std::move(m_queue.front()));
                    m_queue.pop_front();
                }
                last = m_stopping && m_queue.empty();
            }
            m_room.notify_all();
            for (Item& item : items)
                Sequence(item, batch);
            if (!batch.empty())
                WriteBatch(batch, last);
            if (last)
                return;
        }
    }

    void Sequence(Item& item, Batch& batch)
    {
        switch (item.kind) {
        case Kind::Open:
            m_state[item.connection] = ConnectionState{item.peer, false};
            return;
        case Kind::Close:
            m_state.erase(item.connection);
            return;
        case Kind::Reset:
            m_state[item.connection].resetPending = true;
            return;
        case Kind::Log:
            break;
        }
        Record& r = item.record;
        ConnectionState& conn = m_state[item.connection];
        const std::string key = ClientKey(r.host, r.application);
        ClientCounter& client = m_clients[key];
        client.host = r.host;
        client.application = r.application;
        const long long now = r.received;
        if (conn.resetPending) {
            conn.resetPending = false;
            client.last = 0;
            ++m_counters.resets;
            batch.events.push_back(logd::Event{0, now, "reset", r.host, r.application, r.peer, 0, 0, 0});
            Event("reset", r.application + "@" + r.host, r.peer, false);
        }
        const int expected = client.last >= MaxCounter ? 1 : client.last + 1;
        if (r.counter != expected) {
            const bool back = r.counter < expected;
            const int lost = back ? r.counter - 1 : r.counter - expected;
            ++m_counters.gaps;
            m_counters.lost += lost;
            batch.events.push_back(
                logd::Event{0, now, back ? "restart" : "gap", r.host, r.application, r.peer, expected, r.counter, lost});
            Event(back ? "restart without reset" : "gap", r.application + "@" + r.host,
                  std::to_string(lost) + " lost, expected " + std::to_string(expected) + ", got " +
                      std::to_string(r.counter),
                  false);
        }
        client.last = r.counter;
        client.seen = now;
        batch.clients[key] = client;
        batch.records.push_back(std::move(r));
    }

    void WriteBatch(Batch& batch, bool last)
    {
        for (int attempt = 0;; ++attempt) {
            try {
                if (!m_store.IsOpen())
                    m_store.Open(m_options.connection);
                m_store.Write(batch);
                m_counters.stored += static_cast<long long>(batch.records.size());
                batch = Batch{};
                return;
            } catch (const std::exception& e) {
                ++m_counters.dbFailures;
                Event("database failure", e.what(), std::to_string(batch.records.size()) + " records kept", true);
                // A lost connection is opened again before the next try.
                try {
                    m_store.Close();
                } catch (...) {
                }
                if (last && attempt >= 10) {
                    Event("records not stored", std::to_string(batch.records.size()) + " records", "", true);
                    batch = Batch{};
                    return;
                }
                std::this_thread::sleep_for(std::chrono::seconds(1));
            }
        }
    }

    // One line to the system log (and standard error when asked), at most
    // EventsPerSecond a second unless `always`.
    void Event(const std::string& what, const std::string& data1, const std::string& data2, bool always)
    {
        std::string suppressedLine;
        {
            std::lock_guard<std::mutex> hold(m_eventLock);
            const long long now = Now();
            if (now != m_eventSecond) {
                if (m_suppressed > 0)
                    suppressedLine = std::to_string(m_suppressed);
                m_eventSecond = now;
                m_eventCount = 0;
                m_suppressed = 0;
            }
            if (!always && ++m_eventCount > EventsPerSecond) {
                ++m_suppressed;
                return;
            }
        }
        if (!suppressedLine.empty())
            Write("events suppressed", suppressedLine, "");
        Write(what, data1, data2);
    }

    void Write(const std::string& what, const std::string& data1, const std::string& data2)
    {
        if (m_events)
            m_events->Log(EVENTLOG_INFORMATION_TYPE, 0, MSG_DESCRIPTION_DATA, what.c_str(), data1.c_str(),
                          data2.c_str());
        if (m_options.printEvents)
            std::fprintf(stderr, "brindle-logd: %s: %s, %s\n", what.c_str(), data1.c_str(), data2.c_str());
    }

    ServerOptions m_options;
    ServerCounters m_counters;
    CLogStore m_store;
    std::unique_ptr<CEventLog> m_events;
    bool m_logRegistered = false;
    bool m_started = false;
    int m_port = 0;

    // Writer state (writer thread only).
    std::map<std::string, ClientCounter> m_clients;
    std::unordered_map<unsigned long long, ConnectionState> m_state;

    std::mutex m_lock;
    std::condition_variable m_wake, m_room;
    std::deque<Item> m_queue;
    bool m_stopping = false;
    std::thread m_writer;

    std::mutex m_connLock;
    std::map<void*, Connection> m_connections;
    std::atomic<unsigned long long> m_nextConnection{0};

    std::mutex m_eventLock;
    long long m_eventSecond = 0;
    int m_eventCount = 0;
    long long m_suppressed = 0;

    // Declared last: the engine goes after the layers that use it... and the
    // layers after the listener that calls them (members go in reverse).
    CCommIOCP m_iocp;
    CMsgParser m_parser;
    CCredentialLayer m_credentials;
    CSecurityLayer m_security;
    CCommListener m_listener;
    std::vector<std::unique_ptr<CThreadObject>> m_workers;
};

CLogServer::CLogServer(ServerOptions options) : m_impl(std::make_unique<CImpl>(std::move(options))) {}
CLogServer::~CLogServer() = default;
void CLogServer::Start() { m_impl->Start(); }
void CLogServer::Stop() { m_impl->Stop(); }
int CLogServer::Port() const { return m_impl->Port(); }
const ServerCounters& CLogServer::Counters() const { return m_impl->Counters(); }

} // namespace logd
