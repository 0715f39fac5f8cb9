// ZPHSource: one feed source (a socket, a serial line or a database login
// connection) and the worker thread that keeps it connected.
//
// Connect starts the worker; it connects, logs in (Protocol.h), reads the
// feed into the controller and reports the feed state: live on data, stale
// after the "Timeout" seconds without data (0: never stale), dead when the
// link drops or the source stops. A lost link is dialled again after the
// "Reconnect" pause; a refused login is not: the source waits for Retry or
// Disconnect. Around each connecting phase the controller hears OnWaitBegin
// and OnWaitEnd.
//
// Sending (Send, RequestPage) only queues the encoded message: the worker
// writes it, so sends never wait for the network and never interleave.
//
// Thread-safety: every public member from any thread, including from inside
// a call-back on the worker itself. Disconnect from another thread returns
// when the worker has ended (so no call-back of this source runs after it);
// called on the worker (inside a call-back) it returns at once and the
// worker ends after the call-back. Call-backs that run meanwhile must not
// wait for the thread that called Disconnect.
#pragma once

#include "zph/Timestamp.h"
#include "zph/ZPHMessage.h"
#include "zphsource/Link.h"
#include "zphsource/SourceSettings.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace ZPH {

class ZPHSource;

// SourceHost: what a source needs of its owner, called on the source's
// worker thread: where inbound messages go, whom to tell of the source's
// state and log lines, and the names its login sends. The feed controller is
// the host of its sources; a source knows nothing else of it.
class SourceHost {
public:
    // Applies and dispatches one inbound message; false when it is bad.
    virtual bool HandleInbound(ZPHSource& source, ZPHMessage& msg) = 0;
    // Runs the key clients of the lines that changed since the last call.
    virtual void SourceDispatch() = 0;
    // True while bad packets are to be logged.
    virtual bool SourceLogging() = 0;
    virtual void SourceLog(ZPHSource& source, const char* text) = 0;
    virtual void SourceError(ZPHSource& source, int code, const char* text) = 0;
    // 0 dead, 1 stale, 2 live.
    virtual void SourceFeedState(ZPHSource& source, int state) = 0;
    virtual void SourceWaitBegin(ZPHSource& source) = 0;
    virtual void SourceWaitEnd(ZPHSource& source) = 0;
    // reason is null when the feed gave none.
    virtual void SourceLoginFailed(ZPHSource& source, const char* reason) = 0;
    // What the login sends: the user's and the computer's names, and the
    // client's version as major * 100 + minor.
    virtual const char* SourceUserName() = 0;
    virtual const char* SourceHostName() = 0;
    virtual int SourceClientVersion() = 0;

protected:
    ~SourceHost() = default;
};

// Which connection of the settings a source serves.
enum SOURCEROLE : int { ROLE_PRIMARY = 0, ROLE_BACKUP = 1 };

class ZPHSource {
public:
    ZPHSource(SourceHost& host, int kind, int role);
    virtual ~ZPHSource();
    ZPHSource(const ZPHSource&) = delete;
    ZPHSource& operator=(const ZPHSource&) = delete;

    // 1 socket, 2 serial, 3 database.
    int GetKind() const { return m_kind; }
    // "Socket", "Serial" or "ZPHDB".
    const char* GetKindName() const;
    int GetRole() const { return m_role; }

    // True from Connect until Disconnect: the source is connected or trying.
    bool IsConnected() const { return m_running; }
    // True while the link is up and the login accepted.
    bool IsLoggedIn() const { return m_loggedIn; }

    // Starts the worker (or, when it runs, drops the link and dials again at
    // once). False when the worker cannot be started.
    bool Connect();
    void Disconnect();
    // Drops the link (if any) and dials again at once; also ends the wait
    // after a refused login. Does nothing while disconnected.
    void Retry();

    // The address the source dials ("localhost:6093 (TLS)", "/dev/ttyS0 9600 8E1").
    std::string GetStatusText() const;
    // "Primary" or "Backup".
    std::string GetName() const;
    // Feed state: 0 dead, 1 stale, 2 live.
    int GetFeedState() const { return m_state; }

    // The metrics as a Timestamp (feed time, connect time, packets, bad
    // packets, maximum delay); ResetMetrics zeroes the counts and delay.
    Timestamp GetMetrics() const;
    void ResetMetrics();

    // Queues a message for the server. False when it cannot be encoded, the
    // login has not been accepted yet, or the queue is full.
    bool Send(const ZPHMessage& msg);
    // Asks the server for a page (1..300) and its changes. Asked while not
    // logged in, the request goes out right after the next login.
    bool RequestPage(int page);

    // True when the serial line uses a dial-up modem ("DtrEnabled").
    virtual bool UsesModem() const { return false; }

    // Settings for the next connect (a running worker takes them at its
    // next dial).
    void Configure(const SourceSettings& settings);
    SourceSettings GetSettings() const;

    // Milliseconds between connection attempts; overrides "Reconnect".
    void SetReconnectDelay(int ms) { m_reconnectOverrideMs = ms; }

protected:
    // Opens the link with the settings; null with `error` set on failure.
    virtual std::unique_ptr<ZPHLink::Link> OpenLink(const SourceSettings& settings, ZPHLink::Waker& waker,
                                                    std::string& error) = 0;
    virtual std::string Describe(const SourceSettings& settings) const = 0;
    // The database source waits for the greeting to prove its password.
    virtual bool WaitsForGreeting() const { return false; }
    // Adds the kind's own login fields (the database source: user, proof).
    virtual void AddLoginFields(ZPHMessage& login, const std::string& nonce, const SourceSettings& settings);
    // A serial line has no connect event: the login is sent again until
    // answered.
    virtual bool ResendsLogin() const { return false; }
    // Called on the worker when it ends a link (a serial source closes its port).
    virtual void OnLinkClosed() {}
    // Called by Connect, on the caller's thread, before a new worker starts.
    virtual void PrepareConnect(const SourceSettings&) {}

    SourceHost& m_host;

private:
    enum class SessionEnd { LOST, STOPPED, RETRY, LOGIN_FAILED };

    void Run();
    SessionEnd RunSession(ZPHLink::Link& link, const SourceSettings& settings);
    // Handles one decoded message; false when it ends the session (login refused).
    bool Handle(ZPHLink::Link& link, ZPHMessage& msg, const SourceSettings& settings, bool& loginSent);
    bool SendLogin(ZPHLink::Link& link, const std::string& nonce, const SourceSettings& settings);
    bool Flush(ZPHLink::Link& link);
    void SetState(int state);
    void Log(const std::string& text);
    void LogBad(const std::string& text);
    // Waits up to ms for a stop or retry; true when one came.
    bool Pause(int ms);
    bool OnWorker() const { return std::this_thread::get_id() == m_workerId; }

    const int m_kind;
    const int m_role;

    mutable std::mutex m_lock;  // everything below that is not atomic
    std::condition_variable m_wake;
    SourceSettings m_settings;
    std::thread m_worker;
    std::thread::id m_workerId;
    bool m_stop = false;
    bool m_retry = false;
    bool m_active = false;  // a worker thread exists and has not ended
    unsigned m_generation = 0;  // counts the workers started
    std::deque<std::string> m_outbound;
    std::size_t m_outboundBytes = 0;
    std::set<int> m_pendingPages;
    std::string m_connectTime;
    std::string m_feedTime;

    ZPHLink::Waker m_waker;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_loggedIn{false};
    std::atomic<int> m_state{ZPHWire::FEED_DEAD};
    std::atomic<long> m_packets{0};
    std::atomic<long> m_badPackets{0};
    std::atomic<long> m_maxDelay{0};
    std::atomic<int> m_reconnectOverrideMs{0};
};

} // namespace ZPH
