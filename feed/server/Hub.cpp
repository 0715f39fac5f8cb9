#include "Hub.h"

#include "HubCommands.h"
#include "HubSession.h"
#include "LineFields.h"
#include "Log.h"
#include "MarketText.h"

#include "zph/Codec.h"
#include "protocol/FieldIds.h"
#include "protocol/Protocol.h"

#include <algorithm>
#include <chrono>
#include <limits>

using namespace ZPHWire;

namespace zphd {

namespace {

// Frames a client may send before it logs in, and how long it may take.
constexpr int kMaxEarlyFrames = 16;
constexpr std::int64_t kLoginTimeMs = 30000;
// Bad packets of one session that are logged one by one; later ones by the thousand.
constexpr std::uint64_t kLoggedBadPackets = 20;

std::int64_t MicrosNow()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

// The order as a user reads it in a refusal: "EnterBid on page 1 line 2 at
// 99.5". The client's own texts are cut, and anything but printable ASCII
// in them (the line breaks a notification makes of '|' included) shows as '?'.
std::string Printable(std::string_view text, std::size_t max)
{
    std::string shown = Cut(text, max);
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E || c == '|')
            c = '?';
    return shown;
}

std::string OrderName(const OrderCommand& order)
{
    std::string what = Printable(order.command, 40);
    if (what.rfind("CC", 0) == 0)
        what.erase(0, 2);
    what += " on page " + std::to_string(order.page) + " line " + std::to_string(order.line);
    if (order.rate)
        what += " at " + Printable(*order.rate, 20);
    return what;
}

} // namespace

const char* PortName(PortKind kind)
{
    switch (kind) {
    case PortKind::Socket: return "socket";
    case PortKind::Database: return "database";
    case PortKind::Serial: return "serial";
    }
    return "?";
}

Hub::Hub(ServerConfig config, std::time_t wallStart, std::string serverName)
    : m_config(std::move(config))
    , m_serverName(std::move(serverName))
    , m_wallStart(wallStart)
    , m_market(m_config, wallStart)
    , m_control(std::make_unique<HubCommands>(*this))
{
    for (int page : m_market.Pages())
        for (int line : m_market.Lines(page))
            m_published[{page, line}] = FieldsOf(*m_market.GetLine(page, line));
}

Hub::~Hub() = default;

std::size_t Hub::LoggedInCount() const
{
    return static_cast<std::size_t>(std::count_if(m_sessions.begin(), m_sessions.end(),
                                                  [](const auto& s) { return s.second->LoggedIn(); }));
}

Hub::Session* Hub::FindSession(int id)
{
    auto it = m_sessions.find(id);
    return it == m_sessions.end() ? nullptr : it->second.get();
}

// ---- connections -----------------------------------------------------------------

int Hub::Connect(PortKind kind, SessionLink& link, const std::string& peer)
{
    auto session = std::make_unique<Session>();
    Session& s = *session;
    s.id = m_nextId++;
    s.kind = kind;
    s.link = &link;
    s.peer = peer;
    s.connected = m_now;
    m_sessions[s.id] = std::move(session);
    LogDebug("connection " + s.Name());
    if (kind != PortKind::Serial) {
        s.nonce = MakeNonce();
        ZPHMessage greeting(MSG_GREETING, 0, 0);
        greeting.AddField(F_PROTOCOL, PROTOCOL_VERSION);
        greeting.AddField(F_SERVER_NAME, m_serverName);
        greeting.AddField(F_NONCE, s.nonce);
        Send(s, greeting);
    }
    return s.id;
}

void Hub::Disconnected(int id)
{
    auto it = m_sessions.find(id);
    if (it == m_sessions.end())
        return;
    const bool viewer = it->second->LoggedIn() && !it->second->pages.empty();
    Log("closed " + it->second->Name() + ", " + std::to_string(it->second->frames) + " messages, "
        + std::to_string(it->second->bad) + " bad");
    m_sessions.erase(it);
    if (viewer)
        PageCountsFromViewers();
}

void Hub::Receive(int id, const char* data, std::size_t size)
{
    Session* s = FindSession(id);
    if (s == nullptr || s->state == Session::State::Closing)
        return;
    s->reader.Append(data, size);
    std::string_view frame;
    const char* reason = nullptr;
    for (;;) {
        const auto result = s->reader.Next(frame, reason);
        if (result == FrameReader::NEED_MORE)
            break;
        if (result == FrameReader::BAD) {
            if (++s->bad <= kLoggedBadPackets || s->bad % 1000 == 0)
                Log("bad packet " + std::to_string(s->bad) + " from " + s->Name() + ": " + reason);
            continue;
        }
        ZPHMessage msg;
        std::string error;
        if (!Decode(frame, msg, &error)) {
            if (++s->bad <= kLoggedBadPackets || s->bad % 1000 == 0)
                Log("bad packet " + std::to_string(s->bad) + " from " + s->Name() + ": " + error);
            continue;
        }
        ++s->frames;
        Handle(*s, msg);
        if (s->state == Session::State::Closing)
            break;
    }
}

void Hub::Handle(Session& s, const ZPHMessage& msg)
{
    if (Verbose())
        LogDebug("from " + s.Name() + ": '" + std::string(1, msg.m_type) + "' " + std::to_string(msg.m_page) + "/"
                 + std::to_string(msg.m_line) + ", " + std::to_string(msg.GetFieldCount()) + " fields");
    if (msg.m_type == MSG_LOGIN) {
        if (s.kind == PortKind::Serial || s.state == Session::State::AwaitLogin)
            Login(s, msg);
        else
            Log("second login from " + s.Name() + " ignored");
        return;
    }
    if (!s.LoggedIn()) {
        if (++s.early > kMaxEarlyFrames)
            DropSession(s, "no login after " + std::to_string(kMaxEarlyFrames) + " messages");
        return;
    }
    switch (msg.m_type) {
    case MSG_PAGE_REQUEST:
        PageRequest(s, msg.m_page);
        break;
    case MSG_ORDER:
        Order(s, msg);
        break;
    default:
        LogDebug("message type '" + std::string(1, msg.m_type) + "' from " + s.Name() + " ignored");
        break;
    }
}

void Hub::Login(Session& s, const ZPHMessage& msg)
{
    if (s.kind == PortKind::Serial) {
        // Every login on a serial line starts a new session on it.
        s.state = Session::State::AwaitLogin;
        s.pages.clear();
        s.own.clear();
        s.user = UserAccount();
        s.link->Restart();
        PageCountsFromViewers();
    }
    const char* nameText = msg.GetValue(F_USER);
    const std::string name = nameText == nullptr ? "" : nameText;
    auto refuse = [&](const std::string& reason) {
        ZPHMessage failed(MSG_LOGIN_FAILED, 0, 0);
        if (!reason.empty())
            failed.AddField(F_REASON, reason);
        Send(s, failed);
        Log("login of \"" + Cut(name) + "\" on " + s.Name() + " refused"
            + (reason.empty() ? std::string(" (no reason given)") : ": " + reason));
        if (s.kind != PortKind::Serial && s.state != Session::State::Closing) {
            s.state = Session::State::Closing;
            s.link->CloseAfterSend();
        }
    };
    int protocol = PROTOCOL_VERSION;
    if (msg.HasField(F_PROTOCOL) && (!msg.GetInt(F_PROTOCOL, protocol) || protocol != PROTOCOL_VERSION)) {
        refuse("Protocol version " + Cut(msg.GetValue(F_PROTOCOL), 20) + " is not supported");
        return;
    }
    if (m_failNextLogin) {
        m_failNextLogin = false;
        refuse(m_failReason);
        return;
    }
    const UserAccount* account = m_config.FindUser(name);
    switch (s.kind) {
    case PortKind::Database: {
        const char* proof = msg.GetValue(F_PASSWORD_PROOF);
        // The same answer whether the name or the password is wrong.
        if (account == nullptr || proof == nullptr
            || !ProofEquals(proof, LoginProof(s.nonce, name, account->password))) {
            refuse("Invalid user name or password");
            return;
        }
        break;
    }
    case PortKind::Socket:
        if (account == nullptr)
            account = m_config.FindUser(m_config.defaultUser);
        break;
    case PortKind::Serial:
        if (account == nullptr)
            account = m_config.FindUser(m_config.serialUser);
        if (account == nullptr)
            account = m_config.FindUser(m_config.defaultUser);
        break;
    }
    if (account == nullptr) {
        refuse("Unknown user " + Cut(name));
        return;
    }
    s.user = *account;
    s.state = Session::State::LoggedIn;
    Log("login " + s.Name() + " as \"" + s.user.name + "\" level " + std::to_string(s.user.level)
        + (s.user.orderEntry ? ", orders" : "") + (name != s.user.name ? " (asked for \"" + Cut(name) + "\")" : ""));
    SendWelcome(s);
}

void Hub::SendWelcome(Session& s)
{
    ZPHMessage welcome(MSG_WELCOME, 0, 0);
    welcome.AddField(F_USER, s.user.name);
    welcome.AddField(F_USER_LEVEL, s.user.level);
    welcome.AddField(F_ORDER_ENTRY, s.user.orderEntry ? 1 : 0);
    welcome.AddField(F_SERVER_NAME, m_serverName);
    if (!Send(s, welcome))
        return;
    SendPermissions(s);
    for (int page : m_market.Pages()) {
        if (!m_market.Title(page).empty()) {
            ZPHMessage title(MSG_TITLE, page, 0);
            title.AddField(F_TITLE, m_market.Title(page));
            Send(s, title);
        }
        if (m_market.Count(page) != 0) {
            ZPHMessage count(MSG_PAGE_COUNT, page, 0);
            count.AddField(F_PAGE_COUNT, m_market.Count(page));
            Send(s, count);
        }
    }
    ZPHMessage time(MSG_TIME, 0, 0);
    time.AddField(F_FEED_TIME, FormatFeedTime(m_wallStart + static_cast<std::time_t>(m_now / 1000)));
    time.AddField(F_SEND_TIME, static_cast<long long>(MicrosNow()));
    Send(s, time);
}

void Hub::SendPermissions(Session& s)
{
    std::string permissions(MAX_PAGE, '0');
    for (int page = 1; page <= MAX_PAGE; ++page)
        if (s.user.pages.Contains(page))
            permissions[static_cast<std::size_t>(page - 1)] = '1';
    ZPHMessage msg(MSG_PERMISSIONS, 0, 0);
    msg.AddField(F_PERMISSIONS, permissions);
    Send(s, msg);
}

void Hub::SendNotice(Session& s, int value, const std::string& text)
{
    ZPHMessage msg(MSG_NOTICE, 0, 0);
    msg.AddField(F_NOTICE, value);
    if (!text.empty())
        msg.AddField(F_NOTICE_TEXT, text);
    Send(s, msg);
}

void Hub::PageRequest(Session& s, int page)
{
    if (page < 1 || page > MAX_PAGE || !s.user.pages.Contains(page)) {
        SendNotice(s, kNoticeNoPermission, "No permission for page " + std::to_string(page));
        LogDebug(s.Name() + " asked for page " + std::to_string(page) + " without permission");
        return;
    }
    // Everyone else is brought up to date first, so that what this client
    // gets now and what the others were told agree.
    Publish();
    const bool added = s.pages.insert(page).second;
    if (!Send(s, ZPHMessage(MSG_CLEAR, page, 0)))
        return;
    for (int line : m_market.Lines(page)) {
        const LineState& state = *m_market.GetLine(page, line);
        if (!Send(s, FullLine(MSG_REFRESH, s, page, line, state)))
            return;
    }
    LogDebug(s.Name() + " asked for page " + std::to_string(page));
    if (added) {
        PageCountsFromViewers();
        Publish();
    }
}

void Hub::Order(Session& s, const ZPHMessage& msg)
{
    m_lastOrder = msg;
    m_lastOrderUser = s.user.name;
    OrderCommand order;
    auto text = [&](int id) -> std::optional<std::string> {
        const char* value = msg.GetValue(id);
        return value == nullptr ? std::nullopt : std::optional<std::string>(value);
    };
    order.command = text(O_COMMAND).value_or("");
    if (!msg.GetInt(O_PAGE, order.page))
        order.page = msg.m_page;
    if (!msg.GetInt(O_LINE, order.line))
        order.line = msg.m_line;
    order.rate = text(O_RATE);
    order.quantity = text(O_QUANTITY);
    order.quantity2 = text(O_TRADE_QUANTITY);
    OrderResult result;
    int level = s.user.level;
    if (msg.HasField(O_USER_LEVEL) && (!msg.GetInt(O_USER_LEVEL, level) || level != s.user.level)) {
        result.text = "The order's user level is not yours";
    } else if (!s.user.pages.Contains(order.page)) {
        result.text = "No permission for page " + std::to_string(order.page);
    } else {
        result = m_market.Execute(Trader {s.user.level, s.user.centre, s.user.orderEntry}, order);
    }
    Log("order " + Cut(order.command, 40) + " " + std::to_string(order.page) + "/" + std::to_string(order.line) + " "
        + Cut(order.rate.value_or("-"), 20) + " x " + Cut(order.quantity.value_or("-"), 20) + "/"
        + Cut(order.quantity2.value_or("-"), 20) + " from " + s.Name() + ": "
        + (result.accepted ? "done: " : "refused: ") + result.text);
    if (!result.accepted) {
        SendNotice(s, kNoticeOrderRefused, result.text);
        // A client shows notifications, not notices: the refusal goes as a
        // notification too, as fills and being outbid do, so that nobody's
        // order is refused without a word.
        ZPHMessage note(MSG_NOTIFICATION, 0, 0);
        note.AddField(F_NOTIFICATION, "REFUSED: " + OrderName(order) + "|" + Printable(result.text, 200));
        Send(s, note);
    }
    if (!Stalled())
        Publish();
}

// ---- sending -----------------------------------------------------------------------

bool Hub::Send(Session& s, const ZPHMessage& msg)
{
    std::string bytes;
    if (!Encode(msg, bytes)) {
        LogError("a '" + std::string(1, msg.m_type) + "' message for " + s.Name() + " cannot be encoded");
        return false;
    }
    return SendRaw(s, bytes);
}

bool Hub::SendRaw(Session& s, std::string_view bytes)
{
    if (s.state == Session::State::Closing)
        return false;
    if (!s.link->Send(bytes)) {
        DropSession(s, "too far behind");
        return false;
    }
    return true;
}

void Hub::DropSession(Session& s, const std::string& why)
{
    if (s.state == Session::State::Closing)
        return;
    Log("dropping " + s.Name() + ": " + why);
    s.state = Session::State::Closing;
    s.link->Drop();
}

void Hub::SendTime()
{
    ZPHMessage msg(MSG_TIME, 0, 0);
    msg.AddField(F_FEED_TIME, FormatFeedTime(m_wallStart + static_cast<std::time_t>(m_now / 1000)));
    msg.AddField(F_SEND_TIME, static_cast<long long>(MicrosNow()));
    std::string bytes;
    if (!Encode(msg, bytes))
        return;
    for (auto& [id, s] : m_sessions)
        if (s->LoggedIn())
            SendRaw(*s, bytes);
}

void Hub::AddUserFields(ZPHMessage& msg, Session& s, int page, int line, const LineState& state, bool whole)
{
    if (state.kind != LINE_FIELD)
        return;
    const int level = s.user.level;
    const int bid = level == kFullView ? 0 : m_market.OwnLevel(page, line, true, level);
    const int offer = level == kFullView ? 0 : m_market.OwnLevel(page, line, false, level);
    auto& known = s.own[{page, line}];
    if (whole ? bid != 0 : bid != known.first)
        msg.AddField(F_BID_OWN_LEVEL, bid);
    if (whole ? offer != 0 : offer != known.second)
        msg.AddField(F_OFFER_OWN_LEVEL, offer);
    known = {bid, offer};
}

std::optional<LineState> Hub::MonitorView(const Session& s, int page, int line) const
{
    return m_market.ViewedLine(page, line, [&](int from) { return s.user.pages.Contains(from); });
}

void Hub::PublishMonitorLine(Session& s, int page, int line)
{
    const std::optional<LineState> view = MonitorView(s, page, line);
    if (!view)
        return;
    std::vector<LineField> fields = FieldsOf(*view);
    auto known = s.monitors.find({page, line});
    if (known == s.monitors.end() || known->second.size() != fields.size()) {
        Send(s, FullLine(MSG_REFRESH, s, page, line, *view));
        return;
    }
    ZPHMessage msg(MSG_DATA, page, line);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].second == known->second[i].second)
            continue;
        if (fields[i].first == F_LINE_FLAGS)
            msg.AddField(F_LINE_FLAGS, std::to_string(view->lineFlags
                                                      | (s.user.withheld.Contains(page) ? kFlagWithheld : 0)));
        else
            msg.AddField(fields[i].first, fields[i].second);
    }
    known->second = std::move(fields);
    if (msg.GetFieldCount() != 0)
        Send(s, msg);
}

ZPHMessage Hub::FullLine(char type, Session& s, int page, int line, const LineState& shared)
{
    ZPHMessage msg(type, page, line);
    const bool withheld = s.user.withheld.Contains(page);
    std::optional<LineState> monitor;
    if (shared.kind == 'M')
        monitor = MonitorView(s, page, line);
    const LineState& state = monitor ? *monitor : shared;
    if (monitor)
        s.monitors[{page, line}] = FieldsOf(state);
    for (auto& [id, text] : FieldsOf(state)) {
        if (id == F_LINE_FLAGS && withheld)
            msg.AddField(id, std::to_string(state.lineFlags | kFlagWithheld));
        else if (!IsAbsentValue(id, text))
            msg.AddField(id, text);
    }
    AddUserFields(msg, s, page, line, state, true);
    return msg;
}

// ---- publishing --------------------------------------------------------------------

void Hub::Tick(std::int64_t nowMs)
{
    m_now = std::max(m_now, nowMs);
    // A connection that never logs in (a stuck handshake, a port scanner)
    // does not stay for ever; a serial line waits as long as it likes.
    for (auto& [id, s] : m_sessions)
        if (s->state == Session::State::AwaitLogin && s->kind != PortKind::Serial
            && m_now - s->connected >= kLoginTimeMs)
            DropSession(*s, "no login within " + std::to_string(kLoginTimeMs / 1000) + " seconds");
    if (Stalled()) {
        // Changes wait in the market, one per line, until the stall ends.
        m_market.Advance(m_now);
        return;
    }
    m_market.Advance(m_now, [this] { Publish(); });
    if (m_now >= m_nextTime) {
        SendTime();
        m_nextTime = std::max(m_nextTime + TIME_INTERVAL_MS, m_now - TIME_INTERVAL_MS / 2);
    }
}

void Hub::Publish()
{
    using Type = MarketEvent::Type;
    const std::vector<MarketEvent> events = m_market.TakeEvents();
    if (events.empty())
        return;
    // A change queued before a move of its page's lines is covered by the
    // whole page being compared after the page's last move.
    constexpr std::size_t none = std::numeric_limits<std::size_t>::max();
    std::size_t lastGlobal = none;
    std::map<int, std::size_t> lastMove;
    for (std::size_t i = 0; i < events.size(); ++i) {
        const auto& e = events[i];
        if (e.type == Type::LineInserted || e.type == Type::LineErased || e.type == Type::Cleared) {
            if (e.page == 0)
                lastGlobal = i;
            else
                lastMove[e.page] = i;
        }
    }
    for (std::size_t i = 0; i < events.size(); ++i) {
        const MarketEvent& e = events[i];
        const auto move = lastMove.find(e.page);
        switch (e.type) {
        case Type::LineChanged:
            if ((lastGlobal == none || lastGlobal < i) && (move == lastMove.end() || move->second < i))
                PublishLine(e.page, e.line);
            break;
        case Type::LineInserted: {
            ShiftPublished(e.page, e.line, +1);
            const LineState* state = m_market.GetLine(e.page, e.line);
            if (state == nullptr)
                break;
            m_published[{e.page, e.line}] = FieldsOf(*state);
            for (auto& [id, s] : m_sessions)
                if (s->LoggedIn() && s->pages.count(e.page) != 0)
                    Send(*s, FullLine(MSG_INSERT, *s, e.page, e.line, *state));
            if (move->second == i)
                PublishPage(e.page);
            break;
        }
        case Type::LineErased:
            ShiftPublished(e.page, e.line, -1);
            for (auto& [id, s] : m_sessions)
                if (s->LoggedIn() && s->pages.count(e.page) != 0)
                    Send(*s, ZPHMessage(MSG_ERASE, e.page, e.line));
            if (move->second == i)
                PublishPage(e.page);
            break;
        case Type::Cleared:
            std::erase_if(m_published, [&](const auto& entry) {
                return e.page == 0 || (entry.first.first == e.page && (e.line == 0 || entry.first.second == e.line));
            });
            for (auto& [id, s] : m_sessions) {
                if (!s->LoggedIn() || (e.page != 0 && s->pages.count(e.page) == 0))
                    continue;
                auto cleared = [&](const auto& entry) {
                    return e.page == 0
                        || (entry.first.first == e.page && (e.line == 0 || entry.first.second == e.line));
                };
                std::erase_if(s->own, cleared);
                std::erase_if(s->monitors, cleared);
                Send(*s, ZPHMessage(MSG_CLEAR, e.page, e.line));
            }
            if (e.page != 0 && move->second == i)
                PublishPage(e.page);
            break;
        case Type::TitleChanged:
        case Type::CountChanged:
            for (auto& [id, s] : m_sessions) {
                if (!s->LoggedIn())
                    continue;
                ZPHMessage msg(e.type == Type::TitleChanged ? MSG_TITLE : MSG_PAGE_COUNT, e.page, 0);
                if (e.type == Type::TitleChanged)
                    msg.AddField(F_TITLE, m_market.Title(e.page));
                else
                    msg.AddField(F_PAGE_COUNT, m_market.Count(e.page));
                Send(*s, msg);
            }
            break;
        case Type::UserNote:
            for (auto& [id, s] : m_sessions)
                if (s->LoggedIn() && s->user.level == e.customer) {
                    ZPHMessage msg(MSG_NOTIFICATION, 0, 0);
                    msg.AddField(F_NOTIFICATION, e.text);
                    Send(*s, msg);
                }
            break;
        }
    }
}

void Hub::PublishLine(int page, int line)
{
    const std::pair<int, int> key {page, line};
    const LineState* state = m_market.GetLine(page, line);
    auto it = m_published.find(key);
    if (state == nullptr) {
        // The clients hold a line the market no longer has.
        if (it == m_published.end())
            return;
        m_published.erase(it);
        for (auto& [id, s] : m_sessions)
            if (s->LoggedIn() && s->pages.count(page) != 0) {
                s->own.erase(key);
                Send(*s, ZPHMessage(MSG_CLEAR, page, line));
            }
        return;
    }
    std::vector<LineField> fields = FieldsOf(*state);
    if (it == m_published.end()) {
        m_published[key] = std::move(fields);
        for (auto& [id, s] : m_sessions)
            if (s->LoggedIn() && s->pages.count(page) != 0)
                Send(*s, FullLine(MSG_REFRESH, *s, page, line, *state));
        return;
    }
    ZPHMessage changes(MSG_DATA, page, line);
    bool flagsChanged = false;
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (fields[i].second != it->second[i].second) {
            if (fields[i].first == F_LINE_FLAGS)
                flagsChanged = true;
            else
                changes.AddField(fields[i].first, fields[i].second);
        }
    it->second = std::move(fields);
    for (auto& [id, s] : m_sessions) {
        if (!s->LoggedIn() || s->pages.count(page) == 0)
            continue;
        if (state->kind == 'M') {
            PublishMonitorLine(*s, page, line);
            continue;
        }
        ZPHMessage msg = changes;
        if (flagsChanged)
            msg.AddField(F_LINE_FLAGS, std::to_string(state->lineFlags
                                                      | (s->user.withheld.Contains(page) ? kFlagWithheld : 0)));
        AddUserFields(msg, *s, page, line, *state, false);
        if (msg.GetFieldCount() != 0)
            Send(*s, msg);
    }
}

void Hub::PublishPage(int page)
{
    std::set<int> lines;
    for (int line : m_market.Lines(page))
        lines.insert(line);
    for (auto it = m_published.lower_bound({page, 0}); it != m_published.end() && it->first.first == page; ++it)
        lines.insert(it->first.second);
    for (int line : lines)
        PublishLine(page, line);
}

void Hub::ShiftPublished(int page, int line, int by)
{
    auto shift = [&](auto& map) {
        if (by > 0) {
            map.erase({page, kLinesPerPage});
            for (int n = kLinesPerPage - 1; n >= line; --n) {
                auto node = map.extract({page, n});
                if (!node.empty()) {
                    node.key() = {page, n + 1};
                    map.insert(std::move(node));
                }
            }
        } else {
            map.erase({page, line});
            for (int n = line + 1; n <= kLinesPerPage; ++n) {
                auto node = map.extract({page, n});
                if (!node.empty()) {
                    node.key() = {page, n - 1};
                    map.insert(std::move(node));
                }
            }
        }
    };
    shift(m_published);
    for (auto& [id, s] : m_sessions)
        if (s->pages.count(page) != 0) {
            shift(s->own);
            shift(s->monitors);
        }
}

void Hub::PageCountsFromViewers()
{
    std::map<int, int> viewers;
    for (auto& [id, s] : m_sessions)
        if (s->LoggedIn())
            for (int page : s->pages)
                ++viewers[page];
    for (int page : m_market.Pages())
        if (m_fixedCounts.count(page) == 0)
            m_market.SetCount(page, viewers[page]);
}

// ---- control -------------------------------------------------------------------------

std::string Hub::Control(std::string_view line)
{
    std::string reply = m_control->Run(line);
    if (!Stalled())
        Publish();
    return reply;
}

void Hub::UserChanged(const UserAccount& user, bool levelOrEntry, bool permissions)
{
    for (auto& [id, s] : m_sessions) {
        if (s->user.name != user.name || !s->LoggedIn())
            continue;
        const bool levelChanged = s->user.level != user.level;
        s->user = user;
        if (levelOrEntry) {
            ZPHMessage msg(MSG_USER, 0, 0);
            msg.AddField(F_USER_LEVEL, user.level);
            msg.AddField(F_ORDER_ENTRY, user.orderEntry ? 1 : 0);
            Send(*s, msg);
        }
        if (permissions) {
            // Pages no longer allowed are no longer sent.
            std::erase_if(s->pages, [&](int page) { return !user.pages.Contains(page); });
            SendPermissions(*s);
            // The trade monitors now show another choice of trades.
            for (int page : s->pages)
                for (int line : m_market.Lines(page))
                    if (m_market.GetLine(page, line)->kind == 'M')
                        PublishMonitorLine(*s, page, line);
        }
        if (levelChanged)
            for (int page : s->pages)
                for (int line : m_market.Lines(page)) {
                    ZPHMessage msg(MSG_DATA, page, line);
                    AddUserFields(msg, *s, page, line, *m_market.GetLine(page, line), false);
                    if (msg.GetFieldCount() != 0)
                        Send(*s, msg);
                }
    }
    if (permissions)
        PageCountsFromViewers();
}

} // namespace zphd
