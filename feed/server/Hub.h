// Hub: zphd's sessions between the bytes of its connections and its market:
// logins, permissions, page requests, line updates for each user's view,
// orders and the feed time. The control commands live in HubCommands, the
// market in Market, the settings in ServerConfig. It knows nothing of sockets: the network layer hands it bytes and a
// SessionLink per connection, and tells it the time, so the whole server
// logic runs the same in tests and fuzz targets as behind real sockets.
//
// Line updates: the hub keeps what it last published of every line and
// sends each subscribed session only the fields that changed ('D'), with
// the fields that belong to that user (own levels, the withheld mark).
// While the hub is stalled it sends nothing of its own accord; the market
// goes on and its changes are sent, coalesced, when the stall ends.
//
// Thread-safety: none; one thread (the server's loop) calls everything.
#pragma once

#include "Market.h"
#include "ServerConfig.h"

#include "protocol/FrameReader.h"
#include "zph/ZPHMessage.h"

#include <cstdint>
#include <ctime>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace zphd {

// The server speaks the feed library's message type.
using ZPH::ZPHMessage;

enum class PortKind { Socket, Database, Serial };

const char* PortName(PortKind kind);

// The network layer's side of one connection.
class SessionLink {
public:
    virtual ~SessionLink() = default;
    // Queues bytes for the client. false when the client is too far behind;
    // the hub then drops it.
    virtual bool Send(std::string_view bytes) = 0;
    // Sends what is queued, then closes.
    virtual void CloseAfterSend() = 0;
    // Closes at once, dropping what is queued. The network layer calls
    // Hub::Disconnected later, never from inside this call.
    virtual void Drop() = 0;
    // A serial line starts a new session on the same line: what the last
    // client left unread may go.
    virtual void Restart() {}
};

class HubCommands;

// Notice values of 'O' messages from zphd.
constexpr int kNoticeOrderRefused = 1;
constexpr int kNoticeNoPermission = 2;

class Hub {
public:
    Hub(ServerConfig config, std::time_t wallStart, std::string serverName);
    ~Hub();
    Hub(const Hub&) = delete;
    Hub& operator=(const Hub&) = delete;

    // A new connection. Socket and database connections are greeted ('G')
    // at once; a serial line waits for a login. Returns the session id.
    int Connect(PortKind kind, SessionLink& link, const std::string& peer);
    // Bytes from the client.
    void Receive(int id, const char* data, std::size_t size);
    // The connection is gone; the hub forgets the session and its link.
    void Disconnected(int id);

    // Runs the market up to nowMs (milliseconds since the server started,
    // never decreasing), publishes what changed and sends the feed time
    // once a second.
    void Tick(std::int64_t nowMs);

    // One control command line (no line end); returns the reply: "OK ..." or
    // "ERR ..." on one line, or "OK <n>" followed by n lines (a one-line
    // reply is never "OK" and a bare number). TARGET is
    // "all", a user name or "#ID"; TEXT is the rest of the line as it is.
    //   help | status | sessions | orders USER | get PAGE LINE [FIELD]
    //   set PAGE LINE FIELD TEXT | title PAGE TEXT | count PAGE N|auto
    //   notify TARGET TEXT | notice TARGET VALUE [TEXT]
    //   permissions USER SET | level USER N | order-entry USER yes|no
    //   insert PAGE LINE text [TEXT] | insert PAGE LINE issue PRICE TICK NAME
    //   insert PAGE LINE monitor | erase PAGE LINE | clear [PAGE [LINE]]
    //   stall SECONDS | drop [TARGET] | malformed [TARGET [KIND]]
    //   fail-login [REASON] | rate N | trade-every S | trade PAGE LINE bid|offer QTY
    //   order USER COMMAND PAGE LINE RATE [QTY [TRADE-QTY]] | last-order | quit
    // feed/server/README.md says what each does.
    std::string Control(std::string_view line);

    bool Stalled() const { return m_now < m_stallUntil; }
    std::int64_t StallEnds() const { return m_stallUntil; }
    bool QuitRequested() const { return m_quit; }
    Market& GetMarket() { return m_market; }
    std::size_t SessionCount() const { return m_sessions.size(); }
    std::size_t LoggedInCount() const;

private:
    struct Session;

    // ---- inbound ----
    void Handle(Session& s, const ZPHMessage& msg);
    void Login(Session& s, const ZPHMessage& msg);
    void PageRequest(Session& s, int page);
    void Order(Session& s, const ZPHMessage& msg);

    // ---- outbound ----
    bool Send(Session& s, const ZPHMessage& msg);
    bool SendRaw(Session& s, std::string_view bytes);
    void DropSession(Session& s, const std::string& why);
    void SendWelcome(Session& s);
    void SendPermissions(Session& s);
    void SendTime();
    void SendNotice(Session& s, int value, const std::string& text);
    // A whole line for this session (its trade monitor lines its own view).
    ZPHMessage FullLine(char type, Session& s, int page, int line, const LineState& shared);
    std::optional<LineState> MonitorView(const Session& s, int page, int line) const;
    // What changed of a trade monitor line as this session sees it.
    void PublishMonitorLine(Session& s, int page, int line);
    void AddUserFields(ZPHMessage& msg, Session& s, int page, int line, const LineState& state, bool whole);

    // ---- publishing ----
    void Publish();
    void PublishLine(int page, int line);
    void PublishPage(int page);
    void ShiftPublished(int page, int line, int by);
    void PageCountsFromViewers();

    friend class HubCommands;

    // Tells the user's sessions what the control interface changed.
    void UserChanged(const UserAccount& user, bool levelOrEntry, bool permissions);

    Session* FindSession(int id);

    ServerConfig m_config;
    std::string m_serverName;
    std::time_t m_wallStart;
    Market m_market;
    std::int64_t m_now = 0;
    std::int64_t m_nextTime = 0;
    std::int64_t m_stallUntil = 0;
    bool m_quit = false;
    bool m_failNextLogin = false;
    std::string m_failReason;
    std::set<int> m_fixedCounts;          // pages whose count the control interface set
    int m_nextId = 1;
    std::map<int, std::unique_ptr<Session>> m_sessions;
    // What clients were last told of each line, as its fields in FieldsOf order.
    std::map<std::pair<int, int>, std::vector<std::pair<int, std::string>>> m_published;
    // The last order received from a client, as it came ("last-order").
    std::optional<ZPHMessage> m_lastOrder;
    std::string m_lastOrderUser;
    std::unique_ptr<HubCommands> m_control;
};

} // namespace zphd
